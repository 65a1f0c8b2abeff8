// Extraction of in-memory 7z archives into a folder and into a callback, on archives the build
// makes with the 7-Zip command line (tests/utility/archives.cmake).
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"
#include "utility/archive.h"

using testing_support::dataDir;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using utility::extractArchiveToFolder;
using utility::forEachArchiveFile;

namespace {

std::string archiveBytes(const std::wstring& name) {
    const std::string bytes = readFileBytes(dataDir() + L"archive-" + name + L".7z");
    EXPECT_FALSE(bytes.empty()) << "missing test archive " << std::string(name.begin(), name.end());
    return bytes;
}

// The nested archive with the start of its packed data overwritten. The data is LZMA2, whose
// first bytes are a chunk header; 0xFF there asks for properties no LZMA stream can have.
std::string damagedNestedArchive() {
    std::string bytes = archiveBytes(L"nested");
    const std::size_t packedStart = 32;
    for (std::size_t i = packedStart; i < packedStart + 8 && i < bytes.size(); ++i)
        bytes[i] = '\xFF';
    return bytes;
}

using FileList = std::vector<std::pair<std::wstring, std::string>>;

struct Delivery {
    int result = -1;
    FileList files;
};

Delivery deliver(const std::string& archive) {
    Delivery delivery;
    delivery.result = forEachArchiveFile(
        archive.data(), archive.size(),
        [&](const std::wstring& name, const unsigned char* data, std::size_t size) {
            delivery.files.emplace_back(name,
                                        std::string(reinterpret_cast<const char*>(data), size));
        });
    return delivery;
}

int extractTo(const std::string& archive, const std::wstring& destination) {
    return extractArchiveToFolder(archive.data(), archive.size(), destination);
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Paths of the files (not folders) anywhere below the folder; none when it does not exist.
std::vector<std::wstring> filesBelow(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const std::vector<std::wstring> inner = filesBelow(path);
            files.insert(files.end(), inner.begin(), inner.end());
        } else {
            files.push_back(path);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

std::wstring fullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

const std::string kLayout = "<Window size=\"640,480\"><Label text=\"@install\"/></Window>\n";

class ArchiveToFolder : public ::testing::Test {
protected:
    TempDir temp;
    // Not created beforehand: the extraction makes it.
    const std::wstring destination = temp.path() + L"dest\\";
};

TEST_F(ArchiveToFolder, CreatesFolderEntriesAndPutsTheirFilesInside) {
    ASSERT_EQ(extractTo(archiveBytes(L"nested"), destination), utility::kArchiveOk);

    EXPECT_TRUE(isFolder(destination + L"skin"));
    EXPECT_TRUE(isFolder(destination + L"skin\\deep"));
    EXPECT_TRUE(isFolder(destination + L"skin\\fonts"));
    EXPECT_EQ(readFileBytes(destination + L"skin\\deep\\layout.xml"), kLayout);
    EXPECT_EQ(readFileBytes(destination + L"readme.txt"), "Tamrix skin\n");
}

TEST_F(ArchiveToFolder, DestinationWithoutTrailingSeparatorGetsOne) {
    const std::wstring bare = destination.substr(0, destination.size() - 1);

    ASSERT_EQ(extractTo(archiveBytes(L"nested"), bare), utility::kArchiveOk);

    EXPECT_EQ(readFileBytes(destination + L"skin\\deep\\layout.xml"), kLayout);
    EXPECT_FALSE(exists(temp.path() + L"destreadme.txt"));
}

TEST_F(ArchiveToFolder, SecondExtractionReplacesWhatTheFirstWrote) {
    const std::string archive = archiveBytes(L"nested");
    ASSERT_EQ(extractTo(archive, destination), utility::kArchiveOk);
    const std::wstring layout = destination + L"skin\\deep\\layout.xml";
    ASSERT_TRUE(
        writeFileBytes(layout, kLayout + "edited after the first extraction, and longer\n"));

    ASSERT_EQ(extractTo(archive, destination), utility::kArchiveOk);

    EXPECT_EQ(readFileBytes(layout), kLayout);
}

TEST_F(ArchiveToFolder, EmptyEntryBecomesEmptyFileReplacingAnOldOne) {
    ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
    ASSERT_TRUE(writeFileBytes(destination + L"zero.bin", "stale content"));

    ASSERT_EQ(extractTo(archiveBytes(L"empty"), destination), utility::kArchiveOk);

    EXPECT_TRUE(exists(destination + L"zero.bin"));
    EXPECT_EQ(readFileBytes(destination + L"zero.bin"), "");
    EXPECT_EQ(readFileBytes(destination + L"data.txt"), "data");
}

TEST_F(ArchiveToFolder, CrcMismatchStopsRightAfterTheDamagedFile) {
    EXPECT_EQ(extractTo(archiveBytes(L"crc"), destination), utility::kArchiveCrcError);

    EXPECT_EQ(readFileBytes(destination + L"1.txt"), "first");
    EXPECT_EQ(readFileBytes(destination + L"2.txt"), "Xecond");
    EXPECT_FALSE(exists(destination + L"3.txt"));
}

TEST_F(ArchiveToFolder, FileThatCannotBeCreatedStopsWithCreateError) {
    // A file stands where the destination's parent folder should be.
    ASSERT_TRUE(writeFileBytes(temp.path() + L"blocker", "a file, not a folder"));

    EXPECT_EQ(extractTo(archiveBytes(L"empty"), temp.path() + L"blocker\\dest\\"),
              utility::kArchiveCreateError);
}

TEST_F(ArchiveToFolder, BrokenArchivesFailWithoutWritingFiles) {
    const std::string notAnArchive =
        "this is a text file, not a 7z archive, and long enough to hold a header";
    const std::pair<const char*, std::string> cases[] = {
        {"truncated", archiveBytes(L"truncated")},
        {"damaged packed data", damagedNestedArchive()},
        {"not an archive", notAnArchive},
        {"empty input", std::string()},
    };
    for (const auto& [label, archive] : cases) {
        SCOPED_TRACE(label);
        TempDir target;
        EXPECT_NE(extractTo(archive, target.path()), utility::kArchiveOk);
        EXPECT_TRUE(filesBelow(target.path()).empty());
    }
    EXPECT_EQ(extractTo(archiveBytes(L"truncated"), destination), utility::kArchiveTruncated);
    EXPECT_NE(extractArchiveToFolder(nullptr, 100, destination), utility::kArchiveOk);
}

TEST_F(ArchiveToFolder, NamesOutsideAsciiBecomeTheSameFileNames) {
    ASSERT_EQ(extractTo(archiveBytes(L"names"), destination), utility::kArchiveOk);

    EXPECT_EQ(readFileBytes(destination + L"names\\\u00fcn\u00efc\u00f6d\u00e9.txt"), "umlauts");
    EXPECT_EQ(readFileBytes(destination + L"names\\\u65e5\u672c\u8a9e\\\u30c6\u30b9\u30c8.txt"),
              "kanji");
    EXPECT_EQ(readFileBytes(destination + L"names\\emoji-\U0001F600.txt"), "emoji");
}

// Each archive holds one entry whose stored name points outside the destination.
TEST_F(ArchiveToFolder, EntryNamedOutsideTheDestinationIsRefused) {
    const std::wstring drive = fullPath(destination).substr(0, 2);
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"escape-parent", temp.path() + L"tamrix-escape-parent.txt"},
        {L"escape-parent-backslash", temp.path() + L"tamrix-escape-parent-backslash.txt"},
        {L"escape-inner-parent", temp.path() + L"tamrix-escape-inner-parent.txt"},
        {L"escape-dots", temp.path() + L"tamrix-escape-dots.txt"},
        {L"escape-rooted", drive + L"\\tamrix-escape-rooted.txt"},
        {L"escape-rooted-backslash", drive + L"\\tamrix-escape-rooted-backslash.txt"},
        {L"escape-drive-relative", fullPath(L"C:tamrix-escape-drive-relative.txt")},
        {L"escape-drive-absolute", L"C:\\tamrix-escape-drive-absolute.txt"},
        {L"escape-unc", L""},  // a server share: nothing to look at without the network
    };
    for (const auto& [archive, landing] : cases) {
        SCOPED_TRACE(std::string(landing.begin(), landing.end()));
        if (!landing.empty()) DeleteFileW(landing.c_str());

        EXPECT_EQ(extractTo(archiveBytes(archive), destination), utility::kArchiveUnsafeName);

        if (!landing.empty()) {
            EXPECT_FALSE(exists(landing));
        }
        EXPECT_TRUE(filesBelow(destination).empty());
    }
}

TEST_F(ArchiveToFolder, EntryNamedOutsideTheDestinationEndsTheExtraction) {
    EXPECT_EQ(extractTo(archiveBytes(L"escape-middle"), destination), utility::kArchiveUnsafeName);

    EXPECT_EQ(readFileBytes(destination + L"before.txt"), "before");
    EXPECT_FALSE(exists(temp.path() + L"tamrix-escape-middle.txt"));
    EXPECT_FALSE(exists(destination + L"zafter.txt"));
}

TEST(ArchiveToCallback, DeliversEveryNonEmptyFileInArchiveOrder) {
    const Delivery delivery = deliver(archiveBytes(L"nested"));

    EXPECT_EQ(delivery.result, utility::kArchiveOk);
    EXPECT_EQ(delivery.files,
              (FileList{{L"readme.txt", "Tamrix skin\n"}, {L"skin/deep/layout.xml", kLayout}}));
}

TEST(ArchiveToCallback, EmptyFileEntryIsNotDelivered) {
    const Delivery delivery = deliver(archiveBytes(L"empty"));

    EXPECT_EQ(delivery.result, utility::kArchiveOk);
    EXPECT_EQ(delivery.files, (FileList{{L"data.txt", "data"}}));
}

TEST(ArchiveToCallback, CrcMismatchWithholdsTheFileAndEndsDelivery) {
    const Delivery delivery = deliver(archiveBytes(L"crc"));

    EXPECT_EQ(delivery.result, utility::kArchiveCrcError);
    EXPECT_EQ(delivery.files, (FileList{{L"1.txt", "first"}}));
}

TEST(ArchiveToCallback, BrokenArchivesFailWithoutDelivering) {
    const Delivery truncated = deliver(archiveBytes(L"truncated"));
    EXPECT_EQ(truncated.result, utility::kArchiveTruncated);
    EXPECT_TRUE(truncated.files.empty());

    const Delivery damaged = deliver(damagedNestedArchive());
    EXPECT_NE(damaged.result, utility::kArchiveOk);
    EXPECT_TRUE(damaged.files.empty());

    EXPECT_NE(forEachArchiveFile(nullptr, 100,
                                 [](const std::wstring&, const unsigned char*, std::size_t) {}),
              utility::kArchiveOk);
}

// The end header sits at the end of the archive, so every shorter prefix of a valid archive is
// an archive cut short, whatever the cut hits.
TEST(ArchiveToCallback, EveryPrefixOfAnArchiveFails) {
    const std::string archive = archiveBytes(L"nested");
    ASSERT_EQ(deliver(archive).result, utility::kArchiveOk);
    for (std::size_t size = 0; size < archive.size(); ++size) {
        const Delivery delivery = deliver(archive.substr(0, size));
        EXPECT_NE(delivery.result, utility::kArchiveOk) << "prefix of " << size << " bytes";
        EXPECT_TRUE(delivery.files.empty()) << "prefix of " << size << " bytes";
    }
}

TEST(ArchiveToCallback, NamesOutsideAsciiComeThroughUnchanged) {
    const Delivery delivery = deliver(archiveBytes(L"names"));

    EXPECT_EQ(delivery.result, utility::kArchiveOk);
    FileList expected = {
        {L"names/\u00fcn\u00efc\u00f6d\u00e9.txt", "umlauts"},
        {L"names/\u65e5\u672c\u8a9e/\u30c6\u30b9\u30c8.txt", "kanji"},
        {L"names/emoji-\U0001F600.txt", "emoji"},
    };
    FileList actual = delivery.files;
    std::sort(actual.begin(), actual.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(actual, expected);
}

}  // namespace
