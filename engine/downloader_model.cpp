#include "engine/downloader_model.h"

#include <memory>

#include "engine/game_packages.h"
#include "engine/install_location.h"
#include "engine/run_parameters.h"
#include "telemetry/tx_reporter.h"
#include "utility/log.h"
#include "utility/process.h"
#include "utility/text.h"
#include "utility/window_ipc.h"

namespace {

constexpr char kInitTag[] = "DownloaderModel::init";
constexpr char kPopupTag[] = "DownloaderModel::popupExistPwnd";

// Message that asks a running copy to show its window.
constexpr UINT kShowRunningCopy = 11123;

std::unique_ptr<DownloaderModel>& processModel() {
    static std::unique_ptr<DownloaderModel> model;
    return model;
}

std::wstring modulePath() {
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace

DownloaderModel& DownloaderModel::instance() {
    auto& model = processModel();
    if (!model) model = std::make_unique<DownloaderModel>(ConfigImp::instance());
    return *model;
}

void DownloaderModel::destroyInstance() {
    processModel().reset();
}

DownloaderModel::DownloaderModel(ConfigImp& config) : config_(config) {}

DownloaderModel::~DownloaderModel() {
    cancelTasks(this);
}

void DownloaderModel::init(const wchar_t* commandLine) {
    init(modulePath(), commandLine);
}

void DownloaderModel::init(const std::wstring& exePath, const wchar_t* commandLine) {
    settleRunIdentity(exePath, commandLine);
    TxReporter::instance().initReporter(openId_, analytics_.getPCID(), language_);
    lookupThread_.start(
        makeRunable([this, request = lookupRequest()] { _threadGetPlayerUrl(request); }));
}

void DownloaderModel::settleRunIdentity(const std::wstring& exePath, const wchar_t* commandLine) {
    applyFileName(exePath);
    analytics_.setMeasurementId(config_.getMeasurementId());
    analytics_.setApiSecret(config_.getApiSecret());
    LOG_AT(kInitTag, L"openid is %s, package is %s", openId_.c_str(), package_.c_str());
    _calcInstallPath();
    if (run_parameters::leadingNumber(openId_) >= 2001 &&
        run_parameters::leadingNumber(openId_) <= 2999) {
        config_.setAdLabel(L"Tamrix Installer_200");
    }
    LOG_AT(kInitTag, L"ad id : %s", config_.getAdLabel().c_str());
    applyCommandLine(commandLine);
}

void DownloaderModel::applyFileName(const std::wstring& exePath) {
    const std::wstring baseName = run_parameters::exeBaseName(exePath);
    LOG_AT(kInitTag, L"DownloaderModel exe filename= %s", baseName.c_str());
    const auto fields = run_parameters::parseFileName(baseName);
    if (fields.used) {
        LOG_AT(kInitTag, L"type: %s, package:%s, openID:%s google id %s", fields.type.c_str(),
               fields.package.c_str(), fields.openId.c_str(), fields.googleId.c_str());
        LOG_AT(kInitTag, L"model. type: %s, language %s package:%s, openID:%s", fields.type.c_str(),
               fields.language.c_str(), fields.package.c_str(), fields.openId.c_str());
        if (!fields.openId.empty()) openId_ = fields.openId;
        googleId_ = fields.googleId;
        if (fields.package.size() > 5 && run_parameters::isAndroidPackageName(fields.package))
            package_ = fields.package;
        else if (fields.package.size() > 5)
            LOG_AT(kInitTag, L"package name not accepted: %s", fields.package.c_str());
        const std::wstring type = utility::lowerCased(fields.type);
        if (type == L"tamrix4") {
            config_.setPlayer4();
        } else if (type == L"tamrix64") {
            config_.setPlayer64();
        } else if (type == L"tamrix3") {
            config_.setPlayer3();
        } else if (type == L"tamrix9") {
            config_.setPlayer9();
        }
    }
    // An unused name leaves the language field empty: the system's language then applies.
    const auto resolution =
        helper::resolveLanguage(fields.language, GetUserDefaultUILanguage(), config_);
    language_ = resolution.shortCode;
    locale_ = resolution.locale;
    descriptor_ = resolution.descriptor;
}

void DownloaderModel::applyCommandLine(const wchar_t* commandLine) {
    if (commandLine == nullptr) return;
    const auto items = run_parameters::parseCommandLine(commandLine);
    if (items.empty()) return;
    const auto valueOf = [&items](const wchar_t* key) {
        const auto found = items.find(key);
        return found == items.end() ? std::wstring() : found->second;
    };
    const std::wstring name = valueOf(L"name");
    const std::wstring package = valueOf(L"package");
    const std::wstring apkUrl = valueOf(L"apkurl");
    if (!apkUrl.empty()) {
        GameRecord game;
        game.downloadUrl = apkUrl;
        game.packageName = package;
        game.gameName = name;
        for (auto& accepted : game_packages::acceptedGames({game}, kInitTag))
            games_.push_back(std::move(accepted));
    }
    LOG_AT(kInitTag, L"cmdline is %s, %s, %s", name.c_str(), package.c_str(), apkUrl.c_str());
}

void DownloaderModel::_calcInstallPath() {
    const auto folder =
        install_location::calcInstallPath(config_, install_location::systemProbes());
    installFolder_ = folder.installFolder;
    if (!folder.bestFolder.empty()) {
        bestFolder_ = folder.bestFolder;
        bestDriveSsd_ = folder.bestDriveSsd;
    }
    if (folder.emulatorPresent) emulatorPresent_ = true;
}

bool DownloaderModel::popupExistPwnd() {
    instanceMutex_ = utility::process::createNamedMutex(utility::kChannelName, false, true);
    if (instanceMutex_) {
        LOG_AT(kPopupTag, L"wnd not exist");
        return false;
    }
    utility::WindowIPC runningCopy;
    if (runningCopy.open(utility::kChannelName)) runningCopy.post(kShowRunningCopy, 0, 0);
    LOG_AT(kPopupTag, L"wnd exist");
    return true;
}

void DownloaderModel::switchToEdition4() {
    installFolder_.clear();
    _calcInstallPath();
    version_ = version4_;
    downloadUrl_ = downloadUrl4_;
    spareDownloadUrl_ = spareDownloadUrl4_;
    packageMd5_ = packageMd54_;
}

void DownloaderModel::stop() {
    startRetryTimer_.stop();
    instanceMutex_.reset();
    // Every thread hears of the stop and every transfer is cut before any wait, so that each
    // thread ends on its own; the stage leaves out everything after the installer wait.
    lookupThread_.requestStop();
    downloadThread_.requestStop();
    installThread_.requestStop();
    versionHttp_.abort();
    serviceHttp_.abort();
    packageHttp_.abort();
    stageHttp_.abort();
    lookupThread_.stop(1000);
    downloadThread_.stop(1000);
    installThread_.stop(1000);
    analytics_.close();
    cancelTasks(this);
}

void DownloaderModel::setInstallPath(const std::wstring& folder) {
    if (folder == installFolder_) return;
    std::wstring completed = install_location::completeInstallPath(folder, config_);
    if (install_location::isValidInstallPath(completed)) {
        completed = install_location::normalizeSeparators(completed);
    }
    installFolder_ = completed;
}

bool DownloaderModel::hasSpaceForInstall() const {
    return install_location::hasSpaceForInstall(installFolder_);
}
