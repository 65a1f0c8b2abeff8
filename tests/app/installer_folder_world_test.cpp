// The start page's own choices, as a person makes them: a folder typed into the path field
// (refused with its error row, or taken and given to the emulator's installer), the advice for a
// drive with little room, the language choice of a skin that shows it, and the runs named for
// other languages. The real TamrixInstaller.exe in the world with Wine reporting Windows 10,
// driven through accessibility and xdotool.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/deployment.h"
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

// The browse button asks first: Cancel changes nothing, Sure opens the folder browser (which,
// cancelled, changes nothing either). The licence link opens the licence page.
TEST_F(InstallerFolder, TheBrowseButtonAsksFirstAndTheLicenceLinkOpensItsPage) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto link = installer::waitButton(run, main, englishText("protocol_accept_btn"));
    ASSERT_TRUE(link) << installer::describe(run.elements(main));
    ASSERT_TRUE(run.click(*link));
    EXPECT_EQ(installer::waitForBrowser(browserStart_),
              std::vector<std::string>{"https://" + narrow(deployment::values().licencePageHost) +
                                       "/other/protocol.html"});

    const auto custom = installer::waitButton(run, main, englishText("Button_install_define"));
    ASSERT_TRUE(custom);
    ASSERT_TRUE(run.click(*custom));
    const std::wstring before = fieldValue(run, main);
    for (const char* answer : {"cancel", "sure"}) {
        SCOPED_TRACE(answer);
        const auto browse = installer::waitButton(run, main, englishText("browser"));
        ASSERT_TRUE(browse) << installer::describe(run.elements(main));
        ASSERT_TRUE(run.click(*browse));
        HWND box = run.waitForWindow(installer::kMessageBox);
        ASSERT_TRUE(box);
        EXPECT_TRUE(run.waitElement(box, englishText("change_path_tip")));
        EXPECT_TRUE(run.waitElement(box, englishText("MSGBox_noice")));
        if (std::string(answer) == "sure") {
            EXPECT_TRUE(run.screenshot(box, L"browse-box.png"));
        }
        const auto choice = installer::waitButton(run, box, englishText(answer));
        ASSERT_TRUE(choice) << installer::describe(run.elements(box));
        ASSERT_TRUE(run.click(*choice));
        EXPECT_TRUE(run.waitHidden(box));
        if (std::string(answer) == "sure") {
            HWND browser = run.waitForWindow(L"#32770");
            ASSERT_TRUE(browser) << "no folder browser";
            EXPECT_TRUE(run.screenshot(browser, L"folder-browser.png"));
            ASSERT_TRUE(run.pressKeys(browser, "Escape"));
            EXPECT_TRUE(run.waitHidden(browser));
        } else {
            EXPECT_TRUE(run.windows(L"#32770").empty()) << "Cancel opens nothing";
        }
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(fieldValue(run, main), before);
    }
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
    EXPECT_EQ(installer::browserAddresses().size(), browserStart_ + 1) << "only the licence page";
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

// Where an element is within its window, as the mirror image of a left-to-right window would
// have it: x' = W - x - w.
RECT mirroredIn(const RECT& window, const RECT& r) {
    return {window.left + window.right - r.right, r.top, window.left + window.right - r.left,
            r.bottom};
}

bool samePlace(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

std::string place(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

bool isCheckBox(const AccessibleElement& e) {
    return e.role == ROLE_SYSTEM_CHECKBUTTON;
}

// A run named for Arabic shows its window mirrored, and a person uses it by what is where: the
// licence option right of its sentence, the caption buttons at the left, the install folder
// typed right to left; the licence option and Install are found and clicked at their places.
TEST_F(InstallerFolder, AnArabicRunShowsItsWindowMirroredAndWorksByItsPlaces) {
    const auto texts = installer::tableTexts("ar_IL");
    Installer run(folder_.path(), L"tamrix9_ar_100_x.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(main, &window));
    const auto check = run.waitElement(main, isCheckBox);
    const auto sentence = run.waitElement(main, texts.at("protocol_accept"));
    const auto close = installer::waitButton(run, main, texts.at("download_close"));
    const auto minimise = installer::waitButton(run, main, texts.at("minimize_tip"));
    const auto install = installer::waitButton(run, main, texts.at("Button_install_fast"));
    ASSERT_TRUE(check && sentence && close && minimise && install)
        << installer::describe(run.elements(main));
    EXPECT_GE(check->location.left, sentence->location.right) << "the box is right of its text";
    EXPECT_LT(close->location.left - window.left, 64) << "close is at the left edge";
    EXPECT_LT(close->location.right, minimise->location.left);
    EXPECT_LT(minimise->location.right, (window.left + window.right) / 2);
    EXPECT_TRUE(run.screenshot(main, L"mirrored-ar.png"));

    // The option at its place: cleared, Install cannot be used; set again, it can.
    ASSERT_TRUE(run.click(*check));
    EXPECT_TRUE(waitUntil([&] {
        const auto now = run.reread(main, *install);
        return now && now->has(STATE_SYSTEM_UNAVAILABLE);
    }));
    ASSERT_TRUE(run.click(*check));
    EXPECT_TRUE(waitUntil([&] {
        const auto now = run.reread(main, *install);
        return now && !now->has(STATE_SYSTEM_UNAVAILABLE);
    }));

    // The folder field is edited right to left.
    const auto custom = installer::waitButton(run, main, texts.at("Button_install_define"));
    ASSERT_TRUE(custom);
    ASSERT_TRUE(run.click(*custom));
    const auto field = run.waitElement(main, installer::isTextField);
    ASSERT_TRUE(field);
    ASSERT_TRUE(run.click(*field));
    HWND host = nullptr;
    EXPECT_TRUE(waitUntil([&] { return (host = FindWindowExW(main, nullptr, L"Edit", nullptr)); }));
    if (host) {
        EXPECT_TRUE(GetWindowLongW(host, GWL_EXSTYLE) & WS_EX_RTLREADING);
        EXPECT_TRUE(GetWindowLongW(host, GWL_STYLE) & ES_RIGHT);
        RECT hosted{};
        GetWindowRect(host, &hosted);
        EXPECT_TRUE(hosted.left >= field->location.left && hosted.right <= field->location.right)
            << "the typing field sits in the folder field at " << place(field->location);
    }
    EXPECT_TRUE(run.screenshot(main, L"mirrored-ar-folder.png"));
    ASSERT_TRUE(run.pressKeys(main, "Tab"));

    const auto installNow = installer::waitButton(run, main, texts.at("Button_install_now"));
    ASSERT_TRUE(installNow) << installer::describe(run.elements(main));
    ASSERT_TRUE(run.click(*installNow));
    const auto bar = run.waitElement(main, installer::isProgressBar);
    ASSERT_TRUE(bar) << installer::describe(run.elements(main));
    EXPECT_TRUE(run.screenshot(main, L"mirrored-ar-progress.png"));
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto installs = waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_STREQ(installs.back().json()["options"]["language"].GetString(), "ar");
}

// The test skin's language choice switches an English window to Arabic and back: each time the
// window is laid out again at once, mirrored and then as it was.
TEST_F(InstallerFolder, TheLanguageChoiceMirrorsTheWindowLiveAndBack) {
    ASSERT_TRUE(CreateDirectoryW((folder_.path() + L"skin").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((installer::sourceRoot() + L"tests\\app\\skin\\mainframe.xml").c_str(),
                          (folder_.path() + L"skin\\mainframe.xml").c_str(), FALSE));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(main, &window));
    auto combo = run.waitElement(
        main, [](const AccessibleElement& e) { return e.role == ROLE_SYSTEM_COMBOBOX; });
    const auto check = run.waitElement(main, isCheckBox);
    const auto close = installer::waitButton(run, main, englishText("download_close"));
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(combo && check && close && install) << installer::describe(run.elements(main));
    const std::vector<AccessibleElement> english = {*combo, *check, *close, *install};

    // Chooses the item of the combo's list (28 pixels each) and waits until every element is at
    // its place for that language.
    auto choose = [&](int item, bool mirrored) {
        combo = run.reread(main, *combo);
        ASSERT_TRUE(combo);
        ASSERT_TRUE(run.click(*combo));
        HWND list = run.waitForWindow(installer::kComboList);
        ASSERT_TRUE(list) << "the combo's list did not open";
        RECT r{};
        ASSERT_TRUE(GetWindowRect(list, &r));
        ASSERT_TRUE(run.click(POINT{(r.left + r.right) / 2, r.top + 1 + 28 * item + 14}));
        EXPECT_TRUE(run.waitHidden(list));
        for (const AccessibleElement& before : english) {
            const RECT expected = mirrored ? mirroredIn(window, before.location) : before.location;
            std::optional<AccessibleElement> now;
            EXPECT_TRUE(waitUntil([&] {
                now = run.reread(main, before);
                return now && samePlace(now->location, expected);
            })) << narrow(before.name)
                << " at " << (now ? place(now->location) : "nowhere") << ", expected at "
                << place(expected);
        }
    };
    choose(3, true);
    EXPECT_TRUE(run.waitForLog("CMainFrame::onLanguageComSelected",
                               "load language language\\downloader_ar.xml"));
    EXPECT_TRUE(run.screenshot(main, L"language-switched-ar.png"));
    choose(0, false);
    EXPECT_TRUE(run.screenshot(main, L"language-switched-back.png"));
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
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
