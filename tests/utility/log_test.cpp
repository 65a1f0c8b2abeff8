// The log: the process-wide call path, the line format and limits, and the file writer.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "utility/handle.h"
#include "utility/log.h"
#include "utility/log_file.h"

using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;

namespace {

std::string threadIdText() {
    char text[32];
    std::snprintf(text, sizeof(text), "%04d", static_cast<int>(GetCurrentThreadId()));
    return text;
}

// Length of the prefix that writeLog puts before a message from this thread.
std::size_t prefixLength(const std::string& function, int line) {
    const std::size_t timeFields = std::string("MM-DD\tHH:MM:SS.mmm\t").size();
    return timeFields + threadIdText().size() + 1 + function.size() + 1 +
           std::string("(" + std::to_string(line) + "):").size();
}

// A wide message whose UTF-8 form has exactly the given byte count (two-byte letters keep it
// under the formatter's 8,191 characters).
std::wstring messageOfUtf8Bytes(std::size_t bytes, wchar_t marker) {
    std::wstring message(1, marker);
    bytes -= 1;
    message.append(bytes / 2, L'\u00e9');
    if (bytes % 2) message.push_back(L'x');
    return message;
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

// The process-wide path runs once per process, so its stages are checked in order here.
TEST(WriteLog, ProcessWideLifecycleAndLineFormat) {
    TempDir dir;
    const std::wstring path = dir.path() + L"downloader.log";

    writeLog("Test::beforeSink", 1, L"before the sink");
    initUtilities();
    writeLog("Test::beforeOpen", 2, L"before the file");
    openLogFile(path);
    openLogFile(dir.path() + L"second.log");  // a second call changes nothing
    writeLog("wWinMain", 7, L"\r\n\r\n start run");
    writeLog("utility::ufile::makeDir", 12345, L"make dir failed! error = %d. %s %lld %0.2f", 183,
             L"w\u00fcrde", 1234567890123LL, 2.5);

    const int exactLine = __LINE__ + 3;
    const std::string function = "Test::limit";
    const std::size_t room = 10240 - prefixLength(function, exactLine) - 2;
    writeLog(function.c_str(), exactLine, L"%s", messageOfUtf8Bytes(room, L'A').c_str());
    writeLog(function.c_str(), exactLine, L"%s", messageOfUtf8Bytes(room + 1, L'B').c_str());
    closeLogFile();
    writeLog("Test::afterClose", 3, L"after close");

    const std::string text = readFileBytes(path);
    EXPECT_EQ(text.find("before"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_FALSE(testing_support::readFileBytes(dir.path() + L"second.log").size());

    // "MM-DD\tHH:MM:SS.mmm\tTTTT\tfunction\t(line):message\r\n"; the message's own line ends
    // stay as they are.
    const std::string tid = threadIdText();
    const auto start = text.find("\twWinMain\t(7):\r\n\r\n start run\r\n");
    ASSERT_NE(start, std::string::npos) << text.substr(0, 200);
    ASSERT_GE(start, 19 + tid.size());
    const std::string prefix = text.substr(0, start);
    EXPECT_EQ(prefix.size(), 19 + tid.size());
    EXPECT_EQ(prefix.substr(19), tid);
    EXPECT_EQ(prefix[2], '-');
    EXPECT_EQ(prefix[5], '\t');
    EXPECT_EQ(prefix[8], ':');
    EXPECT_EQ(prefix[14], '.');
    EXPECT_EQ(prefix[18], '\t');
    EXPECT_NE(text.find("\tutility::ufile::makeDir\t(12345):make dir failed! error = 183. "
                        "w\xc3\xbcrde 1234567890123 2.50\r\n"),
              std::string::npos);

    // A line of exactly 10,240 bytes is kept; one byte more drops the whole line.
    const auto exact = text.find("\tTest::limit\t(" + std::to_string(exactLine) + "):A");
    ASSERT_NE(exact, std::string::npos);
    const auto lineStart = text.rfind("\r\n", exact) + 2;
    const auto lineEnd = text.find("\r\n", exact) + 2;
    EXPECT_EQ(lineEnd - lineStart, 10240u);
    EXPECT_EQ(text.find("):B"), std::string::npos);
}

TEST(LogFile, EmptiesAUtf16FileAndAppendsToAnyOther) {
    TempDir dir;
    const std::wstring utf16 = dir.path() + L"utf16.log";
    const std::wstring plain = dir.path() + L"plain.log";
    ASSERT_TRUE(writeFileBytes(utf16, std::string("\xff\xfeo\0l\0d\0", 8)));
    ASSERT_TRUE(writeFileBytes(plain, "\xfe\xffold\r\n"));
    {
        common::LogFile first(utf16);
        common::LogFile second(plain);
        first.append("new\r\n");
        second.append("new\r\n");
    }
    EXPECT_EQ(readFileBytes(utf16), "new\r\n");
    EXPECT_EQ(readFileBytes(plain), "\xfe\xffold\r\nnew\r\n");
}

TEST(LogFile, CreatesAMissingFileAndKeepsTheOrderOfLines) {
    TempDir dir;
    const std::wstring path = dir.path() + L"new.log";
    std::string expected;
    {
        common::LogFile file(path);
        for (int i = 0; i < 200; ++i) {
            const std::string line = "line " + std::to_string(i) + "\r\n";
            file.append(line);
            expected += line;
        }
    }
    EXPECT_EQ(readFileBytes(path), expected);
}

TEST(LogFile, TrimsToTheLastTwoMegabytesOnceFiftyAreReached) {
    TempDir dir;
    const std::wstring path = dir.path() + L"big.log";
    const std::string line(100, 'x');
    const std::string mark = std::string(98, 'm') + "\r\n";

    // Ends one byte short of the limit after the batch: not trimmed.
    ASSERT_TRUE(
        writeFileBytes(path, std::string(common::LogFile::kTrimSize - 1 - line.size(), 'a')));
    {
        common::LogFile file(path);
        file.append(line);
    }
    std::string text = readFileBytes(path);
    ASSERT_EQ(text.size(), common::LogFile::kTrimSize - 1);

    // The next batch reaches the limit: the file keeps its last 2 MiB, which end with the batch.
    {
        common::LogFile file(path);
        file.append(mark);
    }
    const std::string before = text + mark;
    text = readFileBytes(path);
    ASSERT_EQ(text.size(), common::LogFile::kKeptTail);
    EXPECT_EQ(text, before.substr(before.size() - common::LogFile::kKeptTail));

    // Later lines follow the kept tail.
    {
        common::LogFile file(path);
        file.append("later\r\n");
    }
    EXPECT_EQ(readFileBytes(path), text + "later\r\n");
}

TEST(LogFile, DropsLinesWhileTheWriterIsBehindAndTakesThemAgainAfterwards) {
    // The writer's "file" is a pipe this test reads: while the test does not read, the writer
    // stays inside its batch write, so the pending text cannot drain.
    const std::wstring pipeName =
        L"\\\\.\\pipe\\tamrix-log-test-" + std::to_wstring(GetCurrentProcessId());
    utility::UniqueHandle pipe(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr));
    ASSERT_TRUE(pipe.valid());
    common::LogFile file(pipeName);
    ASSERT_TRUE(ConnectNamedPipe(pipe.get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(pipe.get(), "ok", 2, &count, nullptr));  // the writer reads two bytes

    const std::string big = std::string(common::LogFile::kPendingLimit, 'b') + "\n";
    fprintf(stderr, "connected\n");
    file.append(big);  // more than the limit is pending now, until the test reads the pipe
    file.append("dropped\n");

    std::string received;
    char chunk[4096];
    while (received.size() < big.size() &&
           ReadFile(pipe.get(), chunk, sizeof(chunk), &count, nullptr)) {
        received.append(chunk, count);
    }
    fprintf(stderr, "read %zu\n", received.size());
    EXPECT_EQ(received, big);
    for (int i = 0; i < 100000 && file.pendingBytes() != 0; ++i) SwitchToThread();
    ASSERT_EQ(file.pendingBytes(), 0u);

    fprintf(stderr, "drained\n");
    file.append("kept\n");
    std::thread stopper([&] { file.stop(); });
    while (ReadFile(pipe.get(), chunk, sizeof(chunk), &count, nullptr) && count) {
        received.append(chunk, count);
        if (received.size() >= big.size() + 5) break;
    }
    stopper.join();
    EXPECT_EQ(received.substr(big.size()), "kept\n");
}

TEST(LogFile, TwoProcessesAppendToOneFile) {
    TempDir dir;
    const std::wstring path = dir.path() + L"shared.log";
    long exitCode = -1;
    {
        common::LogFile file(path);
        testing_support::PeerProcess peer(L"log_peer", L"\"" + path + L"\" 100");
        ASSERT_TRUE(peer.started());
        for (int i = 0; i < 100; ++i) file.append("test line " + std::to_string(i) + "\r\n");
        exitCode = peer.wait();
    }
    EXPECT_EQ(exitCode, 0);

    const std::string text = readFileBytes(path);
    EXPECT_EQ(countOf(text, "test line "), 100u);
    EXPECT_EQ(countOf(text, "\tpeer::main\t("), 100u);
    EXPECT_NE(text.find("test line 99\r\n"), std::string::npos);
    EXPECT_NE(text.find("):peer line 99\r\n"), std::string::npos);
}

// Everything stays below the pending limit, so nothing may be dropped.
TEST(LogFile, ManyThreadsLoseNoLineBelowThePendingLimit) {
    TempDir dir;
    const std::wstring path = dir.path() + L"threads.log";
    {
        common::LogFile file(path);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&file, t] {
                for (int i = 0; i < 50; ++i) {
                    file.append("t" + std::to_string(t) + " n" + std::to_string(i) + "\r\n");
                }
            });
        }
        for (auto& thread : threads) thread.join();
    }
    const std::string text = readFileBytes(path);
    for (int t = 0; t < 4; ++t) {
        std::size_t last = 0;
        for (int i = 0; i < 50; ++i) {
            const auto at = text.find("t" + std::to_string(t) + " n" + std::to_string(i) + "\r\n");
            ASSERT_NE(at, std::string::npos);
            EXPECT_GE(at, last);  // one thread's lines keep their order
            last = at;
        }
    }
}
