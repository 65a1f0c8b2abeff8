// The libcurl client without a server: the progress rule, and what each operation does and logs
// when its file cannot be opened or its transfer cannot be made.
#include <windows.h>
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/tx_curl_downloader.h"
#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"
#include "utility/text.h"

using helper::CurlProgressState;
using helper::onCurlProgress;
using testing_support::hasLogLine;
using testing_support::LogCapture;
using testing_support::messagesOf;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;

namespace {

constexpr const char* kRefusedUrl = "http://127.0.0.1:1/setup.exe";
constexpr const char* kFileTag = "TxCurlDownloader::downloadFile";

// The process initialises libcurl once, as the application entry does.
const bool kCurlReady = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;

struct ProgressProbe {
    CurlProgressState state;
    std::vector<int> reports;
    ProgressProbe() {
        state.callback = [this](int percent) { reports.push_back(percent); };
    }
};

}  // namespace

TEST(CurlProgress, UnknownTotalOrNoCallbackNeverReports) {
    ProgressProbe probe;
    for (const double total : {0.0, 0.09, -0.09}) onCurlProgress(probe.state, total, 5, 50000);
    EXPECT_TRUE(probe.reports.empty());
    EXPECT_EQ(probe.state.lastReportTick, 0u);

    CurlProgressState silent;
    onCurlProgress(silent, 100, 50, 50000);
    EXPECT_EQ(silent.lastReportTick, 0u);
}

TEST(CurlProgress, AtMostOneReportPerSecondAndNeverOneHundred) {
    ProgressProbe probe;
    onCurlProgress(probe.state, 200, 50, 10000);  // the first known total reports at once
    onCurlProgress(probe.state, 200, 60, 10500);
    onCurlProgress(probe.state, 200, 70, 11000);  // exactly one second: still too early
    onCurlProgress(probe.state, 200, 80, 11001);
    onCurlProgress(probe.state, 200, 200, 13000);  // 100: no report, and the tick stays
    EXPECT_EQ(probe.state.lastReportTick, 11001u);
    onCurlProgress(probe.state, 200, 199, 13001);
    EXPECT_EQ(probe.reports, (std::vector<int>{25, 40, 99}));
}

TEST(CurlProgress, ResumedDownloadsReportShareOfTheWholeFile) {
    ProgressProbe probe;
    probe.state.resumeOffset = 600;
    onCurlProgress(probe.state, 400, 0, 5000);
    onCurlProgress(probe.state, 400, 100, 7000);
    // The tick count wraps after 49.7 days; the difference is taken unsigned.
    probe.state.lastReportTick = 0xFFFFFF00u;
    onCurlProgress(probe.state, 400, 399, 0x00000300u);
    EXPECT_EQ(probe.reports, (std::vector<int>{60, 70, 99}));
}

TEST(CurlClient, FileThatCannotBeOpenedIsNeverTransferred) {
    ASSERT_TRUE(kCurlReady);
    LogCapture::instance().newLines();
    TempDir dir;
    const std::wstring path = dir.path() + L"missing folder\\setup.exe";
    TxCurlDownloader curl;
    EXPECT_FALSE(curl.downloadFile(utility::wideToAnsi(path), kRefusedUrl, nullptr));
    const auto messages = messagesOf(LogCapture::instance().newLines(), kFileTag);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"TxCurlDownloader::downloadfile start",
                                        "open file error  error:3 " + utility::wideToUtf8(path)}));
}

TEST(CurlClient, FailedTransfersLogTheLibraryTextAndKeepThePartialFile) {
    ASSERT_TRUE(kCurlReady);
    LogCapture::instance().newLines();
    TempDir dir;
    const std::wstring partial = dir.path() + L"partial.exe";
    const std::wstring empty = dir.path() + L"empty.exe";
    ASSERT_TRUE(writeFileBytes(partial, "first part"));
    ASSERT_TRUE(writeFileBytes(empty, ""));
    TxCurlDownloader curl;
    int reports = 0;
    EXPECT_FALSE(curl.downloadFile(utility::wideToAnsi(partial), kRefusedUrl,
                                   [&reports](int) { ++reports; }));
    EXPECT_FALSE(curl.downloadFile(utility::wideToAnsi(empty), kRefusedUrl, nullptr));
    EXPECT_EQ(readFileBytes(partial), "first part");
    EXPECT_TRUE(utility::ufile::exists(empty));
    EXPECT_EQ(reports, 0);

    std::string output = "untouched";
    EXPECT_FALSE(curl.downloadMemory(kRefusedUrl, output));
    EXPECT_FALSE(curl.postRequest("[]", output, kRefusedUrl, {"timestamp: 1"}));
    EXPECT_EQ(output, "untouched");
    EXPECT_FALSE(curl.downloadMemory("ftp://127.0.0.1/version", output));

    const auto lines = LogCapture::instance().newLines();
    const std::string refused =
        std::string("curl download error Couldn't connect to server ") + kRefusedUrl;
    EXPECT_EQ(messagesOf(lines, kFileTag),
              (std::vector<std::string>{"TxCurlDownloader::downloadfile start", refused,
                                        "TxCurlDownloader::downloadfile start", refused}));
    EXPECT_EQ(messagesOf(lines, "TxCurlDownloader::downloadMemory"),
              (std::vector<std::string>{
                  "TxCurlDownloader::downloadMemory start", "1111111111111111111111", refused,
                  "TxCurlDownloader::downloadMemory start", "1111111111111111111111",
                  "curl download error Unsupported protocol ftp://127.0.0.1/version"}));
    EXPECT_EQ(messagesOf(lines, "TxCurlDownloader::postRequest"),
              (std::vector<std::string>{
                  std::string("TxCurlDownloader::postRequest start ") + kRefusedUrl, refused}));
}
