#include "utility/registry.h"

#include <array>

#include "utility/log.h"
#include "utility/text.h"

namespace utility {
namespace {

constexpr DWORD kValueBytes = 1024;

}  // namespace

LONG RegKey::RegRegOpen(HKEY root, const std::string& subKey, REGSAM access) {
    close();
    const LONG result = RegOpenKeyExA(root, subKey.c_str(), 0, access, &key_);
    if (result != ERROR_SUCCESS) {
        const DWORD error = GetLastError();
        key_ = nullptr;
        LOG_AT("utility::RegKey::RegRegOpen", L"open reg = %s, lastError = %d",
               ansiToWide(subKey).c_str(), static_cast<int>(error));
    }
    return result;
}

LONG RegKey::RegRead(const std::string& valueName, std::string& value) {
    if (key_ == nullptr) {
        LOG_AT("utility::RegKey::RegRead", L"m_hKey is null, query reg = %s",
               ansiToWide(valueName).c_str());
        return -1;
    }
    // One spare zero beyond the value buffer keeps a value of exactly 1,024 bytes terminated.
    std::array<char, kValueBytes + 1> buffer{};
    DWORD size = kValueBytes;
    const LONG result = RegQueryValueExA(key_, valueName.c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {
        const DWORD error = GetLastError();
        LOG_AT("utility::RegKey::RegRead", L"read reg lastError = %d", static_cast<int>(error));
        return result;
    }
    value = buffer.data();
    return result;
}

void RegKey::close() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
}

}  // namespace utility
