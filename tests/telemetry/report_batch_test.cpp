// The upload's pieces: event objects and their member order, the indented body, the request
// time, the signing input and signature, and the MD5 digests behind them.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <string>

#include "app/deployment.h"
#include "telemetry/md5.h"
#include "telemetry/report_batch.h"

namespace {

using telemetry::EventRecord;
using telemetry::JsonDocument;
using telemetry::ReporterIdentity;

const ReporterIdentity kIdentity{L"2500", L"2-0123456789abcdef0123456789abcdef", L"kr"};

std::vector<std::string> memberNames(const rapidjson::Value& object) {
    std::vector<std::string> names;
    for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
        names.emplace_back(it->name.GetString());
    }
    return names;
}

TEST(Md5, MatchesTheReferenceDigests) {
    EXPECT_EQ(telemetry::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(telemetry::md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(telemetry::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(telemetry::md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(telemetry::md5Hex("12345678901234567890123456789012345678901234567890123456789012345"
                                "678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Bytes after a zero count too.
    EXPECT_EQ(telemetry::md5Hex(std::string("a\0b", 3)).size(), 32u);
    EXPECT_NE(telemetry::md5Hex(std::string("a\0b", 3)), telemetry::md5Hex("a"));
}

// Fed in pieces of any size (none, one byte, across a block boundary), the digest is that of the
// whole; a finished digest takes nothing more.
TEST(Md5, PiecesGiveTheDigestOfTheWhole) {
    const std::string text =
        "12345678901234567890123456789012345678901234567890123456789012345"
        "678901234567890";
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{63}, std::size_t{64},
                                  std::size_t{65}, text.size()}) {
        telemetry::Md5 digest;
        EXPECT_TRUE(digest.update(text.data(), cut));
        EXPECT_TRUE(digest.update(text.data() + cut, 0));
        EXPECT_TRUE(digest.update(text.data() + cut, text.size() - cut));
        EXPECT_EQ(digest.finishHex(), "57edf4a22be3c955ac49da2e2107b67a") << cut;
        EXPECT_FALSE(digest.update("a", 1));
        EXPECT_EQ(digest.finishHex(), "");
    }
}

TEST(ReportBatch, EventObjectHasItsMembersInOrderWithTheirTypes) {
    JsonDocument array;
    array.SetArray();
    const EventRecord record{L"install_success", 1700000000000, {}};
    telemetry::appendEventObject(array, record, kIdentity, L"0A1B2C3D_0001_00ff_0203_040506070809");

    rapidjson::Document parsed;
    parsed.Parse(telemetry::prettyJson(array).c_str());
    ASSERT_TRUE(parsed.IsArray());
    ASSERT_EQ(parsed.Size(), 1u);
    const rapidjson::Value& event = parsed[0];
    EXPECT_EQ(memberNames(event), (std::vector<std::string>{"appId", "eventId", "eventKey",
                                                            "timestamp", "properties"}));
    EXPECT_TRUE(event["appId"].IsInt());
    EXPECT_EQ(event["appId"].GetInt(), 1);
    EXPECT_STREQ(event["eventId"].GetString(), "0A1B2C3D_0001_00ff_0203_040506070809");
    EXPECT_STREQ(event["eventKey"].GetString(), "install_success");
    EXPECT_TRUE(event["timestamp"].IsUint64());
    EXPECT_EQ(event["timestamp"].GetUint64(), 1700000000000u);

    const rapidjson::Value& properties = event["properties"];
    EXPECT_EQ(memberNames(properties),
              (std::vector<std::string>{"mnq_version", "mnq_mac", "device_id", "openid", "language",
                                        "downloader_package"}));
    EXPECT_STREQ(properties["mnq_version"].GetString(), "4.22");
    EXPECT_STREQ(properties["mnq_mac"].GetString(), "2-0123456789abcdef0123456789abcdef");
    EXPECT_STREQ(properties["device_id"].GetString(), "2-0123456789abcdef0123456789abcdef");
    EXPECT_STREQ(properties["openid"].GetString(), "2500");
    EXPECT_STREQ(properties["language"].GetString(), "kr");
    EXPECT_TRUE(properties["downloader_package"].IsInt());
    EXPECT_EQ(properties["downloader_package"].GetInt(), 1);
}

TEST(ReportBatch, EventMembersFollowTheFixedOnesAndTextsBecomeUtf8) {
    JsonDocument array;
    array.SetArray();
    const EventRecord record{
        L"download_duration", 5000,
        [](telemetry::JsonValue& properties, telemetry::JsonAllocator& allocator) {
            properties.AddMember("duration", 1234, allocator);
            properties.AddMember("ext_field", "aws_curl", allocator);
        }};
    const ReporterIdentity identity{L"100", L"id", L"fr\u00e9\u4e2d"};
    telemetry::appendEventObject(array, record, identity, L"");

    rapidjson::Document parsed;
    parsed.Parse(telemetry::prettyJson(array).c_str());
    ASSERT_TRUE(parsed.IsArray());
    const rapidjson::Value& properties = parsed[0]["properties"];
    const auto names = memberNames(properties);
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names[6], "duration");
    EXPECT_EQ(names[7], "ext_field");
    EXPECT_EQ(properties["duration"].GetInt(), 1234);
    EXPECT_STREQ(properties["language"].GetString(), "fr\xC3\xA9\xE4\xB8\xAD");
    EXPECT_STREQ(parsed[0]["eventId"].GetString(), "");
}

TEST(ReportBatch, BodyIsIndentedByFourBlanksWithoutFinalLineFeed) {
    JsonDocument empty;
    empty.SetArray();
    EXPECT_EQ(telemetry::prettyJson(empty), "[]");
    EXPECT_LE(telemetry::prettyJson(empty).size(), telemetry::kEmptyBodyLimit);

    JsonDocument array;
    array.SetArray();
    telemetry::appendEventObject(array, {L"run_downloader", 1000, {}}, {L"1", L"p", L"en"}, L"E");
    const std::string expected =
        "[\n"
        "    {\n"
        "        \"appId\": 1,\n"
        "        \"eventId\": \"E\",\n"
        "        \"eventKey\": \"run_downloader\",\n"
        "        \"timestamp\": 1000,\n"
        "        \"properties\": {\n"
        "            \"mnq_version\": \"4.22\",\n"
        "            \"mnq_mac\": \"p\",\n"
        "            \"device_id\": \"p\",\n"
        "            \"openid\": \"1\",\n"
        "            \"language\": \"en\",\n"
        "            \"downloader_package\": 1\n"
        "        }\n"
        "    }\n"
        "]";
    EXPECT_EQ(telemetry::prettyJson(array), expected);
}

TEST(ReportBatch, RequestTimeTakesTheMillisecondsFromTheTickCount) {
    EXPECT_EQ(telemetry::requestTime(1700000000, 123456789), 1700000000789);
    EXPECT_EQ(telemetry::requestTime(1700000000, 5000), 1700000000000);
    EXPECT_EQ(telemetry::requestTime(1700000000, 0xFFFFFFFFu), 1700000000295);
    EXPECT_EQ(telemetry::requestTime(1700000000, 999), 1700000000999);
}

TEST(ReportBatch, SigningInputAndSignature) {
    const std::string prefix = telemetry::signingPrefix();
    ASSERT_EQ(prefix.size(), 19u);
    EXPECT_EQ(prefix.substr(9), "timestamp=");
    EXPECT_EQ(prefix[8], '*');
    for (std::size_t i = 0; i < 8; ++i) EXPECT_TRUE(prefix[i] >= 'a' && prefix[i] <= 'z') << i;

    EXPECT_EQ(telemetry::signingInput("salt*timestamp=", 1700000000123, 3),
              "salt*timestamp=17000000001233072");
    EXPECT_EQ(telemetry::signingInput("p", 42, 0), "p420");
    EXPECT_EQ(telemetry::signingInput("p", 42, 100), "p42102400");

    EXPECT_EQ(telemetry::signatureOf("900150983cd24fb0d6963f7d28e17f72"), "28e17f72");
    EXPECT_EQ(telemetry::signatureOf("0123456789abcdef"), "89abcdef");
    EXPECT_EQ(telemetry::signatureOf("0123456789abcde"), "");
    EXPECT_EQ(telemetry::signatureOf(""), "");

    EXPECT_EQ(telemetry::uploadHeaders(1700000000123, "28e17f72"),
              (std::vector<std::string>{"timestamp: 1700000000123", "signature: 28e17f72"}));
    const std::wstring host(deployment::values().collectionHost);
    EXPECT_EQ(telemetry::collectionUrl(),
              "https://" + std::string(host.begin(), host.end()) + "/collection/biz/upload");
}

}  // namespace
