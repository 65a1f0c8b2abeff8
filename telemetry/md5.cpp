#include "telemetry/md5.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>

namespace telemetry {
namespace {

constexpr ULONG kDigestBytes = 16;

class AlgorithmProvider {
public:
    AlgorithmProvider() {
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&handle_, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
            handle_ = nullptr;
        }
    }
    ~AlgorithmProvider() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashObject {
public:
    explicit HashObject(BCRYPT_ALG_HANDLE algorithm) {
        // The provider allocates the hash object's memory itself (Windows 7 and later).
        if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &handle_, nullptr, 0, nullptr, 0, 0))) {
            handle_ = nullptr;
        }
    }
    ~HashObject() {
        if (handle_) BCryptDestroyHash(handle_);
    }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;
    BCRYPT_HASH_HANDLE get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

std::string toLowerHex(const std::array<UCHAR, kDigestBytes>& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const UCHAR byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace

std::string md5Hex(std::string_view bytes) {
    const AlgorithmProvider provider;
    if (!provider.get()) return {};
    const HashObject hash(provider.get());
    if (!hash.get()) return {};
    // BCryptHashData takes a non-const pointer but does not write through it.
    auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), input, static_cast<ULONG>(bytes.size()), 0))) {
        return {};
    }
    std::array<UCHAR, kDigestBytes> digest{};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest.data(), kDigestBytes, 0))) return {};
    return toLowerHex(digest);
}

}  // namespace telemetry
