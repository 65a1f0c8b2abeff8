// A whole run inside the world, seen from the package download: which client and which URL
// deliver the installer, what is kept after a failure, that only the installer the version
// document describes is accepted, and how the run reports it.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "app/deployment.h"
#include "tests/support/road_support.h"
#include "utility/file.h"
#include "utility/text.h"

namespace {

using road::contains;
using road::rule;
using testing_support::world::writeScenario;

const std::string kCdn = road::cdnHost();
const std::string kSpare = road::spareHost();
constexpr char kPackage[] = "/download/package/Tamrix9.0.exe";
constexpr char kThreadTag[] = "DownloaderModel::_threadDownloadPlayer";
constexpr char kIeTag[] = "DownloaderModel::_downloadByIE";

// The default version document with the edition 9 object changed by the function.
std::string versionDocument(
    const std::function<void(rapidjson::Value& edition, rapidjson::Document::AllocatorType&)>&
        change) {
    rapidjson::Document document;
    const std::string text = road::defaultVersionDocument();
    document.Parse(text.c_str(), text.size());
    if (!document.IsObject() || !document.HasMember("mnq9")) return {};
    change(document["mnq9"], document.GetAllocator());
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return buffer.GetString();
}

std::string withoutMd5() {
    return versionDocument([](rapidjson::Value& edition, auto&) { edition.RemoveMember("md5"); });
}

std::string withMd5(const std::string& md5) {
    return versionDocument([&](rapidjson::Value& edition, auto& allocator) {
        edition["md5"].SetString(md5.c_str(), static_cast<rapidjson::SizeType>(md5.size()),
                                 allocator);
    });
}

std::string upperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string servedMd5() {
    rapidjson::Document document;
    document.Parse(road::defaultVersionDocument().c_str());
    return document.IsObject() ? document["mnq9"]["md5"].GetString() : "";
}

// The first bytes of a file.
std::string fileStart(const std::wstring& path, std::size_t count) {
    return testing_support::readFileBytes(path).substr(0, count);
}

class RoadDownload : public road::RoadTest {
protected:
    road::Run run(std::map<std::wstring, std::wstring> options = {}) {
        return RoadTest::run(L"tamrix9_en_100_x", std::move(options));
    }
    // The reporter's download events of the run.
    static std::vector<std::string> downloadEvents(const road::Run& result) {
        std::vector<std::string> events;
        for (const auto& event : result.reporterEvents()) {
            if (event.find("\"download_") != std::string::npos) events.push_back(event);
        }
        return events;
    }
};

TEST_F(RoadDownload, SystemClientOnTheSpareUrl) {
    ASSERT_TRUE(writeScenario(R"({"rules": [)" + rule(kCdn, kPackage, R"("status": 404)") + "]}"));
    const auto result = run();
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    EXPECT_TRUE(result.logged(kIeTag, "download errro! .use spare url"));
    EXPECT_FALSE(result.logged(kThreadTag, "download by txcurl"));
    EXPECT_EQ(result.requestsAt(kSpare, kPackage).size(), 1u);
    EXPECT_EQ(
        downloadEvents(result),
        (std::vector<std::string>{
            R"({"event":"download_success","properties":{"ext_field":"res"}})",
            R"({"event":"download_duration","properties":{"duration":"*","ext_field":"res_ie"}})"}));
    EXPECT_TRUE(result.allUploadsSigned());
}

TEST_F(RoadDownload, AnErrorPageThroughCurlIsNoInstaller) {
    ASSERT_TRUE(writeScenario(
        R"({"rules": [)" +
        rule(
            kCdn, kPackage,
            R"("status": 404, "body": {"size": 5242880, "repeat": "<html><body>Not found</body></html>\n"})") +
        ", " + rule(kSpare, kPackage, R"("status": 404, "times": 1)") + "]}"));
    const auto result = run();
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    EXPECT_TRUE(result.logged(kThreadTag, "download by txcurl"));
    EXPECT_TRUE(result.logged(kThreadTag, "too small package"));
    EXPECT_TRUE(result.logged(kThreadTag, "download by txcurl too"));
    EXPECT_EQ(result.requestsAt(kCdn, kPackage).size(), 2u);
    EXPECT_EQ(result.requestsAt(kSpare, kPackage).size(), 2u);
    EXPECT_TRUE(contains(
        downloadEvents(result),
        R"({"event":"download_duration","properties":{"duration":"*","ext_field":"res_curl"}})"));
}

TEST_F(RoadDownload, FailureAfter50MiBKeepsThePartialFileFor5MiBNothing) {
    for (const auto& [dropAfter, kept] :
         {std::pair<std::string, std::string>{"52428800", "52428800"}, {"5242880", "0"}}) {
        SCOPED_TRACE(dropAfter);
        road::resetMachine();
        // The curl attempts continue each other's file: the package is large enough that the
        // second one fails too.
        ASSERT_TRUE(writeScenario(R"({"content": {"installerSize": 209715200}, "rules": [)" +
                                  rule("*", kPackage, R"("dropAfterBytes": )" + dropAfter) + "]}"));
        const auto result = run();
        EXPECT_EQ(result.exitCode, 20);
        EXPECT_TRUE(result.logged("CMainFrame::onDownloadFailed", "download failed, kept " + kept));
        EXPECT_EQ(result.requestsAt(kCdn, kPackage).size(), 2u);
        EXPECT_EQ(result.requestsAt(kSpare, kPackage).size(), 2u);
        const auto events = downloadEvents(result);
        ASSERT_EQ(events.size(), 1u) << testing::PrintToString(events);
        EXPECT_TRUE(std::regex_match(
            events[0],
            std::regex(
                R"(\{"event":"download_fail","properties":\{"failure_reason":"-?\d+_-?\d+"\}\})")))
            << events[0];
        EXPECT_TRUE(contains(result.analyticsEvents(), "download_Error"));
    }
}

// The system client assumes 10 MiB for an answer without length, so the model's own assumption
// for a missing total never comes into play through it.
TEST_F(RoadDownload, WithoutALengthProgressCountsAgainstTheSystemClientsAssumption) {
    ASSERT_TRUE(
        writeScenario(R"({"rules": [)" + rule("*", kPackage, R"("noContentLength": true)") + "]}"));
    const auto result = run();
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    const auto progress = result.messages("CMainFrame::onDownloadProgress");
    ASSERT_FALSE(progress.empty());
    for (const auto& line : progress) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(progress \d+ \d+ 10485760)"))) << line;
    }
    EXPECT_FALSE(result.requestsAt(kCdn, kPackage).front().contentLength.has_value());
}

// The system client's download is only done once it is at the installer path: a partial file
// that cannot be put there is a failed attempt, and the stage that runs the installer never
// starts on a file that is not there.
TEST_F(RoadDownload, APartialFileThatCannotBecomeTheInstallerIsAFailure) {
    const std::wstring installFolder = folder_.path() + L"Emu\\Tamrix\\Tamrix9\\";
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, (installFolder + L"Tamrix.exe").c_str(), nullptr),
              ERROR_SUCCESS);
    const auto result = run();
    EXPECT_EQ(result.exitCode, 20);
    EXPECT_EQ(result.installFolder, installFolder);
    EXPECT_TRUE(result.messages(kIeTag).size() >= 1u);
    for (const auto& message : result.messages(kIeTag)) {
        EXPECT_EQ(message.find("download file success"), std::string::npos);
    }
    EXPECT_TRUE(result.logged(kThreadTag, "download by txcurl")) << "the sequence went on";
    EXPECT_FALSE(result.logged("CMainFrame::onDownloadFinished", "download finished"));
    EXPECT_TRUE(contains(result.analyticsEvents(), "download_Error"));
}

TEST_F(RoadDownload, RetryResumesThePartialFile) {
    // Four attempts each end after 6 MiB; the curl ones continue each other's file.
    ASSERT_TRUE(writeScenario(R"({"content": {"installerSize": 41943040}, "rules": [)" +
                              rule("*", kPackage, R"("dropAfterBytes": 6291456, "times": 4)") +
                              "]}"));
    const std::size_t installsBefore = testing_support::world::readStandinRuns("installer").size();
    const auto result = run({{L"TAMRIX_DRIVER_RETRY", L"1"}});
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    EXPECT_TRUE(result.logged("CMainFrame::onDownloadFailed", "download failed, kept 0"));
    const auto package = result.requestsAt(kCdn, kPackage);
    ASSERT_EQ(package.size(), 3u) << result.describeRequests();
    EXPECT_EQ(package[2].range, "bytes=6291456-");
    EXPECT_EQ(package[2].status, 206);
    EXPECT_EQ(package[2].outcome, "complete");
    EXPECT_TRUE(contains(downloadEvents(result),
                         R"({"event":"download_success","properties":{"ext_field":"aws"}})"));
    // The installer on disk is whole: the offline installer ran and recorded its package.
    const auto installs =
        testing_support::world::waitForStandinRuns("installer", installsBefore + 1);
    ASSERT_EQ(installs.size(), installsBefore + 1);
    EXPECT_STREQ(installs.back().json()["behaviour"].GetString(), "success");
}

}  // namespace

namespace {

// The version document arrives only after the download started with the default URLs: every
// attempt keeps to the URLs the download started with, the spare one included.
TEST_F(RoadDownload, ADocumentArrivingDuringTheDownloadChangesNoAttemptsUrl) {
    const std::string document = R"({"mnq9": {"ver": "9.9.9", "url": "https://)" + kCdn +
                                 R"(/download/package/Tamrix4.0.exe", "url_spare": "https://)" +
                                 kSpare + R"(/download/package/Tamrix4.0.exe"}})";
    // The document comes after the second tick of the start timer; the first attempt's answer
    // after the document.
    ASSERT_TRUE(
        writeScenario(R"({"content": {"version": )" + document + R"(}, "rules": [)" +
                      rule(kCdn, "/player_files/en/sarvel", R"("delayMs": 3500)") + ", " +
                      rule(kCdn, kPackage, R"("status": 404, "delayMs": 3000, "times": 1)") + ", " +
                      rule(kSpare, kPackage, R"("status": 404, "times": 1)") + ", " +
                      rule(kCdn, kPackage, R"("status": 404, "times": 1)") + "]}"));
    const auto result = run();
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    EXPECT_TRUE(result.logged("DownloaderModel::startDownloadPlayer",
                              "start downloader. bug getting player url"));
    EXPECT_TRUE(contains(result.analyticsEvents(), "download_defaultUrl"));
    // The order this test is about: attempt 1 starts, the document is parsed, attempt 2 starts.
    const std::size_t first =
        result.logIndex(kIeTag, "start download player playerurl is https://" + kCdn + kPackage);
    const std::size_t parsed =
        result.logIndex("DownloaderModel::_threadGetPlayerUrl::parse", "version:9.9.9");
    const std::size_t second = result.logIndex(kIeTag, "download errro! .use spare url");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(parsed, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, parsed);
    EXPECT_LT(parsed, second);
    EXPECT_EQ(result.requestsAt(kCdn, kPackage).size(), 2u) << result.describeRequests();
    EXPECT_EQ(result.requestsAt(kSpare, kPackage).size(), 2u) << result.describeRequests();
    EXPECT_TRUE(result.requestsAt(kCdn, "/download/package/Tamrix4.0.exe").empty());
    EXPECT_TRUE(result.requestsAt(kSpare, "/download/package/Tamrix4.0.exe").empty());
    EXPECT_TRUE(contains(
        downloadEvents(result),
        R"({"event":"download_duration","properties":{"duration":"*","ext_field":"res_curl"}})"));
}

// libcurl's error pages never stay on disk: a later retry that resumes continues only a real
// partial download, with the version document's digest or without one.
TEST_F(RoadDownload, AResumedRetryNeverContinuesAnErrorPage) {
    for (const bool documentHasMd5 : {false, true}) {
        SCOPED_TRACE(documentHasMd5);
        road::resetMachine();
        const std::string size = R"("installerSize": 16777216)";
        ASSERT_TRUE(writeScenario(R"({"content": {)" + size + "}}"));
        const std::string version = documentHasMd5 ? "" : R"(, "version": )" + withoutMd5();
        ASSERT_TRUE(writeScenario(
            R"({"content": {)" + size + version + R"(}, "rules": [)" +
            // First run: a 12 MiB partial file, then three failures, two of them error pages
            // through libcurl.
            rule(kCdn, kPackage, R"("dropAfterBytes": 12582912, "times": 1)") + ", " +
            rule(kSpare, kPackage, R"("status": 404, "times": 1)") + ", " +
            rule(kCdn, kPackage, R"("status": 404, "times": 1)") + ", " +
            rule(kSpare, kPackage, R"("status": 404, "times": 1)") + ", " +
            // The retry: the system client fails twice, libcurl gets the whole installer.
            rule(kCdn, kPackage, R"("status": 404, "times": 1)") + ", " +
            rule(kSpare, kPackage, R"("status": 404, "times": 1)") + "]}"));
        const std::size_t installsBefore =
            testing_support::world::readStandinRuns("installer").size();
        const auto result = run({{L"TAMRIX_DRIVER_RETRY", L"1"}});
        EXPECT_EQ(result.exitCode, 0) << result.describeRequests();
        EXPECT_TRUE(
            result.logged("CMainFrame::onDownloadFailed", "download failed, kept 12582912"));
        const auto events = result.reporterEvents();
        for (const auto& event : events) {
            EXPECT_EQ(event.find("package_error_"), std::string::npos) << event;
        }
        // Attempts 1 and 3 of both sequences; the last is the retry's libcurl attempt.
        const auto primary = result.requestsAt(kCdn, kPackage);
        ASSERT_EQ(primary.size(), 4u) << result.describeRequests();
        EXPECT_EQ(primary[3].range, "") << "nothing of an error page is continued";
        EXPECT_EQ(primary[3].status, 200);
        const std::wstring installer = result.installFolder + L"\\Tamrix.exe";
        EXPECT_EQ(fileStart(installer, 2), "MZ");
        EXPECT_EQ(testing_support::readFileBytes(installer).size(), 16777216u);
        const auto installs =
            testing_support::world::waitForStandinRuns("installer", installsBefore + 1);
        ASSERT_EQ(installs.size(), installsBefore + 1);
        EXPECT_STREQ(installs.back().json()["behaviour"].GetString(), "success");
    }
}

// A completed download whose digest is not the document's is a failed attempt, removed, and the
// next attempt follows; without a usable digest in the document nothing is checked.
TEST_F(RoadDownload, OnlyTheInstallerWithTheDocumentsDigestIsAccepted) {
    const std::string md5 = servedMd5();
    ASSERT_EQ(md5.size(), 32u);
    const std::string wrongFile = R"("body": {"size": 11534336})";
    const struct Case {
        const char* name;
        std::string version;  // served instead of the default document; empty: the default
        std::string rules;
        long exitCode;
        std::size_t systemClientMismatches, libcurlMismatches;
        bool checked;
        const char* success;  // the duration's ext_field; nullptr: the download failed
    } cases[] = {
        {"a wrong file on the primary URL, the digest in capitals", withMd5(upperCased(md5)),
         rule(kCdn, kPackage, wrongFile + R"(, "times": 1)"), 0, 1, 0, true, "res_ie"},
        {"libcurl gets a wrong file first", "",
         rule(kCdn, kPackage, R"("status": 404, "times": 1)") + ", " +
             rule(kSpare, kPackage, R"("status": 404, "times": 1)") + ", " +
             rule(kCdn, kPackage, wrongFile + R"(, "times": 1)"),
         0, 0, 1, true, "res_curl"},
        {"every attempt a wrong file", "", rule("*", kPackage, wrongFile), 20, 2, 2, true, nullptr},
        {"no digest in the document", withoutMd5(), "", 0, 0, 0, false, "aws_ie"},
        {"a digest that is not one", withMd5(md5.substr(1) + "g"), "", 0, 0, 0, false, "aws_ie"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        road::resetMachine();
        const std::string version = c.version.empty() ? "" : R"("version": )" + c.version;
        ASSERT_TRUE(
            writeScenario(R"({"content": {)" + version + R"(}, "rules": [)" + c.rules + "]}"));
        const auto result = run();
        EXPECT_EQ(result.exitCode, c.exitCode) << result.describeRequests();
        const auto mismatches = [&](const char* tag) {
            std::size_t count = 0;
            for (const auto& message : result.messages(tag)) {
                if (message.rfind("md5 mismatch: expected " + md5 + ", got ", 0) == 0) ++count;
            }
            return count;
        };
        EXPECT_EQ(mismatches(kIeTag), c.systemClientMismatches);
        EXPECT_EQ(mismatches(kThreadTag), c.libcurlMismatches);
        const auto notChecked = result.messages(kThreadTag);
        EXPECT_EQ(std::count(notChecked.begin(), notChecked.end(),
                             "no usable md5 for the installer, not checked"),
                  c.checked ? 0 : 1);
        const std::wstring installer = result.installFolder + L"\\Tamrix.exe";
        if (c.success == nullptr) {
            EXPECT_TRUE(contains(result.analyticsEvents(), "download_Error"));
            EXPECT_FALSE(utility::ufile::exists(installer));
            EXPECT_FALSE(utility::ufile::exists(installer + L".tmp"));
            EXPECT_TRUE(result.logged("CMainFrame::onDownloadFailed", "download failed, kept 0"));
            continue;
        }
        EXPECT_TRUE(contains(downloadEvents(result),
                             R"({"event":"download_duration","properties":{"duration":"*",)"
                             R"("ext_field":")" +
                                 std::string(c.success) + "\"}}"));
        EXPECT_EQ(fileStart(installer, 2), "MZ");
    }
}

}  // namespace
