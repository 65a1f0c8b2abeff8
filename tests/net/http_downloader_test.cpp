// The system HTTP downloader without a server: the header block, the URL pieces, the error kinds
// of requests that cannot be made, and the resume bookkeeping around them.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "net/http_downloader.h"
#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"

using testing_support::hasLogLine;
using testing_support::LogCapture;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using utility::CHttpDownloader;

namespace {

// Nothing listens on port 1 of the loopback address.
constexpr wchar_t kRefusedUrl[] = L"http://127.0.0.1:1/files/setup.exe?edition=64&lang=en";

}  // namespace

TEST(HttpHeaderBlock, DefaultsAndRangeInTableOrder) {
    CHttpDownloader http;
    EXPECT_EQ(http.headerBlock(),
              L"Content-Type: application/x-www-form-urlencoded\r\n"
              L"User-Agent: okhttp/3.5.0L\r\n");

    http.setHeader(L"Range", L"bytes=10-");
    EXPECT_EQ(http.headerBlock(),
              L"Content-Type: application/x-www-form-urlencoded\r\n"
              L"Range: bytes=10-\r\n"
              L"User-Agent: okhttp/3.5.0L\r\n");

    // Own values replace the defaults; names order case-sensitively (upper case first).
    http.setHeader(L"User-Agent", L"agent/1");
    http.setHeader(L"User-Agent", L"agent/2");
    http.setHeader(L"Content-Type", L"text/plain");
    http.setHeader(L"accept-language", L"en");
    http.removeHeader(L"Range");
    EXPECT_EQ(http.headerBlock(),
              L"Content-Type: text/plain\r\n"
              L"User-Agent: agent/2\r\n"
              L"accept-language: en\r\n");
}

TEST(HttpRequest, SplitsTheUrlAndReportsEachFailingStep) {
    TempDir dir;
    const std::wstring path = dir.path() + L"file.tmp";
    CHttpDownloader http;
    int kind = 0;
    int code = 0;

    EXPECT_FALSE(http.download2file(L"no url at all", path, nullptr, false, &kind, &code));
    EXPECT_EQ(kind, 1);
    EXPECT_NE(code, 0);

    // Connecting is lazy in the system library: a refused connection shows when sending.
    EXPECT_FALSE(http.download2file(kRefusedUrl, path, nullptr, false, &kind, &code));
    EXPECT_EQ(kind, 6);
    EXPECT_EQ(code, ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(http.host(), L"127.0.0.1");
    EXPECT_EQ(http.port(), 1);
    EXPECT_EQ(http.path(), L"/files/setup.exe?edition=64&lang=en");
    EXPECT_FALSE(http.secure());
    EXPECT_FALSE(utility::ufile::exists(path));  // no answer, no file

    std::string output = "kept";
    EXPECT_FALSE(http.download2mem(output, L"HTTPS://127.0.0.1/doc"));
    EXPECT_EQ(output, "kept");
    EXPECT_TRUE(http.secure());
    EXPECT_EQ(http.port(), INTERNET_DEFAULT_HTTPS_PORT);
    EXPECT_EQ(http.path(), L"/doc");
}

TEST(HttpRequest, ResumeAsksFromTheFileSizeAndKeepsThePartialFile) {
    LogCapture::instance().newLines();
    TempDir dir;
    const std::wstring path = dir.path() + L"setup.exe.tmp";
    ASSERT_TRUE(writeFileBytes(path, std::string(1234, 'p')));
    CHttpDownloader http;
    int kind = 0;
    int code = 0;

    EXPECT_FALSE(http.download2file(kRefusedUrl, path, nullptr, true, &kind, &code));
    EXPECT_EQ(kind, 6);
    EXPECT_NE(http.headerBlock().find(L"\r\nRange: bytes=1234-\r\n"), std::wstring::npos);
    EXPECT_EQ(readFileBytes(path), std::string(1234, 'p'));

    // A missing file resumes from 0 and sends no range; nor does a download without resume.
    EXPECT_FALSE(http.download2file(kRefusedUrl, dir.path() + L"missing", nullptr, true));
    EXPECT_EQ(http.headerBlock().find(L"Range"), std::wstring::npos);
    http.setHeader(L"Range", L"bytes=1-");
    EXPECT_FALSE(http.download2file(kRefusedUrl, path, nullptr, false));
    EXPECT_EQ(http.headerBlock().find(L"Range"), std::wstring::npos);
    // A memory download never inherits a range either.
    http.setHeader(L"Range", L"bytes=1-");
    std::string output;
    EXPECT_FALSE(http.download2mem(output, kRefusedUrl));
    EXPECT_EQ(http.headerBlock().find(L"Range"), std::wstring::npos);

    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(hasLogLine(lines, "utility::CHttpDownloader::download2file", "start size 1234"));
    EXPECT_TRUE(hasLogLine(lines, "utility::CHttpDownloader::download2file", "start size 0"));
    EXPECT_TRUE(
        hasLogLine(lines, "utility::CHttpDownload2FileSink::onHttpError", "onHttpErro 6, 12029"));
}

TEST(HttpRequest, AbortBetweenOperationsOnlyPreparesTheNextOne) {
    TempDir dir;
    CHttpDownloader http;
    http.abort();
    http.abort();
    int kind = 0;
    int code = 0;
    // The next operation runs normally: it reaches the (refused) connection.
    EXPECT_FALSE(http.download2file(kRefusedUrl, dir.path() + L"f", nullptr, false, &kind, &code));
    EXPECT_EQ(kind, 6);
    EXPECT_EQ(code, ERROR_INTERNET_CANNOT_CONNECT);
}
