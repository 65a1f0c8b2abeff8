// The installer stage on a thread of the model's own (installer run, first-run setup) and the
// start of the emulator.
#include <string>
#include <utility>

#include "engine/downloader_model.h"
#include "engine/held_installer.h"
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

}  // namespace

// The stage belongs to the model: the model's stop ends it before the model goes.
// The stage works with copies of what it needs, taken here on the UI thread.
bool DownloaderModel::installPlayer() {
    if (installThread_.hasThread()) return false;
    InstallJob job{installer_run::parameterText(openId_, language_, installFolder_, googleId_),
                   config_.getInstallerPath(installFolder_),
                   installFolder_,
                   openId_,
                   serverOpenId_,
                   launch_};
    return installThread_.start(
        makeRunable([this, job = std::move(job)] { _threadInsPlayer(job); }));
}

void DownloaderModel::_threadInsPlayer(const InstallJob& job) {
    const std::wstring& parameters = job.parameters;
    LOG_AT(kStageTag, L"install player param: %s", parameters.c_str());
    const std::wstring& installer = job.installer;
    installer_run::stopEmulatorProcesses();
    if (stageStopped()) return;
    // The download hands over the file it checked, still held; any other file is checked here.
    HeldInstaller held = std::move(heldInstaller_);
    if (!held.held() && utility::ufile::exists(installer)) {
        held_installer::holdChecked(installer, {}, config_.getInstallerSigner(), held, kStageTag);
    }
    if (!held.held()) {
        raise(telemetry::analytics::installPlayerNotExist(job.openId));
    }
    installStartTick_ = GetTickCount();
    const installer_run::Reporting reporting{job.openId, TxReporter::instance(), analytics_};
    const bool endedInTime =
        installer_run::runInstaller(installer, parameters, installer_run::kInstallerWaitMs,
                                    installThread_.stopEvent(), reporting, std::move(held));
    if (stageStopped()) {
        LOG_AT(kStageTag, L"stopped, the first-run setup is left out");
        return;
    }
    postInstallSetup(job);
    if (stageStopped()) return;
    postTask(this, makeRunable([this, endedInTime] {
                 if (onInstallFinished) onInstallFinished(endedInTime);
             }));
}

// Each step looks at the stop first: once the model stops, nothing more is written.
void DownloaderModel::postInstallSetup(const InstallJob& job) {
    if (!job.serverOpenId.empty()) {
        post_install::writeChannelOpenId(post_install::configFilePath(job.installFolder),
                                         job.serverOpenId);
    }
    if (stageStopped()) return;
    const LaunchSettings launch = post_install::acceptedLaunchSettings(job.launch);
    const std::wstring data = post_install::dataFolder(job.installFolder);
    utility::ufile::makeDir(data);
    post_install::fetchLaunchImages(
        launch, data,
        [this](const std::wstring& url, const std::wstring& path) {
            if (stageStopped()) return false;
            return stageHttp_.download2file(url, path, nullptr, false);
        },
        installThread_.stopEvent());
    if (stageStopped()) return;
    post_install::writeFirstRunSettings(launch, data);
    if (stageStopped()) return;
    post_install::createDesktopShortcut(launch, job.installFolder, data);
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
