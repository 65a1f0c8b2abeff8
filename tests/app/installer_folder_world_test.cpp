// The start page's own choices, as a person makes them: a folder typed into the path field
// (refused with its error row, or taken and given to the emulator's installer), the advice for a
// drive with little room, the language choice of a skin that shows it, and the runs named for
// other languages. The real TamrixInstaller.exe in the world with Wine reporting Windows 10,
// driven through accessibility and xdotool.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"
#include "utility/text.h"

namespace {

using installer::AccessibleElement;
using installer::englishText;
using installer::Installer;
using testing_support::narrow;
using testing_support::waitUntil;
using testing_support::world::waitForStandinRuns;

class InstallerFolder : public installer::InstallerTest {
protected:
    // Opens the path panel, types the folder into the path field and leaves it with Tab.
    void typeFolder(Installer& run, HWND main, const std::string& folder) {
        ASSERT_TRUE(installer::typeIntoPathField(run, main, folder))
            << installer::describe(run.elements(main));
        ASSERT_TRUE(run.pressKeys(main, "Tab"));
    }
    std::wstring fieldValue(Installer& run, HWND main) {
        const auto field = run.waitElement(
            main, [](const AccessibleElement& e) { return installer::isTextField(e); });
        return field ? field->value : L"(no field)";
    }
    bool installAvailable(Installer& run, HWND main) {
        const auto install = installer::waitInstallButton(run, main);
        return install && !install->has(STATE_SYSTEM_UNAVAILABLE);
    }
};

TEST_F(InstallerFolder, AnInvalidTypedFolderIsRefusedAndAValidOneIsInstalledInto) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    typeFolder(run, main, "D:\\bad|name");
    EXPECT_TRUE(run.waitElement(main, englishText("Label_path_error")))
        << installer::describe(run.elements(main));
    EXPECT_TRUE(waitUntil([&] { return !installAvailable(run, main); }));
    EXPECT_EQ(fieldValue(run, main), L"D:\\bad|name\\Tamrix\\Tamrix9\\");
    EXPECT_TRUE(run.screenshot(main, L"folder-invalid.png"));

    typeFolder(run, main, "D:\\Games");
    EXPECT_TRUE(waitUntil([&] { return installAvailable(run, main); }));
    EXPECT_EQ(fieldValue(run, main), L"D:\\Games\\Tamrix\\Tamrix9\\");
    EXPECT_FALSE(run.waitElement(main, englishText("Label_path_error"), 500));
    EXPECT_TRUE(run.screenshot(main, L"folder-valid.png"));
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    ASSERT_TRUE(run.click(*install));
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto installs = waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_STREQ(installs.back().json()["options"]["path"].GetString(),
                 "D:\\Games\\Tamrix\\Tamrix9\\");
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_EQ(players.back().exePath, L"D:\\Games\\Tamrix\\Tamrix9\\gxplayer.exe");
    std::error_code ignored;
    std::filesystem::remove_all(L"D:\\Games", ignored);
}

// A drive with little room (S:, 512 MiB) gets the space advice naming the best drive D:.
TEST_F(InstallerFolder, AFolderOnADriveWithLittleRoomGetsTheSpaceAdvice) {
    ASSERT_TRUE(installer::mountSmallDrive());
    for (const char* answer : {"path_not", "path_ok"}) {
        SCOPED_TRACE(answer);
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        HWND main = run.waitForWindow(installer::kMainWindow);
        ASSERT_TRUE(main);
        typeFolder(run, main, "S:\\Games");
        HWND box = run.waitForWindow(installer::kMessageBox);
        ASSERT_TRUE(box) << "no advice";
        EXPECT_TRUE(run.waitElement(box, englishText("path_noice")));
        std::wstring body = englishText("path_more");
        body.replace(body.find(L"%s"), 2, L"D");
        EXPECT_TRUE(run.waitElement(box, body)) << installer::describe(run.elements(box));
        if (std::string(answer) == "path_ok") {
            EXPECT_TRUE(run.screenshot(box, L"folder-space-advice.png"));
        }
        const auto choice = installer::waitButton(run, box, englishText(answer));
        ASSERT_TRUE(choice) << installer::describe(run.elements(box));
        ASSERT_TRUE(run.click(*choice));
        EXPECT_TRUE(run.waitHidden(box));
        const std::wstring expected = std::string(answer) == "path_ok"
                                          ? L"D:\\Tamrix\\Tamrix9\\"
                                          : L"S:\\Games\\Tamrix\\Tamrix9\\";
        EXPECT_TRUE(waitUntil([&] { return fieldValue(run, main) == expected; }))
            << narrow(fieldValue(run, main));
        EXPECT_TRUE(run.waitForLog("CMainFrame::changePathClac", "left 17G"));
        ASSERT_TRUE(run.pressKeys(main, "Escape"));
        EXPECT_EQ(run.waitExit(), 0);
    }
}

// A skin folder beside the installer whose main window shows the language choice: choosing an
// item switches the run's language and re-texts the window.
TEST_F(InstallerFolder, TheLanguageChoiceOfASkinSwitchesTheRunsLanguage) {
    ASSERT_TRUE(CreateDirectoryW((folder_.path() + L"skin").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((installer::sourceRoot() + L"tests\\app\\skin\\mainframe.xml").c_str(),
                          (folder_.path() + L"skin\\mainframe.xml").c_str(), FALSE));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto combo = run.waitElement(
        main, [](const AccessibleElement& e) { return e.role == ROLE_SYSTEM_COMBOBOX; });
    ASSERT_TRUE(combo) << installer::describe(run.elements(main));
    EXPECT_FALSE(run.waitElement(main, englishText("titlename"), 500)) << "no title text yet";
    ASSERT_TRUE(run.click(*combo));
    HWND list = run.waitForWindow(installer::kComboList);
    ASSERT_TRUE(list) << "the combo's list did not open";
    EXPECT_TRUE(run.screenshot(main, L"language-combo-open.png"));
    // The list shows the items one under the other, 28 pixels each: the second is Deutsch.
    RECT r{};
    ASSERT_TRUE(GetWindowRect(list, &r));
    ASSERT_TRUE(run.click(POINT{(r.left + r.right) / 2, r.top + 1 + 28 + 14}));
    EXPECT_TRUE(run.waitHidden(list));
    EXPECT_TRUE(waitUntil([&] {
        const auto now = run.reread(main, *combo);
        return now && now->value == L"Deutsch";
    }));
    EXPECT_TRUE(run.waitForLog("CMainFrame::onLanguageComSelected",
                               "load language language\\downloader_de.xml"));
    // Re-texted from the table loaded at the start: the title bar now names the product.
    EXPECT_TRUE(run.waitElement(main, englishText("titlename")))
        << installer::describe(run.elements(main));
    EXPECT_TRUE(run.waitElement(main, englishText("Button_install_fast")));
    EXPECT_TRUE(run.screenshot(main, L"language-switched.png"));

    // The run goes on in the chosen language: the emulator's installer is told so.
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    ASSERT_TRUE(run.click(*install));
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto installs = waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_STREQ(installs.back().json()["options"]["language"].GetString(), "de");
}

// Runs named for a language show the window in it (the name's second field is the language).
TEST_F(InstallerFolder, RunsNamedForArabicThaiKoreanAndRussianShowTheirTexts) {
    const std::pair<const wchar_t*, const char*> languages[] = {
        {L"ar", "ar_IL"}, {L"th", "th_TH"}, {L"kr", "ko_KR"}, {L"ru", "ru_RU"}};
    for (const auto& [code, locale] : languages) {
        SCOPED_TRACE(locale);
        const auto texts = installer::tableTexts(locale);
        Installer run(folder_.path(), std::wstring(L"tamrix9_") + code + L"_100_x.exe");
        HWND main = run.waitForWindow(installer::kMainWindow);
        ASSERT_TRUE(main);
        EXPECT_TRUE(run.waitElement(main, texts.at("Title_wndTitle")))
            << installer::describe(run.elements(main));
        EXPECT_TRUE(installer::waitButton(run, main, texts.at("Button_install_fast")));
        EXPECT_TRUE(installer::waitButton(run, main, texts.at("Button_install_define")));
        EXPECT_TRUE(run.screenshot(main, std::wstring(L"language-") + code + L".png"));
        ASSERT_TRUE(run.pressKeys(main, "Escape"));
        EXPECT_EQ(run.waitExit(), 0);
        const auto result = run.record();
        EXPECT_TRUE(result.logged(
            "DownloaderModel::init",
            "model. type: tamrix9, language " + narrow(code) + " package:, openID:100"))
            << testing::PrintToString(result.messages("DownloaderModel::init"));
    }
}

}  // namespace
