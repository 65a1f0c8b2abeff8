#include "net/machine_proxy.h"

#include <curl/curl.h>
#include <winhttp.h>

#include <cwctype>
#include <thread>
#include <vector>

#include "utility/log.h"
#include "utility/text.h"

namespace net_proxy {
namespace {

constexpr const char* kTag = "net_proxy::MachineProxy";

// How long a transfer waits for automatic detection, and for its host's auto-config answer
// (the system downloads and runs the script; Wine's script engine takes seconds to start).
constexpr DWORD kDetectWaitMs = 5000;
constexpr DWORD kAutoConfigWaitMs = 15000;
// Time-outs of the system's own requests for the script.
constexpr int kScriptTimeoutMs = 5000;

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::wstring> split(const std::wstring& text, const wchar_t* separators) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of(separators, start);
        const std::wstring part =
            text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return parts;
}

std::wstring withoutUserInfo(std::wstring entry) {
    const std::size_t at = entry.rfind(L'@');
    if (at != std::wstring::npos) entry.erase(0, at + 1);
    return entry;
}

// Frees what WinHTTP allocated for the caller.
struct GlobalText {
    wchar_t* text = nullptr;
    ~GlobalText() {
        if (text != nullptr) GlobalFree(text);
    }
    std::wstring value() const { return text != nullptr ? text : L""; }
};

struct SessionDeleter {
    void operator()(void* session) const { WinHttpCloseHandle(session); }
};

MachineSettings readSettings() {
    MachineSettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        LOG_AT(kTag, L"no Internet settings (error %d): libcurl goes direct",
               static_cast<int>(GetLastError()));
        return settings;
    }
    const GlobalText pac{config.lpszAutoConfigUrl}, proxy{config.lpszProxy},
        bypass{config.lpszProxyBypass};
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.autoConfigUrl = pac.value();
    settings.proxy = proxy.value();
    settings.bypass = bypass.value();
    return settings;
}

void logCurl(const MachineSettings& settings) {
    if (!settings.autoConfigUrl.empty()) {
        LOG_AT(kTag, L"libcurl proxy: auto-config %s, per host", settings.autoConfigUrl.c_str());
    } else if (settings.autoDetect) {
        LOG_AT(kTag, L"libcurl proxy: automatic detection, per host");
    } else if (!settings.proxy.empty()) {
        LOG_AT(kTag, L"libcurl proxy: %s, bypass \"%s\"",
               withoutCredentials(settings.proxy).c_str(), settings.bypass.c_str());
    } else {
        LOG_AT(kTag, L"libcurl proxy: direct");
    }
}

// The address of the auto-config script that automatic detection finds; empty when none.
std::wstring detectConfigUrl() {
    GlobalText url;
    if (!WinHttpDetectAutoProxyConfigUrl(
            WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &url.text)) {
        LOG_AT(kTag, L"automatic detection found no auto-config script (error %d)",
               static_cast<int>(GetLastError()));
        return {};
    }
    LOG_AT(kTag, L"automatic detection found %s", url.value().c_str());
    return url.value();
}

// The auto-config answer for a URL: the first proxy it names, or direct.
CurlProxy askAutoConfig(const std::wstring& pacUrl, const std::wstring& url) {
    const std::unique_ptr<void, SessionDeleter> session(WinHttpOpen(
        L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    CurlProxy direct;
    if (!session) return direct;
    WinHttpSetTimeouts(session.get(), kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs,
                       kScriptTimeoutMs);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.fAutoLogonIfChallenged = TRUE;
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = pacUrl.c_str();
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info)) {
        LOG_AT(kTag, L"no auto-config answer for %s (error %d)", url.c_str(),
               static_cast<int>(GetLastError()));
        return direct;
    }
    const GlobalText proxy{info.lpszProxy}, bypass{info.lpszProxyBypass};
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxy.value().empty()) {
        return direct;
    }
    const auto entries = split(proxy.value(), L"; \t");
    CurlProxy named;
    named.direct = false;
    named.proxy = utility::wideToUtf8(withoutUserInfo(entries.front()));
    named.type = CURLPROXY_HTTP;
    named.noProxy = noProxyList(bypass.value());
    return named;
}

}  // namespace

// Work done on a thread of its own, so that whoever waits for it can stop waiting: the thread
// keeps the answer's state alive when nobody waits any more.
template <class T>
class Pending {
public:
    template <class Work>
    explicit Pending(Work work) : state_(std::make_shared<State>()) {
        std::thread([state = state_, work = std::move(work)] {
            T answer = work();
            std::lock_guard guard(state->lock);
            state->value = std::move(answer);
            state->done = true;
            state->answered.notify_all();
        }).detach();
    }
    // The answer, when it came within the wait.
    bool wait(DWORD waitMs, T& answer) const {
        std::unique_lock guard(state_->lock);
        if (!state_->answered.wait_for(guard, std::chrono::milliseconds(waitMs),
                                       [&] { return state_->done; })) {
            return false;
        }
        answer = state_->value;
        return true;
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable answered;
        bool done = false;
        T value{};
    };
    std::shared_ptr<State> state_;
};

CurlProxy fromProxyList(const std::wstring& list, const std::wstring& scheme) {
    std::wstring any, own, socks;
    for (const auto& entry : split(list, L"; \t")) {
        const std::size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (any.empty()) any = entry;
            continue;
        }
        const std::wstring name = lower(entry.substr(0, equals));
        const std::wstring value = entry.substr(equals + 1);
        if (name == scheme && own.empty()) own = value;
        if (name == L"socks" && socks.empty()) socks = value;
    }
    CurlProxy result;
    const std::wstring& chosen = !own.empty() ? own : !any.empty() ? any : socks;
    if (chosen.empty()) return result;
    result.direct = false;
    result.proxy = utility::wideToUtf8(withoutUserInfo(chosen));
    result.type = (own.empty() && any.empty()) ? CURLPROXY_SOCKS4 : CURLPROXY_HTTP;
    return result;
}

std::string noProxyList(const std::wstring& bypass) {
    std::string list;
    for (std::wstring entry : split(bypass, L"; \t,")) {
        if (entry.rfind(L"*.", 0) == 0) entry.erase(0, 2);
        if (entry.find_first_of(L"*<>?/") != std::wstring::npos) continue;
        if (!list.empty()) list += ",";
        list += utility::wideToUtf8(lower(entry));
    }
    return list;
}

bool schemeAndHost(const std::string& url, std::wstring& scheme, std::wstring& host) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    std::size_t start = colon + 3;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority =
        url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority.front() == '[') {
        authority = authority.substr(0, authority.find(']') + 1);
    } else {
        authority = authority.substr(0, authority.find(':'));
    }
    if (authority.empty()) return false;
    scheme = lower(utility::utf8ToWide(url.substr(0, colon)));
    host = lower(utility::utf8ToWide(authority));
    return true;
}

std::wstring withoutCredentials(const std::wstring& list) {
    std::wstring clean;
    for (const auto& entry : split(list, L"; \t")) {
        const std::size_t equals = entry.find(L'=');
        const std::wstring prefix =
            equals == std::wstring::npos ? L"" : entry.substr(0, equals + 1);
        if (!clean.empty()) clean += L";";
        clean += prefix +
                 withoutUserInfo(equals == std::wstring::npos ? entry : entry.substr(equals + 1));
    }
    return clean;
}

MachineProxy& MachineProxy::instance() {
    static MachineProxy proxy;
    return proxy;
}

MachineProxy::MachineProxy() : settings_(readSettings()) {
    LOG_AT(kTag, L"system client proxy: %s", systemClientProxy().c_str());
    logCurl(settings_);
}

CurlProxy MachineProxy::fixed(const std::wstring& scheme) const {
    CurlProxy result = fromProxyList(settings_.proxy, scheme);
    if (!result.direct) result.noProxy = noProxyList(settings_.bypass);
    return result;
}

CurlProxy MachineProxy::forUrl(const std::string& url) {
    std::wstring scheme, host;
    if (!schemeAndHost(url, scheme, host)) return {};
    const std::wstring pac = autoConfigUrl();
    if (pac.empty()) return fixed(scheme);
    return resolveHost(scheme, host, url, pac);
}

std::wstring MachineProxy::autoConfigUrl() {
    if (!settings_.autoConfigUrl.empty() || !settings_.autoDetect) return settings_.autoConfigUrl;
    std::shared_ptr<const Pending<std::wstring>> detection;
    {
        std::lock_guard guard(lock_);
        if (detected_) return *detected_;
        if (!detection_) detection_ = std::make_shared<Pending<std::wstring>>(detectConfigUrl);
        detection = detection_;
    }
    std::wstring found;
    if (!detection->wait(kDetectWaitMs, found)) {
        LOG_AT(kTag, L"automatic detection did not answer in time");
    }
    std::lock_guard guard(lock_);
    if (!detected_) detected_ = found;
    return *detected_;
}

CurlProxy MachineProxy::resolveHost(const std::wstring& scheme, const std::wstring& host,
                                    const std::string& url, const std::wstring& pac) {
    const std::wstring key = scheme + L"://" + host;
    std::shared_ptr<const Pending<CurlProxy>> question;
    {
        std::lock_guard guard(lock_);
        if (const auto it = hosts_.find(key); it != hosts_.end()) return it->second;
        auto& pending = pending_[key];
        if (!pending) {
            pending = std::make_shared<Pending<CurlProxy>>(
                [pac, target = utility::utf8ToWide(url)] { return askAutoConfig(pac, target); });
        }
        question = pending;
    }
    CurlProxy result;
    const bool answered = question->wait(kAutoConfigWaitMs, result);
    // Without an answer the fixed proxy, if any, is taken, as the system does.
    if (!answered || result.direct) result = fixed(scheme);
    std::lock_guard guard(lock_);
    const auto [it, first] = hosts_.emplace(key, result);
    if (first) {
        LOG_AT(kTag, L"proxy for %s: %s%s", key.c_str(),
               it->second.direct ? L"direct" : utility::utf8ToWide(it->second.proxy).c_str(),
               answered ? L"" : L" (no auto-config answer in time)");
    }
    pending_.erase(key);
    return it->second;
}

}  // namespace net_proxy
