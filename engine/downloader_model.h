// The state of one run of the downloader and the owner of its work: the run's identity (from
// the executable's file name and the command line), what the lookups learn, the install folder,
// the worker threads, and the callbacks through which the main window hears of progress.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/config_imp.h"
#include "engine/held_installer.h"
#include "engine/installer_digest.h"
#include "net/http_downloader.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/google_analytics.h"
#include "ui/language_codes.h"
#include "utility/handle.h"
#include "utility/task_runner.h"

// One game to install after the emulator, from the command line or the package lookup.
struct GameRecord {
    std::wstring downloadUrl;
    std::wstring packageName;
    std::wstring gameName;
    std::wstring screenshotUrl;
    std::wstring resolution;
    std::wstring gameId;
    std::wstring iconUrl;
    std::wstring obbUrl;
    bool fromAppStore = false;
    bool xapk = false;
};

// How the emulator starts for this channel, from the package lookup.
struct LaunchSettings {
    std::wstring landscapeImageUrl;
    std::wstring portraitImageUrl;
    std::wstring title;
    std::wstring appToRun;
    std::wstring groupLink;
    std::wstring shortcutName;
    std::wstring shortcutIconUrl;
    std::wstring heapSize;
    bool ad = true;
    bool cleanMode = false;
    bool appStore = true;
    int root = -1;  // -1 not set, 0 off, 1 on
};

class DownloaderModel : public utility::CHttpDownloader::IHttpDownloadSink {
public:
    // The process-wide model, created on first use.
    static DownloaderModel& instance();
    // Destroys the process-wide model (after stop); the next instance() makes a new one.
    static void destroyInstance();

    explicit DownloaderModel(ConfigImp& config);
    ~DownloaderModel();
    DownloaderModel(const DownloaderModel&) = delete;
    DownloaderModel& operator=(const DownloaderModel&) = delete;

    // Takes the run's identity from this executable's file name and the command line (null when
    // there is none), computes the install folder and starts the version lookup.
    void init(const wchar_t* commandLine);
    // The same for the executable at the given path.
    void init(const std::wstring& exePath, const wchar_t* commandLine);
    // The part of init that settles the run's identity, language, analytics property and
    // install folder, without starting the reporter or any lookup.
    void settleRunIdentity(const std::wstring& exePath, const wchar_t* commandLine);

    // True when another copy of the downloader runs (it has been asked to show itself).
    bool popupExistPwnd();

    // Adopts edition 4's install folder and download values (the configuration already
    // selects edition 4).
    void switchToEdition4();

    // First half of the teardown: timers, the single-instance mutex, threads (the installer stage
    // among them), callbacks. Once it returns, no work of the model runs any more.
    void stop();

    // Downloads the offline installer (the main window's install button; its retry resumes).
    // Waits up to two seconds for the version lookup first.
    void startDownloadPlayer(bool resume);
    // Starts the installer stage on a thread of its own; false when it could not be started or
    // has been started before.
    bool installPlayer();

    // Starts the emulator with the run's package, or with the given arguments.
    bool startPlayer();
    bool runPlayer(const std::wstring& arguments);

    // Analytics events: through the client's queue, or at once on the calling thread.
    void sendEvent(const std::wstring& name, const std::wstring& label);
    void sendEventNow(const std::wstring& name, const std::wstring& label);
    // A catalogue event, always through the queue.
    void raise(const telemetry::AnalyticsEvent& event);
    vadi::GoogleAnalytics& analytics() { return analytics_; }

    // Completes and stores a folder the user chose (valid or not).
    void setInstallPath(const std::wstring& folder);
    // True when the install folder has room for the install.
    bool hasSpaceForInstall() const;

    // Main-window callbacks, invoked on the UI thread only.
    std::function<void(int percent, int received, int expected)> onDownloadProgress;
    std::function<void(int percent)> onDownloadPercent;
    std::function<void()> onDownloadFinished;
    std::function<void(std::int64_t downloaded)> onDownloadFailed;
    std::function<void(bool endedInTime)> onInstallFinished;

    // Run parameters.
    const std::wstring& package() const { return package_; }
    const std::wstring& openId() const { return openId_; }
    const std::wstring& language() const { return language_; }
    const std::wstring& locale() const { return locale_; }
    const std::wstring& googleId() const { return googleId_; }
    const std::wstring& serverOpenId() const { return serverOpenId_; }
    const std::wstring& installFolder() const { return installFolder_; }
    const std::wstring& bestFolder() const { return bestFolder_; }
    HINSTANCE moduleInstance() const { return moduleInstance_; }
    void setModuleInstance(HINSTANCE instance) { moduleInstance_ = instance; }
    const helper::LanguageDescriptor& languageDescriptor() const { return descriptor_; }
    const std::vector<GameRecord>& games() const { return games_; }

    // Lookup results.
    const std::wstring& downloadUrl() const { return downloadUrl_; }
    const std::wstring& spareDownloadUrl() const { return spareDownloadUrl_; }
    const std::wstring& version() const { return version_; }
    // The installer's MD5 digest as the version document gives it (any text, or empty).
    const std::wstring& packageMd5() const { return packageMd5_; }
    const LaunchSettings& launchSettings() const { return launch_; }
    const std::wstring& installErrorText() const { return installErrorText_; }
    const std::wstring& customerLink() const { return customerLink_; }

    // Stage state.
    bool emulatorPresent() const { return emulatorPresent_; }
    bool bestDriveSsd() const { return bestDriveSsd_; }
    bool lookupDone() const { return lookupDone_; }
    DWORD installStartTick() const { return installStartTick_.load(); }
    // The installer said on the window channel that it failed (UI thread): the end of the stage
    // is then never a success, whatever the installer process did afterwards.
    void noteInstallerFailure() { installerFailed_ = true; }
    bool installerReportedFailure() const { return installerFailed_; }

    ConfigImp& config() const { return config_; }

    // Language switch: the new locale and the short code derived from it.
    void setLocale(const std::wstring& locale);
    // Reads a language file's strings into the language string map; false when it does not
    // parse or has no root element.
    bool loadLanguage(const std::wstring& xml);
    const std::map<std::wstring, std::wstring>& languageStrings() const { return languageStrings_; }

    // Progress of the system client's package download (download thread).
    bool onHttpDownloadProgress(const char* data, int count, std::int64_t received,
                                std::int64_t total) override;

private:
    // What the lookups fetch, taken on the UI thread before their thread starts: the thread
    // reads nothing the UI thread may change meanwhile (a language choice changes the
    // configuration and the language descriptor).
    struct LookupRequest {
        std::wstring versionUrl;
        std::wstring versionSpareUrl;
        std::wstring packageUrl;  // empty: no package document is fetched
        std::wstring package;
        std::wstring channelUrl;
        std::wstring customerUrl;
        std::wstring customerKey;  // the language of the customer texts
    };
    LookupRequest lookupRequest();

    // Lookups (lookup thread): each hands its result to the UI thread in a posted task. The
    // version document's parse (UI thread).
    void _threadGetPlayerUrl(const LookupRequest& request);
    void parseVersionDocument(const std::string& text);
    void _getPackageByOpenID(const LookupRequest& request);
    void _threadReqOpenid(const std::wstring& url);
    void _threadCustomerInfo(const std::wstring& url, const std::wstring& key);

    // What one package download fetches, taken on the UI thread before its thread starts.
    struct PackageSource {
        std::wstring installFolder;
        std::wstring url;
        std::wstring spareUrl;
        std::string md5;  // expected digest of the installer; empty: nothing is checked
    };

    // Package download (download thread).
    void _threadDownloadPlayer(const PackageSource& source, bool resume);
    bool _downloadByIE(const std::wstring& installer, const PackageSource& source, bool resume);
    bool systemClientAttempt(const std::wstring& url, const std::wstring& partial,
                             const std::wstring& installer, const std::string& md5, bool resume,
                             int* errorKind, int* errorCode);
    bool downloadWithCurl(const std::wstring& installer, const std::wstring& url,
                          const std::string& md5, bool spare);
    bool isExpectedInstaller(const std::wstring& file, installer_digest::FileDigest* digest,
                             const std::string& md5, const char* tag);
    bool holdInstaller(const std::wstring& installer, const std::string& md5, const char* tag);
    void reportDownloadSuccess();
    void reportDownloadFailure(const std::wstring& installer);
    void onCurlPercent(int percent);

    // What the installer stage works with: copies taken on the UI thread when it starts.
    struct InstallJob {
        std::wstring parameters;  // the installer's parameter text
        std::wstring installer;   // the installer's path
        std::wstring installFolder;
        std::wstring openId;
        std::wstring serverOpenId;
        LaunchSettings launch;
    };
    // The installer stage: runs the installer, prepares the first start, then tells the window.
    // When the model stops meanwhile, it stops waiting and leaves everything after the wait out.
    void _threadInsPlayer(const InstallJob& job);
    // First-run setup after the installer (installer stage thread).
    void postInstallSetup(const InstallJob& job);
    bool stageStopped() const { return installThread_.isStopRequested(); }
    bool lookupStopped() const { return lookupThread_.isStopRequested(); }
    bool downloadStopped() const { return downloadThread_.isStopRequested(); }

    void applyFileName(const std::wstring& exePath);
    void applyCommandLine(const wchar_t* commandLine);
    void _calcInstallPath();

    ConfigImp& config_;

    // Run parameters.
    std::wstring package_;
    std::wstring openId_{L"100"};
    std::wstring language_;
    std::wstring locale_;
    std::wstring googleId_;
    std::wstring serverOpenId_;
    std::wstring installFolder_;
    std::wstring bestFolder_;
    HINSTANCE moduleInstance_ = nullptr;
    helper::LanguageDescriptor descriptor_;
    std::vector<GameRecord> games_;

    // Lookup results.
    std::wstring downloadUrl_;
    std::wstring spareDownloadUrl_;
    std::wstring version_;
    std::wstring packageMd5_;
    std::wstring version4_;
    std::wstring downloadUrl4_;
    std::wstring spareDownloadUrl4_;
    std::wstring packageMd54_;
    LaunchSettings launch_;
    std::wstring installErrorText_;
    std::wstring customerLink_;

    // Stage state.
    bool emulatorPresent_ = false;
    bool bestDriveSsd_ = false;
    bool lookupDone_ = false;
    DWORD lastProgressTick_ = 0;
    DWORD downloadStartTick_ = 0;
    std::atomic<DWORD> installStartTick_{0};  // written by the installer stage
    bool installerFailed_ = false;
    int downloadErrorKind_ = 9999;
    int downloadErrorCode_ = 0;
    installer_digest::FileDigest* fileDigest_ = nullptr;  // of the system client's running attempt
    // The checked installer, held from the end of its download (download thread) until the
    // installer stage has started it (stage thread, which starts only after the download).
    HeldInstaller heldInstaller_;

    // Owned work.
    WorkerThread lookupThread_;
    WorkerThread downloadThread_;
    WorkerThread installThread_;
    UiTimer startRetryTimer_;
    utility::UniqueHandle instanceMutex_;
    utility::CHttpDownloader versionHttp_;  // the version lookup
    utility::CHttpDownloader serviceHttp_;  // the package, channel and customer lookups
    utility::CHttpDownloader packageHttp_;  // the system client's package download
    utility::CHttpDownloader stageHttp_;    // the installer stage's launch images
    vadi::GoogleAnalytics analytics_;
    std::map<std::wstring, std::wstring> languageStrings_;
};
