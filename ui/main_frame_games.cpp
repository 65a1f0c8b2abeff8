// The game package page of the main window: downloads the games' packages, data files and
// icons into the install folder on the window's worker thread, installs them through the
// emulator's console tool, and starts the emulator on the last one.
#include <objbase.h>

#include <string>
#include <vector>

#include "engine/game_packages.h"
#include "toolkit/container.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "utility/disk.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/process.h"

namespace {

constexpr char kTag[] = "CMainFrame::_threadDownloadApk";
// The install display's step counter; kept for the life of the process.
int g_gameInstallStep = 0;

bool fetch(utility::CHttpDownloader& downloader, const std::wstring& url, const std::wstring& temp,
           const std::wstring& final, utility::CHttpDownloader::IHttpDownloadSink* sink) {
    utility::ufile::removeFile(temp);
    if (!downloader.download2file(url, temp, sink, false)) return false;
    return utility::ufile::moveFile(temp, final, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

// Up to three attempts, 20 ms apart; none after a stop.
bool fetchIcon(utility::CHttpDownloader& downloader, const std::wstring& url,
               const std::wstring& path, HANDLE stop) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 && WaitForSingleObject(stop, 20) == WAIT_OBJECT_0) return false;
        if (downloader.download2file(url, path, nullptr, false)) return true;
    }
    return false;
}

}  // namespace

void CMainFrame::startGamePackages(const GameRecord& first) {
    selectPage(3);
    c_.apkinstallprogresslabel->setText(tk::lookupText("progress_downloading_label") + L" " +
                                        first.gameName);
    gameAppName_ = first.gameName;
    gameCount_ = static_cast<int>(model_.games().size());
    gameThread_.start(new MemberFuncRunable<CMainFrame>(this, &CMainFrame::_threadDownloadApk));
}

void CMainFrame::_threadDownloadApk() {
    // Shortcuts are shell objects: this thread needs COM of its own.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::vector<GameRecord> games = model_.games();
    const std::wstring folder = model_.installFolder();
    postTask(this, makeRunable([this] { gameIndex_ = 0; }));

    struct Fetched {
        const GameRecord* game;
        game_packages::GameFiles files;
    };
    std::vector<Fetched> fetched;
    std::wstring resolution;
    for (const GameRecord& game : games) {
        postTask(this, makeRunable([this] { ++gameIndex_; }));
        if (gameThread_.isStopRequested()) break;
        const auto files = game_packages::gameFiles(folder, game);
        if (!files) {
            LOG_AT(kTag, L"skip game with unsafe name %s", game.gameName.c_str());
            continue;
        }
        if (!game.obbUrl.empty() && !files->obb.empty())
            fetch(fallbackDownloader_, game.obbUrl, files->obbTmp, files->obb, this);
        if (!game.iconUrl.empty() && !files->icon.empty())
            fetchIcon(iconDownloader_, game.iconUrl, files->icon, gameThread_.stopEvent());
        if (!game.resolution.empty()) resolution = game.resolution;
        if (fetch(fallbackDownloader_, game.downloadUrl, files->packageTmp, files->package, this))
            fetched.push_back({&game, *files});
        else
            LOG_AT(kTag, L"package of %s not downloaded, not installed", game.gameName.c_str());
    }

    const HANDLE stop = gameThread_.stopEvent();
    const std::wstring console = folder + L"\\gxconsole.exe";
    if (!resolution.empty() && !gameThread_.isStopRequested()) {
        LOG_AT(kTag, L"setup resolution %s", resolution.c_str());
        utility::process::execute(console, L"modify --index 0 --resolution " + resolution, false,
                                  game_packages::kConsoleWaitMs, stop);
    }
    postTask(this, makeRunable([this] { startGameInstallDisplay(); }));
    // The window is closing: nothing is installed or started any more.
    if (WaitForSingleObject(stop, 500) == WAIT_OBJECT_0) {
        LOG_AT(kTag, L"stopped");
        if (SUCCEEDED(com)) CoUninitialize();
        return;
    }

    std::wstring lastPackage;
    for (const Fetched& f : fetched) {
        if (gameThread_.isStopRequested()) break;
        const GameRecord& game = *f.game;
        if (!f.files.icon.empty() && utility::ufile::exists(f.files.icon)) {
            LOG_AT(kTag, L"create short cut %s", game.gameName.c_str());
            helper::disk::createShortcut(f.files.shortcutName, f.files.icon, folder,
                                         folder + L"\\gxplayer.exe",
                                         L"package=" + game.packageName);
        }
        utility::process::execute(console, game_packages::installParameters(f.files, game), false,
                                  game_packages::kConsoleWaitMs, stop);
        lastPackage = game.packageName;
    }
    if (!gameThread_.isStopRequested())
        postTask(this, makeRunable([this, lastPackage] { finishGamePackages(lastPackage); }));
    if (SUCCEEDED(com)) CoUninitialize();
}

bool CMainFrame::onHttpDownloadProgress(const char*, int, std::int64_t received,
                                        std::int64_t total) {
    // False ends the transfer: the window is closing.
    if (gameThread_.isStopRequested()) return false;
    const DWORD now = GetTickCount();
    if (!game_packages::progressDue(now, lastGameProgressTick_, received, total)) return true;
    lastGameProgressTick_ = now;
    postTask(this, makeRunable([this, received, total] { showGameProgress(received, total); }));
    return true;
}

void CMainFrame::showGameProgress(std::int64_t received, std::int64_t total) {
    const int percent = game_packages::progressPercent(received, total);
    c_.apkinstallprogresslabel->setText(
        game_packages::progressLabel(tk::lookupText("progress_downloading_label2"), gameAppName_,
                                     gameIndex_, gameCount_, received, total));
    c_.apkinstallprogressbar->setValue(game_packages::progressBar(percent));
}

void CMainFrame::startGameInstallDisplay() {
    c_.apkinstallprogresslabel->setText(tk::lookupText("Label_installingapp_waiting") + L" " +
                                        gameAppName_);
    gameTimerId_ =
        SetTimer(hwnd(), game_packages::kInstallTimerId, game_packages::kInstallTimerMs, nullptr);
}

void CMainFrame::onGameInstallTick() {
    const bool more = game_packages::nextInstallStep(g_gameInstallStep);
    c_.apkinstallprogressbar->setValue(g_gameInstallStep);
    if (!more && gameTimerId_ != 0) {
        KillTimer(hwnd(), gameTimerId_);
        gameTimerId_ = 0;
    }
}

void CMainFrame::finishGamePackages(const std::wstring& lastPackage) {
    // Without any installed package the emulator still starts, on its own.
    if (lastPackage.empty())
        model_.startPlayer();
    else
        utility::process::shell(model_.installFolder() + L"\\gxplayer.exe",
                                L"package=" + lastPackage, true, false);
    showWindow(false, false);
    quit();
}
