#include "telemetry/report_batch.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "app/deployment.h"
#include "utility/text.h"

namespace telemetry {
namespace {

constexpr std::size_t kShortestDigestText = 16;
constexpr std::size_t kSignatureLength = 8;
constexpr std::size_t kBytesPerEvent = 1024;

JsonValue utf8Value(const std::wstring& text, JsonAllocator& allocator) {
    const std::string utf8 = utility::wideToUtf8(text);
    return JsonValue(utf8.c_str(), static_cast<rapidjson::SizeType>(utf8.size()), allocator);
}

JsonValue fixedProperties(const ReporterIdentity& identity, JsonAllocator& allocator) {
    JsonValue properties(rapidjson::kObjectType);
    properties.AddMember("mnq_version", JsonValue(kDownloaderVersion, allocator), allocator);
    properties.AddMember("mnq_mac", utf8Value(identity.pcId, allocator), allocator);
    properties.AddMember("device_id", utf8Value(identity.pcId, allocator), allocator);
    properties.AddMember("openid", utf8Value(identity.openId, allocator), allocator);
    properties.AddMember("language", utf8Value(identity.language, allocator), allocator);
    properties.AddMember("downloader_package", 1, allocator);
    return properties;
}

}  // namespace

void appendEventObject(JsonDocument& array, const EventRecord& record,
                       const ReporterIdentity& identity, const std::wstring& eventId) {
    JsonAllocator& allocator = array.GetAllocator();
    JsonValue event(rapidjson::kObjectType);
    event.AddMember("appId", 1, allocator);
    event.AddMember("eventId", utf8Value(eventId, allocator), allocator);
    event.AddMember("eventKey", utf8Value(record.name, allocator), allocator);
    event.AddMember("timestamp", static_cast<std::uint64_t>(record.time), allocator);
    JsonValue properties = fixedProperties(identity, allocator);
    if (record.properties) record.properties(properties, allocator);
    event.AddMember("properties", properties, allocator);
    array.PushBack(event, allocator);
}

std::string prettyJson(const JsonDocument& document) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string signingInput(std::string_view prefix, std::int64_t requestTime,
                         std::size_t eventCount) {
    std::string input(prefix);
    input += utility::int64ToText(requestTime);
    input += std::to_string(eventCount * kBytesPerEvent);
    return input;
}

std::string signatureOf(const std::string& digestHex) {
    if (digestHex.size() < kShortestDigestText) return {};
    return digestHex.substr(digestHex.size() - kSignatureLength);
}

std::vector<std::string> uploadHeaders(std::int64_t requestTime, const std::string& signature) {
    return {"timestamp: " + utility::int64ToText(requestTime), "signature: " + signature};
}

std::string signingPrefix() {
    return std::string(deployment::values().signingSalt) + "timestamp=";
}

std::string collectionUrl() {
    const std::wstring url =
        L"https://" + std::wstring(deployment::values().collectionHost) + L"/collection/biz/upload";
    return utility::wideToAnsi(url);
}

}  // namespace telemetry
