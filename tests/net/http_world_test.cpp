// The system HTTP downloader against the vendor double, inside the isolated world: status
// errors, resume and the range faults, unknown sizes, headers and query strings, certificates,
// the memory bound, dropped transfers and abort from another thread.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/deployment.h"
#include "net/http_downloader.h"
#include "tests/support/test_support.h"
#include "tests/support/world_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/text.h"

namespace world = testing_support::world;
using testing_support::hasLogLine;
using testing_support::LogCapture;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using utility::CHttpDownloader;
using world::patternBytes;
using world::RecordedRequest;

namespace {

constexpr const char* kHeaderTag = "utility::CHttpDownload2FileSink::onHttpRecvHeader";

std::string narrow(std::wstring_view text) {
    return utility::wideToUtf8(std::wstring(text));
}

std::string cdnHost() {
    return narrow(deployment::values().cdnHost);
}

std::wstring cdnUrl(const std::string& target) {
    return L"https://" + std::wstring(deployment::values().cdnHost) + utility::utf8ToWide(target);
}

std::string scenario(const std::vector<std::string>& rules) {
    std::string json = "{\"rules\":[";
    for (std::size_t i = 0; i < rules.size(); ++i) json += (i ? "," : "") + rules[i];
    return json + "]}";
}

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

struct Progress {
    std::int64_t received;
    std::int64_t total;
};

// Keeps every progress call; signals an event at the first one when one is set.
class ProgressLog : public CHttpDownloader::IHttpDownloadSink {
public:
    bool onHttpDownloadProgress(const char* /*data*/, int /*count*/, std::int64_t received,
                                std::int64_t total) override {
        calls.push_back({received, total});
        if (firstCall) SetEvent(firstCall.get());
        return true;
    }
    std::vector<Progress> calls;
    utility::UniqueHandle firstCall;
};

class HttpWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world::inWorld()) << "run through scripts/world.sh";
        ASSERT_TRUE(world::resetScenario());
        LogCapture::instance().newLines();
    }
    TempDir dir_;
    const std::wstring path_ = dir_.path() + L"setup.exe.tmp";
    CHttpDownloader http_;
    ProgressLog progress_;
    int kind_ = 0;
    int code_ = 0;
};

}  // namespace

TEST_F(HttpWorld, NotFoundWritesNothingAndReportsTheStatus) {
    ASSERT_TRUE(world::writeScenario(
        scenario({"{\"host\":\"" + cdnHost() + "\",\"path\":\"/net/missing\",\"status\":404}"})));
    EXPECT_FALSE(
        http_.download2file(cdnUrl("/net/missing"), path_, &progress_, false, &kind_, &code_));
    EXPECT_EQ(kind_, -1);
    EXPECT_EQ(code_, 404);
    EXPECT_FALSE(utility::ufile::exists(path_));
    EXPECT_TRUE(progress_.calls.empty());

    std::string output = "before:";
    EXPECT_FALSE(http_.download2mem(output, cdnUrl("/net/missing")));
    EXPECT_EQ(output, "before:");
    EXPECT_TRUE(
        hasLogLine(LogCapture::instance().newLines(), kHeaderTag, "onHttpErro status = 404"));
}

TEST_F(HttpWorld, ResumeAsksForTheRestAndCountsTheFileAlreadyThere) {
    constexpr std::uint64_t kSize = 600000;
    constexpr std::uint64_t kHave = 123457;
    ASSERT_TRUE(world::writeScenario(scenario({patternRule("/net/resume.exe", kSize)})));
    ASSERT_TRUE(writeFileBytes(path_, patternBytes(0, kHave)));
    const std::size_t mark = world::requestCount();
    ASSERT_TRUE(
        http_.download2file(cdnUrl("/net/resume.exe"), path_, &progress_, true, &kind_, &code_));
    EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kSize));
    EXPECT_EQ(kind_, 9999);
    EXPECT_EQ(code_, 0);

    const RecordedRequest request = waitForTarget("/net/resume.exe", mark);
    EXPECT_EQ(request.range, "bytes=" + std::to_string(kHave) + "-");
    EXPECT_EQ(request.status, 206);
    EXPECT_EQ(request.header("User-Agent"), "okhttp/3.5.0L");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");

    ASSERT_FALSE(progress_.calls.empty());
    EXPECT_GT(progress_.calls.front().received, static_cast<std::int64_t>(kHave));
    EXPECT_EQ(progress_.calls.back().received, static_cast<std::int64_t>(kSize));
    for (const Progress& call : progress_.calls) EXPECT_EQ(call.total, kSize);
}

TEST_F(HttpWorld, FullAnswerToAResumeReplacesThePartialFile) {
    constexpr std::uint64_t kSize = 300000;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/ignored.exe", kSize, "\"ignoreRange\":true")})));
    ASSERT_TRUE(writeFileBytes(path_, patternBytes(0, 1000)));
    const std::size_t mark = world::requestCount();
    ASSERT_TRUE(http_.download2file(cdnUrl("/net/ignored.exe"), path_, &progress_, true));
    EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kSize));  // not 1000 + the whole body
    EXPECT_EQ(waitForTarget("/net/ignored.exe", mark).status, 200);
    EXPECT_EQ(progress_.calls.back().received, static_cast<std::int64_t>(kSize));
    EXPECT_EQ(progress_.calls.back().total, static_cast<std::int64_t>(kSize));
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kHeaderTag,
                           "range not honoured, status = 200; the file starts anew"));
}

TEST_F(HttpWorld, PartialAnswerFromTheWrongOffsetFails) {
    constexpr std::uint64_t kHave = 5000;
    ASSERT_TRUE(world::writeScenario(scenario(
        {patternRule("/net/shifted.exe", 300000, "\"rangeShift\":-100"),
         patternRule("/net/bad-range.exe", 300000, "\"contentRange\":\"bytes 0-99/300000\"")})));
    for (const std::string target : {"/net/shifted.exe", "/net/bad-range.exe"}) {
        ASSERT_TRUE(writeFileBytes(path_, patternBytes(0, kHave)));
        EXPECT_FALSE(http_.download2file(cdnUrl(target), path_, &progress_, true, &kind_, &code_))
            << target;
        EXPECT_EQ(kind_, -1);
        EXPECT_EQ(code_, 206);
        EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kHave)) << target;
    }
    EXPECT_TRUE(progress_.calls.empty());
}

TEST_F(HttpWorld, UnknownLengthAssumesTenMebibytesSoProgressCanPassTheTotal) {
    constexpr std::uint64_t kSize = 10485760 + 200000;
    constexpr std::uint64_t kHave = 1000;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/chunked.exe", kSize, "\"noContentLength\":true")})));
    ASSERT_TRUE(writeFileBytes(path_, patternBytes(0, kHave)));
    ASSERT_TRUE(http_.download2file(cdnUrl("/net/chunked.exe"), path_, &progress_, true));
    EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kSize));
    ASSERT_FALSE(progress_.calls.empty());
    EXPECT_EQ(progress_.calls.front().total, static_cast<std::int64_t>(10485760 + kHave));
    EXPECT_EQ(progress_.calls.back().received, static_cast<std::int64_t>(kSize));
    EXPECT_GT(progress_.calls.back().received, progress_.calls.back().total);
}

TEST_F(HttpWorld, QueryAndBodyBytesArriveUnchanged) {
    // UTF-8 text with characters beyond any single-byte code page, and a zero byte.
    const std::string body =
        "{\"name\":\"Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x9D\xB1\xE4\xBA\xAC\"}";
    ASSERT_TRUE(world::writeScenario(scenario(
        {"{\"host\":\"" + cdnHost() + "\",\"path\":\"/net/lookup\",\"query\":\"pc=AB-12&x=%20\"," +
         "\"status\":200,\"body\":{\"text\":\"" + "{\\\"name\\\":\\\"Gr\\u00fc\\u00dfe " +
         "\\u6771\\u4eac\\\"}" + "\"}}"})));
    const std::size_t mark = world::requestCount();
    std::string output;
    ASSERT_TRUE(http_.download2mem(output, cdnUrl("/net/lookup?pc=AB-12&x=%20")));
    EXPECT_EQ(output, body);
    const RecordedRequest request = waitForTarget("/net/lookup?pc=AB-12&x=%20", mark);
    EXPECT_EQ(request.query, "pc=AB-12&x=%20");
    EXPECT_EQ(request.method, "GET");
    EXPECT_FALSE(request.hasHeader("Range"));
}

TEST_F(HttpWorld, CertificateForAnotherHostIsRefused) {
    const std::wstring spare(deployment::values().spareResourceHost);
    ASSERT_TRUE(world::writeScenario(
        scenario({"{\"host\":\"" + narrow(spare) + "\",\"wrongCertificate\":true}",
                  patternRule("/net/after-refusal", 10)})));
    const std::size_t mark = world::requestCount();
    EXPECT_FALSE(http_.download2file(L"https://" + spare + L"/net/refused", path_, &progress_,
                                     false, &kind_, &code_));
    EXPECT_EQ(kind_, 6);
    EXPECT_EQ(code_, ERROR_INTERNET_SEC_CERT_CN_INVALID);
    std::string output;
    EXPECT_FALSE(http_.download2mem(output, L"https://" + spare + L"/net/refused"));
    EXPECT_TRUE(output.empty());

    ASSERT_TRUE(http_.download2mem(output, cdnUrl("/net/after-refusal")));
    waitForTarget("/net/after-refusal", mark);
    for (const RecordedRequest& request : world::readRequests()) {
        EXPECT_NE(request.path, "/net/refused");
    }
}

TEST_F(HttpWorld, MemoryDownloadsAreBounded) {
    constexpr std::uint64_t kLarge = 17 * 1024 * 1024;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/large.json", kLarge),
                  patternRule("/net/large-chunked.json", kLarge, "\"noContentLength\":true")})));
    for (const std::string target : {"/net/large.json", "/net/large-chunked.json"}) {
        std::string output;
        EXPECT_FALSE(http_.download2mem(output, cdnUrl(target))) << target;
        EXPECT_LE(output.size(), 16u * 1024 * 1024);
    }
    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(hasLogLine(lines, "utility::CHttpDownload2MemSink::onHttpRecvData",
                           "body larger than 16777216 bytes, download refused"));
}

TEST_F(HttpWorld, DroppedTransferFailsAndTheNextCallResumesIt) {
    constexpr std::uint64_t kSize = 1000000;
    constexpr std::uint64_t kDrop = 400000;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/dropped.exe", kSize,
                              "\"dropAfterBytes\":" + std::to_string(kDrop) + ",\"times\":1"),
                  patternRule("/net/dropped.exe", kSize)})));
    EXPECT_FALSE(
        http_.download2file(cdnUrl("/net/dropped.exe"), path_, &progress_, false, &kind_, &code_));
    EXPECT_EQ(kind_, 9999);  // a failed read records nothing
    EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kDrop));
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), "utility::CHttpClient::request",
                           "body ended after 400000 of 1000000 bytes"));

    http_.abort();
    const std::size_t mark = world::requestCount();
    ASSERT_TRUE(http_.download2file(cdnUrl("/net/dropped.exe"), path_, &progress_, true));
    EXPECT_TRUE(readFileBytes(path_) == patternBytes(0, kSize));
    EXPECT_EQ(waitForTarget("/net/dropped.exe", mark).range,
              "bytes=" + std::to_string(kDrop) + "-");
}

TEST_F(HttpWorld, AbortFromAnotherThreadEndsTheRunningDownload) {
    constexpr std::uint64_t kSize = 64 * 1024 * 1024;
    ASSERT_TRUE(world::writeScenario(
        scenario({patternRule("/net/slow.exe", kSize, "\"rateLimit\":1048576")})));
    progress_.firstCall.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const utility::UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool result = true;
    std::thread worker([&] {
        result = http_.download2file(cdnUrl("/net/slow.exe"), path_, &progress_, false);
        SetEvent(finished.get());
    });
    const bool started =
        WaitForSingleObject(progress_.firstCall.get(), world::kWaitMs) == WAIT_OBJECT_0;
    http_.abort();
    // Without the abort the rate limit keeps the download going for a minute.
    EXPECT_EQ(WaitForSingleObject(finished.get(), world::kWaitMs), WAIT_OBJECT_0);
    worker.join();
    EXPECT_TRUE(started);
    EXPECT_FALSE(result);
    const std::string part = readFileBytes(path_);
    EXPECT_LT(part.size(), kSize);
    EXPECT_TRUE(part == patternBytes(0, part.size()));
    const auto request =
        world::waitForRequest([](const RecordedRequest& r) { return r.target == "/net/slow.exe"; });
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->outcome, "client-closed");
}

TEST_F(HttpWorld, AbortedRequestWaitingForTheAnswerFailsOnceTheWaitReturns) {
    // Closing the handle ends a blocked wait at once on Windows; Wine's system library lets the
    // wait run until the answer comes. Either way the operation fails at its next step and
    // nothing of the answer is taken.
    ASSERT_TRUE(
        world::writeScenario(scenario({patternRule("/net/late.exe", 1000, "\"delayMs\":3000")})));
    const std::size_t handshakes = world::readHandshakes().size();
    const utility::UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool result = true;
    int kind = 0;
    std::thread worker([&] {
        result = http_.download2file(cdnUrl("/net/late.exe"), path_, &progress_, false, &kind);
        SetEvent(finished.get());
    });
    // The connection is up once the double has recorded its handshake.
    const DWORD deadline = GetTickCount() + world::kWaitMs;
    while (world::readHandshakes().size() == handshakes && GetTickCount() < deadline) {
        WaitForSingleObject(finished.get(), 50);
    }
    http_.abort();
    EXPECT_EQ(WaitForSingleObject(finished.get(), world::kWaitMs), WAIT_OBJECT_0);
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_TRUE(kind == 6 || kind == 7) << kind;
    EXPECT_TRUE(progress_.calls.empty());
    EXPECT_FALSE(utility::ufile::exists(path_));
}
