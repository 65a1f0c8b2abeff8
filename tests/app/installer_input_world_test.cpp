// Input that arrives while the window changes, as a person gives it: Install clicked straight from
// the folder field, whose advice box opens on the way; keys with Alt on a focused button; and a
// second copy started while the unsupported-system box is open. The real TamrixInstaller.exe in
// the world, driven through accessibility and xdotool, judged by what its windows show, the
// stand-ins' records and the events the services received.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"

namespace {

using installer::AccessibleElement;
using installer::englishText;
using installer::Installer;
using testing_support::narrow;
using testing_support::waitUntil;

// Still the start page: its install button shown, no progress bar.
bool onStartPage(const Installer& run, HWND main) {
    const auto elements = run.elements(main);
    const bool install = std::any_of(elements.begin(), elements.end(), [](const auto& e) {
        return installer::isButton(e) && e.name == englishText("Button_install_fast");
    });
    return install && std::none_of(elements.begin(), elements.end(), installer::isProgressBar);
}

std::optional<AccessibleElement> focused(const Installer& run, HWND main) {
    for (const auto& e : run.elements(main))
        if (e.has(STATE_SYSTEM_FOCUSED)) return e;
    return std::nullopt;
}

std::size_t count(const std::vector<std::string>& list, const std::string& item) {
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), item));
}

class InstallerInput : public installer::InstallerTest {
protected:
    // Tabs until the control is focused, each Tab waited for until the focus has moved; false
    // when it never came.
    bool tabTo(const Installer& run, HWND main, const std::wstring& name) {
        for (int i = 0; i < 30; ++i) {
            const auto before = focused(run, main);
            if (before && before->name == name) return true;
            if (!run.pressKeys(main, "Tab")) return false;
            if (!waitUntil([&] {
                    const auto now = focused(run, main);
                    return now && (!before || now->id != before->id);
                }))
                return false;
        }
        return false;
    }
    // Tab moves the focus on from the control: every key pressed before it has been handled.
    bool focusMovesOnFrom(const Installer& run, HWND main, const std::wstring& name) {
        return run.pressKeys(main, "Tab") && waitUntil([&] {
                   const auto now = focused(run, main);
                   return now && now->name != name;
               });
    }
};

TEST_F(InstallerInput, InstallPressedFromTheFolderFieldWaitsForTheFieldsAdvice) {
    // T: has room for an install, though less than the advice asks for.
    ASSERT_TRUE(installer::mountDrive('t', "8g"));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    ASSERT_TRUE(installer::typeIntoPathField(run, main, "T:\\Games"))
        << installer::describe(run.elements(main));
    // Straight from the field to Install: leaving the field applies the folder, whose drive has
    // less room than advised.
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    ASSERT_TRUE(run.click(*install));
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box) << "no advice";
    std::wstring advice = englishText("path_more");
    advice.replace(advice.find(L"%s"), 2, L"D");
    EXPECT_TRUE(run.waitElement(box, advice)) << installer::describe(run.elements(box));
    EXPECT_TRUE(run.screenshot(box, L"input-advice-over-install.png"));
    const auto change = installer::waitButton(run, box, englishText("path_ok"));
    ASSERT_TRUE(change) << installer::describe(run.elements(box));
    // Handled after the press on Install, which therefore did nothing.
    ASSERT_TRUE(run.click(*change));
    EXPECT_TRUE(run.waitHidden(box));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
    EXPECT_TRUE(onStartPage(run, main)) << installer::describe(run.elements(main));
    EXPECT_TRUE(run.screenshot(main, L"input-after-advice.png"));

    // Now Install installs into the advised folder.
    const auto again = installer::waitInstallButton(run, main);
    ASSERT_TRUE(again);
    ASSERT_TRUE(run.click(*again));
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto installs =
        testing_support::world::waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_STREQ(installs.back().json()["options"]["path"].GetString(), "D:\\Tamrix\\Tamrix9\\");
    const auto result = run.record();
    EXPECT_EQ(count(result.reporterEvents(), R"({"event":"start_downloader"})"), 1u);
}

TEST_F(InstallerInput, KeysWithAltAreNoPressesOfTheFocusedButton) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const std::wstring install = englishText("Button_install_fast");
    ASSERT_TRUE(tabTo(run, main, install)) << installer::describe(run.elements(main));
    // Alt+Space is not Space: the install button stays unpressed.
    ASSERT_TRUE(run.pressKeys(main, "alt+space"));
    ASSERT_TRUE(focusMovesOnFrom(run, main, install));
    EXPECT_TRUE(onStartPage(run, main)) << installer::describe(run.elements(main));
    // Alt+Escape is not Escape: the window stays.
    ASSERT_TRUE(run.pressKeys(main, "alt+Escape"));
    ASSERT_TRUE(tabTo(run, main, install));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(onStartPage(run, main));
    EXPECT_TRUE(run.screenshot(main, L"input-alt-keys.png"));
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_EQ(count(result.reporterEvents(), R"({"event":"start_downloader"})"), 0u)
        << testing::PrintToString(result.reporterEvents());
}

TEST_F(InstallerInput, ASecondCopyDuringTheUnsupportedSystemBoxChecksNothingAgain) {
    Installer run(folder_.path(), L"tamrix9_en_100_xp.exe",
                  {.commandLine = L"", .windowsVersion = L"winxp"});
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box);
    testing_support::TempDir other;
    for (int copy = 0; copy < 2; ++copy) {
        Installer second(other.path(), L"TamrixInstaller.exe");
        EXPECT_EQ(second.waitExit(), 0);
    }
    // The first copy has shown itself for both, with its one box.
    EXPECT_TRUE(waitUntil([&] {
        std::size_t shown = 0;
        for (const auto& line : run.log())
            if (line.message == "onHandleWindowIPC, msg = 11123") ++shown;
        return shown == 2;
    }));
    EXPECT_EQ(run.windows(installer::kMessageBox).size(), 1u);
    EXPECT_TRUE(run.screenshot(main, L"input-xp-second-copy.png"));
    const auto sure = installer::waitButton(run, box, englishText("sure"));
    ASSERT_TRUE(sure) << installer::describe(run.elements(box));
    ASSERT_TRUE(run.click(*sure));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_EQ(count(result.reporterEvents(),
                    R"({"event":"cancel_download","properties":{"ext_field":"xp"}})"),
              1u)
        << testing::PrintToString(result.reporterEvents());
    EXPECT_EQ(count(result.analyticsEvents(), "download_xp"), 1u)
        << testing::PrintToString(result.analyticsEvents());
}

}  // namespace
