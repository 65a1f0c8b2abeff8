#include "tests/support/proxy_support.h"

#include <cstdint>
#include <regex>
#include <sstream>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "tests/support/world_support.h"
#include "utility/text.h"

namespace testing_support::proxy {
namespace {

constexpr wchar_t kSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// Flags of the connection settings.
constexpr DWORD kDirect = 1, kNamedProxy = 2, kAutoConfig = 4, kAutoDetect = 8;

void appendDword(std::vector<BYTE>& blob, DWORD value) {
    for (int shift = 0; shift < 32; shift += 8) blob.push_back(static_cast<BYTE>(value >> shift));
}
void appendText(std::vector<BYTE>& blob, const std::wstring& text) {
    const std::string narrow = utility::wideToUtf8(text);
    appendDword(blob, static_cast<DWORD>(narrow.size()));
    blob.insert(blob.end(), narrow.begin(), narrow.end());
}

// The connection settings as the Internet options dialog saves them.
std::vector<BYTE> connectionSettings(const InternetSettings& settings) {
    DWORD flags = kDirect;
    if (!settings.proxy.empty()) flags |= kNamedProxy;
    if (!settings.autoConfigUrl.empty()) flags |= kAutoConfig;
    if (settings.autoDetect) flags |= kAutoDetect;
    static DWORD counter = 1;
    std::vector<BYTE> blob;
    appendDword(blob, 0x46);
    appendDword(blob, ++counter);
    appendDword(blob, flags);
    appendText(blob, settings.proxy);
    appendText(blob, settings.bypass);
    appendText(blob, settings.autoConfigUrl);
    blob.resize(blob.size() + 32, 0);
    return blob;
}

bool setText(HKEY key, const wchar_t* name, const std::wstring& value) {
    if (value.empty()) {
        const LSTATUS deleted = RegDeleteValueW(key, name);
        return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

bool writeKeys(const InternetSettings& settings) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD enable = settings.proxy.empty() ? 0 : 1;
    bool ok =
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                       sizeof(enable)) == ERROR_SUCCESS;
    ok = setText(key, L"ProxyServer", settings.proxy) && ok;
    ok = setText(key, L"ProxyOverride", settings.bypass) && ok;
    ok = setText(key, L"AutoConfigURL", settings.autoConfigUrl) && ok;
    RegCloseKey(key);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::vector<BYTE> blob = connectionSettings(settings);
    for (const wchar_t* name : {L"DefaultConnectionSettings", L"SavedLegacySettings"}) {
        ok = RegSetValueExW(key, name, 0, REG_BINARY, blob.data(),
                            static_cast<DWORD>(blob.size())) == ERROR_SUCCESS &&
             ok;
    }
    RegCloseKey(key);
    return ok;
}

// The world's host names pointed at an address of the loopback range where nothing listens,
// or back at the double; the file is rewritten in place (it is mounted over /etc/hosts).
bool pointHosts(const char* from, const char* to) {
    return runUnix(std::string("sed '/ localhost$/!s/^") + from + " /" + to +
                   " /' /etc/hosts > /tmp/tamrix-hosts && cat /tmp/tamrix-hosts > /etc/hosts")
               .code == 0;
}

}  // namespace

bool writeInternetSettings(const InternetSettings& settings) {
    return writeKeys(settings);
}

bool clearInternetSettings() {
    return writeKeys(InternetSettings{});
}

WorldProxy::~WorldProxy() {
    stop();
    if (!dir_.empty()) pointHosts("127.0.0.3", "127.0.0.1");
}

bool WorldProxy::start() {
    if (running_) return true;
    dir_ = unixPath(testing_support::world::worldDir()) + "proxy";
    const std::string config = "Port 3128\nListen 127.0.0.1\nTimeout 60\nLogFile \"" + dir_ +
                               "/proxy.log\"\nLogLevel Connect\nMaxClients 50\nAllow 127.0.0.1\n"
                               "ConnectPort 443\nConnectPort 80\n";
    if (runUnix("mkdir -p '" + dir_ + "' && rm -f '" + dir_ + "/proxy.log' && cp /etc/hosts '" +
                dir_ + "/hosts'")
                .code != 0 ||
        !writeFileBytes(windowsPath(dir_ + "/proxy.conf"), config)) {
        return false;
    }
    // The proxy keeps the world's names in a mount namespace of its own; it runs until stop()
    // or the world's end.
    const std::string launch = "setsid unshare --mount sh -c 'mount --bind " + dir_ +
                               "/hosts /etc/hosts && exec tinyproxy -d -c " + dir_ +
                               "/proxy.conf' > '" + dir_ + "/proxy.out' 2>&1 < /dev/null & " +
                               "echo $! > '" + dir_ + "/proxy.pid'";
    if (runUnix(launch).code != 0) return false;
    // Ready once it accepts a connection.
    // Ready once it answers (with an error page: nothing listens at port 1).
    const std::string ask = "curl -s -o /dev/null -x 127.0.0.1:3128 http://127.0.0.1:1/";
    if (runUnix("for i in $(seq 1 100); do " + ask + " && break; sleep 0.1; done; " + ask).code !=
        0) {
        return false;
    }
    running_ = true;
    return pointHosts("127.0.0.1", "127.0.0.3");
}

bool WorldProxy::stop() {
    if (!running_) return true;
    running_ = false;
    return runUnix("kill $(cat '" + dir_ + "/proxy.pid') && while kill -0 $(cat '" + dir_ +
                   "/proxy.pid') 2>/dev/null; do sleep 0.05; done")
               .code == 0;
}

std::vector<std::string> WorldProxy::connects() const {
    std::vector<std::string> hosts;
    if (dir_.empty()) return hosts;
    std::istringstream log(readFileBytes(windowsPath(dir_ + "/proxy.log")));
    static const std::regex request(
        R"re(Request \(file descriptor \d+\): (?:CONNECT|GET|POST|HEAD) (?:https?://)?([^/ ]+))re");
    std::string line;
    while (std::getline(log, line)) {
        std::smatch m;
        if (std::regex_search(line, m, request)) hosts.push_back(m[1]);
    }
    return hosts;
}

}  // namespace testing_support::proxy
