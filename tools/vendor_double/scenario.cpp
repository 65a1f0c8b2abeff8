#include "scenario.h"

#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "hosts.h"
#include "signing.h"

namespace vendor_double {
namespace {

const std::set<std::string_view> kRuleKeys{
    "host",
    "path",
    "method",
    "query",
    "times",
    "status",
    "headers",
    "body",
    "contentType",
    "truncateBody",
    "noContentLength",
    "closeDelimited",
    "ignoreRange",
    "rangeShift",
    "contentRange",
    "dropAfterBytes",
    "rateLimit",
    "delayMs",
    "redirects",
    "redirectStatus",
    "wrongCertificate",
    "comment",
};

const std::set<std::string_view> kTopKeys{"rules", "content", "standins", "comment"};

class RuleReader {
public:
    RuleReader(const rapidjson::Value& value, std::string& error) : value_(value), error_(error) {}

    bool text(const char* key, std::string& out) {
        const auto* member = find(key);
        if (!member) return true;
        if (!member->IsString()) return fail(key, "a string");
        out = member->GetString();
        return true;
    }
    bool optionalText(const char* key, std::optional<std::string>& out) {
        const auto* member = find(key);
        if (!member) return true;
        if (!member->IsString()) return fail(key, "a string");
        out = member->GetString();
        return true;
    }
    bool flag(const char* key, bool& out) {
        const auto* member = find(key);
        if (!member) return true;
        if (!member->IsBool()) return fail(key, "true or false");
        out = member->GetBool();
        return true;
    }
    template <typename T>
    bool count(const char* key, T& out) {
        const auto* member = find(key);
        if (!member) return true;
        if (!member->IsInt64() || member->GetInt64() < 0) return fail(key, "a whole number >= 0");
        out = static_cast<T>(member->GetInt64());
        return true;
    }
    template <typename T>
    bool optionalCount(const char* key, std::optional<T>& out) {
        if (!find(key)) return true;
        T value{};
        if (!count(key, value)) return false;
        out = value;
        return true;
    }
    bool signedNumber(const char* key, std::int64_t& out) {
        const auto* member = find(key);
        if (!member) return true;
        if (!member->IsInt64()) return fail(key, "a whole number");
        out = member->GetInt64();
        return true;
    }
    const rapidjson::Value* find(const char* key) const {
        const auto it = value_.FindMember(key);
        return it == value_.MemberEnd() ? nullptr : &it->value;
    }
    bool fail(const char* key, const char* expected) {
        error_ = std::string("\"") + key + "\" must be " + expected;
        return false;
    }

private:
    const rapidjson::Value& value_;
    std::string& error_;
};

bool readHeaders(const rapidjson::Value* value, HeaderList& headers, std::string& error) {
    if (!value) return true;
    if (!value->IsObject()) {
        error = "\"headers\" must be an object of strings";
        return false;
    }
    for (const auto& member : value->GetObject()) {
        if (!member.value.IsString()) {
            error = "\"headers\" must be an object of strings";
            return false;
        }
        headers.emplace_back(member.name.GetString(), member.value.GetString());
    }
    return true;
}

bool readRule(const rapidjson::Value& value, Rule& rule, std::string& error) {
    if (!value.IsObject()) {
        error = "a rule must be an object";
        return false;
    }
    for (const auto& member : value.GetObject()) {
        if (!kRuleKeys.count(member.name.GetString())) {
            error = std::string("unknown key \"") + member.name.GetString() + "\"";
            return false;
        }
    }
    RuleReader r(value, error);
    std::optional<std::string> contentRange;
    std::optional<int> status;
    int redirectStatus = 302;
    const bool ok =
        r.text("host", rule.host) && r.text("path", rule.path) && r.text("method", rule.method) &&
        r.optionalText("query", rule.query) && r.optionalCount("times", rule.times) &&
        r.optionalCount("status", status) && r.optionalText("contentType", rule.contentType) &&
        r.optionalCount("truncateBody", rule.truncateBody) &&
        r.flag("noContentLength", rule.noContentLength) &&
        r.flag("closeDelimited", rule.closeDelimited) &&
        r.flag("ignoreRange", rule.rangeFaults.ignoreRange) &&
        r.signedNumber("rangeShift", rule.rangeFaults.rangeShift) &&
        r.optionalText("contentRange", contentRange) &&
        r.optionalCount("dropAfterBytes", rule.dropAfterBytes) &&
        r.count("rateLimit", rule.rateLimit) && r.count("delayMs", rule.delayMs) &&
        r.count("redirects", rule.redirects) && r.count("redirectStatus", redirectStatus) &&
        r.flag("wrongCertificate", rule.wrongCertificate) &&
        readHeaders(r.find("headers"), rule.headers, error);
    if (!ok) return false;
    if (status && (*status < 100 || *status > 599)) return r.fail("status", "from 100 to 599");
    if (redirectStatus < 300 || redirectStatus > 399)
        return r.fail("redirectStatus", "from 300 to 399");
    if (rule.noContentLength && rule.closeDelimited) {
        error = "\"noContentLength\" and \"closeDelimited\" exclude each other";
        return false;
    }
    rule.host = lowerAscii(rule.host);
    rule.status = status;
    rule.redirectStatus = redirectStatus;
    rule.rangeFaults.contentRange = contentRange;
    if (const auto* body = r.find("body")) {
        rule.body = parseBodyForm(*body, error);
        if (!rule.body) return false;
    }
    return true;
}

}  // namespace

std::string toJson(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::optional<BodyForm> parseBodyForm(const rapidjson::Value& value, std::string& error) {
    BodyForm form;
    if (!value.IsObject() || value.MemberCount() == 0) {
        error = "a body must be an object: {\"text\"}, {\"json\"}, {\"file\"} or {\"size\"}";
        return std::nullopt;
    }
    const auto member = [&](const char* key) -> const rapidjson::Value* {
        const auto it = value.FindMember(key);
        return it == value.MemberEnd() ? nullptr : &it->value;
    };
    for (const auto& m : value.GetObject()) {
        const std::string_view key = m.name.GetString();
        if (key != "text" && key != "json" && key != "file" && key != "size" && key != "repeat") {
            error = "unknown body key \"" + std::string(key) + "\"";
            return std::nullopt;
        }
    }
    if (const auto* text = member("text")) {
        if (!text->IsString()) {
            error = "body \"text\" must be a string";
            return std::nullopt;
        }
        form.text.assign(text->GetString(), text->GetStringLength());
        return form;
    }
    if (const auto* json = member("json")) {
        form.text = toJson(*json);
        form.contentType = "application/json";
        return form;
    }
    if (const auto* file = member("file")) {
        if (!file->IsString()) {
            error = "body \"file\" must be a string";
            return std::nullopt;
        }
        form.kind = BodyForm::Kind::File;
        form.text = file->GetString();
        return form;
    }
    const auto* size = member("size");
    if (!size || !size->IsUint64()) {
        error = "body \"size\" must be a whole number >= 0";
        return std::nullopt;
    }
    form.size = size->GetUint64();
    form.kind = BodyForm::Kind::Pattern;
    form.contentType = "application/octet-stream";
    if (const auto* repeat = member("repeat")) {
        if (!repeat->IsString()) {
            error = "body \"repeat\" must be a string";
            return std::nullopt;
        }
        form.kind = BodyForm::Kind::Repeat;
        form.text.assign(repeat->GetString(), repeat->GetStringLength());
        form.contentType.clear();
    }
    return form;
}

bool Rule::matches(std::string_view requestHost, std::string_view requestMethod,
                   std::string_view requestPath, std::string_view requestQuery) const {
    if (!host.empty() && host != "*" && host != lowerAscii(requestHost)) return false;
    if (!method.empty() && method != requestMethod) return false;
    if (query && *query != requestQuery) return false;
    if (path.empty() || path == "*") return true;
    if (path.back() == '*')
        return requestPath.substr(0, path.size() - 1) ==
               std::string_view(path).substr(0, path.size() - 1);
    return requestPath == path;
}

std::vector<std::string> Rule::faultNames() const {
    std::vector<std::string> names;
    if (status) names.push_back("status");
    if (body) names.push_back("body");
    if (truncateBody) names.push_back("truncateBody");
    if (noContentLength) names.push_back("noContentLength");
    if (closeDelimited) names.push_back("closeDelimited");
    if (rangeFaults.ignoreRange) names.push_back("ignoreRange");
    if (rangeFaults.rangeShift != 0) names.push_back("rangeShift");
    if (rangeFaults.contentRange) names.push_back("contentRange");
    if (dropAfterBytes) names.push_back("dropAfterBytes");
    if (rateLimit) names.push_back("rateLimit");
    if (delayMs) names.push_back("delayMs");
    if (!headers.empty()) names.push_back("headers");
    return names;
}

Scenario::Scenario() : document_(std::make_shared<rapidjson::Document>()) {
    document_->SetObject();
}

Scenario Scenario::parse(std::string_view text) {
    Scenario scenario;
    scenario.fingerprint_ = std::hash<std::string_view>{}(text);
    auto document = std::make_shared<rapidjson::Document>();
    document->Parse(text.data(), text.size());
    if (document->HasParseError()) {
        scenario.error_ = std::string("scenario.json is not JSON: ") +
                          rapidjson::GetParseError_En(document->GetParseError()) + " at offset " +
                          std::to_string(document->GetErrorOffset());
        return scenario;
    }
    if (!document->IsObject()) {
        scenario.error_ = "scenario.json must hold an object";
        return scenario;
    }
    for (const auto& member : document->GetObject()) {
        if (!kTopKeys.count(member.name.GetString())) {
            scenario.error_ = std::string("unknown key \"") + member.name.GetString() + "\"";
            return scenario;
        }
    }
    std::vector<Rule> rules;
    if (const auto it = document->FindMember("rules"); it != document->MemberEnd()) {
        if (!it->value.IsArray()) {
            scenario.error_ = "\"rules\" must be an array";
            return scenario;
        }
        for (const auto& value : it->value.GetArray()) {
            Rule rule;
            rule.index = rules.size();
            std::string error;
            if (!readRule(value, rule, error)) {
                scenario.error_ = "rule " + std::to_string(rule.index) + ": " + error;
                return scenario;
            }
            rules.push_back(std::move(rule));
        }
    }
    if (const auto it = document->FindMember("content");
        it != document->MemberEnd() && !it->value.IsObject()) {
        scenario.error_ = "\"content\" must be an object";
        return scenario;
    } else if (it != document->MemberEnd()) {
        const auto signature = it->value.FindMember("installerSignature");
        if (signature != it->value.MemberEnd() &&
            (!signature->value.IsString() ||
             !parsePackageSignature(signature->value.GetString()))) {
            scenario.error_ = "\"installerSignature\" is not a signature the double makes";
            return scenario;
        }
    }
    scenario.rules_ = std::move(rules);
    scenario.document_ = std::move(document);
    return scenario;
}

Scenario Scenario::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Scenario();
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return Scenario();
    return parse(text);
}

const rapidjson::Value* Scenario::content(const char* name) const {
    const auto content = document_->FindMember("content");
    if (content == document_->MemberEnd() || !content->value.IsObject()) return nullptr;
    const auto it = content->value.FindMember(name);
    return it == content->value.MemberEnd() ? nullptr : &it->value;
}

}  // namespace vendor_double
