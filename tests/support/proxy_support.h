// A network as users behind a proxy have it, inside the world: the machine's Internet settings
// (a fixed proxy with a bypass list, an auto-config address, automatic detection, or nothing) as
// the system's settings dialogs write them, and a real proxy (Debian's tinyproxy) through which
// alone the vendor's hosts can be reached once the direct route is closed (the world's host names
// then point where nothing answers, except for the proxy, which keeps the world's own names).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support::proxy {

// Where the world's proxy listens.
inline constexpr char kProxyAddress[] = "127.0.0.1:3128";

struct InternetSettings {
    std::wstring proxy;          // "host:port" or "scheme=host:port;..."; empty: none
    std::wstring bypass;         // "a.example;*.b.example;<local>"
    std::wstring autoConfigUrl;  // empty: none
    bool autoDetect = false;
};

// Writes the current user's Internet settings: the connection settings the system's HTTP
// libraries read, and the proxy values beside them. False on failure.
bool writeInternetSettings(const InternetSettings& settings);
// Back to a machine without any proxy setting (no detection either).
bool clearInternetSettings();

class WorldProxy {
public:
    WorldProxy() = default;
    // Stops the proxy and opens the direct route again.
    ~WorldProxy();
    WorldProxy(const WorldProxy&) = delete;
    WorldProxy& operator=(const WorldProxy&) = delete;

    // Starts the proxy (in a mount namespace of its own, with the world's host names) and waits
    // until it accepts connections; closes the direct route to the vendor's hosts.
    bool start();
    // Ends the proxy ("the proxy goes away"); the direct route stays closed.
    bool stop();
    // The hosts ("host:port") the proxy tunnelled or fetched for, in order, since it started.
    std::vector<std::string> connects() const;

private:
    bool running_ = false;
    std::string dir_;  // Unix folder of its configuration, log and hosts file
};

}  // namespace testing_support::proxy
