// The collection service's check of an upload: the "timestamp" and "signature" header values
// against the deployment's salt and the number of events in the body.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vendor_double {

// MD5 of the bytes as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view data);

// The text the reporter signs: salt, "timestamp=", the timestamp, the event count times 1024.
std::string signingInput(std::string_view salt, std::string_view timestamp, std::size_t eventCount);

struct SignatureCheck {
    // "valid", "missing-timestamp", "missing-signature", "bad-timestamp" or "bad-signature".
    std::string verdict;
    std::string signingInput;  // empty when the timestamp is missing or malformed
    std::string expected;      // the signature a correct client sends (last 8 hex digits)
    bool valid() const { return verdict == "valid"; }
};

// Absent headers are nullopt. The timestamp must be decimal digits only.
SignatureCheck checkSignature(std::string_view salt, const std::optional<std::string>& timestamp,
                              const std::optional<std::string>& signature, std::size_t eventCount);

}  // namespace vendor_double
