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
        if (!run.waitElement(
                main, [](const AccessibleElement& e) { return installer::isTextField(e); }, 1000)) {
            const auto custom =
                installer::waitButton(run, main, englishText("Button_install_define"));
            ASSERT_TRUE(custom) << installer::describe(run.elements(main));
            ASSERT_TRUE(run.click(*custom));
        }
        const auto field = run.waitElement(
            main, [](const AccessibleElement& e) { return installer::isTextField(e); });
        ASSERT_TRUE(field) << installer::describe(run.elements(main));
        ASSERT_TRUE(run.click(*field));
        ASSERT_TRUE(run.pressKeys(main, "ctrl+a BackSpace"));
        ASSERT_TRUE(run.type(main, folder));
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
    const auto small = testing_support::runUnix(
        "d=$TAMRIX_WORLD_DIR/disk-s; mkdir -p $d && (mountpoint -q $d || mount -t tmpfs -o "
        "size=512m tamrix-disk-s $d) && ln -sfn $d $WINEPREFIX/dosdevices/s:");
    ASSERT_EQ(small.code, 0) << small.output;
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

}  // namespace
