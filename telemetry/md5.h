// MD5 digests (RFC 1321) from the platform's cryptography provider.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace telemetry {

// A digest fed piece by piece.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    // False once the provider failed; the digest is then empty.
    bool update(const void* bytes, std::size_t size);
    // 32 lower-case hexadecimal digits of everything fed; empty when the provider failed. Ends
    // the digest.
    std::string finishHex();

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool failed_ = false;
};

// The digest of the bytes as 32 lower-case hexadecimal digits; empty when the provider fails.
std::string md5Hex(std::string_view bytes);

}  // namespace telemetry
