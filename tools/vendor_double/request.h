// One request as the double sees it, independent of the HTTP library.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vendor_double {

struct IncomingRequest {
    std::string scheme;  // "https" or "http"
    std::string host;    // from the Host header, lower case, without port
    std::string method;
    std::string target;                                        // as sent: path and query
    std::string path;                                          // target up to "?"
    std::string query;                                         // after "?", without it
    std::vector<std::pair<std::string, std::string>> headers;  // as received
    std::string body;

    // First header of that name (case-insensitive).
    std::optional<std::string> header(std::string_view name) const;
};

// Splits a target into path and query and fills both fields.
void splitTarget(IncomingRequest& request);

// Percent-decoding ("+" stays as it is: query values here are never form-encoded).
std::string urlDecode(std::string_view text);

// The decoded value of the first query parameter of that name.
std::optional<std::string> queryParam(std::string_view query, std::string_view name);

}  // namespace vendor_double
