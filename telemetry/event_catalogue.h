// Every event the installer reports, on both channels, with its exact name and values. Code that
// raises an event calls these functions instead of spelling names or values itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "telemetry/tx_reporter.h"

class ConfigImp;

namespace vadi {
class GoogleAnalytics;
}

namespace telemetry {

// Which URL of the package download served the installer ("aws" primary, "res" spare), and which
// client finished it ("curl" or "ie").
enum class DownloadUrl { Primary, Spare };
enum class TransferClient { Curl, SystemHttp };

// The running download attempt as the configuration's two download flags describe it.
DownloadUrl downloadUrlOf(const ConfigImp& config);
TransferClient transferClientOf(const ConfigImp& config);

// Reporter events. Each adds one event; the ones noted also flush the reporter.
namespace report {

// The application has created the downloader model at start.
void runDownloader(TxReporter& reporter = TxReporter::instance());
// The main window has started the package download.
void startDownloader(TxReporter& reporter = TxReporter::instance());
// The version lookup failed on every URL and client, or its answer is not a JSON object.
void downloadAddressFail(TxReporter& reporter = TxReporter::instance());
// The installer package has been downloaded.
void downloadSuccess(DownloadUrl url, TxReporter& reporter = TxReporter::instance());
// Right after downloadSuccess: milliseconds since the package download started.
void downloadDuration(std::int64_t durationMs, DownloadUrl url, TransferClient client,
                      TxReporter& reporter = TxReporter::instance());
// The package download failed everywhere; the pair last recorded by the fallback download
// (9999 and 0 when nothing was recorded).
void downloadFail(int errorKind, int errorCode, TxReporter& reporter = TxReporter::instance());

// The installer process could not be started.
void installFailPackageError(DWORD systemError, TxReporter& reporter = TxReporter::instance());
// The installer process did not end in time.
void installFailTimeout(TxReporter& reporter = TxReporter::instance());
// Waiting for the installer process failed.
void installFailWaitFailed(TxReporter& reporter = TxReporter::instance());
// The wait for the installer process ended in any other way.
void installFailOther(TxReporter& reporter = TxReporter::instance());
// The installer reported an error code through the window channel.
void installFailErrorCode(int errorCode, TxReporter& reporter = TxReporter::instance());
// The installer reported success.
void installSuccess(TxReporter& reporter = TxReporter::instance());
// Right after installSuccess: milliseconds since the installer stage started. Flushes.
void downloaderFullDuration(std::int64_t durationMs, TxReporter& reporter = TxReporter::instance());

// The user confirmed leaving before any download started. Flushes.
void cancelDownloadNotDownload(TxReporter& reporter = TxReporter::instance());
// The system's major version is 5 or lower.
void cancelDownloadXp(TxReporter& reporter = TxReporter::instance());
// 32-bit Windows with an edition that needs 64-bit Windows (raised after the switch to edition
// 4, so the reporter drops it).
void cancelDownloadSystem32(TxReporter& reporter = TxReporter::instance());
// The user left through the slow-download tip after percent and whole seconds of downloading.
void cancelDownloadSlowTip(int percent, std::int64_t seconds, DownloadUrl url,
                           TransferClient client, TxReporter& reporter = TxReporter::instance());

// A fresh install without games opened the language's web page.
void jumpToWeb(TxReporter& reporter = TxReporter::instance());

}  // namespace report

// An analytics event: its name, its label, and whether it is posted at once on the calling
// thread instead of through the client's queue.
struct AnalyticsEvent {
    std::wstring name;
    std::wstring label;
    bool immediate = false;
};

// Sends the event through the client's queue, or at once when it is immediate.
void deliver(vadi::GoogleAnalytics& client, const AnalyticsEvent& event);

// Analytics events. The label of most is the run's open id.
namespace analytics {

AnalyticsEvent downloadRun(const std::wstring& openId);         // with runDownloader
AnalyticsEvent startDownloader(const std::wstring& openId);     // with report::startDownloader
AnalyticsEvent downloadDefaultUrl(const std::wstring& openId);  // built-in URLs are used
AnalyticsEvent downloadSuccess(const std::wstring& openId);     // with report::downloadSuccess
AnalyticsEvent downloadError(const std::wstring& openId);       // with report::downloadFail
// The downloaded installer file is missing when the installer stage starts.
AnalyticsEvent installPlayerNotExist(const std::wstring& openId);
AnalyticsEvent installFailPackageError(const std::wstring& openId);  // with "package_error_"
AnalyticsEvent installFailTimeout(const std::wstring& openId);       // with "timeout"
AnalyticsEvent installFailOther(const std::wstring& openId);         // with "failed", "other"
AnalyticsEvent installFail(const std::wstring& openId);              // with "errorcode_"
AnalyticsEvent installSuccess(const std::wstring& openId);           // with installSuccess
AnalyticsEvent downloadXp(const std::wstring& openId);               // with cancelDownloadXp
AnalyticsEvent downloadSystem32(const std::wstring& openId);         // with cancelDownloadSystem32
// The user confirmed leaving in the exit dialog (immediate), then, after the dialog closed,
// cancelDownload (queued).
AnalyticsEvent userCancel(const std::wstring& openId);
AnalyticsEvent cancelDownload(const std::wstring& openId);
AnalyticsEvent cancelDownloadDownloading(const std::wstring& openId);  // with the slow tip
// The home-page button of the main window.
AnalyticsEvent downloadGoogleDriver();

}  // namespace analytics
}  // namespace telemetry
