#include "signature.h"

#include <openssl/evp.h>

#include <algorithm>

namespace vendor_double {

std::string md5Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (!EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr)) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0f]);
    }
    return text;
}

std::string signingInput(std::string_view salt, std::string_view timestamp,
                         std::size_t eventCount) {
    return std::string(salt) + "timestamp=" + std::string(timestamp) +
           std::to_string(eventCount * 1024);
}

SignatureCheck checkSignature(std::string_view salt, const std::optional<std::string>& timestamp,
                              const std::optional<std::string>& signature, std::size_t eventCount) {
    SignatureCheck check;
    if (!timestamp) {
        check.verdict = "missing-timestamp";
        return check;
    }
    const bool digits =
        !timestamp->empty() && std::all_of(timestamp->begin(), timestamp->end(),
                                           [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) {
        check.verdict = "bad-timestamp";
        return check;
    }
    check.signingInput = signingInput(salt, *timestamp, eventCount);
    const std::string digest = md5Hex(check.signingInput);
    check.expected = digest.size() >= 8 ? digest.substr(digest.size() - 8) : std::string();
    if (!signature)
        check.verdict = "missing-signature";
    else
        check.verdict = *signature == check.expected ? "valid" : "bad-signature";
    return check;
}

}  // namespace vendor_double
