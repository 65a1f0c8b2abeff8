// The telemetry objects as the installer uses them: posting through the curl client, following
// the process-wide configuration and keeping the installer's own PC identity.
#include "telemetry/curl_post.h"

#include "app/config_imp.h"
#include "net/tx_curl_downloader.h"
#include "telemetry/google_analytics.h"
#include "telemetry/tx_reporter.h"

namespace telemetry {

bool curlPost(const std::string& body, std::string& response, const std::string& url,
              const std::vector<std::string>& headers) {
    return TxCurlDownloader().postRequest(body, response, url, headers);
}

}  // namespace telemetry

TxReporter& TxReporter::instance() {
    // Never destroyed: a worker still running at process exit must not find its queue freed.
    static TxReporter* const reporter = new TxReporter();
    return *reporter;
}

TxReporter::TxReporter() : TxReporter(ConfigImp::instance(), telemetry::curlPost) {}

namespace vadi {

GoogleAnalytics::GoogleAnalytics() : GoogleAnalytics(PcIdSources{}, telemetry::curlPost) {}

}  // namespace vadi
