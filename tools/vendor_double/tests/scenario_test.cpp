// The scenario format: what is accepted, what is refused (so that a misspelt fault cannot pass
// unnoticed), and how rules match requests.
#include "scenario.h"

#include <gtest/gtest.h>

namespace vendor_double {
namespace {

TEST(Scenario, ReadsEveryFaultOfARule) {
    const Scenario s = Scenario::parse(R"({"rules":[{
        "host":"CDN.tamrix.test","path":"/x/*","method":"GET","query":"a=1","times":2,
        "status":206,"headers":{"X-Y":"z"},"body":{"size":100,"repeat":"ab"},"contentType":"text/x",
        "truncateBody":50,"noContentLength":true,"ignoreRange":true,"rangeShift":-3,
        "contentRange":"bytes 0-1/2","dropAfterBytes":10,"rateLimit":1000,"delayMs":5,
        "redirects":2,"redirectStatus":307,"wrongCertificate":true,"comment":"all of them"}]})");
    ASSERT_EQ(s.error(), "");
    ASSERT_EQ(s.rules().size(), 1u);
    const Rule& r = s.rules()[0];
    EXPECT_EQ(r.host, "cdn.tamrix.test");
    EXPECT_EQ(r.times, 2);
    EXPECT_EQ(r.status, 206);
    ASSERT_TRUE(r.body);
    EXPECT_EQ(r.body->kind, BodyForm::Kind::Repeat);
    EXPECT_EQ(r.body->size, 100u);
    EXPECT_EQ(r.truncateBody, 50u);
    EXPECT_TRUE(r.noContentLength);
    EXPECT_TRUE(r.rangeFaults.ignoreRange);
    EXPECT_EQ(r.rangeFaults.rangeShift, -3);
    EXPECT_EQ(r.rangeFaults.contentRange, "bytes 0-1/2");
    EXPECT_EQ(r.dropAfterBytes, 10u);
    EXPECT_EQ(r.rateLimit, 1000u);
    EXPECT_EQ(r.delayMs, 5);
    EXPECT_EQ(r.redirects, 2);
    EXPECT_EQ(r.redirectStatus, 307);
    EXPECT_TRUE(r.wrongCertificate);
    EXPECT_EQ(r.headers.size(), 1u);
}

TEST(Scenario, RefusesWhatItDoesNotUnderstand) {
    for (const char* text : {
             R"({"rules":[{"dropAfterByte":5}]})",     // misspelt fault
             R"({"rule":[]})",                         // misspelt section
             R"({"rules":[{"status":"404"}]})",        // wrong type
             R"({"rules":[{"status":99}]})",           // no such status
             R"({"rules":[{"redirectStatus":200}]})",  // not a redirect
             R"({"rules":[{"dropAfterBytes":-1}]})",   // negative count
             R"({"rules":[{"noContentLength":true,"closeDelimited":true}]})",
             R"({"rules":[{"body":{"size":10,"patern":"x"}}]})",
             R"({"rules":[{"body":"text"}]})",
             R"({"rules":{}})",
             R"({"content":[]})",
             R"({"rules":[{"path":"/x"})",  // not JSON
             R"([])",
         }) {
        const Scenario s = Scenario::parse(text);
        EXPECT_NE(s.error(), "") << text;
        EXPECT_TRUE(s.rules().empty()) << text;
    }
    EXPECT_NE(Scenario::parse(R"({"rules":[{"dropAfterByte":5}]})").error().find("dropAfterByte"),
              std::string::npos);
}

TEST(Scenario, BodyForms) {
    std::string error;
    rapidjson::Document d;
    d.Parse(R"([{"text":"héllo"},{"json":{"a":[1,2]}},{"file":"x.bin"},{"size":7}])");
    const auto text = parseBodyForm(d[0], error);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "héllo");
    const auto json = parseBodyForm(d[1], error);
    EXPECT_EQ(json->text, R"({"a":[1,2]})");
    EXPECT_EQ(json->contentType, "application/json");
    EXPECT_EQ(parseBodyForm(d[2], error)->kind, BodyForm::Kind::File);
    EXPECT_EQ(parseBodyForm(d[3], error)->kind, BodyForm::Kind::Pattern);
}

TEST(Scenario, RulesMatchHostPathMethodAndQuery) {
    const Scenario s = Scenario::parse(R"({"rules":[
        {"host":"cdn.tamrix.test","path":"/download/*"},
        {"path":"/a","method":"POST"},
        {"path":"/q","query":"m=1"},
        {"host":"*","path":"*"}]})");
    ASSERT_EQ(s.error(), "");
    const auto& r = s.rules();
    EXPECT_TRUE(r[0].matches("CDN.Tamrix.Test", "GET", "/download/package/x.exe", ""));
    EXPECT_TRUE(r[0].matches("cdn.tamrix.test", "GET", "/download/", ""));
    EXPECT_FALSE(r[0].matches("cdn.tamrix.test", "GET", "/downloads", ""));
    EXPECT_FALSE(r[0].matches("res2.tamrix.test", "GET", "/download/x", ""));
    EXPECT_TRUE(r[1].matches("any", "POST", "/a", "x=1"));
    EXPECT_FALSE(r[1].matches("any", "GET", "/a", ""));
    EXPECT_FALSE(r[1].matches("any", "POST", "/a/b", ""));
    EXPECT_TRUE(r[2].matches("any", "GET", "/q", "m=1"));
    EXPECT_FALSE(r[2].matches("any", "GET", "/q", "m=12"));
    EXPECT_TRUE(r[3].matches("x", "PUT", "/anything", "q"));
}

TEST(Scenario, MissingOrEmptyFileIsTheDefaultWorld) {
    EXPECT_EQ(Scenario::load("/nonexistent/scenario.json").error(), "");
    EXPECT_EQ(Scenario::parse("{}").error(), "");
}

}  // namespace
}  // namespace vendor_double
