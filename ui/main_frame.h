// The installer's main window: the start page (install folder, licence, the install button), the
// download and install progress the model reports, the rotating tips, the close button of each
// stage, the hand-over after the install, and the game package page. Created by the
// application's top-level object; deletes itself in its final message, which also ends the
// message loop. UI thread only, except _threadDownloadApk and onHttpDownloadProgress, which run
// on the window's worker thread and only post tasks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/downloader_model.h"
#include "net/http_downloader.h"
#include "toolkit/window_base.h"
#include "ui/progress_display.h"
#include "utility/task_runner.h"

class TxInstallErrorBox;
class TxDownloaderErrorBox;
namespace tk {
class Combo;
class Edit;
class Option;
class Progress;
class TabLayout;
}  // namespace tk

class CMainFrame : public tk::WindowBase, public utility::CHttpDownloader::IHttpDownloadSink {
public:
    CMainFrame();
    ~CMainFrame() override;

    // Runs in the final message, just before the window deletes itself.
    std::function<void()> onGone;

    // Operations of the application's top-level object.
    void refreshPathAndLogo();
    void showInstallErrorBox();
    void showDownloadErrorBox();

    // The install folder: completed and stored by the model, then the start page follows it.
    void setInstallPath(const std::wstring& folder);
    // Stores a folder the user chose, with the advice about its drive.
    void changePathClac(bool checkSsd, const std::wstring& folder);
    // Texts of the window after a language switch.
    void retextWindow();

    // Message map handlers.
    void onInstallNow(tk::Notification&);
    void onCustomPathOn(tk::Notification&) { setCustomPathMode(true); }
    void onCustomPathOff(tk::Notification&) { setCustomPathMode(false); }
    void onPathEditKillFocus(tk::Notification&);
    void onBrowseClicked(tk::Notification&);
    void onLicenceLink(tk::Notification&);
    void onCustomerLink(tk::Notification&);
    void onCloseClicked(tk::Notification&);
    void onHomepage(tk::Notification&);
    void onStartPlayer(tk::Notification&);
    void onLicenceOption(tk::Notification&) { refreshPathState(); }
    void onLanguageComSelected(tk::Notification& notification);

    // Game packages (worker thread).
    void _threadDownloadApk();
    bool onHttpDownloadProgress(const char* data, int count, std::int64_t received,
                                std::int64_t total) override;

protected:
    std::wstring windowClassName() const override { return L"cmainframe"; }
    UINT classStyle() const override { return 2059; }
    std::wstring skinFile() const override { return L"mainframe.xml"; }
    LRESULT handleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void bindControls(tk::ControlBinder& binder) override;
    void initWindow() override;
    LRESULT onDestroy(WPARAM wParam, LPARAM lParam, bool& handled) override;
    void onFinalMessage(HWND hwnd) override;
    const tk::MessageMap* messageMap() const override;

private:
    // Start page.
    void applyLanguageFont();
    void setCustomPathMode(bool on);
    void reapplyMode();
    void selectPage(int index);
    void refreshPathState();
    bool checkBeforeInstall();
    void openFolderBrowser();
    void showLogo();
    void applyHomepage();
    void showNextTip();

    // Model notifications.
    void installModelCallbacks();
    void onDownloadPercent(int percent);
    void onDownloadProgress(int percent, int received, int total);
    void onDownloadFinished();
    void onDownloadFailed(std::int64_t received);
    void onInstallFinished(bool success);
    progress_display::Texts progressTexts() const;
    bool arabic() const;
    void showProgress(const progress_display::Shown& shown);
    void onInstallAnimationTick();
    void quit();

    // Game packages (UI thread).
    void startGamePackages(const GameRecord& first);
    void showGameProgress(std::int64_t received, std::int64_t total);
    void startGameInstallDisplay();
    void onGameInstallTick();
    void finishGamePackages(const std::wstring& lastPackage);
    // Asks the game thread to stop and cuts its transfers; does not wait.
    void stopGameThread();

    // The named controls of the layout the window uses, by their layout names; all are there
    // once the window exists, except homepageBtn, which a skin may leave out.
    struct Controls {
        tk::Control* titlename = nullptr;
        tk::Combo* languageCombo = nullptr;
        tk::Control* logoControl = nullptr;
        tk::Control* logoControl9 = nullptr;
        tk::TabLayout* maintab = nullptr;
        tk::Control* userdefinitionsui = nullptr;
        tk::Edit* pathedit = nullptr;
        tk::Control* browsebtn = nullptr;
        tk::Control* errorpathnoticeui = nullptr;
        tk::Control* pathErrorLabel = nullptr;
        tk::Option* acceptprotocolopt = nullptr;
        tk::Control* LicenseAgreementText = nullptr;
        tk::Control* protocollinkbtn = nullptr;
        tk::Control* userdefinitionLayout = nullptr;
        tk::Control* userdefinitionBtn = nullptr;
        tk::Control* backLayout = nullptr;
        tk::Control* backBtn = nullptr;
        tk::Control* installnowbtn = nullptr;
        tk::Control* protocoledit = nullptr;
        tk::Control* confirmprotocolbtn = nullptr;
        tk::Control* loadingprogresslabel = nullptr;
        tk::Progress* installprogressbar = nullptr;
        tk::Control* progress_install_label = nullptr;
        tk::Control* progress_finish_label = nullptr;
        tk::Control* downloadProgressLabel = nullptr;
        tk::Button* homepageBtn = nullptr;
        tk::Control* tipInstallLabel = nullptr;
        tk::Control* apkinstallprogresslabel = nullptr;
        tk::Progress* apkinstallprogressbar = nullptr;
        tk::Control* tastenowbtn = nullptr;
    };

    DownloaderModel& model_;
    Controls c_;
    int percent_ = 0;
    int installStep_ = 0;
    UiTimer installTimer_;
    UiTimer tipsTimer_;
    DWORD downloadStartTick_ = 0;
    bool installFailed_ = false;  // the installer stage has ended in a failure
    std::wstring languageCode_;
    std::wstring gameAppName_;
    int gameIndex_ = 0;
    int gameCount_ = 0;
    UINT_PTR gameTimerId_ = 0;
    DWORD lastGameProgressTick_ = 0;
    TxInstallErrorBox* installErrorBox_ = nullptr;
    TxDownloaderErrorBox* downloadErrorBox_ = nullptr;
    utility::CHttpDownloader fallbackDownloader_;
    utility::CHttpDownloader iconDownloader_;  // the game icons, without progress
    WorkerThread gameThread_;
};
