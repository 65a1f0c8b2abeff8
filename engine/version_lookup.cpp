// The lookups of the model's lookup thread: the version document, then the package document,
// the channel open id and the customer texts.
#include <string>

#include "engine/downloader_model.h"
#include "engine/game_packages.h"
#include "engine/service_documents.h"
#include "net/http_downloader.h"
#include "net/tx_curl_downloader.h"
#include "telemetry/event_catalogue.h"
#include "utility/log.h"
#include "utility/text.h"

namespace {

constexpr char kVersionTag[] = "DownloaderModel::_threadGetPlayerUrl";
constexpr char kParseTag[] = "DownloaderModel::_threadGetPlayerUrl::parse";
constexpr char kPackageTag[] = "DownloaderModel::_getPackageByOpenID";
constexpr char kChannelTag[] = "DownloaderModel::_threadReqOpenid";
constexpr char kCustomerTag[] = "DownloaderModel::_threadCustomerInfo";

// libcurl's GET; any answer the server sends counts. Ends early once the thread is asked to stop.
bool curlGet(const std::wstring& url, std::string& text, const WorkerThread& thread) {
    text.clear();
    TxCurlDownloader curl;
    return curl.downloadMemory(utility::wideToAnsi(url), text,
                               [&thread] { return thread.isStopRequested(); });
}

bool isJsonObject(const std::string& text) {
    return service_documents::parseVersionDocument(text).has_value();
}

void assignIfSet(std::wstring& field, const std::optional<std::wstring>& value) {
    if (value) field = *value;
}

}  // namespace

DownloaderModel::LookupRequest DownloaderModel::lookupRequest() {
    LookupRequest request;
    request.versionUrl = config_.getPlayerInfoUrl();
    request.versionSpareUrl = config_.getPlayerInfoSpareUrl();
    // Games from the command line leave the package document out.
    if (games_.empty() && openId_.size() > 4)
        request.packageUrl = config_.getOpenIdConfigUrl(openId_);
    request.package = package_;
    request.channelUrl = config_.getChannelUrl() + analytics_.getPCID();
    request.customerUrl = config_.getCustomerUrl();
    request.customerKey = descriptor_.shortCode.empty() ? L"en" : descriptor_.shortCode;
    return request;
}

void DownloaderModel::_threadGetPlayerUrl(const LookupRequest& request) {
    LOG_AT(kVersionTag, L"start get player url");
    const std::wstring& url = request.versionUrl;
    LOG_AT(kVersionTag, L"url:%s", url.c_str());
    std::string text;
    bool ok = versionHttp_.download2mem(text, url);
    if (!ok && !lookupStopped()) {
        const std::wstring& spare = request.versionSpareUrl;
        LOG_AT(kVersionTag, L"download error! try: %s", spare.c_str());
        text.clear();
        versionHttp_.abort();
        ok = versionHttp_.download2mem(text, spare);
        LOG_AT(kVersionTag, L"try is sucess? %d", ok ? 1 : 0);
    }
    if (!ok && lookupStopped()) return;
    if (!ok) {
        LOG_AT(kVersionTag, L"use curl");
        // An answer that is not a JSON object (an error page) does not count here.
        ok = curlGet(url, text, lookupThread_) && isJsonObject(text);
    }
    if (!ok && lookupStopped()) return;
    if (!ok) {
        LOG_AT(kVersionTag, L"use curl 2");
        ok = curlGet(request.versionSpareUrl, text, lookupThread_);
    }
    if (lookupStopped()) return;
    if (!ok) {
        LOG_AT(kVersionTag, L"get play uer is error!");
        telemetry::report::downloadAddressFail();
        postTask(this, makeRunable([this] { lookupDone_ = true; }));
        return;
    }
    // Every result goes to the UI thread under the model's key: a model stopped before the task
    // runs drops it with its other tasks.
    postTask(this, makeRunable([this, text] { parseVersionDocument(text); }));
    _getPackageByOpenID(request);
    if (lookupStopped()) return;
    _threadReqOpenid(request.channelUrl);
    if (lookupStopped()) return;
    _threadCustomerInfo(request.customerUrl, request.customerKey);
    LOG_AT(kVersionTag, L"lookups finished");
}

void DownloaderModel::parseVersionDocument(const std::string& text) {
    LOG_AT(kParseTag, L"start parse data");
    const auto document = service_documents::parseVersionDocument(text);
    if (!document) {
        LOG_AT(kParseTag, L"error parse");
        telemetry::report::downloadAddressFail();
        lookupDone_ = true;
        return;
    }
    if (document->edition4) {
        assignIfSet(version4_, document->edition4->version);
        assignIfSet(downloadUrl4_, document->edition4->url);
        assignIfSet(spareDownloadUrl4_, document->edition4->spareUrl);
        assignIfSet(packageMd54_, document->edition4->md5);
    }
    if (config_.isPlayer4()) {
        version_ = version4_;
        downloadUrl_ = downloadUrl4_;
        spareDownloadUrl_ = spareDownloadUrl4_;
        packageMd5_ = packageMd54_;
    } else {
        const auto& edition = config_.isPlayer64()  ? document->edition64
                              : config_.isPlayer9() ? document->edition9
                                                    : document->edition3;
        if (edition) {
            assignIfSet(version_, edition->version);
            assignIfSet(downloadUrl_, edition->url);
            assignIfSet(spareDownloadUrl_, edition->spareUrl);
            assignIfSet(packageMd5_, edition->md5);
        }
    }
    if (const auto jump = service_documents::jumpUrlFor(*document, language_)) {
        config_.setJumpUrl(*jump);
    }
    lookupDone_ = true;
    if (spareDownloadUrl_.empty()) spareDownloadUrl_ = downloadUrl_;
    LOG_AT(kParseTag, L"version:%s url:%s spare url:%s", version_.c_str(), downloadUrl_.c_str(),
           spareDownloadUrl_.c_str());
}

void DownloaderModel::_getPackageByOpenID(const LookupRequest& request) {
    if (!request.packageUrl.empty()) {
        LOG_AT(kPackageTag, L"start get package.");
        const std::wstring& url = request.packageUrl;
        std::string text;
        if (!serviceHttp_.download2mem(text, url) && !lookupStopped()) {
            LOG_AT(kPackageTag, L"get package data by txcurl ");
            curlGet(url, text, lookupThread_);
        }
        auto games =
            game_packages::acceptedGames(service_documents::parseGameList(text), kPackageTag);
        LaunchSettings launch;
        service_documents::parseLaunchSettings(text, launch);
        postTask(this, makeRunable([this, games = std::move(games), launch] {
                     if (games_.empty()) games_ = games;
                     launch_ = launch;
                 }));
    }
    LOG_AT(kPackageTag, L"package is %s", request.package.c_str());
}

void DownloaderModel::_threadReqOpenid(const std::wstring& url) {
    LOG_AT(kChannelTag, L"%s ", url.c_str());
    std::string text;
    if (!serviceHttp_.download2mem(text, url)) {
        LOG_AT(kChannelTag, L"error 1111");
        curlGet(url, text, lookupThread_);
    }
    const auto answer = service_documents::parseChannelAnswer(text);
    if (!answer.isObject) {
        LOG_AT(kChannelTag, L"it is not json");
        return;
    }
    if (!answer.codeOk) {
        LOG_AT(kChannelTag, L"code not right");
        return;
    }
    if (!answer.openId) return;
    const std::wstring openId = std::to_wstring(*answer.openId);
    postTask(this, makeRunable([this, openId] { serverOpenId_ = openId; }));
}

void DownloaderModel::_threadCustomerInfo(const std::wstring& url, const std::wstring& key) {
    LOG_AT(kCustomerTag, L"start get curstomer info");
    std::string text;
    if (!serviceHttp_.download2mem(text, url)) {
        LOG_AT(kCustomerTag, L"error 1111");
        curlGet(url, text, lookupThread_);
    }
    auto texts = service_documents::parseCustomerDocument(text, key);
    if (!texts.isObject) {
        LOG_AT(kCustomerTag, L"customer usrl is not json");
        return;
    }
    postTask(this, makeRunable([this, texts = std::move(texts)] {
                 assignIfSet(installErrorText_, texts.installError);
                 assignIfSet(customerLink_, texts.customerLink);
             }));
}
