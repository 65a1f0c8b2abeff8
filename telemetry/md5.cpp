#include "telemetry/md5.h"

#include <algorithm>
#include <array>
#include <limits>

namespace telemetry {
namespace {

constexpr ULONG kDigestBytes = 16;

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

Md5::Md5() {
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        algorithm_ = nullptr;
        failed_ = true;
        return;
    }
    // The provider allocates the hash object's memory itself (Windows 7 and later).
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
        hash_ = nullptr;
        failed_ = true;
    }
}

Md5::~Md5() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Md5::update(const void* bytes, std::size_t size) {
    // BCryptHashData takes a non-const pointer but does not write through it.
    auto* input = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (!failed_ && size > 0) {
        const auto piece =
            static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        failed_ = !BCRYPT_SUCCESS(BCryptHashData(hash_, input, piece, 0));
        input += piece;
        size -= piece;
    }
    return !failed_;
}

std::string Md5::finishHex() {
    if (failed_) return {};
    failed_ = true;  // a finished hash takes nothing more
    std::array<UCHAR, kDigestBytes> digest{};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), kDigestBytes, 0))) return {};
    return toLowerHex(digest);
}

std::string md5Hex(std::string_view bytes) {
    Md5 digest;
    digest.update(bytes.data(), bytes.size());
    return digest.finishHex();
}

}  // namespace telemetry
