// The installer when things go wrong, as a person meets it: the close button while the download
// is slow and while the emulator installs, a download that breaks off after most of the package
// or before any byte of it, and an installer that reports a failure. The real
// TamrixInstaller.exe in the world with Wine reporting Windows 10, driven through accessibility
// and xdotool, judged by its windows and by the records the run leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

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
using testing_support::world::writeScenario;

const std::string kCdn = road::cdnHost();
const std::string kPackages = "/download/package/*";

std::string fileSharingLink() {
    return utility::wideToUtf8(std::wstring(deployment::values().fileSharingLink));
}

// The ext_field of the run's "cancel_download" report; empty when there is none.
std::string cancelLabel(const road::Run& result) {
    static const std::regex event(
        R"re(\{"event":"cancel_download","properties":\{"ext_field":"([^"]*)"\}\})re");
    for (const auto& e : result.reporterEvents()) {
        std::smatch m;
        if (std::regex_match(e, m, event)) return m[1];
    }
    return {};
}

// Every package request breaks off: the first after 10.5 MiB, the others at once. The comment
// makes each scenario a new one for the double, whose rule counters belong to a scenario's text.
std::string breaksAfterMost(const std::string& comment) {
    return R"({"comment": ")" + comment +
           R"(", "rules": [{"host": "*", "path": "/download/package/*", "dropAfterBytes": 11010048,)"
           R"( "times": 1}, {"host": "*", "path": "/download/package/*", "status": 503}]})";
}
// No package request gets a byte.
const std::string kNeverAnswers =
    R"({"rules": [{"host": "*", "path": "/download/package/*", "status": 503}]})";

// The install help text the customer document of the double gives for English.
const std::wstring kServiceInstallHelp = L"Installation failed. Please contact customer support.";

// The customer link the customer document of the double gives for English.
std::string customerLink() {
    return "https://" + utility::wideToUtf8(std::wstring(deployment::values().mainWebSiteHost)) +
           "/support";
}

class InstallerFailures : public installer::InstallerTest {
protected:
    // Starts the installer, presses Install and waits until the stage text shows at least the
    // percent. Returns the main window (null on failure) and when Install was pressed.
    HWND startDownload(Installer& run, int percent, DWORD* pressed = nullptr) {
        HWND main = run.waitForWindow(installer::kMainWindow);
        if (!main) return nullptr;
        const auto install = installer::waitInstallButton(run, main);
        if (!install) return nullptr;
        if (pressed) *pressed = GetTickCount();
        if (!run.click(*install)) return nullptr;
        if (percent > 0 &&
            !waitUntil([&] { return installer::shownPercent(run, main) >= percent; }, 60000))
            return nullptr;
        return main;
    }

    // The close button during a slow download, then one of the two ways out.
    void leaveSlowDownload(const char* buttonKey, const std::wstring& screenshot) {
        ASSERT_TRUE(writeScenario(R"({"rules": [)" +
                                  road::rule(kCdn, kPackages, R"("rateLimit": 262144)") + "]}"));
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        DWORD installPressed = 0;
        HWND main = startDownload(run, 4, &installPressed);
        ASSERT_TRUE(main) << installer::describe(run.elements(main));
        const auto close = run.waitElement(main, englishText("download_close"));
        ASSERT_TRUE(close);
        const int before = installer::shownPercent(run, main);
        const DWORD closePressed = GetTickCount();
        ASSERT_TRUE(run.click(*close));
        HWND box = run.waitForWindow(installer::kMessageBox);
        ASSERT_TRUE(box);
        EXPECT_TRUE(run.waitElement(box, englishText("download_slowtip")));
        EXPECT_TRUE(run.waitElement(box, englishText("MSGBox_noice")));
        const auto leave = installer::waitButton(run, box, englishText(buttonKey));
        ASSERT_TRUE(leave) << installer::describe(run.elements(box));
        EXPECT_TRUE(installer::waitButton(run, box, englishText("download_close")));
        EXPECT_TRUE(installer::waitButton(run, box, englishText("downloadBybrowser")));
        EXPECT_TRUE(run.screenshot(box, screenshot));
        const int after = installer::shownPercent(run, main);
        ASSERT_TRUE(run.click(*leave));
        EXPECT_EQ(run.waitExit(), 0);
        const DWORD left = GetTickCount();

        const auto result = run.record();
        // percent_seconds_host_client, with the seconds since Install was pressed.
        const std::string label = cancelLabel(result);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(label, m, std::regex(R"((\d+)_(\d+)_(aws|res)_(Curl|IE))")))
            << label << "\n"
            << testing::PrintToString(result.reporterEvents());
        const int percent = std::stoi(m[1]);
        // What the window had counted when the button was pressed: at least what it showed
        // before the close button, and little more than it showed just before the press (its
        // text follows the count with throttled reports, at 1 % in about half a second).
        EXPECT_GE(percent, before);
        EXPECT_LE(percent, after + 5);
        const unsigned seconds = static_cast<unsigned>(std::stoul(m[2]));
        EXPECT_GE(seconds + 1, (closePressed - installPressed) / 1000) << label;
        EXPECT_LE(seconds, (left - installPressed) / 1000 + 1) << label;
        EXPECT_GE(seconds, 1u) << label;
        EXPECT_EQ(m[3], "aws") << "the download ran on the main address";
        EXPECT_EQ(m[4], "IE") << "the download ran through the system client";
        EXPECT_TRUE(road::contains(result.analyticsEvents(), "cancel_download_downloading"));
        EXPECT_TRUE(result.allUploadsSigned());
        // The download heard of the quit and ended on its own; no thread was ended by force.
        EXPECT_TRUE(result.logged("DownloaderModel::_threadDownloadPlayer", "download stopped"))
            << testing::PrintToString(result.messages("DownloaderModel::_threadDownloadPlayer"));
        EXPECT_EQ(result.messages("WorkerThread::stop"), std::vector<std::string>{});
        EXPECT_EQ(waitForStandinRuns("installer", installerStart_, 0).size(), installerStart_);
    }
};

TEST_F(InstallerFailures, TheCloseButtonDuringASlowDownloadLeaves) {
    leaveSlowDownload("download_close", L"slow-download-box.png");
    EXPECT_TRUE(installer::browserAddresses().size() == browserStart_) << "no browser";
}

TEST_F(InstallerFailures, TheCloseButtonDuringASlowDownloadLeavesThroughTheBrowser) {
    leaveSlowDownload("downloadBybrowser", L"slow-download-box-browser.png");
    EXPECT_EQ(installer::waitForBrowser(browserStart_),
              std::vector<std::string>{fileSharingLink()});
}

TEST_F(InstallerFailures, TheCloseButtonWhileInstallingOnlyAsksToWait) {
    ASSERT_TRUE(writeScenario(R"({"standins": {"installer": {"delayMs": 5000}}})"));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = startDownload(run, 0);
    ASSERT_TRUE(main);
    ASSERT_TRUE(run.waitElement(main, englishText("Label_installing_waiting")));
    const auto close = run.waitElement(main, englishText("download_close"));
    ASSERT_TRUE(close);
    ASSERT_TRUE(run.click(*close));
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box);
    EXPECT_TRUE(run.waitElement(box, englishText("installing_exit_tip")));
    EXPECT_TRUE(run.screenshot(box, L"installing-exit-tip.png"));
    const auto sure = installer::waitButton(run, box, englishText("sure"));
    ASSERT_TRUE(sure);
    ASSERT_TRUE(run.click(*sure));
    EXPECT_TRUE(run.waitHidden(box));
    EXPECT_TRUE(IsWindowVisible(main));
    // The install goes on to its end: the emulator starts.
    EXPECT_EQ(run.waitExit(), 0);
    EXPECT_EQ(waitForStandinRuns("player", playerStart_ + 1).size(), playerStart_ + 1);
    EXPECT_EQ(cancelLabel(run.record()), "");
}

TEST_F(InstallerFailures, ADownloadBrokenOffAfterMostOfThePackageIsRetriedWhereItStopped) {
    ASSERT_TRUE(writeScenario(breaksAfterMost("retried")));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = startDownload(run, 0);
    ASSERT_TRUE(main);
    HWND dialog = run.waitForWindow(installer::kDownloadErrorDialog, 60000);
    ASSERT_TRUE(dialog) << "no download error dialog";
    // Its own text: the service's install help is about installing.
    EXPECT_TRUE(run.waitElement(dialog, englishText("downloading_error_tip")))
        << installer::describe(run.elements(dialog));
    EXPECT_FALSE(run.waitElement(dialog, kServiceInstallHelp, 0));
    EXPECT_TRUE(run.screenshot(dialog, L"download-error-dialog.png"));
    // The customer link leaves the dialog open.
    const auto contact = installer::waitButton(run, dialog, englishText("customer_connect"));
    ASSERT_TRUE(contact) << installer::describe(run.elements(dialog));
    ASSERT_TRUE(run.click(*contact));
    EXPECT_EQ(installer::waitForBrowser(browserStart_), std::vector<std::string>{customerLink()});
    EXPECT_TRUE(IsWindowVisible(dialog));

    // Retry, with the hosts answering again: the download goes on from where it broke off.
    const std::size_t since = testing_support::world::requestCount();
    ASSERT_TRUE(testing_support::world::resetScenario());
    const auto retry = installer::waitButton(run, dialog, englishText("retry"));
    ASSERT_TRUE(retry);
    ASSERT_TRUE(run.click(*retry));
    EXPECT_TRUE(run.waitHidden(dialog));
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto resumed = testing_support::world::waitForRequest(
        [](const road::RecordedRequest& r) { return r.path.rfind("/download/package/", 0) == 0; },
        since);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->range, "bytes=11010048-");
    EXPECT_EQ(resumed->status, 206);
    EXPECT_EQ(resumed->outcome, "complete");
    const auto result = run.record();
    EXPECT_TRUE(
        result.logged("DownloaderModel::_threadDownloadPlayer", "download finished, success = 1"));
    const auto installs = waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_EQ(waitForStandinRuns("player", playerStart_ + 1).size(), playerStart_ + 1);
    EXPECT_TRUE(result.allUploadsSigned());
}

TEST_F(InstallerFailures, ADownloadBrokenOffCanBeLeftForTheBrowser) {
    ASSERT_TRUE(writeScenario(breaksAfterMost("left for the browser")));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    ASSERT_TRUE(startDownload(run, 0));
    HWND dialog = run.waitForWindow(installer::kDownloadErrorDialog, 60000);
    ASSERT_TRUE(dialog);
    const auto browser = installer::waitButton(run, dialog, englishText("downloadBybrowser"));
    ASSERT_TRUE(browser);
    ASSERT_TRUE(run.click(*browser));
    EXPECT_EQ(run.waitExit(), 0);
    EXPECT_EQ(installer::waitForBrowser(browserStart_),
              std::vector<std::string>{fileSharingLink()});
    EXPECT_EQ(testing_support::world::readStandinRuns("installer").size(), installerStart_);
}

// A download that fails before any byte offers the browser: yes opens it, both answers leave.
TEST_F(InstallerFailures, ADownloadWithoutAnyByteOffersTheBrowser) {
    for (const char* answer : {"Yes", "No"}) {
        SCOPED_TRACE(answer);
        ASSERT_TRUE(writeScenario(kNeverAnswers));
        const std::size_t browserBefore = installer::browserAddresses().size();
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        ASSERT_TRUE(startDownload(run, 0));
        HWND box = run.waitForWindow(installer::kMessageBox, 60000);
        ASSERT_TRUE(box) << "no browser offer";
        EXPECT_TRUE(run.waitElement(box, englishText("download_error_tip2")));
        EXPECT_TRUE(run.waitElement(box, englishText("MSGBox_noice")));
        if (std::string(answer) == "Yes") {
            EXPECT_TRUE(run.screenshot(box, L"browser-offer.png"));
        }
        const auto button = installer::waitButton(run, box, englishText(answer));
        ASSERT_TRUE(button) << installer::describe(run.elements(box));
        ASSERT_TRUE(run.click(*button));
        EXPECT_EQ(run.waitExit(), 0);
        if (std::string(answer) == "Yes") {
            EXPECT_EQ(installer::waitForBrowser(browserBefore),
                      std::vector<std::string>{fileSharingLink()});
        } else {
            EXPECT_EQ(installer::browserAddresses().size(), browserBefore);
        }
        EXPECT_EQ(testing_support::world::readStandinRuns("installer").size(), installerStart_);
    }
}

class InstallerFailing : public InstallerFailures {
protected:
    // An installer that reports the failure -5 and then takes its time to end.
    HWND installAndFail(Installer& run, int exitDelayMs = 8000) {
        if (!writeScenario(R"({"standins": {"installer": {"behaviour": "fail", "errorCode": -5,)"
                           R"( "exitDelayMs": )" +
                           std::to_string(exitDelayMs) + "}}}"))
            return nullptr;
        if (!startDownload(run, 0)) return nullptr;
        return run.waitForWindow(installer::kInstallErrorDialog, 60000);
    }
    // Closes the dialog with its title bar's close button (its topmost button).
    void closeWithTitleBar(Installer& run, HWND dialog) {
        std::optional<AccessibleElement> close;
        for (const auto& e : run.elements(dialog))
            if (installer::isButton(e) && (!close || e.location.top < close->location.top))
                close = e;
        ASSERT_TRUE(close) << installer::describe(run.elements(dialog));
        ASSERT_TRUE(run.click(*close));
        EXPECT_TRUE(run.waitHidden(dialog));
    }
    // The main window's close button, pressed.
    void pressMainClose(Installer& run, HWND main) {
        const auto close = run.waitElement(main, englishText("download_close"));
        ASSERT_TRUE(close);
        ASSERT_TRUE(run.click(*close));
    }
    void expectFailureReported(Installer& run) {
        const auto result = run.record();
        EXPECT_TRUE(road::contains(
            result.reporterEvents(),
            R"({"event":"install_fail","properties":{"failure_reason":"errorcode_-5"}})"))
            << testing::PrintToString(result.reporterEvents());
        EXPECT_TRUE(road::contains(result.analyticsEvents(), "install_fail"));
        EXPECT_TRUE(result.logged("DownloadImpl::onHandleWindowIPC", "player install error! -5"));
        EXPECT_TRUE(result.allUploadsSigned());
    }
};

TEST_F(InstallerFailing, SureEndsTheRunAndTheCustomerLinkOpensFirst) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND dialog = installAndFail(run);
    ASSERT_TRUE(dialog) << "no install error dialog";
    EXPECT_TRUE(run.waitElement(dialog, englishText("MsgBox_error")));
    EXPECT_TRUE(run.screenshot(dialog, L"install-error-dialog.png"));
    const auto contact = installer::waitButton(run, dialog, englishText("customer_connect"));
    ASSERT_TRUE(contact) << installer::describe(run.elements(dialog));
    ASSERT_TRUE(run.click(*contact));
    EXPECT_EQ(installer::waitForBrowser(browserStart_), std::vector<std::string>{customerLink()});
    const auto sure = installer::waitButton(run, dialog, englishText("sure"));
    ASSERT_TRUE(sure);
    ASSERT_TRUE(run.click(*sure));
    EXPECT_EQ(run.waitExit(), 0);
    expectFailureReported(run);
    EXPECT_EQ(testing_support::world::readStandinRuns("player").size(), playerStart_);
}

TEST_F(InstallerFailing, CancelEndsTheRun) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND dialog = installAndFail(run);
    ASSERT_TRUE(dialog);
    const auto cancel = installer::waitButton(run, dialog, englishText("cancel"));
    ASSERT_TRUE(cancel);
    ASSERT_TRUE(run.click(*cancel));
    EXPECT_EQ(run.waitExit(), 0);
    expectFailureReported(run);
    EXPECT_EQ(testing_support::world::readStandinRuns("player").size(), playerStart_);
}

// The installer reports its failure and ends a little later: its end is no success (nothing is
// launched or opened, the run goes on), and from then on the main window's close button brings
// the install error dialog back, whose answers end the run. Before the end the close button asks
// to wait.
TEST_F(InstallerFailing, AfterAReportedFailureOnlyTheInstallErrorDialogEndsTheRun) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND dialog = installAndFail(run);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(run.waitElement(dialog, kServiceInstallHelp))
        << "the service's install help: " << installer::describe(run.elements(dialog));
    closeWithTitleBar(run, dialog);
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    // Still installing: the close button asks to wait.
    pressMainClose(run, main);
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box);
    EXPECT_TRUE(run.waitElement(box, englishText("installing_exit_tip")));
    const auto sure = installer::waitButton(run, box, englishText("sure"));
    ASSERT_TRUE(sure);
    ASSERT_TRUE(run.click(*sure));
    EXPECT_TRUE(run.waitHidden(box));

    // The installer ends in time: the dialog comes back, and the run goes on.
    ASSERT_TRUE(waitUntil(
        [&] {
            return WaitForSingleObject(run.process(), 0) == WAIT_OBJECT_0 ||
                   run.waitForWindow(installer::kInstallErrorDialog, 0);
        },
        60000));
    ASSERT_EQ(WaitForSingleObject(run.process(), 0), WAIT_TIMEOUT) << "the run ended by itself";
    dialog = run.waitForWindow(installer::kInstallErrorDialog);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(run.waitForLog("CMainFrame::onInstallFinished",
                               "install stage ended, in time 1, failure reported 1"));
    EXPECT_TRUE(run.screenshot(main, L"install-failed-stage-ended.png"));
    closeWithTitleBar(run, dialog);
    EXPECT_TRUE(IsWindowVisible(main));

    // Now the close button offers the dialog's answers again.
    pressMainClose(run, main);
    dialog = run.waitForWindow(installer::kInstallErrorDialog);
    ASSERT_TRUE(dialog) << "the close button brings the install error dialog back";
    EXPECT_TRUE(run.windows(installer::kMessageBox).empty()) << "no installing_exit_tip";
    const auto cancel = installer::waitButton(run, dialog, englishText("cancel"));
    ASSERT_TRUE(cancel);
    ASSERT_TRUE(run.click(*cancel));
    EXPECT_EQ(run.waitExit(), 0);
    expectFailureReported(run);
    const auto result = run.record();
    EXPECT_EQ(testing_support::world::readStandinRuns("player").size(), playerStart_)
        << "no emulator after a failed install";
    EXPECT_FALSE(road::contains(result.reporterEvents(), R"({"event":"jump_to_web"})"))
        << testing::PrintToString(result.reporterEvents());
    EXPECT_EQ(installer::browserAddresses().size(), browserStart_) << "no web page";
}

// The stage has failed and its dialog is open. A click on the main window beside the dialog puts
// the main window over it (Wine keeps no owned window above its owner); the close button then
// brings the dialog back to the front, where a person can answer it.
TEST_F(InstallerFailing, TheCloseButtonBringsTheOpenInstallErrorDialogToTheFront) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND dialog = installAndFail(run, 0);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(run.waitForLog("CMainFrame::onInstallFinished",
                               "install stage ended, in time 1, failure reported 1"));
    EXPECT_TRUE(run.waitInFront(dialog));
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(main, &frame));
    for (int press = 0; press < 2; ++press) {
        ASSERT_TRUE(run.click(POINT{frame.left + 12, frame.bottom - 12}));
        ASSERT_TRUE(waitUntil([&] { return !run.waitInFront(dialog, 0); }, 10000))
            << "the main window did not come over the dialog";
        pressMainClose(run, main);
        EXPECT_TRUE(run.waitInFront(dialog, 10000)) << "press " << press;
    }
    EXPECT_TRUE(run.screenshot(main, L"install-error-dialog-brought-back.png"));
    EXPECT_EQ(run.windows(installer::kInstallErrorDialog).size(), 1u);
    const auto cancel = installer::waitButton(run, dialog, englishText("cancel"));
    ASSERT_TRUE(cancel);
    ASSERT_TRUE(run.click(*cancel));
    EXPECT_EQ(run.waitExit(), 0);
    expectFailureReported(run);
}

}  // namespace
