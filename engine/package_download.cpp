// The package download: the offline installer of the configured edition into the install
// folder, over two clients and two URLs, resuming a partial file when asked, and checked against
// the version document's digest before anything runs it.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/downloader_model.h"
#include "engine/held_installer.h"
#include "engine/installer_digest.h"
#include "net/http_downloader.h"
#include "net/tx_curl_downloader.h"
#include "telemetry/event_catalogue.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/text.h"

namespace {

constexpr char kStartTag[] = "DownloaderModel::startDownloadPlayer";
constexpr char kThreadTag[] = "DownloaderModel::_threadDownloadPlayer";
constexpr char kIeTag[] = "DownloaderModel::_downloadByIE";

// A libcurl result must be larger than this to be an installer; a smaller partial download
// is reported as nothing kept.
constexpr std::uint64_t kMinimumInstallerBytes = 10485760;
constexpr DWORD kProgressIntervalMs = 1000;
// Total assumed while the server sends no length.
constexpr std::int64_t kAssumedTotal = 300000000;

// Ticks of the start-retry timer in this process; never reset.
int g_startRetryTicks = 0;

std::uint64_t fileSize(const std::wstring& path) {
    std::uint64_t size = 0;
    return utility::ufile::getFileSize(path, size) ? size : 0;
}

}  // namespace

void DownloaderModel::startDownloadPlayer(bool resume) {
    if (!lookupDone_) {
        LOG_AT(kStartTag, L"start downloader. bug getting player url");
        startRetryTimer_.stop();
        startRetryTimer_.start(1000, makeRunable([this, resume] {
                                   ++g_startRetryTicks;
                                   if (g_startRetryTicks < 2 && !lookupDone_) return;
                                   lookupDone_ = true;
                                   DownloaderModel* model = this;
                                   const bool resumeDownload = resume;
                                   // Stopping the timer ends this task's life after this run.
                                   startRetryTimer_.stop();
                                   model->startDownloadPlayer(resumeDownload);
                               }));
        return;
    }
    if (downloadUrl_.empty()) {
        downloadUrl_ = config_.getPackageUrl();
        spareDownloadUrl_ = config_.getPackageSpareUrl();
        raise(telemetry::analytics::downloadDefaultUrl(openId_));
    }
    // The version document's parse may still change these on the UI thread while the download
    // runs: the download thread works with its own copies.
    PackageSource source{installFolder_, downloadUrl_, spareDownloadUrl_,
                         installer_digest::expectedDigest(packageMd5_)};
    downloadThread_.requestStop();
    downloadThread_.stop(1000);
    downloadThread_.start(makeRunable(
        [this, source = std::move(source), resume] { _threadDownloadPlayer(source, resume); }));
}

void DownloaderModel::_threadDownloadPlayer(const PackageSource& source, bool resume) {
    LOG_AT(kThreadTag, L"download player");
    if (source.md5.empty()) LOG_AT(kThreadTag, L"no usable md5 for the installer, not checked");
    utility::ufile::makeDir(source.installFolder);
    lastProgressTick_ = 0;
    const std::wstring installer = config_.getInstallerPath(source.installFolder);
    heldInstaller_.release();  // a file checked by an earlier download is checked again
    if (!resume) utility::ufile::removeFile(installer);
    downloadStartTick_ = GetTickCount();

    bool ok = _downloadByIE(installer, source, resume);
    if (!ok && !downloadStopped()) ok = downloadWithCurl(installer, source.url, source.md5, false);
    if (!ok && !downloadStopped())
        ok = downloadWithCurl(installer, source.spareUrl, source.md5, true);
    // A stopped download is neither a success nor a failure: the run is ending.
    if (downloadStopped()) {
        LOG_AT(kThreadTag, L"download stopped");
        return;
    }
    if (ok) {
        reportDownloadSuccess();
    } else {
        reportDownloadFailure(installer);
    }
    LOG_AT(kThreadTag, L"download finished, success = %d", ok ? 1 : 0);
}

bool DownloaderModel::downloadWithCurl(const std::wstring& installer, const std::wstring& url,
                                       const std::string& md5, bool spare) {
    if (spare) {
        LOG_AT(kThreadTag, L"download by txcurl too");
        config_.setSpareUrl(true);
    } else {
        LOG_AT(kThreadTag, L"download by txcurl");
        config_.setSpareUrl(false);
        config_.setSystemHttp(false);
    }
    TxCurlDownloader curl;
    const bool done = curl.downloadFile(
        utility::wideToAnsi(installer), utility::wideToAnsi(url),
        [this](int percent) { onCurlPercent(percent); }, [this] { return downloadStopped(); });
    if (!done) return false;
    if (fileSize(installer) > kMinimumInstallerBytes)
        return holdInstaller(installer, md5, kThreadTag);
    // An error page is no installer, and no partial installer either: a later resume would
    // continue it.
    utility::ufile::removeFile(installer);
    LOG_AT(kThreadTag, L"too small package");
    return false;
}

// A completed download is the installer only with the document's digest; the file is removed
// otherwise. Without a digest to compare with, every download counts.
bool DownloaderModel::isExpectedInstaller(const std::wstring& file,
                                          installer_digest::FileDigest* digest,
                                          const std::string& md5, const char* tag) {
    if (md5.empty() || digest == nullptr) return true;
    const ULONGLONG start = GetTickCount64();
    const std::string actual = digest->finish();
    const auto waited = static_cast<unsigned>(GetTickCount64() - start);
    if (actual == md5) {
        LOG_AT(tag, L"md5 matches, %u ms after the transfer", waited);
        return true;
    }
    LOG_AT(tag, L"md5 mismatch: expected %s, got %s; removing %s", utility::ansiToWide(md5).c_str(),
           utility::ansiToWide(actual.empty() ? "nothing" : actual).c_str(), file.c_str());
    utility::ufile::removeFile(file);
    return false;
}

// The installer at its final place, held from now until its process has started, and checked on
// the held file: the digest again (the file was open to others until now) and the signature.
bool DownloaderModel::holdInstaller(const std::wstring& installer, const std::string& md5,
                                    const char* tag) {
    return held_installer::holdChecked(installer, md5, config_.getInstallerSigner(), heldInstaller_,
                                       tag);
}

void DownloaderModel::reportDownloadSuccess() {
    postTask(this, makeRunable([this] {
                 if (onDownloadFinished) onDownloadFinished();
             }));
    const auto url = telemetry::downloadUrlOf(config_);
    telemetry::report::downloadSuccess(url);
    raise(telemetry::analytics::downloadSuccess(openId_));
    const std::int64_t duration = static_cast<DWORD>(GetTickCount() - downloadStartTick_);
    telemetry::report::downloadDuration(duration, url, telemetry::transferClientOf(config_));
}

void DownloaderModel::reportDownloadFailure(const std::wstring& installer) {
    std::uint64_t partial = fileSize(installer + L".tmp");
    if (partial == 0) partial = fileSize(installer);
    LOG_AT(kThreadTag, L"had downloaded size %lld", static_cast<long long>(partial));
    if (partial < kMinimumInstallerBytes) partial = 0;
    const auto downloaded = static_cast<std::int64_t>(partial);
    postTask(this, makeRunable([this, downloaded] {
                 if (onDownloadFailed) onDownloadFailed(downloaded);
             }));
    raise(telemetry::analytics::downloadError(openId_));
    telemetry::report::downloadFail(downloadErrorKind_, downloadErrorCode_);
}

bool DownloaderModel::_downloadByIE(const std::wstring& installer, const PackageSource& source,
                                    bool resume) {
    lastProgressTick_ = 0;
    LOG_AT(kIeTag, L"start download player playerurl is %s", source.url.c_str());
    const std::wstring partial = installer + L".tmp";
    if (!resume) utility::ufile::removeFile(partial);
    downloadErrorKind_ = 9999;
    downloadErrorCode_ = 0;
    packageHttp_.abort();
    config_.setSpareUrl(false);
    config_.setSystemHttp(true);
    if (!systemClientAttempt(source.url, partial, installer, source.md5, resume, nullptr,
                             nullptr)) {
        if (downloadStopped()) return false;
        LOG_AT(kIeTag, L"download errro! .use spare url");
        packageHttp_.abort();
        config_.setSpareUrl(true);
        if (!systemClientAttempt(source.spareUrl, partial, installer, source.md5, resume,
                                 &downloadErrorKind_, &downloadErrorCode_)) {
            LOG_AT(kIeTag, L"download file error %d %d", downloadErrorKind_, downloadErrorCode_);
            return false;
        }
    }
    LOG_AT(kIeTag, L"download file success file = %s", installer.c_str());
    return true;
}

// One attempt of the system client; the digest follows the partial file as it is written. The
// installer stage runs the file at the installer path: a download that cannot be put there is no
// success.
bool DownloaderModel::systemClientAttempt(const std::wstring& url, const std::wstring& partial,
                                          const std::wstring& installer, const std::string& md5,
                                          bool resume, int* errorKind, int* errorCode) {
    std::optional<installer_digest::FileDigest> digest;
    if (!md5.empty()) digest.emplace(partial);
    fileDigest_ = digest ? &*digest : nullptr;
    const bool done = packageHttp_.download2file(url, partial, this, resume, errorKind, errorCode);
    fileDigest_ = nullptr;
    if (!done || !isExpectedInstaller(partial, digest ? &*digest : nullptr, md5, kIeTag)) {
        return false;
    }
    if (!utility::ufile::moveFile(partial, installer,
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        return false;
    }
    return holdInstaller(installer, md5, kIeTag);
}

bool DownloaderModel::onHttpDownloadProgress(const char* /*data*/, int count, std::int64_t received,
                                             std::int64_t total) {
    // False ends the transfer: the model is stopping.
    if (downloadStopped()) return false;
    // The chunk comes before it is written: what precedes it is in the file.
    if (fileDigest_ != nullptr) fileDigest_->advance(static_cast<std::uint64_t>(received - count));
    const DWORD now = GetTickCount();
    if (now < lastProgressTick_ + kProgressIntervalMs) return true;
    lastProgressTick_ = now;
    if (total == -1) total = received >= kAssumedTotal ? received + 1024 : kAssumedTotal;
    postTask(this, makeRunable([this, received, total] {
                 const int percent = static_cast<int>(static_cast<double>(received) /
                                                      static_cast<double>(total) * 100.0);
                 if (onDownloadProgress) {
                     onDownloadProgress(percent, static_cast<int>(received & 0xFFFFFFFF),
                                        static_cast<int>(total & 0xFFFFFFFF));
                 }
             }));
    return true;
}

void DownloaderModel::onCurlPercent(int percent) {
    postTask(this, makeRunable([this, percent] {
                 if (onDownloadPercent) onDownloadPercent(percent);
             }));
}
