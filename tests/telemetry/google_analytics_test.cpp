// The analytics client against an in-process post: the body and URL, the queue and its limit,
// the on-demand worker, close, and destruction while a post runs. The same client against the
// real analytics double runs in reporting_world_test.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/deployment.h"
#include "telemetry/analytics_body.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/google_analytics.h"
#include "tests/support/test_support.h"
#include "tests/telemetry/fake_post.h"
#include "utility/text.h"

namespace {

using testing_support::FakePost;

std::string eventName(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    if (!document.IsObject()) return {};
    return document["events"][0]["name"].GetString();
}

std::string clientId(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    return document.IsObject() ? document["client_id"].GetString() : std::string();
}

// Identity sources that never touch the installer's own registry value or file.
vadi::PcIdSources testSources(const testing_support::TempDir& dir) {
    vadi::PcIdSources sources;
    sources.registryKey = "Software\\tamrix-test\\analytics\\";
    sources.identityFile = dir.path() + L"quenmar_sarvel.data";
    const std::wstring text = L"identity-from-the-test-file-0001";
    testing_support::writeFileBytes(
        sources.identityFile,
        std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    sources.listAdapters = [](std::vector<vadi::HardwareAddress>&) { return false; };
    return sources;
}

TEST(AnalyticsBody, CompactMembersInOrder) {
    EXPECT_EQ(vadi::analyticsBody("2-0123", L"download_run", L"1234"),
              "{\"client_id\":\"2-0123\",\"events\":[{\"name\":\"download_run\",\"params\":{"
              "\"event_category\":\"4.22\",\"event_label\":\"1234\"}}]}");
    // Texts are escaped as JSON needs.
    EXPECT_EQ(vadi::analyticsBody("a\"b", L"n", L"x\\y"),
              "{\"client_id\":\"a\\\"b\",\"events\":[{\"name\":\"n\",\"params\":{"
              "\"event_category\":\"4.22\",\"event_label\":\"x\\\\y\"}}]}");
}

TEST(AnalyticsBody, UrlCarriesTheMeasurementIdAndSecret) {
    const std::wstring host(deployment::values().analyticsHost);
    EXPECT_EQ(vadi::analyticsUrl(L"G-ABCDEFGH12", L"abcdefghij-_klmnopqrst"),
              "https://" + utility::wideToAnsi(host) +
                  "/mp/collect?measurement_id=G-ABCDEFGH12&api_secret=abcdefghij-_klmnopqrst");
}

class GoogleAnalyticsTest : public ::testing::Test {
protected:
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\tamrix-test\\analytics");
    }

    testing_support::TempDir dir_;
    FakePost post_;
};

TEST_F(GoogleAnalyticsTest, TheWorkerComputesTheIdAndPostsEveryQueuedEventInOrder) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    client.setMeasurementId(L"G-TESTTEST01");
    client.setApiSecret(L"secretsecretsecret_-01");
    client.sendEvent(L"download_run", L"1234");
    client.sendEvent(L"start_downloader", L"1234");
    ASSERT_TRUE(post_.waitForCalls(2));
    const auto calls = post_.calls();
    EXPECT_EQ(eventName(calls[0].body), "download_run");
    EXPECT_EQ(eventName(calls[1].body), "start_downloader");
    EXPECT_EQ(clientId(calls[0].body), "identity-from-the-test-file-0001");
    EXPECT_EQ(calls[0].url, vadi::analyticsUrl(L"G-TESTTEST01", L"secretsecretsecret_-01"));
    EXPECT_TRUE(calls[0].headers.empty());
    EXPECT_NE(calls[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(calls[0].threadId, calls[1].threadId);  // one worker for both
    EXPECT_EQ(client.getPCID(), L"identity-from-the-test-file-0001");
}

TEST_F(GoogleAnalyticsTest, SendEventNowPostsOnTheCallingThread) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    client.calcPCID();
    client.sendEventNow(L"userCancel", L"77");
    ASSERT_EQ(post_.callCount(), 1u);  // done before the call returned
    const auto call = post_.calls()[0];
    EXPECT_EQ(call.threadId, GetCurrentThreadId());
    EXPECT_EQ(call.body,
              vadi::analyticsBody("identity-from-the-test-file-0001", L"userCancel", L"77"));
}

TEST_F(GoogleAnalyticsTest, TheHundredAndFirstWaitingEventIsDropped) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    post_.holdNext();
    client.sendEvent(L"busy", L"0");
    ASSERT_TRUE(post_.waitHeld());
    for (int i = 1; i <= 101; ++i) client.sendEvent(L"event_" + std::to_wstring(i), L"x");
    EXPECT_EQ(client.queuedCount(), vadi::GoogleAnalytics::kQueueLimit);
    post_.release();
    ASSERT_TRUE(post_.waitForCalls(101));
    const auto calls = post_.calls();
    ASSERT_EQ(calls.size(), 101u);
    EXPECT_EQ(eventName(calls[1].body), "event_1");
    EXPECT_EQ(eventName(calls[100].body), "event_100");
    EXPECT_EQ(client.queuedCount(), 0u);
}

TEST_F(GoogleAnalyticsTest, AfterCloseNothingNewIsSentButQueuedEventsStillAre) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    post_.holdNext();
    client.sendEvent(L"first", L"1");
    ASSERT_TRUE(post_.waitHeld());
    client.sendEvent(L"second", L"1");
    client.sendEvent(L"third", L"1");
    client.close();
    client.sendEvent(L"after_close", L"1");
    client.sendEventNow(L"after_close_now", L"1");
    EXPECT_EQ(client.queuedCount(), 2u);
    EXPECT_EQ(post_.callCount(), 1u);
    post_.release();
    ASSERT_TRUE(post_.waitForCalls(3));
    const auto calls = post_.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(eventName(calls[1].body), "second");
    EXPECT_EQ(eventName(calls[2].body), "third");
}

TEST_F(GoogleAnalyticsTest, DestructionWaitsForThePostInProgress) {
    auto client = std::make_unique<vadi::GoogleAnalytics>(testSources(dir_), post_.function());
    post_.holdNext();
    client->sendEvent(L"slow", L"1");
    ASSERT_TRUE(post_.waitHeld());
    client->sendEvent(L"waiting", L"1");
    std::thread destroyer([&client] { client.reset(); });
    post_.release();
    destroyer.join();
    // The post that ran when destruction began has returned; nothing runs any more.
    EXPECT_TRUE(post_.waitForCalls(1, 0));
    const std::size_t calls = post_.callCount();
    EXPECT_LE(calls, 2u);
    EXPECT_TRUE(post_.waitForCalls(calls, 0));
}

TEST_F(GoogleAnalyticsTest, ClosedBeforeAnyEventQueuesNothing) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    client.close();
    client.sendEvent(L"never", L"1");
    EXPECT_EQ(client.queuedCount(), 0u);
}

TEST_F(GoogleAnalyticsTest, CatalogueEventsGoTheirWay) {
    vadi::GoogleAnalytics client(testSources(dir_), post_.function());
    client.calcPCID();
    telemetry::deliver(client, telemetry::analytics::userCancel(L"55"));
    ASSERT_EQ(post_.callCount(), 1u);  // immediate: posted before deliver returned
    EXPECT_EQ(post_.calls()[0].threadId, GetCurrentThreadId());
    telemetry::deliver(client, telemetry::analytics::cancelDownload(L"55"));
    ASSERT_TRUE(post_.waitForCalls(2));
    EXPECT_NE(post_.calls()[1].threadId, GetCurrentThreadId());
}

}  // namespace
