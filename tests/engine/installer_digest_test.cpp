// The installer's digest: what counts as a digest in the version document, and the digest of a
// file that is hashed while it is written, however the writer's news of it come.
#include "engine/installer_digest.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telemetry/md5.h"
#include "tests/support/test_support.h"
#include "utility/file.h"

namespace {

TEST(ExpectedDigest, ThirtyTwoHexadecimalDigitsOrNothing) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"d41d8cd98f00b204e9800998ecf8427e", "d41d8cd98f00b204e9800998ecf8427e"},
        {L"D41D8CD98F00B204E9800998ECF8427E", "d41d8cd98f00b204e9800998ecf8427e"},
        {L"", ""},
        {L"d41d8cd98f00b204e9800998ecf8427", ""},    // 31 digits
        {L"d41d8cd98f00b204e9800998ecf8427e0", ""},  // 33 digits
        {L"g41d8cd98f00b204e9800998ecf8427e", ""},
        {L" 41d8cd98f00b204e9800998ecf8427e", ""},
        {L"\uff10"
         L"41d8cd98f00b204e9800998ecf8427e",
         ""},  // a full-width digit
    };
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(installer_digest::expectedDigest(text), digest) << testing::PrintToString(text);
    }
}

// Writes the bytes in pieces as a download does (shared for reading and writing), telling the
// digest after each piece how far the file holds its final bytes when asked to.
class Writer {
public:
    explicit Writer(const std::wstring& path)
        : file_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        SetFilePointer(file_.get(), 0, nullptr, FILE_END);
    }
    bool write(const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
    }

private:
    utility::UniqueHandle file_;
};

std::string patternBytes(std::size_t count, unsigned seed) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 31 + seed) % 251);
    return bytes;
}

TEST(FileDigest, FollowsAFileAsItIsWritten) {
    const std::string whole = patternBytes(5 * 1024 * 1024 + 333, 7);
    const std::string expected = telemetry::md5Hex(whole);
    const struct {
        const char* name;
        std::size_t onDisk;  // already there when the digest starts (a resumed download)
        std::size_t piece;   // written at a time
        bool told;           // the writer tells how far the file is final
    } cases[] = {
        {"told after every piece", 0, 32768, true},
        {"pieces larger than the digest's", 0, 3 * 1024 * 1024, true},
        {"never told: the whole file at the end", 0, 65536, false},
        {"a resumed file", 2 * 1024 * 1024 + 5, 32768, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const testing_support::TempDir dir;
        const std::wstring path = dir.path() + L"Tamrix.exe.tmp";
        ASSERT_TRUE(testing_support::writeFileBytes(path, whole.substr(0, c.onDisk)));
        std::string digest;
        {
            installer_digest::FileDigest follower(path);
            Writer writer(path);
            for (std::size_t at = c.onDisk; at < whole.size(); at += c.piece) {
                if (c.told) follower.advance(at);
                ASSERT_TRUE(writer.write(whole.substr(at, c.piece)));
            }
            digest = follower.finish();
        }
        EXPECT_EQ(digest, expected);
        EXPECT_TRUE(utility::ufile::removeFile(path)) << "the digest let the file go";
    }
}

TEST(FileDigest, NothingForAFileThatIsNotThere) {
    const testing_support::TempDir dir;
    installer_digest::FileDigest missing(dir.path() + L"missing.exe");
    EXPECT_EQ(missing.finish(), "");
    // A digest given up on (a failed transfer) ends without being asked for its result.
    const std::wstring path = dir.path() + L"partial.tmp";
    ASSERT_TRUE(testing_support::writeFileBytes(path, patternBytes(3 * 1024 * 1024, 1)));
    installer_digest::FileDigest abandoned(path);
    abandoned.advance(3 * 1024 * 1024);
}

}  // namespace
