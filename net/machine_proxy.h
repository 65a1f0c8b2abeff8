// The machine's proxy for the libcurl client, as the system's own HTTP stacks find it: the user's
// Internet settings (a fixed proxy with its bypass list, a proxy auto-config address, or
// automatic detection), and for auto-config and detection the proxy each URL's host gets,
// resolved once per host per run with a bounded wait and direct when nothing answers. Without a
// proxy on the machine, nothing is set and libcurl goes direct as it always has.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace net_proxy {

// How one transfer reaches its host.
struct CurlProxy {
    bool direct = true;
    std::string proxy;    // "host:port" for CURLOPT_PROXY
    long type = 0;        // CURLOPT_PROXYTYPE (CURLPROXY_HTTP or CURLPROXY_SOCKS4)
    std::string noProxy;  // CURLOPT_NOPROXY: hosts and domains reached directly
};

// The user's Internet settings, as the system reads them.
struct MachineSettings {
    bool autoDetect = false;
    std::wstring autoConfigUrl;
    std::wstring proxy;   // "host:port", or "scheme=host:port;..." entries
    std::wstring bypass;  // ";"- or blank-separated entries, "<local>" among them
};

// The proxy an Internet-settings proxy list names for a URL scheme ("http", "https"): the
// scheme's own entry, else an entry for every scheme, else a SOCKS entry; direct when there is
// none. A user name and password in the entry are dropped.
CurlProxy fromProxyList(const std::wstring& list, const std::wstring& scheme);
// An Internet-settings bypass list as libcurl's no-proxy list: "*.example.com" becomes
// "example.com" (libcurl matches a domain with its subdomains); "<local>" and entries with
// wildcards elsewhere or address ranges have no libcurl form and are left out.
std::string noProxyList(const std::wstring& bypass);
// Scheme and host of a URL ("https", "cdn.example.com"), lower case; empty when it is none.
bool schemeAndHost(const std::string& url, std::wstring& scheme, std::wstring& host);
// A proxy list without user names and passwords, for the log.
std::wstring withoutCredentials(const std::wstring& list);

// The proxy the system client (WinINet) takes from the same settings, for the log: "direct", or
// the proxy list and its bypass list.
std::wstring systemClientProxy();

// An answer worked out on a thread of its own.
template <class T>
class Pending;

class MachineProxy {
public:
    // The process-wide instance; reads the settings on first use.
    static MachineProxy& instance();

    // How a transfer to the URL goes; may wait (bounded) for the auto-config answer of its host.
    CurlProxy forUrl(const std::string& url);

private:
    MachineProxy();
    // The auto-config script to ask: the settings' own, or the one automatic detection found
    // (detected once per run, with a bounded wait); empty when there is none.
    std::wstring autoConfigUrl();
    CurlProxy resolveHost(const std::wstring& scheme, const std::wstring& host,
                          const std::string& url, const std::wstring& pac);
    CurlProxy fixed(const std::wstring& scheme) const;

    MachineSettings settings_;
    std::mutex lock_;
    std::optional<std::wstring> detected_;
    std::shared_ptr<const Pending<std::wstring>> detection_;
    std::map<std::wstring, CurlProxy> hosts_;  // by scheme "://" host, once resolved
    std::map<std::wstring, std::shared_ptr<const Pending<CurlProxy>>> pending_;
};

}  // namespace net_proxy
