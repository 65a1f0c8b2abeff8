// Both telemetry channels against the collection and analytics doubles of the isolated world,
// through the real curl client: what the services receive, signatures they accept, retries,
// edition 4, shutdown, the analytics queue and close, and the PC identity on a fresh system.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <time.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/config_imp.h"
#include "app/deployment.h"
#include "telemetry/analytics_body.h"
#include "telemetry/curl_post.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/google_analytics.h"
#include "telemetry/md5.h"
#include "telemetry/report_batch.h"
#include "telemetry/tx_reporter.h"
#include "tests/support/world_support.h"
#include "tests/telemetry/log_watch.h"
#include "utility/file.h"
#include "utility/text.h"

namespace {

namespace world = testing_support::world;
using testing_support::LogWatch;
using world::RecordedRequest;

constexpr const char* kWorkerTag = "TxReporter::_threadReport";
constexpr const char* kPostTag = "TxCurlDownloader::postRequest";
constexpr DWORD kLongWaitMs = 60000;

std::string collectionHost() {
    return utility::wideToAnsi(std::wstring(deployment::values().collectionHost));
}

std::string analyticsHost() {
    return utility::wideToAnsi(std::wstring(deployment::values().analyticsHost));
}

// The requests to the host among those recorded after the first `since`; `recorded` receives
// the number of all records read.
std::vector<RecordedRequest> requestsTo(const std::string& host, std::size_t since,
                                        std::size_t* recorded = nullptr) {
    std::vector<RecordedRequest> all = world::readRequests();
    if (recorded) *recorded = all.size();
    std::vector<RecordedRequest> found;
    for (RecordedRequest& request : all) {
        if (request.index >= since && request.host == host) found.push_back(std::move(request));
    }
    return found;
}

// Waits until count requests to the host are recorded after the mark.
std::vector<RecordedRequest> waitForRequestsTo(const std::string& host, std::size_t count,
                                               std::size_t since, DWORD timeoutMs = kLongWaitMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        std::size_t recorded = 0;
        std::vector<RecordedRequest> found = requestsTo(host, since, &recorded);
        const ULONGLONG now = GetTickCount64();
        if (found.size() >= count || now >= deadline) return found;
        // The next record, of whichever host, is the next moment to look again.
        world::waitForRequests(recorded + 1 - since, since, static_cast<DWORD>(deadline - now));
    }
}

std::vector<std::string> eventKeys(const RecordedRequest& request) {
    const rapidjson::Document record = request.json();
    std::vector<std::string> keys;
    if (!record.HasMember("collection") || !record["collection"]["events"].IsArray()) return keys;
    for (const auto& event : record["collection"]["events"].GetArray()) {
        keys.emplace_back(event["eventKey"].GetString());
    }
    return keys;
}

std::string verdictOf(const RecordedRequest& request) {
    const rapidjson::Document record = request.json();
    return record.HasMember("collection") ? record["collection"]["verdict"].GetString() : "";
}

std::string analyticsEventName(const RecordedRequest& request) {
    const rapidjson::Document record = request.json();
    if (!record.HasMember("analytics") || !record["analytics"]["events"].IsArray()) return {};
    return record["analytics"]["events"][0]["name"].GetString();
}

std::string rule(const std::string& host, const std::string& path, const std::string& fault) {
    return "{\"host\":\"" + host + "\",\"path\":\"" + path + "\"," + fault + "}";
}

std::string scenario(const std::string& rules) {
    return "{\"rules\":[" + rules + "]}";
}

class TelemetryWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world::inWorld()) << "run through scripts/world.sh";
        ASSERT_TRUE(world::resetScenario());
        since_ = world::requestCount();
        logStart_ = LogWatch::instance().mark();
        config_.setLanguage(L"en");
    }
    void TearDown() override { world::resetScenario(); }

    bool logged(const std::string& tag, const std::string& start, std::size_t from) {
        return LogWatch::instance().waitFor(from, tag, start);
    }

    vadi::PcIdSources quietSources() {
        vadi::PcIdSources sources;
        sources.registryKey = "Software\\tamrix-world-test\\";
        sources.identityFile = dir_.path() + L"quenmar_sarvel.data";
        sources.listAdapters = [](std::vector<vadi::HardwareAddress>& addresses) {
            addresses = {{0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0, 0}};
            return true;
        };
        return sources;
    }

    ConfigImp config_;
    testing_support::TempDir dir_;
    std::size_t since_ = 0;
    std::size_t logStart_ = 0;
};

TEST_F(TelemetryWorldTest, ThreeEventsThenFlushAreOneAcceptedUpload) {
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1234", L"PC-0123456789", L"en");
    const std::int64_t before = _time64(nullptr);
    telemetry::report::runDownloader(reporter);
    telemetry::report::startDownloader(reporter);
    telemetry::report::downloadSuccess(telemetry::DownloadUrl::Spare, reporter);
    const DWORD tickBefore = GetTickCount();
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "report ret:", logStart_));
    const DWORD tickAfter = GetTickCount();
    const std::int64_t after = _time64(nullptr);
    const auto uploads = waitForRequestsTo(collectionHost(), 1, since_);
    ASSERT_EQ(uploads.size(), 1u);
    const RecordedRequest& upload = uploads[0];

    EXPECT_EQ(upload.method, "POST");
    EXPECT_EQ(upload.path, "/collection/biz/upload");
    EXPECT_EQ(upload.header("Content-Type"), "application/json;charset=UTF-8");
    EXPECT_EQ(eventKeys(upload),
              (std::vector<std::string>{"run_downloader", "start_downloader", "download_success"}));
    const rapidjson::Document record = upload.json();
    const rapidjson::Value& collection = record["collection"];
    EXPECT_STREQ(collection["verdict"].GetString(), "valid");
    EXPECT_EQ(collection["eventCount"].GetUint64(), 3u);
    EXPECT_TRUE(std::string(collection["signingInput"].GetString()).ends_with("3072"));
    EXPECT_EQ(collection["problems"].Size(), 0u);
    EXPECT_EQ(upload.body.find("\n    {\n        \"appId\": 1,"), 1u);

    std::set<std::string> ids;
    for (const auto& event : collection["events"].GetArray()) {
        ids.insert(event["eventId"].GetString());
        const std::uint64_t stamp = event["timestamp"].GetUint64();
        EXPECT_EQ(stamp % 1000, 0u);
        EXPECT_GE(static_cast<std::int64_t>(stamp / 1000), before);
        EXPECT_LE(static_cast<std::int64_t>(stamp / 1000), after);
    }
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_STREQ(collection["events"][2]["properties"]["ext_field"].GetString(), "res");

    // The header's milliseconds are the tick count's at the request, its seconds the calendar's.
    const std::int64_t time = std::stoll(upload.header("timestamp"));
    EXPECT_GE(time / 1000, before);
    EXPECT_LE(time / 1000, after);
    const DWORD span = tickAfter - tickBefore;
    if (span < 1000) {
        const DWORD offset = (static_cast<DWORD>(time % 1000) + 1000 - tickBefore % 1000) % 1000;
        EXPECT_LE(offset, span);
    }
    EXPECT_EQ(requestsTo(collectionHost(), since_).size(), 1u);
}

TEST_F(TelemetryWorldTest, NonAsciiTextsArriveAsUtf8) {
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1", L"PC-0123456789", L"pt");
    reporter.addEvent(L"cancel_download",
                      [](telemetry::JsonValue& properties, telemetry::JsonAllocator& allocator) {
                          properties.AddMember("ext_field", "caf\xC3\xA9", allocator);
                      });
    reporter.flush();
    const auto uploads = waitForRequestsTo(collectionHost(), 1, since_);
    ASSERT_EQ(uploads.size(), 1u);
    const rapidjson::Document record = uploads[0].json();
    EXPECT_STREQ(record["collection"]["events"][0]["properties"]["ext_field"].GetString(),
                 "caf\xC3\xA9")
        << "system code page " << GetACP();
}

TEST_F(TelemetryWorldTest, AnEventAddedDuringAnUploadLeavesWithTheNextCycle) {
    ASSERT_TRUE(world::writeScenario(scenario(
        rule(collectionHost(), "/collection/biz/upload", "\"delayMs\":3000,\"times\":1"))));
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1", L"PC-0123456789", L"en");
    reporter.addEvent(L"first");
    reporter.flush();
    ASSERT_TRUE(logged(kPostTag, "TxCurlDownloader::postRequest start", logStart_));
    reporter.addEvent(L"second");  // no flush: the worker's 20-second wait brings it
    const auto uploads = waitForRequestsTo(collectionHost(), 2, since_);
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(eventKeys(uploads[0]), std::vector<std::string>{"first"});
    EXPECT_EQ(eventKeys(uploads[1]), std::vector<std::string>{"second"});
    EXPECT_EQ(verdictOf(uploads[0]), "valid");
    EXPECT_EQ(verdictOf(uploads[1]), "valid");
}

TEST_F(TelemetryWorldTest, AFailedUploadIsTriedTwiceThenDropped) {
    ASSERT_TRUE(world::writeScenario(scenario(
        rule(collectionHost(), "/collection/biz/upload", "\"dropAfterBytes\":0,\"times\":2"))));
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1", L"PC-0123456789", L"en");
    reporter.addEvent(L"lost");
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "report ret:", logStart_));
    auto uploads = waitForRequestsTo(collectionHost(), 2, since_);
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].outcome, "dropped");
    EXPECT_EQ(uploads[1].outcome, "dropped");
    EXPECT_EQ(uploads[1].body, uploads[0].body);
    EXPECT_EQ(uploads[1].header("timestamp"), uploads[0].header("timestamp"));
    EXPECT_EQ(uploads[1].header("signature"), uploads[0].header("signature"));
    EXPECT_TRUE(logged(kPostTag, "curl download error ", logStart_));

    const std::size_t mark = LogWatch::instance().mark();
    reporter.addEvent(L"next");
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "report ret:", mark));
    uploads = waitForRequestsTo(collectionHost(), 3, since_);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(eventKeys(uploads[2]), std::vector<std::string>{"next"});
    EXPECT_EQ(verdictOf(uploads[2]), "valid");
}

TEST_F(TelemetryWorldTest, ShutdownRightAfterAddEventUploadsIt) {
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1", L"PC-0123456789", L"en");
    telemetry::report::installSuccess(reporter);
    reporter.shutdown();
    const auto uploads = waitForRequestsTo(collectionHost(), 1, since_);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(eventKeys(uploads[0]), std::vector<std::string>{"install_success"});
    EXPECT_EQ(uploads[0].outcome, "complete");
}

TEST_F(TelemetryWorldTest, EditionFourSendsNoReporterEventButAnalyticsEvents) {
    config_.setPlayer4();
    TxReporter reporter(config_, telemetry::curlPost);
    reporter.initReporter(L"1", L"PC-0123456789", L"en");
    vadi::GoogleAnalytics analytics(quietSources(), telemetry::curlPost);
    analytics.setMeasurementId(config_.getMeasurementId());
    analytics.setApiSecret(config_.getApiSecret());
    analytics.calcPCID();

    telemetry::report::cancelDownloadSystem32(reporter);
    telemetry::deliver(analytics, telemetry::analytics::downloadSystem32(L"1"));
    telemetry::report::installSuccess(reporter);
    telemetry::deliver(analytics, telemetry::analytics::installSuccess(L"1"));
    reporter.flush();
    ASSERT_TRUE(logged(kWorkerTag, "no body", logStart_));
    const auto posts = waitForRequestsTo(analyticsHost(), 2, since_);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(analyticsEventName(posts[0]), "download_system32");
    EXPECT_EQ(analyticsEventName(posts[1]), "install_Sucess");
    reporter.shutdown();
    EXPECT_TRUE(requestsTo(collectionHost(), since_).empty());
}

TEST_F(TelemetryWorldTest, AnalyticsPostsCarryTheLanguagePropertyAndTheId) {
    config_.setLanguage(L"kr");
    vadi::GoogleAnalytics analytics(quietSources(), telemetry::curlPost);
    analytics.setMeasurementId(config_.getMeasurementId());
    analytics.setApiSecret(config_.getApiSecret());
    const std::string id = utility::wideToAnsi(analytics.getPCID());
    analytics.sendEvent(L"download_run", L"2500");
    analytics.sendEventNow(L"userCancel", L"2500");
    const auto posts = waitForRequestsTo(analyticsHost(), 2, since_);
    ASSERT_EQ(posts.size(), 2u);
    std::set<std::string> names;
    for (const RecordedRequest& post : posts) {
        EXPECT_EQ(post.method, "POST");
        EXPECT_EQ(post.path, "/mp/collect");
        const rapidjson::Document record = post.json();
        const rapidjson::Value& analyticsRecord = record["analytics"];
        EXPECT_TRUE(analyticsRecord["knownProperty"].GetBool());
        EXPECT_STREQ(analyticsRecord["propertyLanguage"].GetString(), "kr");
        EXPECT_EQ(analyticsRecord["clientId"].GetString(), id);
        EXPECT_EQ(analyticsRecord["problems"].Size(), 0u);
        const auto& event = analyticsRecord["events"][0];
        names.insert(event["name"].GetString());
        EXPECT_STREQ(event["params"]["event_category"].GetString(), "4.22");
        EXPECT_STREQ(event["params"]["event_label"].GetString(), "2500");
        EXPECT_EQ(post.body,
                  vadi::analyticsBody(id, utility::utf8ToWide(event["name"].GetString()), L"2500"));
    }
    EXPECT_EQ(names, (std::set<std::string>{"download_run", "userCancel"}));
}

TEST_F(TelemetryWorldTest, TheHundredAndFirstWaitingAnalyticsEventIsDropped) {
    ASSERT_TRUE(world::writeScenario(
        scenario(rule(analyticsHost(), "/mp/collect", "\"delayMs\":3000,\"times\":1"))));
    vadi::GoogleAnalytics analytics(quietSources(), telemetry::curlPost);
    analytics.setMeasurementId(config_.getMeasurementId());
    analytics.setApiSecret(config_.getApiSecret());
    analytics.calcPCID();
    analytics.sendEvent(L"slow", L"0");
    ASSERT_TRUE(logged(kPostTag, "TxCurlDownloader::postRequest start", logStart_));
    for (int i = 1; i <= 101; ++i) analytics.sendEvent(L"queued_" + std::to_wstring(i), L"1");
    EXPECT_EQ(analytics.queuedCount(), vadi::GoogleAnalytics::kQueueLimit);
    const auto posts = waitForRequestsTo(analyticsHost(), 101, since_, 120000);
    ASSERT_EQ(posts.size(), 101u);
    EXPECT_EQ(analyticsEventName(posts[0]), "slow");
    for (int i = 1; i <= 100; ++i) {
        EXPECT_EQ(analyticsEventName(posts[i]), "queued_" + std::to_string(i));
    }
}

TEST_F(TelemetryWorldTest, AfterCloseOnlyQueuedAnalyticsEventsLeave) {
    ASSERT_TRUE(world::writeScenario(
        scenario(rule(analyticsHost(), "/mp/collect", "\"delayMs\":2000,\"times\":1"))));
    {
        vadi::GoogleAnalytics analytics(quietSources(), telemetry::curlPost);
        analytics.setMeasurementId(config_.getMeasurementId());
        analytics.setApiSecret(config_.getApiSecret());
        analytics.calcPCID();
        analytics.sendEvent(L"first", L"1");
        ASSERT_TRUE(logged(kPostTag, "TxCurlDownloader::postRequest start", logStart_));
        analytics.sendEvent(L"second", L"1");
        analytics.close();
        analytics.sendEvent(L"closed_queued", L"1");
        analytics.sendEventNow(L"closed_now", L"1");
        ASSERT_TRUE(waitForRequestsTo(analyticsHost(), 2, since_).size() == 2u);
    }
    // A post made after the client has gone marks the end of everything it could have sent.
    vadi::GoogleAnalytics marker(quietSources(), telemetry::curlPost);
    marker.setMeasurementId(config_.getMeasurementId());
    marker.setApiSecret(config_.getApiSecret());
    marker.sendEventNow(L"marker", L"1");
    const auto posts = waitForRequestsTo(analyticsHost(), 3, since_);
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(analyticsEventName(posts[0]), "first");
    EXPECT_EQ(analyticsEventName(posts[1]), "second");
    EXPECT_EQ(analyticsEventName(posts[2]), "marker");
}

// The installer's own identity sources on the world's fresh system.
class PcIdentityWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearRegistryValue();
        DeleteFileW(identityFile().c_str());
        logStart_ = LogWatch::instance().mark();
    }
    void TearDown() override {
        clearRegistryValue();
        DeleteFileW(identityFile().c_str());
    }

    static void clearRegistryValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\txen\\", 0,
                          KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"pcmac");
            RegCloseKey(key);
        }
    }
    static void setRegistryValue(const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\txen\\", 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"pcmac", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static std::wstring registryValue() {
        wchar_t buffer[512] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\txen", L"pcmac", RRF_RT_REG_SZ, nullptr,
                         buffer, &size) != ERROR_SUCCESS) {
            return {};
        }
        return buffer;
    }
    static std::wstring identityFile() {
        return utility::ufile::appDataDir() + L"\\quenmar_sarvel.data";
    }
    // What the adapters of this system give, or a GUID text when they give nothing.
    static bool matchesAdapterSource(const std::string& id) {
        std::vector<vadi::HardwareAddress> addresses;
        const std::string machineId =
            vadi::listAdapterAddresses(addresses) ? vadi::machineIdFromAddresses(addresses) : "";
        if (!machineId.empty()) return id == machineId;
        return std::regex_match(
            id, std::regex("[0-9A-F]{8}_[0-9A-F]{4}_[0-9a-f]{4}_[0-9A-F]{4}_[0-9A-F]{12}"));
    }

    std::size_t logStart_ = 0;
};

TEST_F(PcIdentityWorldTest, ANewIdIsWrittenBackAndReadByTheNextClient) {
    std::wstring first;
    {
        vadi::GoogleAnalytics analytics;
        first = analytics.getPCID();
    }
    EXPECT_TRUE(matchesAdapterSource(utility::wideToAnsi(first))) << utility::wideToAnsi(first);
    EXPECT_EQ(registryValue(), first);
    vadi::GoogleAnalytics second;
    EXPECT_EQ(second.getPCID(), first);
    EXPECT_TRUE(LogWatch::instance().waitFor(logStart_, "vadi::GoogleAnalytics::calcPCID",
                                             "read pcmac from pc " + utility::wideToAnsi(first)));
}

TEST_F(PcIdentityWorldTest, ATenCharacterValueIsReplacedFromTheNextSource) {
    setRegistryValue(L"0123456789");
    vadi::GoogleAnalytics analytics;
    const std::wstring id = analytics.getPCID();
    EXPECT_NE(id, L"0123456789");
    EXPECT_TRUE(matchesAdapterSource(utility::wideToAnsi(id))) << utility::wideToAnsi(id);
    EXPECT_EQ(registryValue(), id);
}

TEST_F(PcIdentityWorldTest, TheRoamingIdentityFileIsUsedAndWrittenBack) {
    const std::wstring text = L"sarvel-identity-0123456789abcdef";
    ASSERT_TRUE(testing_support::writeFileBytes(
        identityFile(), std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)));
    vadi::GoogleAnalytics analytics;
    EXPECT_EQ(analytics.getPCID(), text);
    EXPECT_EQ(registryValue(), text);
}

}  // namespace
