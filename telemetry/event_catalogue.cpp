#include "telemetry/event_catalogue.h"

#include <utility>

#include "app/config_imp.h"
#include "telemetry/google_analytics.h"
#include "utility/text.h"

namespace telemetry {
namespace {

// A properties callable that adds one string member; the value is captured now.
EventProperties stringMember(const char* member, std::string value) {
    return [member, value = std::move(value)](JsonValue& properties, JsonAllocator& allocator) {
        properties.AddMember(
            JsonValue(rapidjson::StringRef(member)),
            JsonValue(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator),
            allocator);
    };
}

EventProperties extField(std::string value) {
    return stringMember("ext_field", std::move(value));
}

EventProperties failureReason(std::string value) {
    return stringMember("failure_reason", std::move(value));
}

const char* urlName(DownloadUrl url) {
    return url == DownloadUrl::Spare ? "res" : "aws";
}

const char* clientName(TransferClient client) {
    return client == TransferClient::Curl ? "curl" : "ie";
}

}  // namespace

DownloadUrl downloadUrlOf(const ConfigImp& config) {
    return config.isSpareUrl() ? DownloadUrl::Spare : DownloadUrl::Primary;
}

TransferClient transferClientOf(const ConfigImp& config) {
    return config.isSystemHttp() ? TransferClient::SystemHttp : TransferClient::Curl;
}

namespace report {

void runDownloader(TxReporter& reporter) {
    reporter.addEvent(L"run_downloader");
}

void startDownloader(TxReporter& reporter) {
    reporter.addEvent(L"start_downloader");
}

void downloadAddressFail(TxReporter& reporter) {
    reporter.addEvent(L"download_address_fail");
}

void downloadSuccess(DownloadUrl url, TxReporter& reporter) {
    reporter.addEvent(L"download_success", extField(urlName(url)));
}

void downloadDuration(std::int64_t durationMs, DownloadUrl url, TransferClient client,
                      TxReporter& reporter) {
    const std::string ext = std::string(urlName(url)) + "_" + clientName(client);
    reporter.addEvent(
        L"download_duration", [durationMs, ext](JsonValue& properties, JsonAllocator& allocator) {
            properties.AddMember("duration", durationMs, allocator);
            properties.AddMember(
                "ext_field",
                JsonValue(ext.c_str(), static_cast<rapidjson::SizeType>(ext.size()), allocator),
                allocator);
        });
}

void downloadFail(int errorKind, int errorCode, TxReporter& reporter) {
    reporter.addEvent(L"download_fail",
                      failureReason(std::to_string(errorKind) + "_" + std::to_string(errorCode)));
}

void installFailPackageError(DWORD systemError, TxReporter& reporter) {
    reporter.addEvent(L"install_fail",
                      failureReason("package_error_" + std::to_string(unsigned{systemError})));
}

void installFailTimeout(TxReporter& reporter) {
    reporter.addEvent(L"install_fail", failureReason("timeout"));
}

void installFailWaitFailed(TxReporter& reporter) {
    reporter.addEvent(L"install_fail", failureReason("failed"));
}

void installFailOther(TxReporter& reporter) {
    reporter.addEvent(L"install_fail", failureReason("other"));
}

void installFailErrorCode(int errorCode, TxReporter& reporter) {
    reporter.addEvent(L"install_fail", failureReason("errorcode_" + std::to_string(errorCode)));
}

void installSuccess(TxReporter& reporter) {
    reporter.addEvent(L"install_success");
}

void downloaderFullDuration(std::int64_t durationMs, TxReporter& reporter) {
    reporter.addEvent(L"downloader_full_duration",
                      [durationMs](JsonValue& properties, JsonAllocator& allocator) {
                          properties.AddMember("duration", durationMs, allocator);
                      });
    reporter.flush();
}

void cancelDownloadNotDownload(TxReporter& reporter) {
    reporter.addEvent(L"cancel_download", extField("notDownload"));
    reporter.flush();
}

void cancelDownloadXp(TxReporter& reporter) {
    reporter.addEvent(L"cancel_download", extField("xp"));
}

void cancelDownloadSystem32(TxReporter& reporter) {
    reporter.addEvent(L"cancel_download", extField("system32"));
}

void cancelDownloadSlowTip(int percent, std::int64_t seconds, DownloadUrl url,
                           TransferClient client, TxReporter& reporter) {
    std::string ext = std::to_string(percent) + "_" + std::to_string(seconds);
    ext += url == DownloadUrl::Spare ? "_res" : "_aws";
    ext += client == TransferClient::Curl ? "_Curl" : "_IE";
    reporter.addEvent(L"cancel_download", extField(std::move(ext)));
}

void jumpToWeb(TxReporter& reporter) {
    reporter.addEvent(L"jump_to_web");
}

}  // namespace report

void deliver(vadi::GoogleAnalytics& client, const AnalyticsEvent& event) {
    if (event.immediate) {
        client.sendEventNow(event.name, event.label);
    } else {
        client.sendEvent(event.name, event.label);
    }
}

namespace analytics {
namespace {

AnalyticsEvent queued(const wchar_t* name, std::wstring label) {
    return {name, std::move(label), false};
}

}  // namespace

AnalyticsEvent downloadRun(const std::wstring& openId) {
    return queued(L"download_run", openId);
}

AnalyticsEvent startDownloader(const std::wstring& openId) {
    return queued(L"start_downloader", openId);
}

AnalyticsEvent downloadDefaultUrl(const std::wstring& openId) {
    return queued(L"download_defaultUrl", openId);
}

AnalyticsEvent downloadSuccess(const std::wstring& openId) {
    return queued(L"download_Success", openId);
}

AnalyticsEvent downloadError(const std::wstring& openId) {
    return queued(L"download_Error", openId);
}

AnalyticsEvent installPlayerNotExist(const std::wstring& openId) {
    return queued(L"download_installPlayerNotExit", openId + L"_1");
}

AnalyticsEvent installFailPackageError(const std::wstring& openId) {
    return queued(L"install_fail_packageerror", openId);
}

AnalyticsEvent installFailTimeout(const std::wstring& openId) {
    return queued(L"install_fail_timeout", openId);
}

AnalyticsEvent installFailOther(const std::wstring& openId) {
    return queued(L"install_fail_other", openId);
}

AnalyticsEvent installFail(const std::wstring& openId) {
    return queued(L"install_fail", openId);
}

AnalyticsEvent installSuccess(const std::wstring& openId) {
    return queued(L"install_Sucess", openId);
}

AnalyticsEvent downloadXp(const std::wstring& openId) {
    return queued(L"download_xp", openId);
}

AnalyticsEvent downloadSystem32(const std::wstring& openId) {
    return queued(L"download_system32", openId);
}

AnalyticsEvent userCancel(const std::wstring& openId) {
    return {L"userCancel", openId, true};
}

AnalyticsEvent cancelDownload(const std::wstring& openId) {
    return queued(L"cancel_download", openId);
}

AnalyticsEvent cancelDownloadDownloading(const std::wstring& openId) {
    return queued(L"cancel_download_downloading", openId);
}

AnalyticsEvent downloadGoogleDriver() {
    return queued(L"Download_googleDriver", L"downloadingPage");
}

}  // namespace analytics
}  // namespace telemetry
