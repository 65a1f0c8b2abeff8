// The libcurl client against the vendor double, inside the isolated world: error pages, resume,
// unknown sizes, the progress rule, redirect limits, request bodies and headers, certificates,
// the memory bound, range faults and parallel transfers.
#include <windows.h>
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/deployment.h"
#include "net/tx_curl_downloader.h"
#include "tests/support/test_support.h"
#include "tests/support/world_support.h"
#include "tests/utility/log_capture.h"
#include "utility/text.h"

namespace world = testing_support::world;
using testing_support::LogCapture;
using testing_support::messagesOf;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using world::patternBytes;
using world::RecordedRequest;

namespace {

constexpr const char* kFileTag = "TxCurlDownloader::downloadFile";

const bool kCurlReady = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;

std::string narrow(std::wstring_view text) {
    return utility::wideToUtf8(std::wstring(text));
}

std::string cdnHost() {
    return narrow(deployment::values().cdnHost);
}

std::string cdnUrl(const std::string& target) {
    return "https://" + cdnHost() + target;
}

// {"rules":[...]} of the rule objects given as JSON texts.
std::string scenario(const std::vector<std::string>& rules) {
    std::string json = "{\"rules\":[";
    for (std::size_t i = 0; i < rules.size(); ++i) json += (i ? "," : "") + rules[i];
    return json + "]}";
}

// A rule that answers the path on the CDN host with status 200 and n pattern bytes, plus the
// extra members given (each "\"key\":value").
std::string patternRule(const std::string& path, std::uint64_t size,
                        const std::string& extra = "") {
    return "{\"host\":\"" + cdnHost() + "\",\"path\":\"" + path +
           "\",\"status\":200,\"body\":{\"size\":" + std::to_string(size) + "}" +
           (extra.empty() ? "" : "," + extra) + "}";
}

RecordedRequest waitForTarget(const std::string& target, std::size_t since) {
    const auto found =
        world::waitForRequest([&](const RecordedRequest& r) { return r.target == target; }, since);
    return found ? *found : RecordedRequest{};
}

// Progress reports with the tick of each.
struct Reports {
    std::vector<int> percents;
    std::vector<DWORD> ticks;
    TxCurlDownloader::PercentCallback callback() {
        return [this](int percent) {
            percents.push_back(percent);
            ticks.push_back(GetTickCount());
        };
    }
};

// The progress rule as the caller sees it: no 100, never backwards, more than a second apart.
void expectThrottled(const Reports& reports) {
    for (std::size_t i = 0; i < reports.percents.size(); ++i) {
        EXPECT_GE(reports.percents[i], 0);
        EXPECT_LT(reports.percents[i], 100);
        if (i == 0) continue;
        EXPECT_GE(reports.percents[i], reports.percents[i - 1]);
        EXPECT_GT(reports.ticks[i] - reports.ticks[i - 1], 1000u);
    }
}

// The log lines, one a line, for failure messages.
std::string logText(const std::vector<testing_support::LogLine>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\n" + line.function + ": " + line.message;
    return text;
}

class CurlWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kCurlReady);
        ASSERT_TRUE(world::inWorld()) << "run through scripts/world.sh";
        ASSERT_TRUE(world::resetScenario());
        LogCapture::instance().newLines();
    }
    std::string filePath(const std::wstring& name) const {
        return utility::wideToAnsi(dir_.path() + name);
    }
    TempDir dir_;
    TxCurlDownloader curl_;
};

}  // namespace

TEST_F(CurlWorld, ErrorPagesCountAsSuccessAndAreReturnedWhole) {
    const std::string page = "<html><body><h1>404 Not Found</h1></body></html>";
    ASSERT_TRUE(world::writeScenario(
        scenario({"{\"host\":\"" + cdnHost() + "\",\"path\":\"/net/missing\",\"status\":404," +
                  "\"body\":{\"text\":\"" + page + "\"}}"})));
    std::string output;
    EXPECT_TRUE(curl_.downloadMemory(cdnUrl("/net/missing"), output));
    EXPECT_EQ(output, page);

    const std::string path = filePath(L"setup.exe");
    EXPECT_TRUE(curl_.downloadFile(path, cdnUrl("/net/missing"), nullptr));
    EXPECT_EQ(readFileBytes(utility::ansiToWide(path)), page);

    const auto lines = LogCapture::instance().newLines();
    EXPECT_EQ(messagesOf(lines, "TxCurlDownloader::downloadMemory"),
              (std::vector<std::string>{"TxCurlDownloader::downloadMemory start",
                                        "1111111111111111111111",
                                        "curl download sucess " + std::to_string(page.size())}));
    EXPECT_EQ(messagesOf(lines, kFileTag),
              (std::vector<std::string>{"TxCurlDownloader::downloadfile start",
                                        "curl download  file sucess"}));
}

TEST_F(CurlWorld, PartialFileIsResumedAndProgressCountsItsBytes) {
    constexpr std::uint64_t kSize = 3 * 1024 * 1024;
    constexpr std::uint64_t kHave = 1024 * 1024 + 5;
    // A rate limit makes the transfer last past two seconds, so several reports are due.
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/resume.exe", kSize, "\"rateLimit\":1048576")})));
    const std::string path = filePath(L"setup.exe");
    ASSERT_TRUE(writeFileBytes(utility::ansiToWide(path), patternBytes(0, kHave)));
    const std::size_t mark = world::requestCount();

    Reports reports;
    ASSERT_TRUE(curl_.downloadFile(path, cdnUrl("/net/resume.exe"), reports.callback()));
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kSize));

    const RecordedRequest request = waitForTarget("/net/resume.exe", mark);
    EXPECT_EQ(request.range, "bytes=" + std::to_string(kHave) + "-");
    EXPECT_EQ(request.status, 206);
    EXPECT_EQ(request.bytesServed, kSize - kHave);
    EXPECT_FALSE(request.hasHeader("User-Agent"));  // libcurl's default: none

    ASSERT_FALSE(reports.percents.empty());
    EXPECT_GE(reports.percents.front(), static_cast<int>(kHave * 100 / kSize));
    expectThrottled(reports);
}

TEST_F(CurlWorld, EmptyFileIsDownloadedFromTheStartWithoutARange) {
    constexpr std::uint64_t kSize = 1024 * 1024;
    ASSERT_TRUE(world::writeScenario(scenario({patternRule("/net/fresh.exe", kSize)})));
    const std::string path = filePath(L"setup.exe");
    ASSERT_TRUE(writeFileBytes(utility::ansiToWide(path), ""));
    const std::size_t mark = world::requestCount();

    Reports reports;
    ASSERT_TRUE(curl_.downloadFile(path, cdnUrl("/net/fresh.exe"), reports.callback()));
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kSize));
    const RecordedRequest request = waitForTarget("/net/fresh.exe", mark);
    EXPECT_EQ(request.range, "");
    EXPECT_EQ(request.status, 200);
    expectThrottled(reports);
}

TEST_F(CurlWorld, UnknownTotalNeverReportsProgress) {
    constexpr std::uint64_t kSize = 2 * 1024 * 1024;
    // A body that ends with the connection goes over plain HTTP (the domestic web site): Wine's
    // Schannel reports the server's TLS close as a receive error instead of the end of data.
    const std::string domestic = narrow(deployment::values().domesticWebSiteHost);
    ASSERT_TRUE(world::writeScenario(scenario(
        {patternRule("/net/chunked.exe", kSize, "\"noContentLength\":true,\"rateLimit\":1048576"),
         "{\"host\":\"" + domestic + "\",\"path\":\"/net/closed.exe\",\"status\":200," +
             "\"body\":{\"size\":" + std::to_string(kSize) +
             "},\"closeDelimited\":true,\"rateLimit\":1048576}"})));
    for (const std::string& url :
         {cdnUrl("/net/chunked.exe"), "http://" + domestic + "/net/closed.exe"}) {
        const std::string path = filePath(L"unknown.exe");
        DeleteFileW(utility::ansiToWide(path).c_str());
        const std::size_t mark = world::requestCount();
        Reports reports;
        ASSERT_TRUE(curl_.downloadFile(path, url, reports.callback()))
            << url << logText(LogCapture::instance().newLines());
        EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kSize));
        EXPECT_TRUE(reports.percents.empty()) << url;
        const std::string target = url.substr(url.find("/net/"));
        EXPECT_FALSE(waitForTarget(target, mark).contentLength.has_value());
    }
}

TEST_F(CurlWorld, QuickDownloadNeverReportsOneHundred) {
    // Half a second of transfer: the first report comes at once, the end within the second.
    constexpr std::uint64_t kSize = 1024 * 1024;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/quick.exe", kSize, "\"rateLimit\":2097152")})));
    const std::string path = filePath(L"quick.exe");
    Reports reports;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(curl_.downloadFile(path, cdnUrl("/net/quick.exe"), reports.callback()));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kSize));
    ASSERT_FALSE(reports.percents.empty());
    EXPECT_LE(reports.percents.size(), 1u + elapsed / 1000u);
    expectThrottled(reports);
}

TEST_F(CurlWorld, FileDownloadsFollowFiveRedirectsAndNoMore) {
    ASSERT_TRUE(
        world::writeScenario(scenario({patternRule("/net/hops6", 1000, "\"redirects\":6"),
                                       patternRule("/net/hops5", 1000, "\"redirects\":5")})));
    const std::string path = filePath(L"hops.exe");
    EXPECT_FALSE(curl_.downloadFile(path, cdnUrl("/net/hops6"), nullptr));
    const auto lines = LogCapture::instance().newLines();
    const auto messages = messagesOf(lines, kFileTag);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1],
              "curl download error Number of redirects hit maximum amount " + cdnUrl("/net/hops6"));

    DeleteFileW(utility::ansiToWide(path).c_str());
    EXPECT_TRUE(curl_.downloadFile(path, cdnUrl("/net/hops5"), nullptr));
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, 1000));

    // The memory operations set no limit.
    std::string output;
    EXPECT_TRUE(curl_.downloadMemory(cdnUrl("/net/hops6"), output));
    EXPECT_TRUE(output == patternBytes(0, 1000));
}

TEST_F(CurlWorld, PostSendsUtf8BodyJsonTypeAndTheCallersHeaders) {
    const std::string collection = narrow(deployment::values().collectionHost);
    ASSERT_TRUE(world::writeScenario(
        scenario({"{\"host\":\"" + collection + "\",\"path\":\"/net/echo\",\"status\":200," +
                  "\"body\":{\"text\":\"{\\\"code\\\":0}\"}}"})));
    // Text in the system code page: the characters that page has beyond ASCII.
    const std::wstring wide = L"[{\"eventKey\":\"caf\u00e9 \u00fcber \u00a3\"}]";
    const std::string body = utility::wideToAnsi(wide);
    ASSERT_FALSE(body.empty());
    const std::string url = "https://" + collection + "/net/echo?measurement_id=G-1&api_secret=a_b";
    const std::size_t mark = world::requestCount();
    std::string response;
    ASSERT_TRUE(curl_.postRequest(body, response, url,
                                  {"timestamp: 1700000000123", "signature: 0a1b2c3d"}));
    EXPECT_EQ(response, "{\"code\":0}");

    const RecordedRequest request =
        waitForTarget("/net/echo?measurement_id=G-1&api_secret=a_b", mark);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, "measurement_id=G-1&api_secret=a_b");
    EXPECT_EQ(request.body, utility::wideToUtf8(wide));
    EXPECT_EQ(request.header("Content-Type"), "application/json;charset=UTF-8");
    EXPECT_EQ(request.header("timestamp"), "1700000000123");
    EXPECT_EQ(request.header("signature"), "0a1b2c3d");
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));

    // An empty body is posted as such.
    const std::size_t emptyMark = world::requestCount();
    ASSERT_TRUE(curl_.postRequest("", response, "https://" + collection + "/net/echo", {}));
    const RecordedRequest empty = waitForTarget("/net/echo", emptyMark);
    EXPECT_EQ(empty.body, "");
    EXPECT_EQ(empty.header("Content-Length"), "0");
}

TEST_F(CurlWorld, CertificateForAnotherHostIsRefusedBeforeAnythingIsSent) {
    const std::string spare = narrow(deployment::values().spareResourceHost);
    ASSERT_TRUE(
        world::writeScenario(scenario({"{\"host\":\"" + spare + "\",\"wrongCertificate\":true}",
                                       patternRule("/net/after-refusal", 10)})));
    const std::size_t mark = world::requestCount();
    std::string output = "kept";
    EXPECT_FALSE(curl_.downloadMemory("https://" + spare + "/net/refused", output));
    EXPECT_FALSE(curl_.postRequest("[]", output, "https://" + spare + "/net/refused", {}));
    EXPECT_FALSE(
        curl_.downloadFile(filePath(L"refused.exe"), "https://" + spare + "/net/refused", nullptr));
    EXPECT_EQ(output, "kept");

    // A later request on a host with the right certificate is recorded; the refused ones never
    // reached the double as requests.
    std::string later;
    ASSERT_TRUE(curl_.downloadMemory(cdnUrl("/net/after-refusal"), later));
    waitForTarget("/net/after-refusal", mark);
    for (const RecordedRequest& request : world::readRequests()) {
        EXPECT_NE(request.path, "/net/refused");
    }
    bool wrongShown = false;
    for (const auto& handshake : world::readHandshakes()) {
        wrongShown =
            wrongShown || (handshake.sni == spare && handshake.certificate == "wrong-host");
    }
    EXPECT_TRUE(wrongShown);
    const auto checks =
        messagesOf(LogCapture::instance().newLines(), "helper::checkCurlServerCertificate");
    ASSERT_EQ(checks.size(), 3u);
    for (const std::string& line : checks) {
        EXPECT_EQ(line.rfind("server certificate not trusted for " + spare + " error:0x", 0), 0u)
            << line;
    }
}

TEST_F(CurlWorld, BodiesInMemoryAreBounded) {
    constexpr std::uint64_t kLarge = 17 * 1024 * 1024;
    const std::string collection = narrow(deployment::values().collectionHost);
    ASSERT_TRUE(world::writeScenario(scenario(
        {patternRule("/net/large.json", kLarge),
         "{\"host\":\"" + collection + "\",\"path\":\"/net/large-answer\",\"status\":200," +
             "\"body\":{\"size\":" + std::to_string(kLarge) + "}}",
         patternRule("/net/page.html", 5 * 1024 * 1024)})));
    std::string output = "kept";
    EXPECT_FALSE(curl_.downloadMemory(cdnUrl("/net/large.json"), output));
    EXPECT_FALSE(
        curl_.postRequest("[]", output, "https://" + collection + "/net/large-answer", {}));
    EXPECT_EQ(output, "kept");
    // A 5 MiB page is well inside the bound.
    EXPECT_TRUE(curl_.downloadMemory(cdnUrl("/net/page.html"), output));
    EXPECT_TRUE(output == patternBytes(0, 5 * 1024 * 1024));

    const auto lines = LogCapture::instance().newLines();
    const std::string refused = "body larger than 16777216 bytes, transfer refused";
    EXPECT_EQ(messagesOf(lines, "WriteMemoryCallback"), std::vector<std::string>{refused})
        << logText(lines);
    EXPECT_EQ(messagesOf(lines, "WriteMemoryCallbackPost"), std::vector<std::string>{refused});
}

TEST_F(CurlWorld, RangeFaultsFailTheResumeAndKeepThePartialFile) {
    constexpr std::uint64_t kSize = 200000;
    constexpr std::uint64_t kHave = 70000;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/ignored.exe", kSize, "\"ignoreRange\":true"),
                  patternRule("/net/shifted.exe", kSize, "\"rangeShift\":7")})));
    for (const std::string target : {"/net/ignored.exe", "/net/shifted.exe"}) {
        const std::string path = filePath(L"setup.exe");
        ASSERT_TRUE(writeFileBytes(utility::ansiToWide(path), patternBytes(0, kHave)));
        EXPECT_FALSE(curl_.downloadFile(path, cdnUrl(target), nullptr)) << target;
        EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kHave)) << target;
    }
}

TEST_F(CurlWorld, DroppedTransferLeavesThePartForTheNextCallToResume) {
    constexpr std::uint64_t kSize = 2 * 1024 * 1024;
    constexpr std::uint64_t kDrop = 700000;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/dropped.exe", kSize,
                              "\"dropAfterBytes\":" + std::to_string(kDrop) + ",\"times\":1"),
                  patternRule("/net/dropped.exe", kSize)})));
    const std::string path = filePath(L"setup.exe");
    EXPECT_FALSE(curl_.downloadFile(path, cdnUrl("/net/dropped.exe"), nullptr));
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kDrop));

    const std::size_t mark = world::requestCount();
    ASSERT_TRUE(curl_.downloadFile(path, cdnUrl("/net/dropped.exe"), nullptr));
    EXPECT_TRUE(readFileBytes(utility::ansiToWide(path)) == patternBytes(0, kSize));
    EXPECT_EQ(waitForTarget("/net/dropped.exe", mark).range,
              "bytes=" + std::to_string(kDrop) + "-");
}

// The caller's stop check ends a transfer that is under way: the call fails, the bytes written
// so far stay for a resume, and the double sees the client go. A document's transfer ends at the
// first check that says stop.
TEST_F(CurlWorld, AStopEndsAFileOrMemoryTransferUnderWay) {
    constexpr std::uint64_t kSize = 8 * 1024 * 1024;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/slow.exe", kSize, "\"rateLimit\":262144"),
                  patternRule("/net/slow.json", kSize, "\"rateLimit\":262144")})));
    const std::string path = filePath(L"slow.exe");
    const std::wstring widePath = utility::ansiToWide(path);
    const std::size_t mark = world::requestCount();
    int asked = 0;
    EXPECT_FALSE(curl_.downloadFile(path, cdnUrl("/net/slow.exe"), nullptr, [&] {
        ++asked;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExW(widePath.c_str(), GetFileExInfoStandard, &data) &&
               data.nFileSizeLow >= 262144;
    }));
    const std::string part = readFileBytes(widePath);
    EXPECT_GE(part.size(), 262144u);
    EXPECT_LT(part.size(), kSize);
    EXPECT_TRUE(part == patternBytes(0, part.size()));
    EXPECT_GT(asked, 1);

    std::string output;
    int calls = 0;
    EXPECT_FALSE(
        curl_.downloadMemory(cdnUrl("/net/slow.json"), output, [&] { return ++calls > 3; }));
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(waitForTarget("/net/slow.exe", mark).outcome, "client-closed");
}

TEST_F(CurlWorld, QueryStringsAreSentAsGiven) {
    ASSERT_TRUE(world::writeScenario(
        scenario({"{\"host\":\"" + cdnHost() + "\",\"path\":\"/net/lookup\",\"query\":" +
                  "\"id=7&name=a%20b\",\"status\":200,\"body\":{\"json\":{\"ok\":true}}}"})));
    const std::size_t mark = world::requestCount();
    std::string output;
    ASSERT_TRUE(curl_.downloadMemory(cdnUrl("/net/lookup?id=7&name=a%20b"), output));
    EXPECT_EQ(output, "{\"ok\":true}");
    const RecordedRequest request = waitForTarget("/net/lookup?id=7&name=a%20b", mark);
    EXPECT_EQ(request.query, "id=7&name=a%20b");
    EXPECT_EQ(request.method, "GET");
}

TEST_F(CurlWorld, TransfersOnSeveralThreadsAtOnceShareNothing) {
    constexpr int kThreads = 4;
    std::vector<std::string> rules;
    for (int i = 0; i < kThreads; ++i) {
        rules.push_back(patternRule("/net/parallel/" + std::to_string(i), 300000 + i * 1000,
                                    "\"rateLimit\":1048576"));
    }
    ASSERT_TRUE(world::writeScenario(scenario(rules)));
    std::vector<std::string> outputs(kThreads);
    std::vector<int> done(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            TxCurlDownloader curl;
            done[i] = curl.downloadMemory(cdnUrl("/net/parallel/" + std::to_string(i)), outputs[i]);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_TRUE(done[i]) << i;
        EXPECT_TRUE(outputs[i] == patternBytes(0, 300000 + i * 1000)) << i;
    }
}
