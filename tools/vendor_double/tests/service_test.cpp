// The double's decisions without sockets: default content, rule selection with "times",
// redirect hops, status and body overrides, ranges on answers, packages, and the collection and
// analytics endpoints.
#include "service.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "hosts.h"
#include "signature.h"
#include "test_world.h"

namespace vendor_double {
namespace {

IncomingRequest get(const std::string& host, const std::string& target,
                    const std::string& method = "GET") {
    IncomingRequest r;
    r.scheme = "https";
    r.host = host;
    r.method = method;
    r.target = target;
    splitTarget(r);
    return r;
}

std::string headerOf(const Reply& reply, const std::string& name) {
    for (const auto& [key, value] : reply.headers)
        if (lowerAscii(key) == lowerAscii(name)) return value;
    return {};
}

std::string bodyOf(const Reply& reply) {
    if (!reply.body) return {};
    std::string bytes(reply.length, '\0');
    std::uint64_t done = 0;
    while (done < reply.length) {
        const auto n =
            reply.body->read(reply.offset + done, bytes.data() + done, reply.length - done);
        if (n == 0) break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

rapidjson::Document json(const std::string& text) {
    rapidjson::Document d;
    d.Parse(text.data(), text.size());
    return d;
}

class ServiceTest : public ::testing::Test {
protected:
    TestWorld world_;
    Service service_{world_.dir(), world_.path("standin_installer.exe")};
    const std::string cdn_ = cdnHost();
};

TEST_F(ServiceTest, VersionDocumentNamesEveryEditionsPackagesOnBothHostsWithTheirDigest) {
    const Reply reply = service_.handle(get(cdn_, "/player_files/en/sarvel"));
    ASSERT_EQ(reply.status, 200);
    const auto doc = json(bodyOf(reply));
    ASSERT_TRUE(doc.IsObject());
    const std::pair<const char*, const char*> editions[] = {{"mnq4", "Tamrix4.0.exe"},
                                                            {"mnq64", "Tamrix64.exe"},
                                                            {"mnq9", "Tamrix9.0.exe"},
                                                            {"mnq", "Tamrix3.0.exe"}};
    for (const auto& [member, file] : editions) {
        EXPECT_EQ(doc[member]["url"].GetString(), "https://" + cdn_ + "/download/package/" + file);
        EXPECT_EQ(doc[member]["url_spare"].GetString(),
                  "https://" + spareResourceHost() + "/download/package/" + file);
        const Reply package = service_.handle(get(cdn_, std::string("/download/package/") + file));
        EXPECT_EQ(doc[member]["md5"].GetString(), md5Hex(bodyOf(package)));
    }
    EXPECT_EQ(doc["homeurl"]["en"].GetString(), communityPage("en"));
}

TEST_F(ServiceTest, PackagesArePaddedStandInsThatNameTheirEdition) {
    const Reply reply = service_.handle(get(spareResourceHost(), "/download/package/Tamrix64.exe"));
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.length, kDefaultInstallerSize);
    const std::string bytes = bodyOf(reply);
    EXPECT_EQ(bytes.substr(0, 19), "MZ stand-in program");
    EXPECT_EQ(bytes[19], '\0');
    const std::string trailer = packageTrailer("Tamrix64.exe", kDefaultInstallerSize);
    EXPECT_EQ(bytes.substr(bytes.size() - trailer.size()), trailer);
    EXPECT_NE(trailer.find("edition=64"), std::string::npos);

    world_.scenario(R"({"content":{"installerSize":1000}})");
    EXPECT_EQ(service_.handle(get(cdn_, "/download/package/Tamrix3.0.exe")).length, 1000u);
    EXPECT_EQ(service_.handle(get(cdn_, "/download/package/Tamrix5.0.exe")).status, 404);
}

TEST_F(ServiceTest, MissingStandInGivesAnExplaining404) {
    Service without(world_.dir(), world_.path("nothing.exe"));
    const Reply reply = without.handle(get(cdn_, "/download/package/Tamrix9.0.exe"));
    EXPECT_EQ(reply.status, 404);
    EXPECT_NE(bodyOf(reply).find("not built"), std::string::npos);
}

TEST_F(ServiceTest, PackageDocumentsChannelAnswersAndCustomerTexts) {
    EXPECT_EQ(service_.handle(get(cdn_, "/player_files/openidconfig/100.data")).status, 404);
    const auto demo =
        json(bodyOf(service_.handle(get(cdn_, "/player_files/openidconfig/50001.data"))));
    ASSERT_TRUE(demo.IsObject());
    EXPECT_EQ(demo["result"].Size(), 1u);
    EXPECT_EQ(demo["result"][0]["app_download_url"].GetString(),
              "https://" + cdn_ + "/games/demo/com.tamrix.demo.apk");
    // Every game file the demo names is served.
    for (const char* key : {"app_download_url", "app_icon", "app_obb"}) {
        const std::string url = demo["result"][0][key].GetString();
        EXPECT_EQ(service_.handle(get(cdn_, url.substr(8 + cdn_.size()))).status, 200) << url;
    }

    std::string channel;
    for (const auto& host : vendorHosts())
        if (channelLanguage(host) == "kr") channel = host;
    ASSERT_EQ(roleOf(channel), HostRole::Channel);
    auto answer = json(bodyOf(service_.handle(get(channel, "/check/machine/channel?m=PC%2D1"))));
    EXPECT_EQ(answer["code"].GetInt(), 200);
    EXPECT_EQ(answer["data"].GetInt(), kDefaultChannelOpenId);
    world_.scenario(R"({"content":{"channel":{"PC-1":{"code":200,"data":0},"*":{"code":500}}}})");
    answer = json(bodyOf(service_.handle(get(channel, "/check/machine/channel?m=PC%2D1"))));
    EXPECT_EQ(answer["data"].GetInt(), 0);
    answer = json(bodyOf(service_.handle(get(channel, "/check/machine/channel?m=other"))));
    EXPECT_EQ(answer["code"].GetInt(), 500);

    const auto customer = json(defaultCustomerDocument());
    for (const auto& language : channelLanguages()) {
        ASSERT_TRUE(customer.HasMember(language.c_str())) << language;
        EXPECT_TRUE(customer[language.c_str()]["installError"].IsString());
        EXPECT_TRUE(customer[language.c_str()]["customerLink"].IsString());
    }
}

TEST_F(ServiceTest, RuleWithTimesAppliesToTheFirstRequestsThenFallsThrough) {
    world_.scenario(R"({"rules":[{"path":"/player_files/en/sarvel","status":500,"times":2},
                                 {"path":"/player_files/en/sarvel","status":404}]})");
    EXPECT_EQ(service_.handle(get(cdn_, "/player_files/en/sarvel")).status, 500);
    EXPECT_EQ(service_.handle(get(cdn_, "/player_files/en/sarvel")).status, 500);
    const Reply third = service_.handle(get(cdn_, "/player_files/en/sarvel"));
    EXPECT_EQ(third.status, 404);
    EXPECT_EQ(third.rule, std::optional<std::size_t>(1));
    // A new scenario text starts the counts again.
    world_.scenario(R"({"rules":[{"path":"/player_files/en/sarvel","status":500,"times":1}]})");
    EXPECT_EQ(service_.handle(get(cdn_, "/player_files/en/sarvel")).status, 500);
    EXPECT_EQ(service_.handle(get(cdn_, "/player_files/en/sarvel")).status, 200);
}

TEST_F(ServiceTest, RedirectChainHopsThenAnswers) {
    world_.scenario(
        R"({"rules":[{"path":"/games/demo/com.tamrix.demo.obb","redirects":3,"redirectStatus":301,"truncateBody":10}]})");
    IncomingRequest request = get(cdn_, "/games/demo/com.tamrix.demo.obb?x=1");
    for (int hop = 1; hop <= 3; ++hop) {
        const Reply reply = service_.handle(request);
        ASSERT_EQ(reply.status, 301) << hop;
        const std::string location = headerOf(reply, "Location");
        EXPECT_EQ(location, "https://" + cdn_ + "/__hop/0." + std::to_string(hop) +
                                "/games/demo/com.tamrix.demo.obb?x=1");
        request = get(cdn_, location.substr(8 + cdn_.size()));
    }
    const Reply last = service_.handle(request);
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(last.length, 10u);
}

TEST_F(ServiceTest, StatusAndBodyOverridesAndTheirContentTypes) {
    world_.scenario(R"({"rules":[
        {"path":"/a","status":404},
        {"path":"/player_files/en/sarvel","body":{"text":"{\"mnq9\":"},"contentType":"application/json"},
        {"path":"/player_files/en/sarvelex","status":200,"body":{"size":5,"repeat":"<p>"}},
        {"path":"/player_files/openidconfig/1.data","body":{"file":"doc.json"}},
        {"path":"/player_files/openidconfig/2.data","body":{"file":"missing.json"}},
        {"path":"/games/demo/launch_h.jpg","status":302,"headers":{"Location":"https://x/y"}}]})");
    world_.writeFile("doc.json", R"({"result":[]})");
    Reply reply = service_.handle(get(cdn_, "/a"));
    EXPECT_EQ(reply.status, 404);
    EXPECT_NE(bodyOf(reply).find("404 Not Found"), std::string::npos);
    reply = service_.handle(get(cdn_, "/player_files/en/sarvel"));
    EXPECT_EQ(bodyOf(reply), "{\"mnq9\":");
    EXPECT_EQ(headerOf(reply, "Content-Type"), "application/json");
    EXPECT_EQ(bodyOf(service_.handle(get(cdn_, "/player_files/en/sarvelex"))), "<p><p");
    EXPECT_EQ(bodyOf(service_.handle(get(cdn_, "/player_files/openidconfig/1.data"))),
              R"({"result":[]})");
    reply = service_.handle(get(cdn_, "/player_files/openidconfig/2.data"));
    EXPECT_EQ(reply.status, 500);
    EXPECT_NE(reply.scenarioError.find("missing.json"), std::string::npos);
    reply = service_.handle(get(cdn_, "/games/demo/launch_h.jpg"));
    EXPECT_EQ(reply.status, 302);
    EXPECT_EQ(headerOf(reply, "Location"), "https://x/y");
    EXPECT_FALSE(reply.body);
}

TEST_F(ServiceTest, RangesApplyToSuccessfulAnswersOnly) {
    IncomingRequest request = get(cdn_, "/games/demo/com.tamrix.demo.obb");
    request.headers.emplace_back("range", "bytes=100-");
    Reply reply = service_.handle(request);
    EXPECT_EQ(reply.status, 206);
    EXPECT_EQ(reply.offset, 100u);
    EXPECT_EQ(headerOf(reply, "Content-Range"), "bytes 100-2097151/2097152");
    EXPECT_EQ(bodyOf(reply).substr(0, 3), std::string({char(100 % 251), char(101), char(102)}));

    request.headers.back().second = "bytes=2097152-";
    reply = service_.handle(request);
    EXPECT_EQ(reply.status, 416);
    EXPECT_FALSE(reply.body);

    world_.scenario(R"({"rules":[{"status":404}]})");
    reply = service_.handle(request);
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.offset, 0u);
    EXPECT_TRUE(headerOf(reply, "Content-Range").empty());
}

TEST_F(ServiceTest, WrongCertificateIsChosenByHost) {
    world_.scenario(R"({"rules":[{"host":"res2.tamrix.test","wrongCertificate":true}]})");
    EXPECT_TRUE(service_.wrongCertificateFor("RES2.tamrix.test"));
    EXPECT_FALSE(service_.wrongCertificateFor(cdn_));
    world_.scenario(
        R"({"rules":[{"wrongCertificate":true},{"path":"/a","status":418,"times":1}]})");
    EXPECT_TRUE(service_.wrongCertificateFor(cdn_));
    // A client that ignores the name gets the answers of the other rules.
    EXPECT_EQ(service_.handle(get(cdn_, "/a")).status, 418);
    EXPECT_EQ(service_.handle(get(cdn_, "/a")).status, 404);
}

TEST_F(ServiceTest, CollectionDescribesTheUploadAndAnswersByVerdict) {
    IncomingRequest upload = get("collect.tamrix.test", "/collection/biz/upload", "POST");
    ASSERT_EQ(roleOf(upload.host), HostRole::Collection);
    upload.body =
        R"([{"appId":1,"eventId":"a","eventKey":"k","timestamp":1,"properties":)"
        R"({"mnq_version":"4.22","mnq_mac":"m","device_id":"m","openid":"1","language":"en",)"
        R"("downloader_package":1}},{"appId":2,"eventKey":"","properties":{}}])";
    upload.headers = {{"timestamp", "42"},
                      {"signature", checkSignature(signingSalt(), "42", "x", 2).expected}};
    Reply reply = service_.handle(upload);
    EXPECT_EQ(reply.status, 200);
    ASSERT_EQ(reply.detailsName, "collection");
    auto details = json(reply.detailsJson);
    EXPECT_STREQ(details["verdict"].GetString(), "valid");
    EXPECT_EQ(details["eventCount"].GetInt(), 2);
    EXPECT_EQ(details["events"].Size(), 2u);
    // The second event: appId, eventId, eventKey, timestamp, five properties and the package flag.
    EXPECT_EQ(details["problems"].Size(), 10u);

    upload.headers[1].second = "00000000";
    EXPECT_EQ(service_.handle(upload).status, 403);
    upload.body = "{}";
    reply = service_.handle(upload);
    EXPECT_EQ(reply.status, 400);
    EXPECT_STREQ(json(reply.detailsJson)["verdict"].GetString(), "bad-body");
    EXPECT_EQ(service_.handle(get("collect.tamrix.test", "/collection/biz/upload")).status, 405);
}

TEST_F(ServiceTest, AnalyticsKnowsTheDeploymentsProperties) {
    const auto& property = analyticsProperties().back();  // the default pair
    IncomingRequest post = get("analytics.metrics.test",
                               "/mp/collect?measurement_id=" + property.measurementId +
                                   "&api_secret=" + property.apiSecret,
                               "POST");
    ASSERT_EQ(roleOf(post.host), HostRole::Analytics);
    post.body = R"({"client_id":"c","events":[{"name":"n","params":{}}]})";
    Reply reply = service_.handle(post);
    EXPECT_EQ(reply.status, 204);
    EXPECT_FALSE(reply.body);
    auto details = json(reply.detailsJson);
    EXPECT_TRUE(details["knownProperty"].GetBool());
    EXPECT_STREQ(details["propertyLanguage"].GetString(), "");
    EXPECT_EQ(details["problems"].Size(), 0u);

    post = get("analytics.metrics.test", "/mp/collect?measurement_id=G-XXXXXXXXXX&api_secret=s",
               "POST");
    post.body = "not json";
    details = json(service_.handle(post).detailsJson);
    EXPECT_FALSE(details["knownProperty"].GetBool());
    EXPECT_EQ(details["problems"].Size(), 2u);
}

TEST_F(ServiceTest, EveryVendorHostHasARoleAndOthersAreUnknown) {
    for (const auto& host : vendorHosts()) EXPECT_NE(roleOf(host), HostRole::Unknown) << host;
    EXPECT_EQ(roleOf("example.com"), HostRole::Unknown);
    EXPECT_EQ(roleOf("apixx.tamrix.test"), HostRole::Unknown);
    EXPECT_EQ(service_.handle(get("example.com", "/")).status, 404);
}

}  // namespace
}  // namespace vendor_double
