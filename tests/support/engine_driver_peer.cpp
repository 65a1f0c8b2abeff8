// Drives the downloader model through a whole run the way the main window does, as its own
// Windows program: copied under an installer file name and started inside the local world.
//
// The command line goes to the model as the downloader's command line. What the "user" does
// comes from the environment:
//   TAMRIX_DRIVER_RETRY=1    after a failed download, retry once with resume
//   TAMRIX_DRIVER_LAUNCH=0   do not start the emulator after the install
//   TAMRIX_DRIVER_FOLDER=F   choose F as install folder before the download
//   TAMRIX_DRIVER_QUIT_ON=M  quit (as the user closing the window) once channel message M came
//   TAMRIX_DRIVER_GONE_EVENT=E  set the named event E once the model is destroyed
// The driver carries the installer's manifest, so it sees the system version the installer sees
// (logged at the start), and logs the teardown's steps under "DownloadImpl::shutdown".
// Exit codes: 0 installed (and launched), 10 another copy runs, 20 download failed,
// 30 installer did not end in time, 40 emulator did not start.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdlib>
#include <string>

#include "app/installer_messages.h"
#include "engine/downloader_model.h"
#include "engine/post_install.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/log.h"
#include "utility/task_runner.h"
#include "utility/text.h"
#include "utility/window_ipc.h"

namespace {

bool environmentFlag(const char* name, bool fallback) {
    const char* value = std::getenv(name);
    return value == nullptr ? fallback : std::string(value) == "1";
}

void logReportedVersion() {
    const OSVERSIONINFOW version = post_install::reportedOsVersion();
    LOG_AT("EngineDriver", L"os version %lu.%lu", version.dwMajorVersion, version.dwMinorVersion);
}

void setGoneEvent() {
    const char* name = std::getenv("TAMRIX_DRIVER_GONE_EVENT");
    if (name == nullptr) return;
    const utility::UniqueHandle event(
        CreateEventW(nullptr, TRUE, FALSE, utility::ansiToWide(name).c_str()));
    if (event) SetEvent(event.get());
}

// The channel's receiving end, as the application's top-level object has it.
class Channel : public utility::IWindowIPCHandle {
public:
    explicit Channel(DownloaderModel& model) : model_(model) {
        if (const char* quitOn = std::getenv("TAMRIX_DRIVER_QUIT_ON")) quitOn_ = std::atoi(quitOn);
    }
    int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM) override {
        LOG_AT("DownloadImpl::onHandleWindowIPC", L"onHandleWindowIPC, msg = %d",
               static_cast<int>(message));
        if (message == installer_messages::kInstallFailed) {
            installer_messages::onInstallFailed(wParam, model_, TxReporter::instance());
        } else if (message == installer_messages::kInstallSucceeded) {
            installer_messages::onInstallSucceeded(model_, TxReporter::instance());
        }
        if (static_cast<int>(message) == quitOn_) PostQuitMessage(0);
        return 0;
    }

private:
    DownloaderModel& model_;
    int quitOn_ = 0;
};

int g_exitCode = 0;

void finish(int code) {
    g_exitCode = code;
    PostQuitMessage(code);
}

}  // namespace

int wmain(int, wchar_t**) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring work = utility::ufile::appDataDir() + L"\\txdownloader_en\\";
    utility::ufile::makeDir(work);
    initUtilities();
    openLogFile(work + L"downloader.log");
    LOG_AT("wWinMain", L"\r\n\r\n start run");
    logReportedVersion();

    DownloaderModel& model = DownloaderModel::instance();
    if (model.popupExistPwnd()) {
        LOG_AT("DownloadImpl::entrance", L"It's exist");
        closeLogFile();
        return 10;
    }
    // The raw command line after the program name, as the entry function receives it.
    const wchar_t* line = GetCommandLineW();
    std::wstring arguments;
    if (line[0] == L'"') {
        const wchar_t* end = wcschr(line + 1, L'"');
        line = end ? end + 1 : line + wcslen(line);
    } else {
        while (*line && *line != L' ') ++line;
    }
    while (*line == L' ') ++line;
    arguments = line;
    model.init(arguments.empty() ? nullptr : arguments.c_str());

    const bool retry = environmentFlag("TAMRIX_DRIVER_RETRY", false);
    const bool launch = environmentFlag("TAMRIX_DRIVER_LAUNCH", true);
    bool retried = false;
    model.onDownloadProgress = [](int percent, int received, int expected) {
        LOG_AT("CMainFrame::onDownloadProgress", L"progress %d %d %d", percent, received, expected);
    };
    model.onDownloadPercent = [](int percent) {
        LOG_AT("CMainFrame::onDownloadPercent", L"percent %d", percent);
    };
    model.onDownloadFinished = [&model] {
        LOG_AT("CMainFrame::onDownloadFinished", L"download finished");
        if (!model.installPlayer()) finish(30);
    };
    model.onDownloadFailed = [&](std::int64_t downloaded) {
        LOG_AT("CMainFrame::onDownloadFailed", L"download failed, kept %lld",
               static_cast<long long>(downloaded));
        if (retry && !retried) {
            retried = true;
            model.startDownloadPlayer(true);
            return;
        }
        finish(20);
    };
    model.onInstallFinished = [&](bool endedInTime) {
        LOG_AT("CMainFrame::onInstallFinished", L"install finished %d", endedInTime ? 1 : 0);
        if (!endedInTime) return finish(30);
        if (launch && !model.startPlayer()) return finish(40);
        finish(0);
    };

    Channel channel(model);
    utility::WindowIPC server;
    server.listen(utility::kChannelName, &channel);
    model.raise(telemetry::analytics::downloadRun(model.openId()));
    telemetry::report::runDownloader();

    // The user picks a folder and presses the install button.
    if (const char* folder = std::getenv("TAMRIX_DRIVER_FOLDER")) {
        model.setInstallPath(utility::ansiToWide(folder));
    }
    LOG_AT("CMainFrame::installNow", L"install folder %s", model.installFolder().c_str());
    telemetry::report::startDownloader();
    model.raise(telemetry::analytics::startDownloader(model.openId()));
    model.startDownloadPlayer(false);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    TxReporter::instance().shutdown();
    model.stop();
    LOG_AT("DownloadImpl::shutdown", L"model stopped");
    DownloaderModel::destroyInstance();
    LOG_AT("DownloadImpl::shutdown", L"model destroyed");
    setGoneEvent();
    // The entry function's pause after the teardown, which lets queued analytics posts finish.
    Sleep(1000);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
        LOG_AT("wWinMain", L"peak working set %llu KiB",
               static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024));
    }
    closeLogFile();
    CoUninitialize();
    return g_exitCode;
}
