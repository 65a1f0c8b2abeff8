#include "service.h"

#include <charconv>

#include "hosts.h"

namespace vendor_double {
namespace {

constexpr std::string_view kHopPrefix = "/__hop/";

void setHeader(HeaderList& headers, const std::string& name, const std::string& value) {
    for (auto& [key, existing] : headers)
        if (lowerAscii(key) == lowerAscii(name)) {
            existing = value;
            return;
        }
    headers.emplace_back(name, value);
}

}  // namespace

std::optional<Hop> parseHop(const std::string& target) {
    if (target.rfind(kHopPrefix, 0) != 0) return std::nullopt;
    const std::string_view rest = std::string_view(target).substr(kHopPrefix.size());
    const auto slash = rest.find('/');
    const auto dot = rest.find('.');
    if (slash == std::string_view::npos || dot == std::string_view::npos || dot > slash)
        return std::nullopt;
    Hop hop;
    const char* begin = rest.data();
    if (std::from_chars(begin, begin + dot, hop.rule).ptr != begin + dot) return std::nullopt;
    if (std::from_chars(begin + dot + 1, begin + slash, hop.hop).ptr != begin + slash)
        return std::nullopt;
    hop.target = std::string(rest.substr(slash));
    return hop;
}

std::string hopTarget(const Hop& hop) {
    return std::string(kHopPrefix) + std::to_string(hop.rule) + "." + std::to_string(hop.hop) +
           hop.target;
}

Service::Service(std::string worldDir, std::string standinPath, PackageSigning signing)
    : worldDir_(worldDir),
      content_(std::move(worldDir), std::move(standinPath), std::move(signing)) {}

Scenario Service::loadScenario() const {
    return Scenario::load(worldDir_ + "/scenario.json");
}

bool Service::wrongCertificateFor(const std::string& serverName) {
    const Scenario scenario = loadScenario();
    for (const auto& rule : scenario.rules())
        if (rule.wrongCertificate &&
            (rule.host.empty() || rule.host == "*" || rule.host == lowerAscii(serverName)))
            return true;
    return false;
}

const Rule* Service::chooseRule(const Scenario& scenario, const IncomingRequest& request) {
    for (const auto& rule : scenario.rules()) {
        // Certificate rules act on the handshake only; they never answer a request.
        if (rule.wrongCertificate) continue;
        if (!rule.matches(request.host, request.method, request.path, request.query)) continue;
        if (!rule.times) return &rule;
        std::lock_guard lock(countersMutex_);
        long long& used = counters_[{scenario.fingerprint(), rule.index}];
        if (used >= *rule.times) continue;
        ++used;
        return &rule;
    }
    return nullptr;
}

Reply Service::handle(const IncomingRequest& incoming) {
    Reply reply;
    const Scenario scenario = loadScenario();
    reply.scenarioError = scenario.error();

    IncomingRequest request = incoming;
    const Rule* rule = nullptr;
    long long hop = 0;
    if (const auto hopped = parseHop(request.target)) {
        request.target = hopped->target;
        splitTarget(request);
        hop = hopped->hop;
        if (hopped->rule < scenario.rules().size()) rule = &scenario.rules()[hopped->rule];
    } else {
        rule = chooseRule(scenario, request);
    }
    if (rule) reply.rule = rule->index;

    if (rule && hop < rule->redirects) {
        reply.status = rule->redirectStatus;
        reply.faults.push_back("redirect");
        const Hop next{rule->index, hop + 1, request.target};
        reply.headers.emplace_back("Location",
                                   request.scheme + "://" + request.host + hopTarget(next));
        return reply;
    }

    Resource resource = content_.resolve(request, scenario);
    reply.status = resource.status;
    reply.detailsName = std::move(resource.detailsName);
    reply.detailsJson = std::move(resource.detailsJson);
    std::string contentType = resource.contentType;
    BodyPtr body = resource.body;
    HeaderList headers = std::move(resource.headers);

    if (rule) {
        const auto faults = rule->faultNames();
        reply.faults.insert(reply.faults.end(), faults.begin(), faults.end());
        if (rule->status) {
            reply.status = *rule->status;
            if (!rule->body && reply.status >= 400) {
                body = textBody(errorPage(reply.status));
                contentType = "text/html; charset=utf-8";
            } else if (!rule->body && (reply.status >= 300 || resource.status >= 300)) {
                body = nullptr;
                contentType.clear();
            }
        }
        if (rule->body) {
            if (!rule->status) reply.status = 200;  // a rule that gives the body gives the content
            std::string error;
            body = content_.makeBody(*rule->body, error);
            contentType = rule->body->contentType.empty() ? "text/plain; charset=utf-8"
                                                          : rule->body->contentType;
            if (!body) {
                reply.status = 500;
                body = textBody(error + "\n");
                reply.scenarioError = error;
            }
        }
        if (rule->contentType) contentType = *rule->contentType;
        if (rule->truncateBody && body) body = truncatedBody(body, *rule->truncateBody);
        for (const auto& [name, value] : rule->headers) setHeader(headers, name, value);
        reply.chunked = rule->noContentLength;
        reply.closeDelimited = rule->closeDelimited;
        reply.dropAfterBytes = rule->dropAfterBytes;
        reply.rateLimit = rule->rateLimit;
        reply.delayMs = rule->delayMs;
    }

    if (reply.status == 204 || reply.status == 304 || (reply.status >= 100 && reply.status < 200))
        body = nullptr;
    if (body) {
        reply.length = body->size();
        if (reply.status == 200 && (request.method == "GET" || request.method == "HEAD")) {
            const RangeFaults noFaults;
            const BodyPlan plan = planBody(request.header("Range").value_or(""), body->size(),
                                           rule ? rule->rangeFaults : noFaults);
            reply.status = plan.status;
            reply.offset = plan.offset;
            reply.length = plan.length;
            if (!plan.contentRange.empty()) setHeader(headers, "Content-Range", plan.contentRange);
            if (plan.status == 416) body = nullptr;
        }
        if (body && !contentType.empty()) setHeader(headers, "Content-Type", contentType);
        const bool ignoresRanges = rule && rule->rangeFaults.ignoreRange;
        if ((reply.status == 200 || reply.status == 206) && !ignoresRanges)
            setHeader(headers, "Accept-Ranges", "bytes");
    }
    if (!body) reply.length = 0;
    reply.body = std::move(body);
    reply.headers.insert(reply.headers.end(), headers.begin(), headers.end());
    return reply;
}

}  // namespace vendor_double
