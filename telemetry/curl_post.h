// The one way telemetry reaches the network: a POST through the curl client.
#pragma once

#include <string>
#include <vector>

namespace telemetry {

// TxCurlDownloader::postRequest on a fresh client; the signature of the telemetry posts.
bool curlPost(const std::string& body, std::string& response, const std::string& url,
              const std::vector<std::string>& headers);

}  // namespace telemetry
