// A skin folder beside the installer that breaks a layout, and what a screen reader hears of the
// shipped skin, as a person meets them: the real TamrixInstaller.exe in the world with Wine
// reporting Windows 10, its windows read through accessibility from this process, driven with
// xdotool, judged by its windows, its exit code and its log.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"

namespace {

using installer::AccessibleElement;
using installer::englishText;
using installer::Installer;
using testing_support::narrow;

// Run code of an installer that could not show its main window (DownloadImpl).
constexpr long kExitNoMainWindow = 3;

class InstallerSkin : public installer::InstallerTest {
protected:
    // Puts a file into the skin folder beside the installer.
    void skinFile(const std::wstring& name, const std::string& content) {
        const std::wstring skin = folder_.path() + L"skin\\";
        CreateDirectoryW(skin.c_str(), nullptr);
        ASSERT_TRUE(testing_support::writeFileBytes(skin + name, content)) << narrow(name);
    }
    // The shipped layout file of the source tree's skin.
    static std::string shipped(const std::wstring& name) {
        return testing_support::readFileBytes(installer::sourceRoot() + L"skin\\" + name);
    }
    static bool logged(const Installer& run, const std::string& function, const std::string& part) {
        const auto lines = run.log();
        return std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
            return line.function == function && line.message.find(part) != std::string::npos;
        });
    }
};

// The start page without its install button: the run ends at once, saying why, with a non-zero
// exit code, and no window ever shows (before, the window's initialisation met the missing
// button and the process crashed).
TEST_F(InstallerSkin, AMainLayoutWithoutTheInstallButtonEndsTheRunWithItsReason) {
    std::string page = shipped(L"mainframe_start.xml");
    const std::regex button(R"(<Button name="installnowbtn"[^>]*/>)");
    ASSERT_TRUE(std::regex_search(page, button));
    page = std::regex_replace(page, button, "");
    skinFile(L"mainframe_start.xml", page);

    Installer run(folder_.path(), L"TamrixInstaller.exe");
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.waitExit(), kExitNoMainWindow);
    EXPECT_TRUE(run.windows(installer::kMainWindow).empty());
    EXPECT_TRUE(logged(run, "tk::WindowBase::create",
                       "window cmainframe not created: layout mainframe.xml lacks installnowbtn"));
    EXPECT_TRUE(logged(run, "DownloadImpl::showMainFrame",
                       "main window not created; the run ends with exit code 3"));
}

// A dialog layout that does not parse: pressing the close button opens no dialog, the log says
// where the layout broke, and the main window stays enabled and goes on to install.
TEST_F(InstallerSkin, ABrokenDialogLayoutLeavesTheMainWindowWorking) {
    skinFile(L"downloaderbox.xml", "<Window size=\"436,236\">\n  <Label>\n</Window>\n");
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    ASSERT_TRUE(installer::pressCloseButton(run, main)) << installer::describe(run.elements(main));
    ASSERT_TRUE(run.waitForLog("tk::WindowBase::create", "window box not created"));
    EXPECT_TRUE(
        logged(run, "tk::WindowBase::create", "layout: downloaderbox.xml(3): XML does not parse"));
    EXPECT_FALSE(run.waitForWindow(installer::kExitDialog, 1000));
    EXPECT_TRUE(IsWindowEnabled(main));

    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    ASSERT_TRUE(run.click(*install));
    EXPECT_TRUE(run.waitElement(main, installer::isProgressBar)) << "the progress page";
    EXPECT_TRUE(run.screenshot(main, L"skin-broken-dialog.png"));
    // On the world's fast hosts the run goes on to the installer and ends by itself.
    EXPECT_EQ(testing_support::world::waitForStandinRuns("installer", installerStart_ + 1).size(),
              installerStart_ + 1);
    EXPECT_EQ(run.waitExit(), 0);
}

// What a screen reader hears on the start page of the shipped skin: the licence check box by
// its sentence and link, the folder edit by its label once the custom-path panel is open, the
// icon-only buttons of the title bar by their tooltips.
TEST_F(InstallerSkin, AScreenReaderHearsWhatEachControlOfTheStartPageIs) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const std::wstring licence =
        englishText("protocol_accept") + L" " + englishText("protocol_accept_btn");
    const auto box = run.waitElement(
        main, [](const AccessibleElement& e) { return e.role == ROLE_SYSTEM_CHECKBUTTON; });
    ASSERT_TRUE(box) << installer::describe(run.elements(main));
    EXPECT_EQ(narrow(box->name), narrow(licence));
    EXPECT_TRUE(box->has(STATE_SYSTEM_CHECKED));
    for (const char* tip : {"facebook_tip", "minimize_tip", "download_close"}) {
        const auto button = run.waitElement(main, englishText(tip));
        ASSERT_TRUE(button) << tip;
        EXPECT_EQ(button->role, ROLE_SYSTEM_PUSHBUTTON) << tip;
    }

    const auto custom = installer::waitButton(run, main, englishText("Button_install_define"));
    ASSERT_TRUE(custom);
    ASSERT_TRUE(run.click(*custom));
    const auto edit = run.waitElement(
        main, [](const AccessibleElement& e) { return e.role == ROLE_SYSTEM_TEXT; });
    ASSERT_TRUE(edit) << installer::describe(run.elements(main));
    EXPECT_EQ(narrow(edit->name), narrow(englishText("Label_choice_path")));
    EXPECT_FALSE(edit->value.empty()) << "the edit's value is the install folder";
    for (const AccessibleElement& e : run.elements(main)) {
        const bool reachable = e.role == ROLE_SYSTEM_PUSHBUTTON ||
                               e.role == ROLE_SYSTEM_CHECKBUTTON || e.role == ROLE_SYSTEM_TEXT;
        if (reachable) {
            EXPECT_FALSE(e.name.empty()) << "a control without a name, role " << e.role;
        }
    }
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
}

// A translator's longer exit question in a text table beside the installer: the exit dialog,
// as wide as before, grows about its centre (over the main window's) instead of cutting the
// question, which ends above the answers; the answers stay inside the window and answer.
TEST_F(InstallerSkin, ALongerTranslationGrowsTheExitDialog) {
    std::string table =
        testing_support::readFileBytes(installer::sourceRoot() + L"skin\\multi_language.tsv");
    const std::regex row("(\nLabel\tMsgBox_exit\t[^\t]*\t[^\t]*\t)[^\t]*");
    ASSERT_TRUE(std::regex_search(table, row));
    std::string question;
    for (int i = 0; i < 8; ++i) question += "Closing now keeps nothing of what was downloaded. ";
    question += "Do you want to stop the installation?";
    table = std::regex_replace(table, row, "$1" + question);
    ASSERT_TRUE(testing_support::writeFileBytes(folder_.path() + L"multi_language.tsv", table));

    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    ASSERT_TRUE(installer::pressCloseButton(run, main)) << installer::describe(run.elements(main));
    HWND box = run.waitForWindow(installer::kExitDialog);
    ASSERT_TRUE(box);
    RECT window{}, owner{};
    EXPECT_TRUE(testing_support::waitUntil([&] {
        GetWindowRect(box, &window);
        return window.bottom - window.top > 236;
    })) << "taller than the layout";
    const auto text = run.waitElement(box, testing_support::widen(question));
    const auto no = installer::waitButton(run, box, englishText("No"));
    ASSERT_TRUE(text && no) << installer::describe(run.elements(box));
    EXPECT_EQ(window.right - window.left, 436);
    GetWindowRect(main, &owner);
    EXPECT_NEAR(window.top + window.bottom, owner.top + owner.bottom, 2) << "still centred";
    EXPECT_LT(window.top, text->location.top);
    EXPECT_LE(text->location.bottom, no->location.top) << "the question ends above the answers";
    EXPECT_LT(no->location.bottom, window.bottom);
    EXPECT_TRUE(run.screenshot(box, L"skin-long-exit-question.png"));
    ASSERT_TRUE(run.click(*no));
    EXPECT_TRUE(run.waitHidden(box));
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
}

}  // namespace
