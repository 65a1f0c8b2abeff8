// The isolated world end to end, seen from a Windows program under Wine: the vendor's names
// resolve to the double and nothing else is reachable, the system's HTTPS client trusts the
// vendor certificate and refuses the wrong-host one, ranges, scenario faults and the request
// record, and the collection and analytics endpoints.
// Winsock before windows.h, and bcrypt after it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <bcrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "app/config_imp.h"
#include "app/deployment.h"
#include "tests/support/world_support.h"
#include "tests/tools/wininet_fetch.h"

namespace {

namespace world = testing_support::world;
using world_test::fetch;

constexpr std::uint64_t kPackageSize = 11 * 1024 * 1024;

std::string narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

std::wstring https(std::wstring_view host, std::wstring_view path) {
    return L"https://" + std::wstring(host) + std::wstring(path);
}

std::string md5Hex(const std::string& data) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
    BCRYPT_HASH_HANDLE hash = nullptr;
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    unsigned char digest[16] = {};
    BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                   static_cast<ULONG>(data.size()), 0);
    BCryptFinishHash(hash, digest, sizeof(digest), 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : digest) text += {kHex[byte >> 4], kHex[byte & 15]};
    return text;
}

std::string resolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), "443", &hints, &found) != 0 || !found) return {};
    char text[64] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text,
              sizeof(text));
    freeaddrinfo(found);
    return text;
}

class VendorDouble : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    void SetUp() override {
        ASSERT_TRUE(world::inWorld()) << "run through scripts/world.sh";
        ASSERT_TRUE(world::resetScenario());
        mark_ = world::requestCount();
    }
    void TearDown() override { world::resetScenario(); }

    ConfigImp config_;
    std::size_t mark_ = 0;
};

TEST_F(VendorDouble, VendorNamesResolveToTheDoubleAndNothingElseIsReachable) {
    const auto& v = deployment::values();
    for (const auto host : {v.cdnHost, v.spareResourceHost, v.domesticResourceHost,
                            v.collectionHost, v.analyticsHost, v.domesticWebSiteHost})
        EXPECT_EQ(resolve(narrow(host)), "127.0.0.1") << narrow(host);
    config_.setLanguage(L"kr");
    const std::wstring channel = config_.getChannelUrl();
    const std::wstring channelHost = channel.substr(8, channel.find(L'/', 8) - 8);
    EXPECT_EQ(resolve(narrow(channelHost)), "127.0.0.1");

    EXPECT_EQ(resolve("www.example.com"), "");
    const auto outside = fetch(L"https://1.1.1.1/");
    EXPECT_FALSE(outside.answered);
}

TEST_F(VendorDouble, VendorCertificateIsTrustedAndTheVersionDocumentPointsAtThePackages) {
    const auto answer = fetch(config_.getPlayerInfoUrl());
    ASSERT_TRUE(answer.answered) << "error " << answer.error;
    EXPECT_EQ(answer.status, 200u);
    rapidjson::Document document;
    document.Parse(answer.body.data(), answer.body.size());
    ASSERT_TRUE(document.IsObject()) << answer.body;
    const auto& edition = document["mnq9"];
    EXPECT_EQ(edition["url"].GetString(), narrow(config_.getPackageUrl()));
    EXPECT_EQ(edition["url_spare"].GetString(), narrow(config_.getPackageSpareUrl()));
    EXPECT_TRUE(document["homeurl"]["en"].IsString());

    const auto recorded = world::waitForRequests(1, mark_);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].sni, narrow(deployment::values().cdnHost));
    EXPECT_EQ(recorded[0].path, "/player_files/en/sarvel");
    EXPECT_EQ(recorded[0].outcome, "complete");
    EXPECT_EQ(recorded[0].bytesServed, answer.body.size());
}

TEST_F(VendorDouble, WrongHostCertificateIsRefusedUnlessTheNameCheckIsSwitchedOff) {
    const std::string spare = narrow(deployment::values().spareResourceHost);
    ASSERT_TRUE(
        world::writeScenario(R"({"rules":[{"host":")" + spare + R"(","wrongCertificate":true}]})"));
    const auto refused = fetch(config_.getPlayerInfoSpareUrl());
    EXPECT_FALSE(refused.answered);
    EXPECT_EQ(refused.error, static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID));

    // Same CA, only the name is wrong: ignoring the name lets the request through.
    const auto ignored =
        fetch(config_.getPlayerInfoSpareUrl(), L"", nullptr, INTERNET_FLAG_IGNORE_CERT_CN_INVALID);
    ASSERT_TRUE(ignored.answered) << "error " << ignored.error;
    EXPECT_EQ(ignored.status, 200u);

    const auto recorded = world::waitForRequests(1, mark_);
    ASSERT_EQ(recorded.size(), 1u) << "the refused handshake must not reach HTTP";
    bool sawWrong = false;
    for (const auto& handshake : world::readHandshakes())
        sawWrong |= handshake.sni == spare && handshake.certificate == "wrong-host";
    EXPECT_TRUE(sawWrong);
}

TEST_F(VendorDouble, RangeRequestGetsTheRestOfThePackage) {
    const auto whole = fetch(config_.getPackageUrl());
    ASSERT_EQ(whole.status, 200u);
    ASSERT_EQ(whole.body.size(), kPackageSize);
    EXPECT_EQ(whole.body.substr(0, 2), "MZ");
    // The stand-in's trailer line comes before the Authenticode signature the double appends.
    EXPECT_NE(whole.body.find("TAMRIX-STANDIN-PACKAGE edition=9 file=Tamrix9.0.exe"),
              std::string::npos);

    constexpr std::uint64_t kOffset = 10 * 1024 * 1024;
    const auto rest = fetch(config_.getPackageUrl(), L"Range: bytes=10485760-\r\n");
    ASSERT_EQ(rest.status, 206u);
    EXPECT_EQ(rest.contentRange, L"bytes 10485760-11534335/11534336");
    EXPECT_TRUE(rest.body == whole.body.substr(kOffset));

    const auto recorded = world::waitForRequests(2, mark_);
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].range, "bytes=10485760-");
    EXPECT_EQ(recorded[1].bytesServed, kPackageSize - kOffset);
    EXPECT_EQ(recorded[1].contentRange, "bytes 10485760-11534335/11534336");
}

TEST_F(VendorDouble, ScenarioRulesShapeAnswersAndTheRecordTellsWhichApplied) {
    const std::string cdn = narrow(deployment::values().cdnHost);
    ASSERT_TRUE(world::writeScenario(R"({"rules":[
        {"host":")" + cdn + R"(","path":"/player_files/en/sarvel","status":503,"times":1},
        {"host":")" + cdn + R"(","path":"/games/demo/com.tamrix.demo.obb","dropAfterBytes":100000},
        {"host":")" + cdn + R"(","path":"/games/demo/com.tamrix.demo.apk","redirects":2}
    ]})"));
    const auto failed = fetch(config_.getPlayerInfoUrl());
    EXPECT_EQ(failed.status, 503u);
    EXPECT_NE(failed.body.find("503"), std::string::npos);
    EXPECT_EQ(fetch(config_.getPlayerInfoUrl()).status, 200u) << "\"times\":1 is used up";

    const auto cut = fetch(https(deployment::values().cdnHost, L"/games/demo/com.tamrix.demo.obb"));
    EXPECT_EQ(cut.contentLength, std::optional<std::uint64_t>(2u << 20));
    EXPECT_EQ(cut.body.size(), 100000u);
    EXPECT_TRUE(cut.body == world::patternBytes(0, 100000));

    const auto moved =
        fetch(https(deployment::values().cdnHost, L"/games/demo/com.tamrix.demo.apk"));
    EXPECT_EQ(moved.status, 200u);
    EXPECT_EQ(moved.body.size(), 3u << 20);

    const auto recorded = world::waitForRequests(6, mark_);
    ASSERT_EQ(recorded.size(), 6u);
    EXPECT_EQ(recorded[0].status, 503);
    EXPECT_EQ(recorded[0].rule, std::optional<std::size_t>(0));
    EXPECT_EQ(recorded[1].status, 200);
    EXPECT_FALSE(recorded[1].rule.has_value());
    EXPECT_EQ(recorded[2].outcome, "dropped");
    EXPECT_EQ(recorded[2].bytesServed, 100000u);
    EXPECT_EQ(recorded[3].status, 302);
    EXPECT_EQ(recorded[4].status, 302);
    EXPECT_EQ(recorded[5].status, 200);
    EXPECT_EQ(recorded[5].path, "/__hop/2.2/games/demo/com.tamrix.demo.apk");
}

TEST_F(VendorDouble, RefusedScenarioIsReportedInEveryRecord) {
    ASSERT_TRUE(world::writeScenario(R"({"rules":[{"host":"*","dropAfterByte":5}]})"));
    const auto answer = fetch(config_.getPlayerInfoUrl());
    EXPECT_EQ(answer.status, 200u);
    const auto recorded = world::waitForRequests(1, mark_);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].scenarioError.find("dropAfterByte"), std::string::npos);
}

TEST_F(VendorDouble, CollectionAcceptsTheReportersSignatureAndRefusesAnyOther) {
    const std::wstring url = https(deployment::values().collectionHost, L"/collection/biz/upload");
    const std::string body =
        R"([{"appId":1,"eventId":"1_2_3","eventKey":"install_success","timestamp":1700000000000,)"
        R"("properties":{"mnq_version":"4.22","mnq_mac":"pc","device_id":"pc","openid":"100",)"
        R"("language":"en","downloader_package":1}}])";
    const std::string timestamp = "1700000000123";
    const std::string digest =
        md5Hex(std::string(deployment::values().signingSalt) + "timestamp=" + timestamp + "1024");
    const std::wstring good = L"Content-Type:application/json;charset=UTF-8\r\ntimestamp: " +
                              std::wstring(timestamp.begin(), timestamp.end()) +
                              L"\r\nsignature: " + std::wstring(digest.end() - 8, digest.end()) +
                              L"\r\n";
    EXPECT_EQ(fetch(url, good, &body).status, 200u);
    const std::wstring bad = L"timestamp: " + std::wstring(timestamp.begin(), timestamp.end()) +
                             L"\r\nsignature: 00000000\r\n";
    EXPECT_EQ(fetch(url, bad, &body).status, 403u);

    const auto recorded = world::waitForRequests(2, mark_);
    ASSERT_EQ(recorded.size(), 2u);
    const auto accepted = recorded[0].json();
    EXPECT_STREQ(accepted["collection"]["verdict"].GetString(), "valid");
    EXPECT_EQ(accepted["collection"]["eventCount"].GetUint(), 1u);
    EXPECT_STREQ(accepted["collection"]["events"][0]["eventKey"].GetString(), "install_success");
    EXPECT_EQ(accepted["collection"]["problems"].Size(), 0u);
    EXPECT_EQ(recorded[0].body, body);
    EXPECT_STREQ(recorded[1].json()["collection"]["verdict"].GetString(), "bad-signature");
}

TEST_F(VendorDouble, AnalyticsRecordsThePropertyAndTheEvent) {
    config_.setLanguage(L"kr");
    const std::wstring url = https(deployment::values().analyticsHost, L"/mp/collect") +
                             L"?measurement_id=" + config_.getMeasurementId() + L"&api_secret=" +
                             config_.getApiSecret();
    const std::string body = R"({"client_id":"pc-1","events":[{"name":"download_Success","params":)"
                             R"({"event_category":"4.22","event_label":"100"}}]})";
    EXPECT_EQ(fetch(url, L"", &body).status, 204u);
    const auto recorded = world::waitForRequests(1, mark_);
    ASSERT_EQ(recorded.size(), 1u);
    const auto analytics = recorded[0].json()["analytics"].GetObject();
    EXPECT_TRUE(analytics["knownProperty"].GetBool());
    EXPECT_STREQ(analytics["propertyLanguage"].GetString(), "kr");
    EXPECT_STREQ(analytics["clientId"].GetString(), "pc-1");
    EXPECT_STREQ(analytics["events"][0]["name"].GetString(), "download_Success");
}

}  // namespace
