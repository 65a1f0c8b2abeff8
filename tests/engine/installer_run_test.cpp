// The installer's command line, the processes stopped before it, and how every way the run can
// end is reported on both channels.
#include "engine/installer_run.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/config_imp.h"
#include "telemetry/google_analytics.h"
#include "telemetry/tx_reporter.h"
#include "tests/support/test_support.h"
#include "utility/system_info.h"

namespace {

TEST(InstallerParameters, PiecesInOrderAndOptionalOnesLeftOut) {
    EXPECT_EQ(installer_run::parameterText(L"100", L"en", L"C:\\Tamrix\\Tamrix9\\", L""),
              L"-silence -downloader -openid=100 -language=en -path=\"C:\\Tamrix\\Tamrix9\\\"");
    EXPECT_EQ(installer_run::parameterText(L"2500", L"", L"D:\\a b\\", L"g_1"),
              L"-silence -downloader -openid=2500 -path=\"D:\\a b\\\" -googleid=g_1");
    EXPECT_EQ(installer_run::parameterText(L"5", L"kr", L"", L"x"),
              L"-silence -downloader -openid=5 -language=kr -path=\"\" -googleid=x");
}

TEST(BlockingProcesses, ExactNamesInStopOrder) {
    const utility::process::ProcessList running{{L"explorer.exe", 1},
                                                {L"gxfault.exe", 2},
                                                {L"GXPLAYER.EXE", 3},
                                                {L"gxmultiplayer.exe", 4},
                                                {L"gxplayer.exe.bak", 5}};
    EXPECT_EQ(installer_run::runningBlockers(running),
              (std::vector<std::wstring>{L"gxmultiplayer.exe", L"gxfault.exe"}));
    EXPECT_TRUE(installer_run::runningBlockers({{L"Gxplayer.exe", 1}}).empty());
    EXPECT_EQ(installer_run::runningBlockers({{L"gxplayer.exe", 1}, {L"gxmultiplayerex.exe", 9}}),
              (std::vector<std::wstring>{L"gxplayer.exe", L"gxmultiplayerex.exe"}));
}

TEST(WaitOutcome, EveryWaitResult) {
    EXPECT_EQ(installer_run::classifyWait(WAIT_OBJECT_0), installer_run::WaitOutcome::Ended);
    EXPECT_EQ(installer_run::classifyWait(WAIT_TIMEOUT), installer_run::WaitOutcome::TimedOut);
    EXPECT_EQ(installer_run::classifyWait(WAIT_FAILED), installer_run::WaitOutcome::Failed);
    EXPECT_EQ(installer_run::classifyWait(WAIT_OBJECT_0 + 1), installer_run::WaitOutcome::Stopped);
    EXPECT_EQ(installer_run::classifyWait(WAIT_ABANDONED), installer_run::WaitOutcome::Other);
    EXPECT_EQ(installer_run::classifyWait(WAIT_IO_COMPLETION), installer_run::WaitOutcome::Other);
}

// Both channels with their uploads kept in memory.
class Channels {
public:
    Channels()
        : reporter_(config_,
                    [this](const std::string& body, std::string&, const std::string&,
                           const std::vector<std::string>&) {
                        std::lock_guard guard(lock_);
                        batches_.push_back(body);
                        return true;
                    }),
          analytics_(identitySources(),
                     [this](const std::string& body, std::string&, const std::string&,
                            const std::vector<std::string>&) {
                         std::lock_guard guard(lock_);
                         analyticsBodies_.push_back(body);
                         changed_.notify_all();
                         return true;
                     }) {
        reporter_.initReporter(L"2500", L"pc", L"en");
        analytics_.setMeasurementId(L"G-TEST");
        analytics_.setApiSecret(L"secret");
    }

    installer_run::Reporting reporting() { return {L"2500", reporter_, analytics_}; }

    // Every reporter batch so far, joined (the reporter uploads at shutdown).
    std::string reporterText() {
        reporter_.shutdown();
        std::lock_guard guard(lock_);
        std::string all;
        for (const auto& batch : batches_) all += batch;
        return all;
    }
    // The analytics bodies once n have been posted.
    std::vector<std::string> analyticsBodies(std::size_t n) {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::seconds(30),
                          [&] { return analyticsBodies_.size() >= n; });
        return analyticsBodies_;
    }

private:
    static vadi::PcIdSources identitySources() {
        vadi::PcIdSources sources;
        sources.registryKey = "Software\\TamrixTest\\" + std::string("installer-run");
        return sources;
    }

    ConfigImp config_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> batches_;
    std::vector<std::string> analyticsBodies_;
    TxReporter reporter_;
    vadi::GoogleAnalytics analytics_;
};

struct OutcomeCase {
    installer_run::WaitOutcome outcome;
    bool result;
    const char* failureReason;   // nullptr: no reporter event
    const char* analyticsEvent;  // nullptr: no analytics event
};

TEST(WaitOutcome, EachOutcomeIsReportedOnBothChannels) {
    const OutcomeCase cases[] = {
        {installer_run::WaitOutcome::Ended, true, nullptr, nullptr},
        {installer_run::WaitOutcome::Stopped, false, nullptr, nullptr},
        {installer_run::WaitOutcome::TimedOut, false, "timeout", "install_fail_timeout"},
        {installer_run::WaitOutcome::Failed, false, "failed", "install_fail_other"},
        {installer_run::WaitOutcome::Other, false, "other", "install_fail_other"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.outcome));
        Channels channels;
        EXPECT_EQ(installer_run::reportWaitOutcome(c.outcome, channels.reporting()), c.result);
        const std::string reported = channels.reporterText();
        if (c.failureReason == nullptr) {
            EXPECT_EQ(reported.find("install_fail"), std::string::npos);
            EXPECT_TRUE(channels.analyticsBodies(0).empty());
            continue;
        }
        EXPECT_NE(reported.find("\"install_fail\""), std::string::npos) << reported;
        EXPECT_NE(reported.find(std::string("\"failure_reason\": \"") + c.failureReason + "\""),
                  std::string::npos)
            << reported;
        const auto bodies = channels.analyticsBodies(1);
        ASSERT_EQ(bodies.size(), 1u);
        EXPECT_NE(bodies[0].find(c.analyticsEvent), std::string::npos) << bodies[0];
    }
}

TEST(RunInstaller, AnInstallerThatEndsCountsWhateverItsExitCode) {
    Channels channels;
    EXPECT_TRUE(installer_run::runInstaller(testing_support::peerPath(L"process_peer"), L"exit 7",
                                            60000, nullptr, channels.reporting()));
    EXPECT_EQ(channels.reporterText().find("install_fail"), std::string::npos);
}

// The installer starts from a file held against writers, and the hold ends once it has started.
TEST(RunInstaller, AHeldInstallerStartsAndIsLetGoThen) {
    const testing_support::TempDir dir;
    const std::wstring path = dir.path() + L"Tamrix.exe";
    ASSERT_TRUE(CopyFileW(testing_support::peerPath(L"process_peer").c_str(), path.c_str(), FALSE));
    HeldInstaller held;
    ASSERT_TRUE(held.open(path));
    Channels channels;
    EXPECT_TRUE(installer_run::runInstaller(path, L"exit 0", 60000, nullptr, channels.reporting(),
                                            std::move(held)));
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "still held after the installer ended";
}

TEST(RunInstaller, AMissingInstallerIsAPackageError) {
    Channels channels;
    const testing_support::TempDir dir;
    EXPECT_FALSE(installer_run::runInstaller(dir.path() + L"missing.exe",
                                             L"-silence -downloader -openid=1", 60000, nullptr,
                                             channels.reporting()));
    const std::string reported = channels.reporterText();
    EXPECT_NE(reported.find("\"failure_reason\": \"package_error_2\""), std::string::npos)
        << reported;
    const auto bodies = channels.analyticsBodies(1);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_NE(bodies[0].find("install_fail_packageerror"), std::string::npos);
}

TEST(RunInstaller, AnInstallerStillRunningAtTheLimitTimesOutAndKeepsRunning) {
    const std::wstring ready = L"tamrix-installer-ready-" + utility::makeGuidText();
    const std::wstring release = L"tamrix-installer-release-" + utility::makeGuidText();
    const utility::UniqueHandle readyEvent(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    const utility::UniqueHandle releaseEvent(CreateEventW(nullptr, TRUE, FALSE, release.c_str()));
    Channels channels;
    // The installer holds until released; the limit here is short since the hold is certain.
    EXPECT_FALSE(installer_run::runInstaller(testing_support::peerPath(L"process_peer"),
                                             L"hold " + ready + L" " + release, 500, nullptr,
                                             channels.reporting()));
    EXPECT_EQ(WaitForSingleObject(readyEvent.get(), 60000), WAIT_OBJECT_0) << "it still runs";
    SetEvent(releaseEvent.get());
    const std::string reported = channels.reporterText();
    EXPECT_NE(reported.find("\"failure_reason\": \"timeout\""), std::string::npos) << reported;
}

// A stage that is stopped stops waiting at once, whatever the limit, reports nothing and leaves
// the installer to finish on its own.
TEST(RunInstaller, AStoppedWaitEndsAtOnceAndReportsNothing) {
    const std::wstring ready = L"tamrix-installer-ready-" + utility::makeGuidText();
    const std::wstring release = L"tamrix-installer-release-" + utility::makeGuidText();
    const utility::UniqueHandle readyEvent(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    const utility::UniqueHandle releaseEvent(CreateEventW(nullptr, TRUE, FALSE, release.c_str()));
    const utility::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Channels channels;
    std::thread stopper([&] {
        if (WaitForSingleObject(readyEvent.get(), 60000) == WAIT_OBJECT_0) SetEvent(stop.get());
    });
    EXPECT_FALSE(installer_run::runInstaller(
        testing_support::peerPath(L"process_peer"), L"hold " + ready + L" " + release,
        installer_run::kInstallerWaitMs, stop.get(), channels.reporting()));
    stopper.join();
    EXPECT_EQ(WaitForSingleObject(readyEvent.get(), 0), WAIT_OBJECT_0) << "it ran";
    SetEvent(releaseEvent.get());
    EXPECT_EQ(channels.reporterText().find("install_fail"), std::string::npos);
    EXPECT_TRUE(channels.analyticsBodies(0).empty());
}

}  // namespace
