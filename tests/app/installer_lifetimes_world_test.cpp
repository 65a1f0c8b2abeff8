// What outlives a window of the installer, and what a window's end interrupts, as a person and a
// screen reader meet it: a screen reader's copy of a dialog's children after the dialog has gone,
// presses asked for behind a dialog, and the main window closed while the folder browser runs
// inside one of its handlers. The real TamrixInstaller.exe in the world, driven through
// accessibility and xdotool, judged by the answers of its accessible objects, its log and its end.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>
#include <wrl/client.h>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"

namespace {

using installer::englishText;
using installer::Installer;
using Microsoft::WRL::ComPtr;
using testing_support::childVariant;
using testing_support::waitUntil;

class InstallerLifetimes : public installer::InstallerTest {
protected:
    static bool downloadStarted(const Installer& run) {
        for (const auto& line : run.log())
            if (line.function == "DownloaderModel::_threadDownloadPlayer") return true;
        return false;
    }
};

// While the exit dialog is open the main window is disabled: its install button can be neither
// focused nor pressed through the accessibility tree. A copy of the dialog's children, kept
// after the dialog has gone, answers that its object is gone, and the run goes on unharmed.
TEST_F(InstallerLifetimes, AScreenReaderCannotActBehindADialogNorReachOneThatIsGone) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    const ComPtr<IAccessible> mainObject = testing_support::accessibleOf(main);
    ASSERT_TRUE(mainObject);
    const auto close = run.waitElement(main, englishText("download_close"));
    ASSERT_TRUE(close);
    ASSERT_TRUE(run.click(*close));
    HWND dialog = run.waitForWindow(installer::kExitDialog);
    ASSERT_TRUE(dialog);
    ASSERT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ(mainObject->accDoDefaultAction(childVariant(install->id)), E_FAIL);
    EXPECT_NE(mainObject->accSelect(SELFLAG_TAKEFOCUS, childVariant(install->id)), S_OK);

    // A screen reader's copy of the dialog's list of children.
    const ComPtr<IAccessible> dialogObject = testing_support::accessibleOf(dialog);
    ASSERT_TRUE(dialogObject);
    ComPtr<IEnumVARIANT> children, copy;
    ASSERT_EQ(dialogObject.As(&children), S_OK);
    ASSERT_EQ(children->Clone(&copy), S_OK);
    VARIANT item;
    VariantInit(&item);
    ULONG got = 0;
    ASSERT_EQ(copy->Next(1, &item, &got), S_OK) << "the copy lists the open dialog's children";
    VariantClear(&item);

    const auto no = installer::waitButton(run, dialog, englishText("No"));
    ASSERT_TRUE(no);
    ASSERT_TRUE(run.click(*no));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(copy->Reset(), S_OK);
    EXPECT_EQ(copy->Next(1, &item, &got), CO_E_OBJNOTCONNECTED);
    long count = 0;
    EXPECT_TRUE(FAILED(dialogObject->get_accChildCount(&count)));

    // Nothing happened behind the dialog; the window is the start page and answers.
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
    EXPECT_TRUE(installer::waitInstallButton(run, main)) << installer::describe(run.elements(main));
    EXPECT_FALSE(downloadStarted(run)) << "the install button was pressed behind the dialog";
    EXPECT_TRUE(run.screenshot(main, L"lifetimes-after-dialog.png"));
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
    EXPECT_FALSE(downloadStarted(run));
}

// The folder browser runs inside the handler of the question box's Sure; the main window is
// closed meanwhile (as the system closes it): the run ends cleanly.
TEST_F(InstallerLifetimes, TheWindowClosedWhileTheFolderBrowserIsOpenEndsTheRunCleanly) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto custom = installer::waitButton(run, main, englishText("Button_install_define"));
    ASSERT_TRUE(custom);
    ASSERT_TRUE(run.click(*custom));
    const auto browse = installer::waitButton(run, main, englishText("browser"));
    ASSERT_TRUE(browse);
    ASSERT_TRUE(run.click(*browse));
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box);
    const auto sure = installer::waitButton(run, box, englishText("sure"));
    ASSERT_TRUE(sure);
    ASSERT_TRUE(run.click(*sure));
    HWND browser = run.waitForWindow(L"#32770");
    ASSERT_TRUE(browser) << "no folder browser";
    ASSERT_TRUE(PostMessageW(main, WM_CLOSE, 0, 0));
    EXPECT_EQ(run.waitExit(), 0);
    EXPECT_FALSE(IsWindow(browser));
}

}  // namespace
