#include "telemetry/pc_identity.h"

#include <windows.h>

#include <iphlpapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "telemetry/md5.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/registry.h"
#include "utility/system_info.h"
#include "utility/text.h"

namespace vadi {
namespace {

constexpr const char* kTag = "vadi::GoogleAnalytics::calcPCID";
constexpr REGSAM kReadAccess = 0x20119;   // read, 64-bit view
constexpr REGSAM kWriteAccess = 0x2011F;  // read, set value, create sub-key, 64-bit view
constexpr std::size_t kShortestRegistryId = 11;
constexpr DWORD kIdentityFileBytes = 128;
constexpr std::size_t kShortestIdentityFile = 31;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string readRegistryId(const std::string& subKey) {
    utility::RegKey key;
    std::string value;
    if (key.RegRegOpen(HKEY_CURRENT_USER, subKey, kReadAccess) != ERROR_SUCCESS) return {};
    if (key.RegRead("pcmac", value) != ERROR_SUCCESS) return {};
    return value;
}

std::wstring readIdentityFile(const std::wstring& configuredPath) {
    const std::wstring path = configuredPath.empty()
                                  ? utility::ufile::appDataDir() + L"\\quenmar_sarvel.data"
                                  : configuredPath;
    utility::FileHandle file;
    if (!file.openRead(path)) return {};
    std::string bytes(kIdentityFileBytes, '\0');
    bytes.resize(file.read(bytes.data(), kIdentityFileBytes));
    return identityFileText(bytes);
}

std::string adapterMachineId(const PcIdSources& sources) {
    std::vector<HardwareAddress> addresses;
    if (!sources.listAdapters || !sources.listAdapters(addresses)) return {};
    return machineIdFromAddresses(addresses);
}

void storeRegistryId(const std::string& subKey, const std::string& id) {
    RegistryKey key;
    const LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, utility::ansiToWide(subKey).c_str(), 0,
                                         nullptr, 0, kWriteAccess, nullptr, key.out(), nullptr);
    if (created != ERROR_SUCCESS) {
        LOG_AT(kTag, L"save rcmac error %d", static_cast<int>(created));
        return;
    }
    const std::wstring value = utility::ansiToWide(id);
    const LONG set =
        RegSetValueExW(key.get(), L"pcmac", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (set != ERROR_SUCCESS) LOG_AT(kTag, L"save rcmac error %d", static_cast<int>(set));
}

std::string addressText(const HardwareAddress& address) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1],
                  address[2], address[3], address[4], address[5]);
    return text;
}

}  // namespace

bool listAdapterAddresses(std::vector<HardwareAddress>& addresses) {
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) return false;
    // A vector of the record type keeps the buffer aligned for it.
    std::vector<IP_ADAPTER_INFO> buffer(size / sizeof(IP_ADAPTER_INFO) + 1);
    size = static_cast<ULONG>(buffer.size() * sizeof(IP_ADAPTER_INFO));
    if (GetAdaptersInfo(buffer.data(), &size) != ERROR_SUCCESS) return false;
    for (const IP_ADAPTER_INFO* adapter = buffer.data(); adapter; adapter = adapter->Next) {
        HardwareAddress address{};
        std::copy_n(adapter->Address, address.size(), address.begin());
        addresses.push_back(address);
    }
    return true;
}

std::string machineIdFromAddresses(const std::vector<HardwareAddress>& addresses) {
    std::vector<std::string> texts;
    for (const HardwareAddress& address : addresses) {
        const bool allZero = std::all_of(address.begin(), address.end(),
                                         [](unsigned char byte) { return byte == 0; });
        if (!allZero) texts.push_back(addressText(address));
    }
    if (texts.empty()) return {};
    std::sort(texts.begin(), texts.end());
    std::string joined;
    for (const std::string& text : texts) {
        if (!joined.empty()) joined += '|';
        joined += text;
    }
    const std::string digest = telemetry::md5Hex(joined);
    if (digest.empty() || texts.size() < 2) return digest;
    char count[24] = {};
    std::snprintf(count, sizeof(count), "%zx-", texts.size());
    return count + digest;
}

std::wstring identityFileText(const std::string& bytes) {
    if (bytes.size() < kShortestIdentityFile) return {};
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    // A zero character ends the text: what follows is no part of an identity.
    text.resize(std::wcslen(text.c_str()));
    return text;
}

std::string computePcId(const PcIdSources& sources) {
    const std::string registryId = readRegistryId(sources.registryKey);
    if (registryId.size() >= kShortestRegistryId) {
        LOG_AT(kTag, L"read pcmac from pc %s", utility::ansiToWide(registryId).c_str());
        return registryId;
    }
    const std::wstring fileText = readIdentityFile(sources.identityFile);
    LOG_AT(kTag, L"read from sarvel %s", fileText.c_str());
    std::string id = utility::wideToAnsi(fileText);
    if (id.empty()) {
        id = adapterMachineId(sources);
        if (id.empty()) id = utility::wideToAnsi(utility::makeGuidText());
        LOG_AT(kTag, L"create pcmac %s", utility::ansiToWide(id).c_str());
    }
    if (id.empty()) return {};
    storeRegistryId(sources.registryKey, id);
    return id;
}

}  // namespace vadi
