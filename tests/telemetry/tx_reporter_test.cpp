// The reporter's queue and worker against an in-process post: batching and order, signatures,
// times, events that arrive during an upload, the retry, edition 4 and shutdown. The same
// reporter against the real collection service double runs in reporting_world_test.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <time.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/config_imp.h"
#include "telemetry/md5.h"
#include "telemetry/report_batch.h"
#include "telemetry/tx_reporter.h"
#include "tests/telemetry/fake_post.h"
#include "tests/telemetry/log_watch.h"
#include "utility/text.h"

namespace {

using testing_support::FakePost;
using testing_support::LogWatch;

constexpr const char* kWorkerTag = "TxReporter::_threadReport";

rapidjson::Document parseBody(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    return document;
}

std::vector<std::string> eventKeys(const std::string& body) {
    const rapidjson::Document document = parseBody(body);
    std::vector<std::string> keys;
    if (!document.IsArray()) return keys;
    for (const auto& event : document.GetArray()) keys.emplace_back(event["eventKey"].GetString());
    return keys;
}

std::string headerValue(const std::vector<std::string>& headers, const std::string& name) {
    for (const std::string& header : headers) {
        if (header.starts_with(name + ": ")) return header.substr(name.size() + 2);
    }
    return {};
}

class TxReporterTest : public ::testing::Test {
protected:
    void SetUp() override { logStart_ = LogWatch::instance().mark(); }

    bool logged(const std::string& tag, const std::string& start) {
        return LogWatch::instance().waitFor(logStart_, tag, start);
    }
    std::size_t countLogged(const std::string& tag, const std::string& message) {
        return LogWatch::instance().count(logStart_, tag, message);
    }

    std::size_t logStart_ = 0;

    ConfigImp config_;
    FakePost post_;
};

TEST_F(TxReporterTest, ThreeEventsThenFlushMakeOneSignedPostInOrder) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1234", L"PCID-0123456789", L"en");
    const std::int64_t before = _time64(nullptr);
    reporter.addEvent(L"run_downloader");
    reporter.addEvent(L"start_downloader");
    reporter.addEvent(L"install_success");
    const DWORD tickBefore = GetTickCount();
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(1));
    const std::int64_t after = _time64(nullptr);

    const auto call = post_.calls().at(0);
    EXPECT_EQ(eventKeys(call.body),
              (std::vector<std::string>{"run_downloader", "start_downloader", "install_success"}));
    EXPECT_EQ(call.url, telemetry::collectionUrl());
    ASSERT_EQ(call.headers.size(), 2u);
    EXPECT_TRUE(call.headers[0].starts_with("timestamp: "));
    EXPECT_TRUE(call.headers[1].starts_with("signature: "));

    const std::string time = headerValue(call.headers, "timestamp");
    const std::string expectedSignature =
        telemetry::md5Hex(telemetry::signingPrefix() + time + "3072").substr(24);
    EXPECT_EQ(headerValue(call.headers, "signature"), expectedSignature);

    // Seconds from the calendar, milliseconds from the tick count at the request.
    const std::int64_t requestTime = std::stoll(time);
    EXPECT_GE(requestTime / 1000, before);
    EXPECT_LE(requestTime / 1000, after);
    const DWORD span = call.tickAtCall - tickBefore;
    ASSERT_LT(span, 1000u);
    const DWORD offset = (static_cast<DWORD>(requestTime % 1000) + 1000 - tickBefore % 1000) % 1000;
    EXPECT_LE(offset, span);

    const rapidjson::Document body = parseBody(call.body);
    std::set<std::string> ids;
    for (const auto& event : body.GetArray()) {
        const std::uint64_t stamp = event["timestamp"].GetUint64();
        EXPECT_EQ(stamp % 1000, 0u);
        EXPECT_GE(static_cast<std::int64_t>(stamp / 1000), before);
        EXPECT_LE(static_cast<std::int64_t>(stamp / 1000), after);
        const std::string id = event["eventId"].GetString();
        EXPECT_EQ(id.size(), 36u) << id;
        ids.insert(id);
        EXPECT_STREQ(event["properties"]["mnq_mac"].GetString(), "PCID-0123456789");
        EXPECT_STREQ(event["properties"]["openid"].GetString(), "1234");
        EXPECT_STREQ(event["properties"]["language"].GetString(), "en");
    }
    EXPECT_EQ(ids.size(), 3u);

    EXPECT_TRUE(logged(kWorkerTag, "report ret:accepted 1"));
    EXPECT_EQ(countLogged(kWorkerTag, "post report quest"), 1u);
    EXPECT_GE(countLogged(kWorkerTag, "waitfor event"), 1u);
    EXPECT_EQ(countLogged(kWorkerTag, "event comming"), 1u);
    EXPECT_EQ(post_.callCount(), 1u);
}

TEST_F(TxReporterTest, EventsQueuedBeforeInitAreSentOnceStarted) {
    TxReporter reporter(config_, post_.function());
    reporter.addEvent(L"run_downloader");
    reporter.flush();  // no worker yet: nothing happens
    reporter.initReporter(L"1", L"P", L"de");
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(1));
    EXPECT_EQ(eventKeys(post_.calls()[0].body), std::vector<std::string>{"run_downloader"});
}

TEST_F(TxReporterTest, AnEventAddedDuringAnUploadGoesInTheNextBatch) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    post_.holdNext();
    reporter.addEvent(L"first");
    reporter.flush();
    ASSERT_TRUE(post_.waitHeld());
    reporter.addEvent(L"second");
    reporter.addEvent(L"third");
    post_.release();
    ASSERT_TRUE(post_.waitForCalls(1));
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(2));

    const auto calls = post_.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(eventKeys(calls[0].body), std::vector<std::string>{"first"});
    EXPECT_EQ(eventKeys(calls[1].body), (std::vector<std::string>{"second", "third"}));
    const std::string time = headerValue(calls[1].headers, "timestamp");
    EXPECT_EQ(headerValue(calls[1].headers, "signature"),
              telemetry::md5Hex(telemetry::signingPrefix() + time + "2048").substr(24));
}

TEST_F(TxReporterTest, AFailedUploadIsRetriedOnceThenDropped) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    post_.failNext(2);
    reporter.addEvent(L"lost");
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "report ret:"));
    EXPECT_EQ(countLogged(kWorkerTag, "report ret:"), 1u);  // a failed post leaves no answer

    auto calls = post_.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].body, calls[0].body);
    EXPECT_EQ(calls[1].url, calls[0].url);
    EXPECT_EQ(calls[1].headers, calls[0].headers);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const LONGLONG pauseMs =
        (calls[1].counterAtCall - calls[0].counterAtCall) * 1000 / frequency.QuadPart;
    EXPECT_GE(pauseMs, 100);

    // The failed batch is gone: the next upload holds only the new event.
    reporter.addEvent(L"next");
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(3));
    calls = post_.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(eventKeys(calls[2].body), std::vector<std::string>{"next"});
}

TEST_F(TxReporterTest, ASecondTrySucceedsAndItsAnswerIsLogged) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    post_.failNext(1);
    reporter.addEvent(L"retried");
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "report ret:"));
    EXPECT_EQ(countLogged(kWorkerTag, "report ret:accepted 2"), 1u);
    EXPECT_EQ(post_.callCount(), 2u);
}

TEST_F(TxReporterTest, EditionFourDropsEveryEventWithoutCallingItsProperties) {
    config_.setPlayer4();
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    auto marker = std::make_shared<int>(0);
    bool called = false;
    reporter.addEvent(
        L"install_success",
        [marker, &called](telemetry::JsonValue&, telemetry::JsonAllocator&) { called = true; });
    EXPECT_EQ(marker.use_count(), 1);  // the callable is gone already
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "no body"));
    EXPECT_EQ(countLogged("TxReporter::addEvent", "player 4 32. not report!"), 1u);
    EXPECT_FALSE(called);
    EXPECT_EQ(post_.callCount(), 0u);

    // Once another edition is selected events are queued again; nothing of before remains.
    config_.setPlayer9();
    reporter.addEvent(L"after");
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(1));
    EXPECT_EQ(eventKeys(post_.calls()[0].body), std::vector<std::string>{"after"});
}

TEST_F(TxReporterTest, PropertiesAreBuiltOnTheWorkerWithValuesCapturedAtTheCall) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    DWORD builtOn = 0;
    std::string captured = "45_120_aws_Curl";
    reporter.addEvent(
        L"cancel_download", [captured, &builtOn](telemetry::JsonValue& properties,
                                                 telemetry::JsonAllocator& allocator) {
            builtOn = GetCurrentThreadId();
            properties.AddMember("ext_field", telemetry::JsonValue(captured.c_str(), allocator),
                                 allocator);
        });
    captured = "changed later";
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(1));
    const auto call = post_.calls()[0];
    EXPECT_EQ(builtOn, call.threadId);
    EXPECT_NE(builtOn, GetCurrentThreadId());
    const rapidjson::Document body = parseBody(call.body);
    EXPECT_STREQ(body[0]["properties"]["ext_field"].GetString(), "45_120_aws_Curl");
}

TEST_F(TxReporterTest, AFlushWithNothingQueuedSendsNothing) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "no body"));
    EXPECT_EQ(post_.callCount(), 0u);
}

TEST_F(TxReporterTest, ShutdownRightAfterAddEventUploadsIt) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    reporter.addEvent(L"last_words");
    reporter.shutdown();
    // shutdown has returned: the worker has ended, so the upload is already made.
    ASSERT_EQ(post_.callCount(), 1u);
    EXPECT_EQ(eventKeys(post_.calls()[0].body), std::vector<std::string>{"last_words"});
}

TEST_F(TxReporterTest, ShutdownDuringAnUploadStillSendsWhatWasAddedMeanwhile) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"en");
    post_.holdNext();
    reporter.addEvent(L"first");
    reporter.flush();
    ASSERT_TRUE(post_.waitHeld());
    reporter.addEvent(L"during");
    post_.release();
    reporter.shutdown();
    const auto calls = post_.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(eventKeys(calls[1].body), std::vector<std::string>{"during"});
}

TEST_F(TxReporterTest, ShutdownBeforeTheWorkerRanStillUploads) {
    for (int round = 0; round < 5; ++round) {
        FakePost post;
        TxReporter reporter(config_, post.function());
        reporter.initReporter(L"1", L"P", L"en");
        reporter.addEvent(L"early");
        reporter.shutdown();
        ASSERT_EQ(post.callCount(), 1u) << round;
    }
}

}  // namespace

namespace {

// The curl client takes its body in the system code page and sends UTF-8; the reporter's UTF-8
// text must reach it converted, or every non-ASCII character would arrive encoded twice.
TEST_F(TxReporterTest, TheBodyIsHandedOverInTheSystemCodePage) {
    TxReporter reporter(config_, post_.function());
    reporter.initReporter(L"1", L"P", L"pt");
    reporter.addEvent(L"cancel_download",
                      [](telemetry::JsonValue& properties, telemetry::JsonAllocator& allocator) {
                          properties.AddMember("ext_field", "caf\xC3\xA9", allocator);
                      });
    reporter.flush();
    ASSERT_TRUE(post_.waitForCalls(1));
    const std::string sent = post_.calls()[0].body;
    EXPECT_EQ(sent, utility::wideToAnsi(utility::utf8ToWide(utility::ansiToUtf8(sent))));
    const rapidjson::Document body = parseBody(utility::ansiToUtf8(sent));
    ASSERT_TRUE(body.IsArray());
    EXPECT_STREQ(body[0]["properties"]["ext_field"].GetString(), "caf\xC3\xA9");
}

}  // namespace
