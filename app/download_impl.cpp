#include "app/download_impl.h"

#include <curl/curl.h>

#include "app/installer_messages.h"
#include "engine/downloader_model.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "toolkit/text_table.h"
#include "toolkit/toolkit_setup.h"
#include "ui/main_frame.h"
#include "ui/message_box.h"
#include "utility/archive.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/process.h"
#include "utility/system_info.h"

namespace {

constexpr int kFontArchiveId = 130;

// The frontmost visible window the owner owns (a box over it), or null.
HWND frontBoxOf(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            if (GetWindow(window, GW_OWNER) != s.owner || !IsWindowVisible(window)) return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

std::wstring DownloadImpl::fontsFolder() {
    return utility::ufile::appDataDir() + L"\\txdownloader_en\\fonts\\";
}

bool DownloadImpl::entrance(HINSTANCE instance, const wchar_t* commandLine) {
    DownloaderModel& model = DownloaderModel::instance();
    if (model.popupExistPwnd()) {
        LOG_AT("DownloadImpl::entrance", L"It's exist");
        return false;
    }
    LOG_AT("DownloadImpl::entrance", L"path %s", utility::ufile::exeDir().c_str());
    curl_global_init(CURL_GLOBAL_ALL);
    model.init(commandLine);
    model.setModuleInstance(instance);
    installFonts(instance);
    setUpToolkit(instance);
    showMainFrame();
    ipc_.listen(utility::kChannelName, this);
    model.raise(telemetry::analytics::downloadRun(model.openId()));
    telemetry::report::runDownloader();
    return true;
}

void DownloadImpl::installFonts(HINSTANCE instance) {
    const std::wstring folder = fontsFolder();
    if (!utility::ufile::exists(folder)) utility::ufile::makeDir(folder);
    if (HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(kFontArchiveId), L"ZIPRES")) {
        const DWORD size = SizeofResource(instance, resource);
        HGLOBAL loaded = LoadResource(instance, resource);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (data && size > 0) utility::extractArchiveToFolder(data, size, folder);
    }
    // Registered before any window asks for a face: a face looked up too early stays unknown.
    registeredFont_ = folder + DownloaderModel::instance().languageDescriptor().fontFile;
    const int added = AddFontResourceExW(registeredFont_.c_str(), FR_PRIVATE, nullptr);
    LOG_AT("DownloadImpl::entrance", L"load Noto Sans fonts ret:%d  error:%d", added,
           static_cast<int>(GetLastError()));
}

void DownloadImpl::setUpToolkit(HINSTANCE instance) {
    const std::wstring& locale = DownloaderModel::instance().locale();
    tk::setInstance(instance);
    tk::setTableLanguage(locale.empty() ? L"en_US" : locale, L"en_US");
    tk::setResourcePathFromInstance();
    tk::registerSkinArchive();
}

void DownloadImpl::showMainFrame() {
    LOG_AT("DownloadImpl::showMainFrame", L"create main");
    const bool legacy = !utility::isVistaOrLater();
    if (!mainFrame_) {
        mainFrame_ = new CMainFrame();
        // The window deletes itself when it is destroyed; nothing may reach it afterwards.
        mainFrame_->onGone = [this] { mainFrame_ = nullptr; };
        DWORD style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_MINIMIZEBOX;
        if (legacy) style |= WS_SYSMENU | WS_THICKFRAME;
        if (!mainFrame_->create(nullptr, style, 0)) {
            // Its layout cannot be built (the reason is logged): the run cannot go on.
            LOG_AT("DownloadImpl::showMainFrame",
                   L"main window not created; the run ends with exit code %d", kExitNoMainWindow);
            delete mainFrame_;
            mainFrame_ = nullptr;
            PostQuitMessage(kExitNoMainWindow);
            return;
        }
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(107));
        SendMessageW(mainFrame_->hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(mainFrame_->hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        mainFrame_->centerWindow();
    }
    HWND window = mainFrame_ ? mainFrame_->hwnd() : nullptr;
    if (!window) return;
    mainFrame_->showWindow(true, true);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    utility::process::bringWindowToFront(window);
    // A box open over the window (the unsupported-system box, an advice) comes to the front with
    // it: raised alone, the window could hide the box it waits for.
    if (HWND box = frontBoxOf(window)) {
        // Through the other band and back, so that the box's place changes and it is restacked.
        constexpr UINT kKeepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW;
        SetWindowPos(box, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
        SetForegroundWindow(box);
    }
    // Once per process: a second copy's request to show the window (11123) asks nothing again.
    if (systemChecked_) return;
    systemChecked_ = true;
    applySystemChecks(!legacy, utility::is64BitSystem());
}

void DownloadImpl::applySystemChecks(bool vistaOrLater, bool is64Bit) {
    DownloaderModel& model = DownloaderModel::instance();
    HWND window = mainFrame_ ? mainFrame_->hwnd() : nullptr;
    if (!vistaOrLater) {
        msg::showMessageBox(
            window, 2, tk::lookupText("MsgBox_error"), tk::lookupText("MsgBox_xp"),
            msg::MessageBoxButton{tk::lookupText("sure"),
                                  [window] { PostMessageW(window, WM_CLOSE, 1, 0); }, true});
        telemetry::report::cancelDownloadXp();
        model.raise(telemetry::analytics::downloadXp(model.openId()));
        return;
    }
    if (!is64Bit) {
        LOG_AT("DownloadImpl::showMainFrame", L"32 system!!!");
        ConfigImp& config = model.config();
        if (config.isPlayer64() || config.isPlayer9()) {
            config.setPlayer4();
            model.switchToEdition4();
            if (mainFrame_) mainFrame_->refreshPathAndLogo();
            telemetry::report::cancelDownloadSystem32();
            model.raise(telemetry::analytics::downloadSystem32(model.openId()));
        }
    }
}

int DownloadImpl::onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM) {
    LOG_AT("DownloadImpl::onHandleWindowIPC", L"onHandleWindowIPC, msg = %d",
           static_cast<int>(message));
    DownloaderModel& model = DownloaderModel::instance();
    switch (message) {
        case installer_messages::kShowRunningCopy:
            showMainFrame();
            break;
        case installer_messages::kInstallFailed:
            installer_messages::onInstallFailed(wParam, model, TxReporter::instance());
            if (mainFrame_ && mainFrame_->hwnd()) mainFrame_->showInstallErrorBox();
            break;
        case installer_messages::kInstallSucceeded:
            installer_messages::onInstallSucceeded(model, TxReporter::instance());
            break;
        default:
            break;
    }
    return 0;
}

void DownloadImpl::unregisterFont() {
    if (!registeredFont_.empty())
        RemoveFontResourceExW(registeredFont_.c_str(), FR_PRIVATE, nullptr);
}

void DownloadImpl::shutdown() {
    if (mainFrame_ && mainFrame_->hwnd()) mainFrame_->showWindow(false, false);
    TxReporter::instance().shutdown();
    DownloaderModel::instance().stop();
    // The stop line: the model's threads have ended, nothing of the run writes after it.
    LOG_AT("DownloadImpl::shutdown", L"model stopped");
    DownloaderModel::destroyInstance();
    LOG_AT("DownloadImpl::shutdown", L"model destroyed");
    curl_global_cleanup();
}
