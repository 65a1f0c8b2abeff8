// MD5 digests (RFC 1321) from the platform's cryptography provider.
#pragma once

#include <string>
#include <string_view>

namespace telemetry {

// The digest of the bytes as 32 lower-case hexadecimal digits; empty when the provider fails.
std::string md5Hex(std::string_view bytes);

}  // namespace telemetry
