// The double's decisions for one request, without sockets: which rule applies, which content
// answers, what status, headers and part of the body go out, and how the transfer misbehaves.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "content.h"
#include "request.h"
#include "scenario.h"

namespace vendor_double {

struct Reply {
    int status = 200;
    HeaderList headers;        // Content-Type, Content-Range, Location and the rule's own
    BodyPtr body;              // null: no body
    std::uint64_t offset = 0;  // first body byte sent
    std::uint64_t length = 0;  // body bytes sent (the Content-Length, when one is sent)

    bool chunked = false;
    bool closeDelimited = false;
    std::optional<std::uint64_t> dropAfterBytes;
    std::uint64_t rateLimit = 0;
    long long delayMs = 0;

    std::optional<std::size_t> rule;
    std::vector<std::string> faults;
    std::string scenarioError;
    std::string detailsName;
    std::string detailsJson;
};

class Service {
public:
    // worldDir holds scenario.json; standinPath is the offline installer stand-in program.
    Service(std::string worldDir, std::string standinPath, PackageSigning signing = {});

    Reply handle(const IncomingRequest& request);
    // Whether the scenario asks for the wrong-host certificate on this host name.
    bool wrongCertificateFor(const std::string& serverName);

    Scenario loadScenario() const;

private:
    // The rule that applies to the request, counting it against its "times".
    const Rule* chooseRule(const Scenario& scenario, const IncomingRequest& request);

    std::string worldDir_;
    Content content_;
    std::mutex countersMutex_;
    std::map<std::pair<std::size_t, std::size_t>, long long> counters_;  // (scenario, rule)
};

// Redirect hops travel in the path: "/__hop/<rule>.<hop>" followed by the original target.
struct Hop {
    std::size_t rule = 0;
    long long hop = 0;
    std::string target;  // the original target
};
std::optional<Hop> parseHop(const std::string& target);
std::string hopTarget(const Hop& hop);

}  // namespace vendor_double
