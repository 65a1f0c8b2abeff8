#include "telemetry/analytics_body.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "app/deployment.h"
#include "telemetry/telemetry_json.h"
#include "utility/text.h"

namespace vadi {
namespace {

using telemetry::JsonAllocator;
using telemetry::JsonValue;

JsonValue textValue(const std::string& text, JsonAllocator& allocator) {
    return JsonValue(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

}  // namespace

std::string analyticsBody(const std::string& clientId, const std::wstring& name,
                          const std::wstring& label) {
    telemetry::JsonDocument document;
    JsonAllocator& allocator = document.GetAllocator();
    document.SetObject();
    JsonValue params(rapidjson::kObjectType);
    params.AddMember("event_category", JsonValue(telemetry::kDownloaderVersion, allocator),
                     allocator);
    params.AddMember("event_label", textValue(utility::wideToAnsi(label), allocator), allocator);
    JsonValue event(rapidjson::kObjectType);
    event.AddMember("name", textValue(utility::wideToAnsi(name), allocator), allocator);
    event.AddMember("params", params, allocator);
    JsonValue events(rapidjson::kArrayType);
    events.PushBack(event, allocator);
    document.AddMember("client_id", textValue(clientId, allocator), allocator);
    document.AddMember("events", events, allocator);

    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string analyticsUrl(const std::wstring& measurementId, const std::wstring& apiSecret) {
    const std::wstring url = L"https://" + std::wstring(deployment::values().analyticsHost) +
                             L"/mp/collect?measurement_id=" + measurementId + L"&api_secret=" +
                             apiSecret;
    return utility::wideToAnsi(url);
}

}  // namespace vadi
