// The skin store: a "skin" folder beside the program overrides single archive entries, names
// with a drive come from disk only, and a broken or missing archive leaves the store empty. The
// archives come from tests/toolkit/skin_data.cmake; this program also carries one as resource.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/test_support.h"
#include "toolkit/skin_store.h"
#include "utility/file.h"

using testing_support::dataDir;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using tk::Bytes;
using tk::SkinStore;

namespace {

const std::string kMainframe = "<Window archive=\"mainframe\"/>";
const std::string kDownloaderBox = "<Window archive=\"downloaderbox\"/>";
const std::string kLocked = "<Window archive=\"locked\"/>";
const std::string kClose = "archive close.png";
const std::string kTable =
    "Code\tlanguage_code\tzh_CN\ten_US\nLanguage\tlanguage_name\tzh\ten\n"
    "Label\tsure\tque ding\tSure\n";

std::string archiveBytes(const std::wstring& name) {
    const std::string bytes = readFileBytes(dataDir() + name);
    EXPECT_FALSE(bytes.empty()) << "missing test archive";
    return bytes;
}

std::optional<std::string> asText(const std::optional<Bytes>& bytes) {
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

// A store over the test skin archive whose instance folder is a fresh temporary folder.
class SkinStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string archive = archiveBytes(L"toolkit-skin.7z");
        ASSERT_TRUE(store.registerArchiveBytes(archive.data(), archive.size()));
        store.setInstanceFolder(instance.path());
    }
    void makeSkinFolder() {
        ASSERT_TRUE(CreateDirectoryW(skin().c_str(), nullptr));
        ASSERT_TRUE(store.setResourcePathFromInstance());
    }
    std::wstring skin() const { return instance.path() + L"skin\\"; }

    TempDir instance;
    SkinStore store;
};

TEST_F(SkinStoreTest, SkinFolderOverridesSingleEntriesOnlyWhenItsFileReadsAndIsNotEmpty) {
    makeSkinFolder();
    ASSERT_TRUE(writeFileBytes(skin() + L"mainframe.xml", "disk mainframe"));
    ASSERT_TRUE(writeFileBytes(skin() + L"downloaderbox.xml", ""));
    ASSERT_TRUE(writeFileBytes(skin() + L"only-on-disk.xml", "disk only"));
    ASSERT_TRUE(writeFileBytes(skin() + L"locked.xml", "disk locked"));
    ASSERT_TRUE(CreateDirectoryW((skin() + L"common").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((skin() + L"multi_language.tsv").c_str(), nullptr));
    // Held open without sharing, so the store cannot open it.
    const HANDLE lock = CreateFileW((skin() + L"locked.xml").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    const struct {
        const wchar_t* name;
        std::optional<std::string> expected;
    } cases[] = {
        {L"mainframe.xml", "disk mainframe"},
        {L"downloaderbox.xml", kDownloaderBox},  // empty on disk
        {L"locked.xml", kLocked},                // does not open
        {L"only-on-disk.xml", "disk only"},
        {L"common\\close.png", kClose},
        {L"common/close.png", kClose},
        {L"multi_language.tsv", kTable},       // a folder on disk
        {L"Mainframe.XML", "disk mainframe"},  // the disk ignores case
        {L"missing.xml", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "name " << std::string(c.name, c.name + wcslen(c.name)));
        EXPECT_EQ(asText(store.load(c.name)), c.expected);
        EXPECT_EQ(store.exists(c.name), c.expected.has_value());
    }
    CloseHandle(lock);
    EXPECT_EQ(asText(store.load(L"locked.xml")), "disk locked");
}

TEST_F(SkinStoreTest, ArchiveNamesAreExactAndUseSlashes) {
    const struct {
        const wchar_t* name;
        std::optional<std::string> expected;
    } cases[] = {
        {L"mainframe.xml", kMainframe},
        {L"common\\close.png", kClose},
        {L"common/close.png", kClose},
        {L"Common/close.png", std::nullopt},  // the archive map is case-sensitive
        {L"/common/close.png", std::nullopt},
        {L"close.png", std::nullopt},
        {L"common", std::nullopt},  // folders are not entries
    };
    for (const auto& c : cases) {
        EXPECT_EQ(asText(store.load(c.name)), c.expected);
        EXPECT_EQ(store.exists(c.name), c.expected.has_value());
    }
    ASSERT_NE(store.archiveEntry(L"common/close.png"), nullptr);
    EXPECT_EQ(store.archiveEntry(L"common\\close.png"), nullptr);
    EXPECT_EQ(store.archiveEntryCount(), 5u);
}

TEST_F(SkinStoreTest, WithoutSkinFolderFilesBesideTheProgramAreNotSeen) {
    ASSERT_TRUE(writeFileBytes(instance.path() + L"mainframe.xml", "beside the program"));
    ASSERT_TRUE(writeFileBytes(instance.path() + L"beside.xml", "beside the program"));

    EXPECT_FALSE(store.setResourcePathFromInstance());
    EXPECT_EQ(store.resourcePath(), L"");
    EXPECT_EQ(asText(store.load(L"mainframe.xml")), kMainframe);
    EXPECT_EQ(store.load(L"beside.xml"), std::nullopt);
}

TEST_F(SkinStoreTest, ResourcePathFollowsTheSkinEntryBesideTheProgram) {
    // Any file-system entry named "skin" sets the path, even a plain file.
    ASSERT_TRUE(writeFileBytes(instance.path() + L"skin", "not a folder"));
    EXPECT_TRUE(store.setResourcePathFromInstance());
    EXPECT_EQ(store.resourcePath(), instance.path() + L"skin\\");
    EXPECT_EQ(asText(store.load(L"mainframe.xml")), kMainframe);

    ASSERT_TRUE(DeleteFileW((instance.path() + L"skin").c_str()));
    EXPECT_FALSE(store.setResourcePathFromInstance());
    EXPECT_EQ(store.resourcePath(), L"");

    SkinStore unset;
    EXPECT_FALSE(unset.setResourcePathFromInstance());  // no instance folder at all
    EXPECT_EQ(unset.resourcePath(), L"");
}

TEST_F(SkinStoreTest, NamesWithADriveComeFromDiskOnly) {
    makeSkinFolder();
    ASSERT_TRUE(writeFileBytes(instance.path() + L"outside.xml", "outside the skin"));
    ASSERT_TRUE(writeFileBytes(instance.path() + L"empty.xml", ""));
    const std::wstring upper = instance.path();
    std::wstring lower = upper;
    lower[0] = static_cast<wchar_t>(towlower(lower[0]));

    EXPECT_EQ(asText(store.load(upper + L"outside.xml")), "outside the skin");
    EXPECT_EQ(asText(store.load(lower + L"outside.xml")), "outside the skin");
    EXPECT_TRUE(store.exists(upper + L"outside.xml"));
    // Neither an empty nor a missing disk file falls back to the archive, whatever its tail.
    for (const std::wstring& name :
         {upper + L"empty.xml", upper + L"mainframe.xml", std::wstring(L"C:mainframe.xml"),
          upper + L"common\\close.png"}) {
        EXPECT_EQ(store.load(name), std::nullopt);
        EXPECT_FALSE(store.exists(name));
    }
}

TEST(SkinStoreArchive, ProgramResourceFillsTheMapAndModulesWithoutOneLeaveItEmpty) {
    SkinStore store;
    EXPECT_TRUE(store.registerArchive(GetModuleHandleW(nullptr)));
    EXPECT_EQ(store.archiveEntryCount(), 5u);
    EXPECT_EQ(asText(store.load(L"common\\close.png")), kClose);

    EXPECT_FALSE(store.registerArchive(GetModuleHandleW(L"kernel32.dll")));
    EXPECT_EQ(store.archiveEntryCount(), 0u);
    EXPECT_EQ(store.load(L"mainframe.xml"), std::nullopt);
}

TEST(SkinStoreArchive, BrokenArchivesLeaveTheMapEmpty) {
    const std::string good = archiveBytes(L"toolkit-skin.7z");
    // The first entry of the damaged archive decodes before the second one fails its CRC.
    const std::string crc = archiveBytes(L"toolkit-skin-crc.7z");
    const std::string truncated = good.substr(0, good.size() / 2);
    const std::string text = "plain text, not a 7z archive, long enough to hold a header";
    for (const std::string* broken : {&crc, &truncated, &text}) {
        SkinStore store;
        ASSERT_TRUE(store.registerArchiveBytes(good.data(), good.size()));
        EXPECT_FALSE(store.registerArchiveBytes(broken->data(), broken->size()));
        EXPECT_EQ(store.archiveEntryCount(), 0u);
        EXPECT_EQ(store.load(L"1.xml"), std::nullopt);
        EXPECT_EQ(store.load(L"mainframe.xml"), std::nullopt);
    }
    SkinStore store;
    EXPECT_FALSE(store.registerArchiveBytes(nullptr, 0));
}

TEST(SkinStoreInstance, InstanceFolderIsTheModulesFolderWithTrailingBackslash) {
    SkinStore store;
    store.setInstance(nullptr);
    EXPECT_EQ(store.instanceFolder(), utility::ufile::exeDir());
    EXPECT_EQ(store.instanceFolder().back(), L'\\');

    store.setInstanceFolder(L"C:\\some\\folder");
    EXPECT_EQ(store.instanceFolder(), L"C:\\some\\folder\\");
    store.setInstanceFolder(L"C:\\some\\folder\\");
    EXPECT_EQ(store.instanceFolder(), L"C:\\some\\folder\\");
}

TEST(ReadDiskFile, TakesOnlyNonEmptyFilesWithinTheLimit) {
    TempDir temp;
    ASSERT_TRUE(writeFileBytes(temp.path() + L"ten.bin", "0123456789"));
    ASSERT_TRUE(writeFileBytes(temp.path() + L"empty.bin", ""));

    EXPECT_EQ(asText(tk::readDiskFile(temp.path() + L"ten.bin", 10)), "0123456789");
    EXPECT_EQ(tk::readDiskFile(temp.path() + L"ten.bin", 9), std::nullopt);
    EXPECT_EQ(tk::readDiskFile(temp.path() + L"empty.bin"), std::nullopt);
    EXPECT_EQ(tk::readDiskFile(temp.path() + L"missing.bin"), std::nullopt);
    EXPECT_EQ(tk::readDiskFile(temp.path()), std::nullopt);  // a folder
}

}  // namespace
