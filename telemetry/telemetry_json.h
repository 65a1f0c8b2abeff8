// The JSON types of the telemetry documents: rapidjson DOM values over the C-runtime allocator,
// with UTF-8 strings.
#pragma once

#include <rapidjson/allocators.h>
#include <rapidjson/document.h>
#include <rapidjson/encodings.h>

namespace telemetry {

using JsonAllocator = rapidjson::CrtAllocator;
using JsonDocument = rapidjson::GenericDocument<rapidjson::UTF8<>, JsonAllocator>;
using JsonValue = rapidjson::GenericValue<rapidjson::UTF8<>, JsonAllocator>;

// The downloader's version string, sent with every reporter and analytics event.
inline constexpr char kDownloaderVersion[] = "4.22";

}  // namespace telemetry
