// The scenario a test writes into the world folder: fault rules per host and path, content
// overrides, and the stand-ins' behaviour (read by the stand-ins themselves). The double reads
// it again for every request. Its format is documented in README.md.
#pragma once

#include <rapidjson/document.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ranges.h"

namespace vendor_double {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A body given by a rule or a content override.
struct BodyForm {
    enum class Kind { Text, File, Pattern, Repeat };
    Kind kind = Kind::Text;
    std::string text;         // Text: the bytes; File: the path; Repeat: the unit
    std::uint64_t size = 0;   // Pattern, Repeat
    std::string contentType;  // implied by the form ("json" gives application/json)
};

struct Rule {
    std::size_t index = 0;
    // Match (empty: any). Host compared case-insensitively; a path ending in "*" is a prefix.
    std::string host;
    std::string path;
    std::string method;
    std::optional<std::string> query;
    std::optional<long long> times;  // only the first n matching requests

    // Answer.
    std::optional<int> status;
    HeaderList headers;
    std::optional<BodyForm> body;
    std::optional<std::string> contentType;
    std::optional<std::uint64_t> truncateBody;

    // Transfer faults.
    bool noContentLength = false;  // chunked transfer coding, no length
    bool closeDelimited = false;   // no length, the end of the body is the end of the connection
    RangeFaults rangeFaults;
    std::optional<std::uint64_t> dropAfterBytes;
    std::uint64_t rateLimit = 0;  // bytes per second; 0: none
    long long delayMs = 0;        // before the head
    long long redirects = 0;      // hops before the answer
    int redirectStatus = 302;
    bool wrongCertificate = false;  // per host: the TLS handshake shows the wrong-host certificate

    // The rule's match fields, without the times limit.
    bool matches(std::string_view host, std::string_view method, std::string_view path,
                 std::string_view query) const;
    // Names of the faults the rule applies, for the request record.
    std::vector<std::string> faultNames() const;
};

class Scenario {
public:
    Scenario();
    // An unreadable or invalid text gives the empty scenario with error() set.
    static Scenario parse(std::string_view text);
    // Reads the file; a missing file is the empty scenario without error.
    static Scenario load(const std::string& path);

    const std::vector<Rule>& rules() const { return rules_; }
    const std::string& error() const { return error_; }
    // Changes whenever the scenario text changes (keys the "times" counters).
    std::size_t fingerprint() const { return fingerprint_; }
    // A member of "content", or null.
    const rapidjson::Value* content(const char* name) const;

private:
    std::vector<Rule> rules_;
    std::string error_;
    std::size_t fingerprint_ = 0;
    std::shared_ptr<rapidjson::Document> document_;
};

// Parses a body form: {"text"}, {"json"}, {"file"}, {"size"} or {"size","repeat"}. On an error
// returns nullopt with the reason.
std::optional<BodyForm> parseBodyForm(const rapidjson::Value& value, std::string& error);

// Serialises a JSON value compactly.
std::string toJson(const rapidjson::Value& value);

}  // namespace vendor_double
