// A whole run inside the world, seen from the lookups: which documents are fetched, from where,
// with which client, and what their answers change in the run.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/deployment.h"
#include "tests/support/road_support.h"
#include "utility/text.h"

namespace {

using road::contains;
using road::rule;
using testing_support::world::writeScenario;

const std::string kCdn = road::cdnHost();
const std::string kSpare = road::spareHost();
constexpr char kVersionPath[] = "/player_files/en/sarvel";
constexpr char kTag[] = "DownloaderModel::_threadGetPlayerUrl";
constexpr char kParseTag[] = "DownloaderModel::_threadGetPlayerUrl::parse";

using RoadLookup = road::RoadTest;

// A package document with one game and launch settings.
std::string packageDocument(const std::string& settings) {
    return R"({"result": [{"app_download_url": "https://)" + kCdn +
           R"(/games/demo/com.tamrix.demo.apk", "app_package_name": "com.tamrix.demo",
           "gamename": "Tamrix Demo", "gameid": "77"}], )" +
           settings + "}";
}

TEST_F(RoadLookup, EveryLookupInOrderAndTheRunReported) {
    ASSERT_TRUE(writeScenario(R"({"content": {"packages": {"50011": )" +
                              packageDocument(R"("title": "Demo")") + "}}}"));
    const auto result = run(L"tamrix9_en_com.tamrix.demo_50011_x");
    ASSERT_EQ(result.exitCode, 0);
    std::vector<std::string> lookups;
    for (const auto& request : result.requests) {
        if (request.method == "GET" && request.path.rfind("/download/", 0) != 0 &&
            request.path.rfind("/games/", 0) != 0) {
            lookups.push_back(request.host + request.path);
        }
    }
    ASSERT_GE(lookups.size(), 4u) << result.describeRequests();
    EXPECT_EQ(lookups[0], kCdn + kVersionPath);
    EXPECT_EQ(lookups[1], kCdn + "/player_files/openidconfig/50011.data");
    EXPECT_EQ(lookups[2].substr(0, 5), "apien");
    EXPECT_NE(lookups[2].find("/check/machine/channel"), std::string::npos);
    EXPECT_EQ(lookups[3], kCdn + "/player_files/en/sarvelex");
    EXPECT_TRUE(result.logged(kParseTag, "version:9.0.31.2 url:https://" + kCdn +
                                             "/download/package/Tamrix9.0.exe spare url:https://" +
                                             kSpare + "/download/package/Tamrix9.0.exe"))
        << "the double's version document";
    EXPECT_TRUE(
        result.logged("DownloaderModel::_getPackageByOpenID", "package is com.tamrix.demo"));
    EXPECT_EQ(result.messages("ConfigImp::setJumpUrl").size(), 1u);

    const auto events = result.reporterEvents();
    EXPECT_TRUE(result.allUploadsSigned());
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], R"({"event":"run_downloader"})");
    EXPECT_EQ(events[1], R"({"event":"start_downloader"})");
    EXPECT_TRUE(
        contains(events, R"({"event":"download_success","properties":{"ext_field":"aws"}})"));
    EXPECT_TRUE(contains(
        events,
        R"({"event":"download_duration","properties":{"duration":"*","ext_field":"aws_ie"}})"));
    EXPECT_TRUE(contains(events, R"({"event":"install_success"})"));
    EXPECT_TRUE(
        contains(events, R"({"event":"downloader_full_duration","properties":{"duration":"*"}})"));
    const auto analytics = result.analyticsEvents();
    EXPECT_TRUE(contains(analytics, "download_run"));
    EXPECT_TRUE(contains(analytics, "download_Success"));
    EXPECT_TRUE(contains(analytics, "install_Sucess"));
}

TEST_F(RoadLookup, PrimaryVersion404WithAGoodSpareNeedsNoCurl) {
    ASSERT_TRUE(
        writeScenario(R"({"rules": [)" + rule(kCdn, kVersionPath, R"("status": 404)") + "]}"));
    const auto result = run(L"tamrix9_en_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged(kTag, "download error! try: https://" + kSpare + kVersionPath));
    EXPECT_TRUE(result.logged(kTag, "try is sucess? 1"));
    EXPECT_FALSE(result.logged(kTag, "use curl"));
    EXPECT_EQ(result.requestsAt(kCdn, kVersionPath).size(), 1u) << result.describeRequests();
    EXPECT_EQ(result.requestsAt(kSpare, kVersionPath).size(), 1u);
    // Open id "100" asks for no package document, and says so.
    EXPECT_TRUE(result.requestsTo(kCdn, "/player_files/openidconfig/").empty());
    EXPECT_TRUE(result.logged("DownloaderModel::_getPackageByOpenID", "package is "));
}

TEST_F(RoadLookup, HtmlPagesAreNoVersionAndTheBuiltInUrlsServe) {
    ASSERT_TRUE(
        writeScenario(R"({"rules": [)" + rule("*", kVersionPath, R"("status": 500)") + "]}"));
    const auto result = run(L"tamrix9_en_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged(kTag, "try is sucess? 0"));
    EXPECT_TRUE(result.logged(kTag, "use curl"));
    EXPECT_TRUE(result.logged(kTag, "use curl 2"));
    EXPECT_TRUE(result.logged(kParseTag, "error parse")) << "the spare's page reaches the parse";
    EXPECT_EQ(result.requestsAt(kCdn, kVersionPath).size(), 2u) << result.describeRequests();
    EXPECT_EQ(result.requestsAt(kSpare, kVersionPath).size(), 2u);
    EXPECT_TRUE(contains(result.reporterEvents(), R"({"event":"download_address_fail"})"))
        << testing::PrintToString(result.reporterEvents());
    EXPECT_TRUE(contains(result.analyticsEvents(), "download_defaultUrl"));
    EXPECT_EQ(result.requestsTo(kCdn, "/download/package/Tamrix9.0.exe").size(), 1u);
}

TEST_F(RoadLookup, DocumentWithoutSpareUrlAndEnglishJumpUrl) {
    ASSERT_TRUE(writeScenario(R"({"content": {"version": {
        "mnq9": {"ver": "9.1", "url": "https://)" +
                              kSpare + R"(/download/package/Tamrix9.0.exe"},
        "homeurl": {"kr": "https://kr.example.test/", "en": "https://en.example.test/"}}}})"));
    const auto result = run(L"tamrix9_tw_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged(kParseTag, "version:9.1 url:https://" + kSpare +
                                             "/download/package/Tamrix9.0.exe spare url:https://" +
                                             kSpare + "/download/package/Tamrix9.0.exe"));
    EXPECT_TRUE(result.logged("ConfigImp::setJumpUrl", "jump url is:https://en.example.test/"));
}

TEST_F(RoadLookup, MissingEditionObjectFallsBackToTheBuiltInUrls) {
    ASSERT_TRUE(writeScenario(R"({"content": {"version": {
        "mnq9": {"ver": "9.1", "url": "https://)" +
                              kSpare + R"(/download/package/Tamrix9.0.exe"}}}})"));
    const auto result = run(L"tamrix64_en_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged(kParseTag, "version: url: spare url:"));
    EXPECT_TRUE(contains(result.analyticsEvents(), "download_defaultUrl"));
    EXPECT_EQ(result.requestsTo(kCdn, "/download/package/Tamrix64.exe").size(), 1u);
}

TEST_F(RoadLookup, LookupUnfinishedAtTheSecondTick) {
    ASSERT_TRUE(
        writeScenario(R"({"rules": [)" + rule("*", kVersionPath, R"("delayMs": 6000)") + "]}"));
    const auto result = run(L"tamrix9_en_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged("DownloaderModel::startDownloadPlayer",
                              "start downloader. bug getting player url"));
    EXPECT_TRUE(contains(result.analyticsEvents(), "download_defaultUrl"));
    // The download began at the second tick, before the version document arrived.
    EXPECT_EQ(result.messages("DownloaderModel::startDownloadPlayer").size(), 1u);
    const auto started =
        result.logIndex("DownloaderModel::_threadDownloadPlayer", "download player");
    ASSERT_NE(started, std::string::npos);
    EXPECT_LT(started, result.logIndex(kParseTag, "start parse data"));
    EXPECT_EQ(result.requestsTo(kCdn, "/download/package/Tamrix9.0.exe").size(), 1u);
}

TEST_F(RoadLookup, ChannelAnswerOfZeroLeavesTheEmulatorsChannel) {
    ASSERT_TRUE(writeScenario(R"({"content": {"channel": {"*": {"code": 200, "data": 0}}}})"));
    const auto result = run(L"tamrix9_en_100_x");
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.messages("DownloaderModel::_threadReqOpenid").size() == 1u)
        << "only the address is logged";
    const std::string text =
        testing_support::readFileBytes(result.installFolder + L"vms\\config\\sarvels.config");
    rapidjson::Document config;
    config.Parse(text.c_str());
    ASSERT_TRUE(config.IsObject()) << text;
    EXPECT_STREQ(config["channelOpenId"].GetString(), "0");
    EXPECT_TRUE(result.messages("DownloaderModel::_threadInsPlayer").size() >= 1u);
    for (const auto& message : result.messages("DownloaderModel::_threadInsPlayer")) {
        EXPECT_EQ(message.find("write openid"), std::string::npos);
    }
}

}  // namespace
