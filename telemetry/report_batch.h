// The pieces of one event upload that do not depend on time or the network: the array element
// of an event, the body text, the request time, the signing input, the signature and the header
// lines. The reporter's worker puts them together.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "telemetry/telemetry_json.h"

namespace telemetry {

// Adds an event's own members to its "properties" object, with the document's allocator.
using EventProperties = std::function<void(JsonValue& properties, JsonAllocator& allocator)>;

// One queued event.
struct EventRecord {
    std::wstring name;
    std::int64_t time = 0;  // milliseconds since 1970, whole seconds
    EventProperties properties;
};

// The run's identity, sent with every event.
struct ReporterIdentity {
    std::wstring openId;
    std::wstring pcId;
    std::wstring language;
};

// Appends the event's object to the array document; eventId may be empty.
void appendEventObject(JsonDocument& array, const EventRecord& record,
                       const ReporterIdentity& identity, const std::wstring& eventId);

// The indented UTF-8 text of the document: a line feed before every element and member, four
// blanks per level, no final line feed; an empty array is "[]".
std::string prettyJson(const JsonDocument& document);

// Bodies of this many characters or fewer hold no event.
constexpr std::size_t kEmptyBodyLimit = 5;

// Calendar seconds as milliseconds, with the tick count's last three digits as the millisecond
// part.
constexpr std::int64_t requestTime(std::int64_t calendarSeconds, DWORD tickCount) {
    return calendarSeconds * 1000 + static_cast<std::int64_t>(tickCount % 1000);
}

// Prefix + request time + event count × 1024, all decimal.
std::string signingInput(std::string_view prefix, std::int64_t requestTime, std::size_t eventCount);

// The last eight digits of the digest text; empty when the text is too short to be a digest.
std::string signatureOf(const std::string& digestHex);

// "timestamp: <t>" and "signature: <s>", in this order.
std::vector<std::string> uploadHeaders(std::int64_t requestTime, const std::string& signature);

// The fixed signing prefix: the deployment's salt followed by "timestamp=".
std::string signingPrefix();

// Where batches are posted: "https://" + collection host + "/collection/biz/upload".
std::string collectionUrl();

}  // namespace telemetry
