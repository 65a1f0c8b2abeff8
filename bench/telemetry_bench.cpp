// Telemetry on the caller's thread: what addEvent, flush and sendEvent cost, and that none of
// them waits for the network, even while the collection and analytics services take 8 seconds
// to answer. Run inside the isolated world (scripts/world.sh), where the bench itself asks the
// vendor double for that delay; outside a world the posts fail at once and only the caller-side
// figures mean anything.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/config_imp.h"
#include "app/deployment.h"
#include "telemetry/curl_post.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/google_analytics.h"
#include "telemetry/tx_reporter.h"
#include "utility/handle.h"
#include "utility/log.h"
#include "utility/text.h"

namespace {

constexpr int kIdleCalls = 10000;
constexpr int kBusyCalls = 10000;
constexpr int kAnalyticsCalls = 10000;
constexpr DWORD kServiceDelayMs = 8000;

double microseconds(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return 1e6 * static_cast<double>(ticks) / frequency;
}

LONGLONG now() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

struct Figures {
    double p50 = 0, p99 = 0, max = 0, total = 0;
    std::size_t count = 0;
};

Figures figuresOf(std::vector<LONGLONG> costs) {
    Figures figures;
    if (costs.empty()) return figures;
    std::sort(costs.begin(), costs.end());
    figures.count = costs.size();
    figures.p50 = microseconds(costs[costs.size() / 2]);
    figures.p99 = microseconds(costs[costs.size() * 99 / 100]);
    figures.max = microseconds(costs.back());
    for (const LONGLONG cost : costs) figures.total += microseconds(cost);
    return figures;
}

void print(const char* what, const Figures& f) {
    std::printf("  %-46s n=%-6zu p50 %7.2f us  p99 %7.2f us  max %9.2f us\n", what, f.count, f.p50,
                f.p99, f.max);
}

// Writes the world's scenario (the double reads it for every request); false outside a world.
bool delayServices() {
    const char* dir = std::getenv("TAMRIX_WORLD_DIR");
    if (dir == nullptr || *dir == '\0') return false;
    std::string windowsDir = "Z:";
    for (const char* c = dir; *c; ++c) windowsDir.push_back(*c == '/' ? '\\' : *c);
    const std::string collection =
        utility::wideToAnsi(std::wstring(deployment::values().collectionHost));
    const std::string analytics =
        utility::wideToAnsi(std::wstring(deployment::values().analyticsHost));
    const std::string delay = std::to_string(kServiceDelayMs);
    const std::string json = "{\"rules\":[{\"host\":\"" + collection +
                             "\",\"path\":\"/collection/biz/upload\",\"delayMs\":" + delay +
                             "},{\"host\":\"" + analytics +
                             "\",\"path\":\"/mp/collect\",\"delayMs\":" + delay + "}]}";
    const std::string temporary = windowsDir + "\\scenario.json.bench";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    std::fwrite(json.data(), 1, json.size(), file);
    std::fclose(file);
    return MoveFileExA(temporary.c_str(), (windowsDir + "\\scenario.json").c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

// The curl post, with the moments it starts and ends made visible to the bench.
struct WatchedPost {
    utility::UniqueHandle started{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> running{0};
    std::atomic<int> posts{0};

    bool operator()(const std::string& body, std::string& response, const std::string& url,
                    const std::vector<std::string>& headers) {
        ++running;
        ++posts;
        SetEvent(started.get());
        const bool result = telemetry::curlPost(body, response, url, headers);
        --running;
        return result;
    }
};

}  // namespace

int wmain() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    initUtilities();
    openLogFile(std::wstring(temp) + L"tamrix-telemetry-bench.log");
    const bool inWorld = delayServices();
    std::printf("telemetry caller cost (%s)\n",
                inWorld ? "inside the world, both services answer after 8 s"
                        : "outside a world: posts fail at once");

    ConfigImp config;
    WatchedPost reporterPost;
    TxReporter reporter(config, [&](auto&&... args) { return reporterPost(args...); });
    reporter.initReporter(L"1234", L"bench-pc-identity", L"en");

    // addEvent while the worker waits.
    std::vector<LONGLONG> idle;
    idle.reserve(kIdleCalls);
    for (int i = 0; i < kIdleCalls; ++i) {
        const LONGLONG before = now();
        telemetry::report::cancelDownloadSlowTip(i % 100, i, telemetry::DownloadUrl::Primary,
                                                 telemetry::TransferClient::Curl, reporter);
        idle.push_back(now() - before);
    }
    print("addEvent (worker waiting, with properties)", figuresOf(idle));

    // flush starts an upload of everything queued; the caller goes on while the service waits.
    LONGLONG before = now();
    reporter.flush();
    print("flush", figuresOf({now() - before}));
    WaitForSingleObject(reporterPost.started.get(), 30000);

    // The same calls while the worker waits for the delayed service; the upload must still be
    // running once they are done, so none of them waited for it.
    std::vector<LONGLONG> busy;
    std::vector<LONGLONG> flushes;
    busy.reserve(kBusyCalls);
    const ULONGLONG busyStart = GetTickCount64();
    for (int i = 0; i < kBusyCalls; ++i) {
        before = now();
        telemetry::report::installSuccess(reporter);
        busy.push_back(now() - before);
        if (i % 1000 == 999) {
            before = now();
            reporter.flush();
            flushes.push_back(now() - before);
        }
    }
    const ULONGLONG busyMs = GetTickCount64() - busyStart;
    const bool stillUploading = reporterPost.running > 0;
    print("addEvent during the upload", figuresOf(busy));
    print("flush during the upload", figuresOf(flushes));
    std::printf("  %d calls took %llu ms; the upload was %s when they were done\n", kBusyCalls,
                busyMs, stillUploading ? "still waiting for the service" : "over");

    // Analytics: the first call starts the worker, the next fill its queue of 100, the rest are
    // dropped; the worker meanwhile waits for the delayed service.
    {
        WatchedPost analyticsPost;
        vadi::GoogleAnalytics analytics(vadi::PcIdSources{},
                                        [&](auto&&... args) { return analyticsPost(args...); });
        analytics.setMeasurementId(config.getMeasurementId());
        analytics.setApiSecret(config.getApiSecret());
        analytics.calcPCID();
        before = now();
        analytics.sendEvent(L"download_run", L"1234");
        const LONGLONG first = now() - before;
        WaitForSingleObject(analyticsPost.started.get(), 30000);
        std::vector<LONGLONG> queued;
        std::vector<LONGLONG> dropped;
        for (int i = 0; i < kAnalyticsCalls; ++i) {
            const std::size_t waiting = analytics.queuedCount();
            before = now();
            analytics.sendEvent(L"start_downloader", L"1234");
            (waiting < vadi::GoogleAnalytics::kQueueLimit ? queued : dropped)
                .push_back(now() - before);
        }
        print("sendEvent, first (starts the worker)", figuresOf({first}));
        print("sendEvent, queued", figuresOf(queued));
        print("sendEvent, queue full (dropped)", figuresOf(dropped));
        std::printf("  analytics posts started while the calls ran: %d\n",
                    analyticsPost.posts.load());
        analytics.close();
        before = now();
    }
    print("analytics client destruction (waits for its post)", figuresOf({now() - before}));

    // Last: shutdown with an upload that the service holds for 8 s. The worker is cut off
    // after 8,000 ms, so nothing that may allocate runs after this measurement.
    reporter.addEvent(L"last_words");
    reporter.flush();
    before = now();
    reporter.shutdown();
    const double shutdownMs = microseconds(now() - before) / 1000.0;
    char line[160];
    const int length =
        std::snprintf(line, sizeof(line), "  %-46s %.0f ms (%d uploads started)\n",
                      "shutdown with a delayed upload", shutdownMs, reporterPost.posts.load());
    std::fflush(stdout);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    ExitProcess(0);
}
