// What the machine's proxy costs libcurl inside the world, behind a real proxy with the direct
// route closed: the first request to a host when an auto-config file names the proxy (the
// settings read, the script fetched and run for that host) against the next requests to the
// same host (the answer kept for the run) and the first request to a second host. The proxy's
// answer for a URL alone is timed too. scripts/bench.sh starts it through scripts/world.sh.
#include <windows.h>

#include <cstdio>
#include <string>

#include "net/machine_proxy.h"
#include "net/tx_curl_downloader.h"
#include "tests/support/proxy_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr char kPac[] =
    R"({"rules": [{"host": "127.0.0.1", "path": "/proxy.pac", "body": {"text": )"
    R"("function FindProxyForURL(url, host) { if (shExpMatch(host, \"*.test\")) )"
    R"(return \"PROXY 127.0.0.1:3128\"; return \"DIRECT\"; }"}}]})";

double request(const std::string& url, bool& ok) {
    const ULONGLONG start = GetTickCount64();
    std::string body;
    ok = TxCurlDownloader().downloadMemory(url, body) && !body.empty();
    return static_cast<double>(GetTickCount64() - start);
}

}  // namespace

int wmain() {
    if (!testing_support::world::inWorld()) {
        std::printf("proxy_bench runs inside the world: scripts/bench.sh proxy_bench\n");
        return 1;
    }
    testing_support::proxy::WorldProxy proxy;
    testing_support::proxy::InternetSettings settings;
    settings.autoConfigUrl = L"http://127.0.0.1/proxy.pac";
    if (!proxy.start() || !testing_support::world::writeScenario(kPac) ||
        !testing_support::proxy::writeInternetSettings(settings)) {
        std::printf("the proxy world could not be set up\n");
        return 1;
    }
    const std::string version = "https://cdn.tamrix.test/player_files/en/sarvel";
    bool ok = false;
    const double first = request(version, ok);
    std::printf("first request behind the auto-config file: %.0f ms (%s)\n", first,
                ok ? "ok" : "failed");
    double again = 0;
    constexpr int kAgain = 5;
    for (int i = 0; i < kAgain; ++i) again += request(version, ok);
    std::printf("the same host again, mean of %d: %.0f ms\n", kAgain, again / kAgain);
    const double other = request("https://res2.tamrix.test/player_files/en/sarvel", ok);
    std::printf("first request to a second host: %.0f ms (%s)\n", other, ok ? "ok" : "failed");
    const ULONGLONG start = GetTickCount64();
    const auto answer = net_proxy::MachineProxy::instance().forUrl("https://www.tamrix.test/");
    std::printf("the auto-config answer alone for a third host: %llu ms (%s)\n",
                static_cast<unsigned long long>(GetTickCount64() - start),
                answer.direct ? "direct" : answer.proxy.c_str());
    testing_support::proxy::clearInternetSettings();
    return 0;
}
