// The main window's three refusals of the install button, each in a state a person can reach
// with a skin or a drive: the licence not accepted, a folder that is no valid folder, a drive with
// too little room. Pressed as a screen reader presses it; each shows one error box over the
// window and leaves it on its start page. In process, inside a world (for the small drive).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/download_impl.h"
#include "engine/downloader_model.h"
#include "tests/support/window_support.h"
#include "tests/ui/ui_harness.h"
#include "tests/utility/log_capture.h"
#include "toolkit/container.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"

namespace {

using testing_support::LogCapture;
using ui_test::AccessibleWindow;
using ui_test::pumpUntil;

CMainFrame* frameOf(HWND window) {
    return dynamic_cast<CMainFrame*>(static_cast<tk::WindowBase*>(GetPropW(window, L"tk.window")));
}

TEST(MainFrameRefusals, EachRefusalShowsItsBoxAndKeepsTheStartPage) {
    // S: is a drive of 512 MiB, less than an install needs.
    const auto small = testing_support::runUnix(
        "d=$TAMRIX_WORLD_DIR/disk-s; mkdir -p $d && (mountpoint -q $d || mount -t tmpfs -o "
        "size=512m tamrix-disk-s $d) && ln -sfn $d $WINEPREFIX/dosdevices/s:");
    ASSERT_EQ(small.code, 0) << small.output;
    ui_test::setUpToolkit();
    DownloaderModel& model = DownloaderModel::instance();
    model.init(nullptr);
    DownloadImpl app;
    app.showMainFrame();
    const auto windows = ui_test::windowsOfClass(L"cmainframe");
    ASSERT_EQ(windows.size(), 1u);
    const HWND main = windows[0];
    CMainFrame* frame = frameOf(main);
    ASSERT_NE(frame, nullptr);
    const std::wstring goodFolder = model.installFolder();
    auto* licence = frame->find<tk::Option>(L"acceptprotocolopt");
    ASSERT_NE(licence, nullptr);
    LogCapture::instance().newLines();

    struct Case {
        bool licenceAccepted;
        std::wstring folder;
        const char* refusal;
    };
    const Case cases[] = {
        {false, goodFolder, "MsgBox_accept_protocol"},
        {true, L"D:\\bad|name", "MsgBox_error_path"},
        {true, L"S:\\Games", "MsgBox_disk_notEnough"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        // Changed behind the page's back, as a skin without the licence row would leave it:
        // the install button stays available.
        licence->setSelected(c.licenceAccepted, false);
        model.setInstallPath(c.folder);
        ASSERT_TRUE(AccessibleWindow(main).press(tk::lookupText("Button_install_fast")));
        ASSERT_TRUE(
            pumpUntil([] { return !ui_test::windowsOfClass(L"MessageBoxWindow").empty(); }));
        const auto boxes = ui_test::windowsOfClass(L"MessageBoxWindow");
        ASSERT_EQ(boxes.size(), 1u);
        const AccessibleWindow box(boxes[0]);
        EXPECT_TRUE(box.find(tk::lookupText("MsgBox_error")).childId) << "the error title";
        EXPECT_TRUE(box.find(tk::lookupText(c.refusal)).childId);
        EXPECT_FALSE(IsWindowEnabled(main));
        EXPECT_EQ(frame->find<tk::TabLayout>(L"maintab")->selectedIndex(), 0);
        ASSERT_TRUE(box.press(tk::lookupText("confirm")));
        ASSERT_TRUE(pumpUntil([] { return ui_test::windowsOfClass(L"MessageBoxWindow").empty(); }));
        EXPECT_TRUE(IsWindowEnabled(main));
        EXPECT_EQ(frame->find<tk::TabLayout>(L"maintab")->selectedIndex(), 0);
    }
    for (const auto& line : LogCapture::instance().newLines())
        EXPECT_NE(line.function, "DownloaderModel::_threadDownloadPlayer") << "no download started";
    DestroyWindow(main);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(main); }));
}

}  // namespace
