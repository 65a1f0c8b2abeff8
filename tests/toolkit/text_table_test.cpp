// The text table: reading "multi_language.tsv" (line ends, header checks, column choice, cell
// limits), choosing its source between the disk and the skin archive, and the look-ups with
// and without adding missing keys.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "utility/handle.h"
#include "utility/text.h"

using testing_support::dataDir;
using testing_support::readFileBytes;
using testing_support::TempDir;
using testing_support::writeFileBytes;
using tk::TextTable;

namespace {

const std::string kCodes = "Code\tlanguage_code\tzh_CN\tzh_TW\ten_US\tko_KR";
const std::string kNames = "Language\tlanguage_name\t简体中文\t繁體中文\tEnglish\t한국어";
const std::string kSure = "Label\tsure\t确定\t確定\tSure\t확인";

std::string joined(const std::vector<std::string>& rows, const std::string& end = "\n") {
    std::string text;
    for (const std::string& row : rows) text += row + end;
    return text;
}

std::string table(const std::vector<std::string>& rows) {
    std::vector<std::string> all = {kCodes, kNames};
    all.insert(all.end(), rows.begin(), rows.end());
    return joined(all);
}

using Expected = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

void expectTexts(const TextTable& table, const Expected& expected) {
    for (const auto& [key, text] : expected) {
        EXPECT_EQ(table.find(key), text) << "key " << std::string(key.begin(), key.end());
    }
}

TEST(TextTableLoad, ColumnFollowsTheLanguageExactlyElseTheFirstLanguageColumn) {
    const struct {
        const wchar_t* current;
        const wchar_t* fallback;
        const wchar_t* sure;
    } cases[] = {
        {L"en_US", L"en_US", L"Sure"}, {L"ko_KR", L"en_US", L"확인"}, {L"zh_TW", L"en_US", L"確定"},
        {L"zh_CN", L"en_US", L"确定"}, {L"hi_IN", L"en_US", L"确定"},  // no column of its own
        {L"en_us", L"en_US", L"确定"},                                 // the match is exact
        {L"", L"en_US", L"Sure"},  // the fallback stands in for an empty language
        {L"", L"ko_KR", L"확인"},      {L"", L"xx_XX", L"确定"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        TextTable texts;
        texts.setLanguage(c.current, c.fallback);
        ASSERT_TRUE(texts.loadFromBytes(table({kSure})));
        expectTexts(texts, {{L"sure", c.sure}});
        EXPECT_EQ(texts.size(), 1u);  // neither header row is an entry
    }
    TextTable defaults;
    defaults.setLanguage(L"");
    EXPECT_EQ(defaults.language(), L"en_US");
}

TEST(TextTableLoad, EveryLineEndAndLeadingBlanksReadTheSame) {
    const std::vector<std::string> rows = {kCodes, kNames, kSure, "Label\tcancel\tq\tq\tCancel\tc"};
    const struct {
        const char* label;
        std::string data;
    } cases[] = {
        {"LF", joined(rows, "\n")},
        {"CRLF", joined(rows, "\r\n")},
        {"CR", joined(rows, "\r")},
        {"LF CR", joined(rows, "\n\r")},
        {"no end after the last row",
         joined(rows, "\r\n").substr(0, joined(rows, "\r\n").size() - 2)},
        {"blank runs before rows", "\t\r\n\r\n\t" + joined(rows, "\r\n\r\n\t\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TextTable texts;
        texts.setLanguage(L"en_US");
        ASSERT_TRUE(texts.loadFromBytes(c.data));
        expectTexts(texts, {{L"sure", L"Sure"}, {L"cancel", L"Cancel"}});
        EXPECT_EQ(texts.size(), 2u);
    }
}

TEST(TextTableLoad, RowsSetKeysFromTheirColumnLaterRowsWinShortRowsAddNothing) {
    const std::string text = table({
        kSure,
        "Label\tshort\t简\t繁",      // 4 fields: none at column 4
        "Label\texact\tzh\ttw\ten",  // 5 fields: just enough
        "Label\tdup\tfirst\tfirst\tfirst\tfirst",
        "Label\tdup\tsecond\tsecond\tsecond\tsecond",
        "Label\tMsgBox_xp\tx\tx\tline one\\r\\nline two\\t\\\\end\tx",
        "Label\tblank\t\t\t\t",
        "\tkind_missing\tzh\ttw\ten\tko",  // the leading TAB is skipped, not a field
        "Label",
        "Label\tonly_key",
    });
    TextTable texts;
    texts.setLanguage(L"en_US");
    texts.set(L"preset", L"kept");
    ASSERT_TRUE(texts.loadFromBytes(text));
    expectTexts(texts, {
                           {L"sure", L"Sure"},
                           {L"short", std::nullopt},
                           {L"exact", L"en"},
                           {L"dup", L"second"},
                           {L"MsgBox_xp", L"line one\nline two\\t\\\\end"},
                           {L"blank", L""},
                           {L"kind_missing", std::nullopt},
                           {L"zh", L"ko"},
                           {L"Label", std::nullopt},
                           {L"only_key", std::nullopt},
                           {L"preset", L"kept"},
                           {L"language_name", std::nullopt},
                           {L"language_code", std::nullopt},
                       });

    TextTable chinese;
    chinese.setLanguage(L"zh_CN");
    ASSERT_TRUE(chinese.loadFromBytes(text));
    expectTexts(chinese, {{L"short", L"简"}, {L"only_key", std::nullopt}});
}

TEST(TextTableLoad, CellsOver512Utf16UnitsReadAsEmpty) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // one character, two UTF-16 units
    const struct {
        const wchar_t* key;
        std::string cell;
        std::size_t length;
    } cases[] = {
        {L"u512", std::string(512, 'x'), 512},
        {L"u513", std::string(513, 'x'), 0},
        {L"emoji512", std::string(510, 'x') + emoji, 512},
        {L"emoji513", std::string(511, 'x') + emoji, 0},
        {L"cjk512",
         [] {
             std::string s;
             for (int i = 0; i < 512; ++i) s += "字";
             return s;
         }(),
         512},
        {L"cjk513",
         [] {
             std::string s;
             for (int i = 0; i < 513; ++i) s += "字";
             return s;
         }(),
         0},
    };
    std::vector<std::string> rows;
    for (const auto& c : cases) {
        rows.push_back("Label\t" + std::string(c.key, c.key + wcslen(c.key)) + "\t" + c.cell);
    }
    TextTable texts;
    texts.setLanguage(L"zh_CN");
    ASSERT_TRUE(texts.loadFromBytes(table(rows)));
    for (const auto& c : cases) {
        const std::optional<std::wstring> text = texts.find(c.key);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(text->size(), c.length);
    }
}

// A cell's typed "\r\n" or "\n" is a line break; other backslashes stay as typed.
TEST(TextTableLoad, TypedLineBreakEscapesBecomeOneLineBreak) {
    const struct {
        const char* cell;
        const wchar_t* text;
    } cases[] = {
        {R"(one\r\ntwo)", L"one\ntwo"},
        {R"(one\ntwo)", L"one\ntwo"},
        {R"(a\r\nb\nc\r\n)", L"a\nb\nc\n"},
        {R"(\r\n\r\n)", L"\n\n"},
        {R"(C:\new\rooms\n)", L"C:\new\\rooms\n"},
        {R"(a\rb\\c\t)", L"a\\rb\\\\c\\t"},
        {R"(\)", L"\\"},
        {R"(\r\)", L"\\r\\"},
    };
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        rows.push_back("Label\tk" + std::to_string(i) + "\t" + cases[i].cell);
    TextTable texts;
    texts.setLanguage(L"zh_CN");
    ASSERT_TRUE(texts.loadFromBytes(table(rows)));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(texts.find(L"k" + std::to_wstring(i)), cases[i].text) << cases[i].cell;
}

TEST(TextTableLoad, BrokenHeadersLoadNothing) {
    const struct {
        const char* label;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"only blanks", "\t\r\n\t\n"},
        {"no second row", kCodes + "\n"},
        {"first row of one field", joined({"Code", kNames, kSure})},
        {"second row of one field", joined({kCodes, "language_name", kSure})},
        {"second row names another key", joined({kCodes, "Language\tLanguage_name\tx", kSure})},
        {"second row key with a blank", joined({kCodes, "Language\tlanguage_name \tx", kSure})},
        {"rows swapped", joined({kNames, kCodes, kSure})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TextTable texts;
        texts.set(L"preset", L"kept");
        EXPECT_FALSE(texts.loadFromBytes(c.data));
        EXPECT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts.find(L"preset"), L"kept");
    }
    TextTable headerOnly;
    EXPECT_TRUE(headerOnly.loadFromBytes(joined({kCodes, kNames})));
    EXPECT_EQ(headerOnly.size(), 0u);
}

// The skin archive's table holds "sure" = "Sure" in English.
class TextTableSource : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string archive = readFileBytes(dataDir() + L"toolkit-skin.7z");
        ASSERT_TRUE(store.registerArchiveBytes(archive.data(), archive.size()));
        texts.setLanguage(L"en_US");
    }
    std::wstring diskTable() const { return instance.path() + L"multi_language.tsv"; }

    TempDir instance;
    tk::SkinStore store;
    TextTable texts;
};

TEST_F(TextTableSource, ArchiveEntryServesWhenNoDiskTableExists) {
    // The skin folder does not take part: only the instance folder's own file would.
    ASSERT_TRUE(CreateDirectoryW((instance.path() + L"skin").c_str(), nullptr));
    ASSERT_TRUE(writeFileBytes(instance.path() + L"skin\\multi_language.tsv",
                               table({"Label\tsure\ta\tb\tSkin folder\tc"})));
    store.setInstanceFolder(instance.path());
    ASSERT_TRUE(store.setResourcePathFromInstance());

    EXPECT_TRUE(texts.loadForProcess(instance.path(), store));
    EXPECT_EQ(texts.find(L"sure"), L"Sure");
}

TEST_F(TextTableSource, ADiskTableThatIsRefusedGivesWayToTheArchivesTable) {
    // The archive's table has "sure" alone.
    const std::string valid =
        table({"Label\tsure\ta\tb\tDisk sure\tc", "Label\tdisk_only\ta\tb\tDisk only\tc"});
    std::string atLimit = valid + std::string(TextTable::kMaxFileSize - valid.size(), '\n');
    enum class Disk { kFile, kFolder, kLocked };
    const struct {
        const char* label;
        Disk kind;
        std::string bytes;
        bool refused;  // then the archive's table serves
    } cases[] = {
        {"valid", Disk::kFile, valid, false},
        {"exactly at the size limit", Disk::kFile, atLimit, false},
        {"empty", Disk::kFile, "", true},
        {"broken header", Disk::kFile, "Code\tlanguage_code\nLanguage\tname\n", true},
        {"a single row", Disk::kFile, kCodes + "\n", true},
        {"one byte over the limit", Disk::kFile, atLimit + "\n", true},
        {"a folder", Disk::kFolder, "", true},
        {"held open without sharing", Disk::kLocked, valid, true},
    };
    testing_support::LogCapture& log = testing_support::LogCapture::instance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir folder;
        const std::wstring path = folder.path() + L"multi_language.tsv";
        if (c.kind == Disk::kFolder) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        } else {
            ASSERT_TRUE(writeFileBytes(path, c.bytes));
        }
        const utility::UniqueHandle lock(
            c.kind == Disk::kLocked ? CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : nullptr);
        ASSERT_EQ(lock.valid(), c.kind == Disk::kLocked);
        log.newLines();
        TextTable table;
        table.setLanguage(L"en_US");
        EXPECT_TRUE(table.loadForProcess(folder.path(), store));
        EXPECT_EQ(table.find(L"sure"), c.refused ? L"Sure" : L"Disk sure");
        EXPECT_EQ(table.find(L"disk_only"),
                  c.refused ? std::nullopt : std::optional<std::wstring>(L"Disk only"));
        EXPECT_EQ(table.size(), c.refused ? 1u : 2u);
        const auto lines =
            testing_support::messagesOf(log.newLines(), "tk::TextTable::loadForProcess");
        const std::vector<std::string> refusal = {"text table [ " + utility::wideToUtf8(path) +
                                                  " ] refused, the skin archive's is used."};
        EXPECT_EQ(lines, c.refused ? refusal : std::vector<std::string>{});
    }
}

TEST_F(TextTableSource, NoTableAnywhereLoadsNothing) {
    tk::SkinStore empty;
    EXPECT_FALSE(texts.loadForProcess(instance.path(), empty));
    EXPECT_EQ(texts.size(), 0u);
}

TEST(TextLookup, MissingKeysBecomeTheirOwnTextLayoutKeysStayAsWritten) {
    TextTable& table = tk::textTable();
    table.clear();
    table.set(L"sure", L"Sure");
    table.set(L"@at", L"at key");

    EXPECT_EQ(tk::lookupText("sure"), L"Sure");
    EXPECT_EQ(tk::lookupText("confirm"), L"confirm");
    EXPECT_EQ(table.find(L"confirm"), L"confirm");
    table.set(L"confirm", L"Confirm");
    EXPECT_EQ(tk::lookupText("confirm"), L"Confirm");

    const std::string longKey(200, 'k');
    EXPECT_EQ(tk::lookupText(longKey.c_str()), std::wstring(127, L'k'));
    EXPECT_EQ(table.find(std::wstring(127, L'k')), std::wstring(127, L'k'));
    EXPECT_EQ(tk::lookupText(nullptr), L"");
    EXPECT_EQ(table.size(), 4u);

    const struct {
        const wchar_t* value;
        const wchar_t* shown;
    } layoutCases[] = {
        {L"@sure", L"Sure"},
        {L"@prompt", L"@prompt"},
        {L"@close_tip", L"@close_tip"},
        {L"sure", L"sure"},
        {L"@", L"@"},
        {L"", L""},
        {L"@@at", L"at key"},
        {L"@Sure", L"@Sure"},
        {L" @sure", L" @sure"},
    };
    for (const auto& c : layoutCases) {
        EXPECT_EQ(tk::resolveLayoutText(c.value), c.shown);
    }
    EXPECT_EQ(table.find(L"prompt"), std::nullopt);
    EXPECT_EQ(table.size(), 4u);
    table.clear();
}

}  // namespace
