// What the application's top-level object does on systems a world cannot stand for: on a
// 32-bit system the 64-bit edition or edition 9 gives way to edition 4 (its folder, its logo),
// and on a system older than Vista the unsupported box ends the run. In process, with the
// system's answers given and the main window shown from the source tree's skin.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/download_impl.h"
#include "engine/downloader_model.h"
#include "tests/ui/ui_harness.h"
#include "tests/utility/log_capture.h"
#include "ui/main_frame.h"

namespace {

using testing_support::LogCapture;
using ui_test::pumpUntil;

CMainFrame* frameOf(HWND window) {
    // The toolkit keeps each window's object in a property of its native window.
    return dynamic_cast<CMainFrame*>(static_cast<tk::WindowBase*>(GetPropW(window, L"tk.window")));
}

bool logged(const std::vector<testing_support::LogLine>& lines, const char* function,
            const char* message) {
    return testing_support::hasLogLine(lines, function, message);
}

class SystemChecks : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::setUpToolkit();
        DownloaderModel::instance().init(nullptr);  // this program's name: edition 9
        app_.showMainFrame();
        const auto windows = ui_test::windowsOfClass(L"cmainframe");
        ASSERT_EQ(windows.size(), 1u);
        main_ = windows[0];
        frame_ = frameOf(main_);
        ASSERT_NE(frame_, nullptr);
        LogCapture::instance().newLines();
    }
    void TearDown() override {
        for (HWND box : ui_test::windowsOfClass(L"MessageBoxWindow")) DestroyWindow(box);
        if (IsWindow(main_)) DestroyWindow(main_);
        EXPECT_TRUE(pumpUntil([&] { return !IsWindow(main_); }));
        ui_test::pumpPending();
    }

    DownloadImpl app_;
    HWND main_ = nullptr;
    CMainFrame* frame_ = nullptr;
};

// First of the program's cases: the configuration, which lives as long as the process, still has
// its default edition 9.
TEST_F(SystemChecks, OnA32BitSystemEdition9GivesWayToEdition4) {
    DownloaderModel& model = DownloaderModel::instance();
    ASSERT_TRUE(model.config().isPlayer9());
    EXPECT_TRUE(frame_->findControl(L"logoControl9")->isVisible());
    const std::wstring nineFolder = model.installFolder();

    app_.applySystemChecks(true, false);
    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(logged(lines, "DownloadImpl::showMainFrame", "32 system!!!"));
    EXPECT_TRUE(logged(lines, "ConfigImp::setPlayer4", "player is 4"));
    EXPECT_TRUE(model.config().isPlayer4());
    // The folder and the logo of edition 4, shown at once.
    const std::wstring fourFolder = model.installFolder();
    EXPECT_NE(fourFolder, nineFolder);
    EXPECT_NE(fourFolder.find(model.config().getDefaultInstallSubPath()), std::wstring::npos);
    EXPECT_EQ(frame_->findControl(L"pathedit")->text(), fourFolder);
    EXPECT_TRUE(frame_->findControl(L"logoControl")->isVisible());
    EXPECT_FALSE(frame_->findControl(L"logoControl9")->isVisible());
    EXPECT_TRUE(ui_test::windowsOfClass(L"MessageBoxWindow").empty()) << "nothing to ask";

    // Edition 4 needs no switch: a second look only logs the system.
    app_.applySystemChecks(true, false);
    const auto again = LogCapture::instance().newLines();
    EXPECT_TRUE(logged(again, "DownloadImpl::showMainFrame", "32 system!!!"));
    EXPECT_FALSE(logged(again, "ConfigImp::setPlayer4", "player is 4"));
    EXPECT_EQ(model.installFolder(), fourFolder);
}

TEST_F(SystemChecks, OnA64BitSystemSinceVistaNothingChanges) {
    DownloaderModel& model = DownloaderModel::instance();
    const std::wstring folder = model.installFolder();
    const auto edition = model.config().getEdition();
    app_.applySystemChecks(true, true);
    const auto lines = LogCapture::instance().newLines();
    EXPECT_FALSE(logged(lines, "DownloadImpl::showMainFrame", "32 system!!!"));
    EXPECT_EQ(model.config().getEdition(), edition);
    EXPECT_EQ(model.installFolder(), folder);
    EXPECT_TRUE(ui_test::windowsOfClass(L"MessageBoxWindow").empty());
}

TEST_F(SystemChecks, BeforeVistaTheUnsupportedBoxsButtonClosesTheMainWindow) {
    app_.applySystemChecks(false, true);
    const auto boxes = ui_test::windowsOfClass(L"MessageBoxWindow");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(IsWindowEnabled(main_));
    ASSERT_TRUE(ui_test::AccessibleWindow(boxes[0]).press(L"Sure"));
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(main_); })) << "the main window closes";
    // The 32-bit question is not asked after the box.
    EXPECT_FALSE(
        logged(LogCapture::instance().newLines(), "DownloadImpl::showMainFrame", "32 system!!!"));
}

}  // namespace
