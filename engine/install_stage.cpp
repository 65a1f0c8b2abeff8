// The installer stage on a thread-pool thread (installer run, first-run setup) and the start of
// the emulator.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/downloader_model.h"
#include "engine/installer_run.h"
#include "engine/post_install.h"
#include "net/http_downloader.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/process.h"

namespace {

constexpr char kStageTag[] = "DownloaderModel::_threadInsPlayer";
constexpr char kRunTag[] = "DownloaderModel::runPlayer";

// Installer stages handed to the system's thread pool. They are kept until the process ends and
// nothing waits for them: the stage outlives a user who closes the window.
struct PoolWorks {
    std::mutex lock;
    std::vector<PTP_WORK> works;
};
PoolWorks& poolWorks() {
    static auto* works = new PoolWorks;  // never destroyed, like the stages it holds
    return *works;
}

void CALLBACK runInstallStage(PTP_CALLBACK_INSTANCE, void* model, PTP_WORK) {
    static_cast<DownloaderModel*>(model)->_threadInsPlayer();
}

}  // namespace

bool DownloaderModel::installPlayer() {
    PTP_WORK work = CreateThreadpoolWork(runInstallStage, this, nullptr);
    if (work == nullptr) return false;
    {
        std::lock_guard guard(poolWorks().lock);
        poolWorks().works.push_back(work);
    }
    SubmitThreadpoolWork(work);
    return true;
}

void DownloaderModel::_threadInsPlayer() {
    const std::wstring parameters =
        installer_run::parameterText(openId_, language_, installFolder_, googleId_);
    LOG_AT(kStageTag, L"install player param: %s", parameters.c_str());
    const std::wstring installer = config_.getInstallerPath(installFolder_);
    installer_run::stopEmulatorProcesses();
    if (!utility::ufile::exists(installer)) {
        raise(telemetry::analytics::installPlayerNotExist(openId_));
    }
    installStartTick_ = GetTickCount();
    const installer_run::Reporting reporting{openId_, TxReporter::instance(), analytics_};
    const bool endedInTime = installer_run::runInstaller(
        installer, parameters, installer_run::kInstallerWaitMs, reporting);
    postInstallSetup();
    postTask(this, makeRunable([this, endedInTime] {
                 if (onInstallFinished) onInstallFinished(endedInTime);
             }));
}

void DownloaderModel::postInstallSetup() {
    if (!serverOpenId_.empty()) {
        post_install::writeChannelOpenId(post_install::configFilePath(installFolder_),
                                         serverOpenId_);
    }
    const std::wstring data = post_install::dataFolder(installFolder_);
    utility::ufile::makeDir(data);
    post_install::fetchLaunchImages(launch_, data,
                                    [](const std::wstring& url, const std::wstring& path) {
                                        utility::CHttpDownloader http;
                                        return http.download2file(url, path, nullptr, false);
                                    });
    post_install::writeFirstRunSettings(launch_, data);
    post_install::createDesktopShortcut(launch_, installFolder_, data);
}

bool DownloaderModel::startPlayer() {
    return runPlayer(post_install::playerArguments(package_));
}

bool DownloaderModel::runPlayer(const std::wstring& arguments) {
    const std::wstring player = installFolder_ + L"\\gxplayer.exe";
    const OSVERSIONINFOW version = post_install::reportedOsVersion();
    if (!post_install::usesShellToken(version.dwMajorVersion, version.dwMinorVersion)) {
        return utility::process::shell(player, arguments, true, false);
    }
    LOG_AT(kRunTag, L"runPlayer no amdin");
    if (post_install::startUnelevated(player, arguments)) return true;
    LOG_AT(kRunTag, L"runPlayer no amdin error %d", static_cast<int>(GetLastError()));
    return utility::process::shell(player, arguments, true, false);
}

void DownloaderModel::sendEvent(const std::wstring& name, const std::wstring& label) {
    analytics_.sendEvent(name, label);
}

void DownloaderModel::sendEventNow(const std::wstring& name, const std::wstring& label) {
    analytics_.sendEventNow(name, label);
}

void DownloaderModel::raise(const telemetry::AnalyticsEvent& event) {
    sendEvent(event.name, event.label);
}
