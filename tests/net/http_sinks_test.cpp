// The two sinks of the system HTTP downloader, driven the way a request drives them: the file
// sink's resume, progress, error record and file handling, and the memory sink's limits.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_downloader.h"
#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/text.h"

using testing_support::hasLogLine;
using testing_support::LogCapture;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using utility::CHttpDownload2FileSink;
using utility::CHttpDownload2MemSink;
using utility::CHttpDownloader;

namespace {

constexpr const char* kHeaderTag = "utility::CHttpDownload2FileSink::onHttpRecvHeader";
constexpr const char* kErrorTag = "utility::CHttpDownload2FileSink::onHttpError";

struct Report {
    std::string bytes;
    std::int64_t received;
    std::int64_t total;
};

// Records every progress call; answers false once the configured call is reached.
class RecordingProgress : public CHttpDownloader::IHttpDownloadSink {
public:
    bool onHttpDownloadProgress(const char* data, int count, std::int64_t received,
                                std::int64_t total) override {
        reports.push_back({std::string(data, static_cast<std::size_t>(count)), received, total});
        return reports.size() != refuseAt;
    }
    std::vector<Report> reports;
    std::size_t refuseAt = 0;
};

bool feed(CHttpDownload2FileSink& sink, const std::string& bytes) {
    return sink.onHttpRecvData(bytes.data(), static_cast<int>(bytes.size()));
}

std::string utf8(const std::wstring& text) {
    return utility::wideToUtf8(text);
}

class FileSinkTest : public ::testing::Test {
protected:
    void SetUp() override { LogCapture::instance().newLines(); }
    TempDir dir_;
    const std::wstring path_ = dir_.path() + L"setup.exe.tmp";
    WorkerThread stop_;
    RecordingProgress progress_;
};

}  // namespace

TEST_F(FileSinkTest, StatusOutsideTwoHundredsWritesNothingAndRecordsTheFirstStatus) {
    writeFileBytes(path_, "kept");
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 0);
    EXPECT_EQ(sink.errorKind(), 9999);
    EXPECT_EQ(sink.errorCode(), 0);

    EXPECT_FALSE(sink.onHttpRecvHeader(120, 404));
    EXPECT_EQ(sink.errorKind(), -1);
    EXPECT_EQ(sink.errorCode(), 404);
    EXPECT_EQ(readFileBytes(path_), "kept");  // not even truncated

    // A later status error does not replace the first one ...
    EXPECT_FALSE(sink.onHttpRecvHeader(-1, 500));
    EXPECT_FALSE(sink.onHttpRecvHeader(-1, 199));
    EXPECT_FALSE(sink.onHttpRecvHeader(-1, 300));
    EXPECT_EQ(sink.errorCode(), 404);
    // ... but a system error does.
    sink.onHttpError(6, 12029);
    EXPECT_EQ(sink.errorKind(), 6);
    EXPECT_EQ(sink.errorCode(), 12029);

    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(hasLogLine(lines, kHeaderTag, "onHttpErro status = 404"));
    EXPECT_TRUE(hasLogLine(lines, kHeaderTag, "onHttpErro status = 500"));
    EXPECT_TRUE(hasLogLine(lines, kErrorTag, "onHttpErro 6, 12029"));
    EXPECT_TRUE(progress_.reports.empty());
}

TEST_F(FileSinkTest, FreshDownloadCreatesTheFileAndReportsEveryChunk) {
    writeFileBytes(path_, "an older, longer content");
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 0);
    ASSERT_TRUE(sink.onHttpRecvHeader(9, 200));
    EXPECT_TRUE(feed(sink, "abcd"));
    EXPECT_TRUE(feed(sink, "efghi"));
    sink.onHttpComplete();

    EXPECT_EQ(readFileBytes(path_), "abcdefghi");
    ASSERT_EQ(progress_.reports.size(), 2u);
    EXPECT_EQ(progress_.reports[0].bytes, "abcd");
    EXPECT_EQ(progress_.reports[0].received, 4);
    EXPECT_EQ(progress_.reports[1].received, 9);
    EXPECT_EQ(progress_.reports[1].total, 9);
    EXPECT_EQ(sink.errorKind(), 9999);
}

TEST_F(FileSinkTest, UnknownLengthAssumesTenMebibytesPlusTheResumedPart) {
    {
        CHttpDownload2FileSink sink(path_, stop_, nullptr, 0);
        ASSERT_TRUE(sink.onHttpRecvHeader(-1, 200));
        EXPECT_EQ(sink.total(), 10485760);
        sink.closeFile();
    }
    writeFileBytes(path_, "12345");
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 5);
    sink.onHttpRecvContentRange(5);
    ASSERT_TRUE(sink.onHttpRecvHeader(0, 206));
    EXPECT_EQ(sink.total(), 10485760 + 5);
    EXPECT_TRUE(feed(sink, "678"));
    ASSERT_EQ(progress_.reports.size(), 1u);
    EXPECT_EQ(progress_.reports[0].received, 8);
}

TEST_F(FileSinkTest, PartialAnswerAtTheOffsetIsAppendedAndCountsTheResumedPart) {
    writeFileBytes(path_, "12345");
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 5);
    sink.onHttpRecvContentRange(5);
    ASSERT_TRUE(sink.onHttpRecvHeader(4, 206));
    EXPECT_EQ(sink.received(), 5);
    EXPECT_EQ(sink.total(), 9);
    EXPECT_TRUE(feed(sink, "6789"));
    sink.onHttpComplete();

    EXPECT_EQ(readFileBytes(path_), "123456789");
    ASSERT_EQ(progress_.reports.size(), 1u);
    EXPECT_EQ(progress_.reports[0].received, 9);
    EXPECT_EQ(progress_.reports[0].total, 9);
}

TEST_F(FileSinkTest, PartialAnswerFromAnotherOffsetFailsAndLeavesTheFileAlone) {
    writeFileBytes(path_, "12345");
    for (const std::int64_t start : {std::int64_t{0}, std::int64_t{4}, std::int64_t{-1}}) {
        CHttpDownload2FileSink sink(path_, stop_, &progress_, 5);
        sink.onHttpRecvContentRange(start);
        EXPECT_FALSE(sink.onHttpRecvHeader(4, 206)) << start;
        EXPECT_EQ(sink.errorKind(), -1);
        EXPECT_EQ(sink.errorCode(), 206);
    }
    EXPECT_EQ(readFileBytes(path_), "12345");
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kHeaderTag,
                           "onHttpErro content range starts at 4, not at 5"));
}

TEST_F(FileSinkTest, FullAnswerToARangeRequestStartsTheFileAnew) {
    writeFileBytes(path_, "12345");
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 5);
    ASSERT_TRUE(sink.onHttpRecvHeader(9, 200));
    EXPECT_EQ(sink.received(), 0);
    EXPECT_EQ(sink.total(), 9);
    EXPECT_TRUE(feed(sink, "123456789"));
    sink.onHttpComplete();

    EXPECT_EQ(readFileBytes(path_), "123456789");
    EXPECT_EQ(progress_.reports.at(0).received, 9);
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kHeaderTag,
                           "range not honoured, status = 200; the file starts anew"));
}

TEST_F(FileSinkTest, RefusedProgressStopFlagAndFailedWritesEndTheDownload) {
    CHttpDownload2FileSink sink(path_, stop_, &progress_, 0);
    progress_.refuseAt = 2;
    ASSERT_TRUE(sink.onHttpRecvHeader(6, 200));
    EXPECT_TRUE(feed(sink, "ab"));
    EXPECT_FALSE(feed(sink, "cd"));  // refused: the chunk is not written
    sink.closeFile();
    EXPECT_EQ(readFileBytes(path_), "ab");
    EXPECT_EQ(sink.errorKind(), 9999);  // nothing recorded

    CHttpDownload2FileSink stopped(path_, stop_, nullptr, 0);
    ASSERT_TRUE(stopped.onHttpRecvHeader(6, 200));
    stop_.requestStop();
    EXPECT_FALSE(feed(stopped, "ab"));
    stop_.stop(0);
    EXPECT_TRUE(feed(stopped, "ab"));

    // The file closes on an error; later data cannot be written.
    stopped.onHttpError(7, 5);
    EXPECT_FALSE(feed(stopped, "cd"));
    EXPECT_EQ(readFileBytes(path_), "ab");
}

TEST_F(FileSinkTest, FileThatCannotBeCreatedOrOpenedIsRecordedWithTheSystemError) {
    const std::wstring missing = dir_.path() + L"no such folder\\setup.exe.tmp";
    CHttpDownload2FileSink fresh(missing, stop_, nullptr, 0);
    EXPECT_FALSE(fresh.onHttpRecvHeader(10, 200));
    EXPECT_EQ(fresh.errorKind(), -2);
    EXPECT_EQ(fresh.errorCode(), ERROR_PATH_NOT_FOUND);

    CHttpDownload2FileSink resumed(missing, stop_, nullptr, 5);
    resumed.onHttpRecvContentRange(5);
    EXPECT_FALSE(resumed.onHttpRecvHeader(10, 206));
    EXPECT_EQ(resumed.errorKind(), -2);
    EXPECT_EQ(resumed.errorCode(), ERROR_PATH_NOT_FOUND);

    // An offset measured from a file that has since become empty cannot be continued.
    writeFileBytes(path_, "");
    CHttpDownload2FileSink shrunk(path_, stop_, nullptr, 5);
    shrunk.onHttpRecvContentRange(5);
    EXPECT_FALSE(shrunk.onHttpRecvHeader(10, 206));
    EXPECT_EQ(shrunk.errorKind(), -2);

    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(hasLogLine(lines, kHeaderTag,
                           "create file error; filename " + utf8(missing) + " lasterror:3"));
    EXPECT_TRUE(hasLogLine(lines, kHeaderTag, "onHttpErro create file error  3"));
}

TEST(MemorySink, AcceptsOnlyTwoHundredsAndAppends) {
    WorkerThread stop;
    std::string output = "head:";
    CHttpDownload2MemSink sink(output, stop);
    for (const int status : {100, 199, 300, 304, 404, 500}) {
        EXPECT_FALSE(sink.onHttpRecvHeader(5, status)) << status;
    }
    EXPECT_TRUE(sink.onHttpRecvHeader(-1, 200));
    EXPECT_TRUE(sink.onHttpRecvHeader(5, 299));
    EXPECT_TRUE(sink.onHttpRecvData("ab\0c", 4));
    EXPECT_EQ(output, std::string("head:ab\0c", 9));

    stop.requestStop();
    EXPECT_FALSE(sink.onHttpRecvData("x", 1));
    EXPECT_EQ(output.size(), 9u);
}

TEST(MemorySink, RefusesBodiesOverTheLimit) {
    LogCapture::instance().newLines();
    WorkerThread stop;
    std::string output;
    CHttpDownload2MemSink sink(output, stop);
    constexpr auto kLimit = static_cast<std::int64_t>(CHttpDownload2MemSink::kBodyLimit);
    EXPECT_EQ(kLimit, 16 * 1024 * 1024);
    EXPECT_FALSE(sink.onHttpRecvHeader(kLimit + 1, 200));
    ASSERT_TRUE(sink.onHttpRecvHeader(kLimit, 200));

    // An answer without a length is cut off at the limit while it arrives.
    ASSERT_TRUE(sink.onHttpRecvHeader(-1, 200));
    const std::string chunk(32768, 'x');
    std::int64_t taken = 0;
    while (sink.onHttpRecvData(chunk.data(), static_cast<int>(chunk.size()))) {
        taken += static_cast<std::int64_t>(chunk.size());
        ASSERT_LE(taken, kLimit);
    }
    EXPECT_EQ(taken, kLimit);
    EXPECT_EQ(output.size(), CHttpDownload2MemSink::kBodyLimit);
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(),
                           "utility::CHttpDownload2MemSink::onHttpRecvData",
                           "body larger than 16777216 bytes, download refused"));
}
