// Files and folders: path pieces, folder creation, moves and deletes with their log lines, and
// the raw file handle with its sharing rules.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"
#include "utility/text.h"

using namespace utility;
using testing_support::LogCapture;
using testing_support::messagesOf;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;

namespace {

std::string utf8(const std::wstring& text) {
    return wideToUtf8(text);
}

}  // namespace

TEST(FileName, TakesTheLastPieceAndOptionallyCutsTheExtension) {
    EXPECT_EQ(ufile::fileName(L"C:\\dir\\setup.exe", false), L"setup");
    EXPECT_EQ(ufile::fileName(L"C:\\dir\\setup.exe", true), L"setup.exe");
    EXPECT_EQ(ufile::fileName(L"a/b.c.d", false), L"b.c");
    EXPECT_EQ(ufile::fileName(L"a/b.c.d", true), L"b.c.d");
    EXPECT_EQ(ufile::fileName(L"setup.exe", true), L"");
    EXPECT_EQ(ufile::fileName(L"", false), L"");
    // The backslash wins over a later slash.
    EXPECT_EQ(ufile::fileName(L"C:\\x/y\\z.txt", false), L"z");
    EXPECT_EQ(ufile::fileName(L"C:\\dir.d\\noext", false), L"noext");
    EXPECT_EQ(ufile::fileName(L"C:\\dir\\", true), L"");
}

TEST(ParentDir, KeepsTheTrailingSeparator) {
    EXPECT_EQ(ufile::parentDir(L"C:\\dir\\sub\\"), L"C:\\dir\\");
    EXPECT_EQ(ufile::parentDir(L"C:\\dir\\file"), L"C:\\dir\\");
    EXPECT_EQ(ufile::parentDir(L"C"), L"");
    EXPECT_EQ(ufile::parentDir(L""), L"");
    EXPECT_EQ(ufile::parentDir(L"a/b/"), L"a/");
    EXPECT_EQ(ufile::parentDir(L"name"), L"");
    EXPECT_EQ(ufile::parentDir(L"C:\\"), L"");  // only the trailing separator, which is dropped
    EXPECT_EQ(ufile::parentDir(L"C:\\a/b"), L"C:\\");
}

TEST(KnownFolders, ExeDirAndAppDataDirNameRealFolders) {
    const std::wstring exe = ufile::exeDir();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.back(), L'\\');
    EXPECT_TRUE(ufile::exists(exe + L"utility_file_test.exe"));

    const std::wstring appData = ufile::appDataDir();
    ASSERT_FALSE(appData.empty());
    EXPECT_NE(appData.back(), L'\\');
    EXPECT_TRUE(ufile::exists(appData));
}

TEST(ExistsAndSize, AnswerForFilesFoldersAndMissingPaths) {
    TempDir dir;
    const std::wstring file = dir.path() + L"five.bin";
    ASSERT_TRUE(writeFileBytes(file, "12345"));
    EXPECT_TRUE(ufile::exists(file));
    EXPECT_TRUE(ufile::exists(dir.path()));
    EXPECT_FALSE(ufile::exists(dir.path() + L"missing"));

    std::uint64_t size = 77;
    EXPECT_TRUE(ufile::getFileSize(file, size));
    EXPECT_EQ(size, 5u);
    size = 77;
    EXPECT_FALSE(ufile::getFileSize(dir.path() + L"missing", size));
    EXPECT_EQ(size, 77u);
}

TEST(GetFileSize, ReadsPastFourGigabytesAndFailsWhileTheFileIsLockedForReading) {
    TempDir dir;
    const std::wstring file = dir.path() + L"sparse.bin";
    {
        FileHandle handle;
        ASSERT_TRUE(handle.createAlways(file));
    }
    // A file whose size needs more than 32 bits: set its end without writing data.
    HANDLE raw = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    UniqueHandle exclusive(raw);
    LARGE_INTEGER end{};
    end.QuadPart = 5'000'000'000LL;
    if (!SetFilePointerEx(raw, end, nullptr, FILE_BEGIN) || !SetEndOfFile(raw)) {
        GTEST_SKIP() << "the file system of the temporary folder cannot hold a 5 GB file";
    }
    std::uint64_t size = 0;
    // Opened without sharing, the file cannot be opened for its size.
    EXPECT_FALSE(ufile::getFileSize(file, size));
    exclusive.reset();
    EXPECT_TRUE(ufile::getFileSize(file, size));
    EXPECT_EQ(size, 5'000'000'000ULL);
}

TEST(MakeDir, CreatesParentsAndLogsOnlyFailures) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();

    const std::wstring nested = dir.path() + L"a\\b\\c";
    EXPECT_TRUE(ufile::makeDir(nested));
    EXPECT_TRUE(ufile::exists(nested));
    EXPECT_TRUE(ufile::makeDir(nested));  // already there: true, no line
    EXPECT_TRUE(messagesOf(log.newLines(), "utility::ufile::makeDir").empty());

    // Below a file no folder can be made.
    ASSERT_TRUE(writeFileBytes(dir.path() + L"file", "x"));
    EXPECT_FALSE(ufile::makeDir(dir.path() + L"file\\sub"));
    const auto messages = messagesOf(log.newLines(), "utility::ufile::makeDir");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("make dir failed! error = ")) << messages[0];
    EXPECT_TRUE(messages[0].ends_with(".")) << messages[0];
    EXPECT_NE(messages[0], "make dir failed! error = 0.");
}

TEST(FileMove, RenamesReplacesOnlyWithTheFlagAndLogsFailures) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    const std::wstring from = dir.path() + L"player.exe.tmp";
    const std::wstring to = dir.path() + L"player.exe";
    ASSERT_TRUE(writeFileBytes(from, "new"));
    ASSERT_TRUE(writeFileBytes(to, "old"));

    EXPECT_FALSE(ufile::moveFile(from, to, 0));
    EXPECT_EQ(readFileBytes(to), "old");
    const auto messages = messagesOf(log.newLines(), "utility::ufile::moveFile");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("move file from [ " + utf8(from) + " ] to [ " + utf8(to) +
                                        " ] flag = 0 failed! error = "))
        << messages[0];
    EXPECT_TRUE(messages[0].ends_with(" error = 183.")) << messages[0];  // already exists

    EXPECT_TRUE(ufile::moveFile(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(readFileBytes(to), "new");
    EXPECT_FALSE(ufile::exists(from));
    EXPECT_TRUE(messagesOf(log.newLines(), "utility::ufile::moveFile").empty());
}

TEST(RemoveFile, DeletesAndLogsAMissingFileWithItsError) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    const std::wstring file = dir.path() + L"gone.txt";
    ASSERT_TRUE(writeFileBytes(file, "x"));
    EXPECT_TRUE(ufile::removeFile(file));
    EXPECT_FALSE(ufile::exists(file));
    EXPECT_TRUE(messagesOf(log.newLines(), "utility::ufile::removeFile").empty());

    EXPECT_FALSE(ufile::removeFile(file));
    const auto messages = messagesOf(log.newLines(), "utility::ufile::removeFile");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "removeFile file from [ " + utf8(file) + " ] error = 2.");
}

TEST(FileHandle, OpenReadRecordsTheSizeAndNeedsAnExistingFile) {
    TempDir dir;
    const std::wstring file = dir.path() + L"data.bin";
    FileHandle handle;
    EXPECT_FALSE(handle.openRead(file));
    EXPECT_FALSE(handle.isOpen());
    EXPECT_FALSE(ufile::exists(file));  // reading never creates

    ASSERT_TRUE(writeFileBytes(file, "hello world"));
    ASSERT_TRUE(handle.openRead(file));
    EXPECT_EQ(handle.size(), 11u);
    char buffer[32] = {};
    EXPECT_EQ(handle.read(buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(handle.read(buffer, sizeof(buffer)), 6u);
    EXPECT_EQ(handle.read(buffer, sizeof(buffer)), 0u);  // at the end
    EXPECT_FALSE(handle.write("x", 1));                  // opened for reading only
}

TEST(FileHandle, OpenWriteCreatesOnlyWhenAskedAndKeepsContent) {
    TempDir dir;
    const std::wstring file = dir.path() + L"partial.tmp";
    FileHandle handle;
    EXPECT_FALSE(handle.openWrite(file, false));
    EXPECT_FALSE(ufile::exists(file));
    ASSERT_TRUE(handle.openWrite(file, true));
    ASSERT_TRUE(handle.write("abc", 3));
    handle.close();

    // Reopened without creation: the content stays, and seekEnd appends (a resumed download).
    ASSERT_TRUE(handle.openWrite(file, false));
    EXPECT_TRUE(handle.seekEnd());
    ASSERT_TRUE(handle.write("def", 3));
    handle.close();
    EXPECT_EQ(readFileBytes(file), "abcdef");
}

TEST(FileHandle, CreateAlwaysTruncatesAndSeekEndOnEmptyFileIsFalse) {
    TempDir dir;
    const std::wstring file = dir.path() + L"fresh.bin";
    ASSERT_TRUE(writeFileBytes(file, "previous content"));
    FileHandle handle;
    ASSERT_TRUE(handle.createAlways(file));
    EXPECT_FALSE(handle.seekEnd());
    ASSERT_TRUE(handle.write("1", 1));
    EXPECT_TRUE(handle.seekEnd());
    handle.close();
    EXPECT_EQ(readFileBytes(file), "1");
}

TEST(FileHandle, CloseIsIdempotentAndOperationsOnAClosedHandleFail) {
    TempDir dir;
    const std::wstring file = dir.path() + L"x.bin";
    ASSERT_TRUE(writeFileBytes(file, "xyz"));
    FileHandle handle;
    ASSERT_TRUE(handle.openRead(file));
    handle.close();
    handle.close();
    EXPECT_FALSE(handle.isOpen());
    char buffer[4] = {};
    EXPECT_EQ(handle.read(buffer, 3), 0u);
    EXPECT_FALSE(handle.write("a", 1));
    EXPECT_FALSE(handle.seekEnd());
    // Closed means released: the file can now be opened exclusively and deleted.
    EXPECT_TRUE(ufile::removeFile(file));
}

TEST(FileHandle, SharingLetsReadersMeetButKeepsWritersFromAReader) {
    TempDir dir;
    const std::wstring file = dir.path() + L"shared.bin";
    ASSERT_TRUE(writeFileBytes(file, "shared"));

    FileHandle reader, secondReader, writer;
    ASSERT_TRUE(reader.openRead(file));
    EXPECT_TRUE(secondReader.openRead(file));
    // The reader does not share writing, so no writer gets in while it is open.
    EXPECT_FALSE(writer.openWrite(file, false));
    reader.close();
    secondReader.close();

    // Writers share reading and writing with each other.
    FileHandle secondWriter;
    ASSERT_TRUE(writer.openWrite(file, false));
    EXPECT_TRUE(secondWriter.openWrite(file, false));
    // A reader that does not share writing cannot join open writers.
    EXPECT_FALSE(reader.openRead(file));
}

TEST(FileHandle, ReopeningReleasesThePreviousFile) {
    TempDir dir;
    const std::wstring first = dir.path() + L"first.bin";
    const std::wstring second = dir.path() + L"second.bin";
    ASSERT_TRUE(writeFileBytes(first, "1"));
    ASSERT_TRUE(writeFileBytes(second, "22"));
    FileHandle handle;
    ASSERT_TRUE(handle.openRead(first));
    ASSERT_TRUE(handle.openRead(second));
    EXPECT_EQ(handle.size(), 2u);
    EXPECT_TRUE(ufile::removeFile(first));  // no longer held open
}
