// The installer's shipped texts: the text table "multi_language.tsv" of the skin folder, read
// column by column through the product's own loader, and the language files of
// skin/language/, checked against that table.
#include <windows.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/text_table.h"
#include "utility/text.h"

using testing_support::readFileBytes;
using tk::TextTable;

namespace {

// The skin folder of the source tree this program was built from: the compiler gives this
// file's absolute path, and under Wine the Unix root is drive Z:.
std::wstring skinFolder() {
    constexpr std::string_view self = __FILE__;
    constexpr std::string_view tail = "tests/skin/texts_test.cpp";
    static_assert(self.ends_with(tail), "the skin folder is found from this file's own path");
    std::wstring path = L"Z:";
    for (char c : self.substr(0, self.size() - tail.size())) {
        path.push_back(c == '/' ? L'\\' : wchar_t(c));
    }
    return path + L"skin\\";
}

std::string tableBytes() {
    static const std::string bytes = readFileBytes(skinFolder() + L"multi_language.tsv");
    return bytes;
}

// Strict UTF-8 to UTF-16; empty for invalid input.
std::wstring strictWide(std::string_view text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                            static_cast<int>(text.size()), wide.data(), size);
    }
    return wide;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) return parts;
        start = end + 1;
    }
}

std::size_t count(const std::wstring& text, std::wstring_view part) {
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::wstring::npos;
         at = text.find(part, at + part.size())) {
        ++found;
    }
    return found;
}

struct Language {
    const wchar_t* locale;
    const wchar_t* ownName;
};

// The language columns, in order.
const Language kLanguages[] = {
    {L"zh_CN", L"简体中文"},   {L"zh_TW", L"繁體中文"},   {L"en_US", L"English"},
    {L"ko_KR", L"한국어"},     {L"vi_VN", L"Tiếng Việt"}, {L"th_TH", L"ไทย"},
    {L"in_ID", L"Indonesia"},  {L"ja_JP", L"日本語"},     {L"ru_RU", L"Русский"},
    {L"pt_PT", L"Português"},  {L"es_ES", L"Español"},    {L"ar_IL", L"العربية"},
    {L"tr_TR", L"Türkçe"},     {L"fr_FR", L"Français"},   {L"de_DE", L"Deutsch"},
    {L"it_IT", L"Italiano"},   {L"fa_IR", L"فارسی"},      {L"ms_MY", L"Malaysia"},
    {L"uk_UA", L"Українська"},
};

struct Key {
    const wchar_t* key;
    const wchar_t* english;
};

// Every key of the table, in the table's order, with its English text as loaded (the cell of
// "MsgBox_xp" holds the four characters backslash, r, backslash, n, read as one line break).
const Key kKeys[] = {
    {L"Title_wndTitle", L"Tamrix Installer"},
    {L"Label_installing_waiting", L"Installing, please wait"},
    {L"Label_getversion_info", L"Get version info"},
    {L"Label_downloading", L"Downloading..."},
    {L"Button_install_now", L"Install"},
    {L"Button_install_fast", L"Install"},
    {L"Button_start_player", L"Start"},
    {L"MsgBox_error", L"Error"},
    {L"protocol_accept_playerx", L"Read and agree to Tamrix Player"},
    {L"turn_tip_1", L"New Tamrix 9 breaks through the limit of performance"},
    {L"turn_tip_2", L"Overall performace optimized by 30%"},
    {L"turn_tip_3", L"Launch like a flash"},
    {L"turn_tip_4", L"Remote control your Tamrix with your phone"},
    {L"turn_tip_5", L"Play from anywhere and anytime with full access to your Tamrix."},
    {L"turn_tip_6", L"Enhance remote your gameplay with our advanced cloud technology"},
    {L"Title_wndTitle_playerx", L"Tamrix Player Installer"},
    {L"MsgBox_exit_playerx", L"Do you want to stop installing Tamrix Player?"},
    {L"customer_connect", L"Customer service"},
    {L"install_error_tip2",
     L"Installation failed, please try to change your install path or temporarily disable your "
     L"antivirus and reinstall"},
    {L"customerLink", L"https://community.tamrix.test/invite"},
    {L"retry", L"Retry"},
    {L"downloading_error_tip", L"Sever connection timed out, download is interrupted "},
    {L"MsgBox_xp",
     L"This version is not compatible with current Windows system\nPlease update to versions "
     L"higher than Win 7 and reinstall"},
    {L"MsgBox_32", L"This version does not support 32-bit Windows"},
    {L"jump_download", L"Go to download"},
    {L"do_exit", L"Exit"},
    {L"change_path_tip",
     L"Installed data can not be read if you change the installation path, are you sure you want "
     L"to change the path?"},
    {L"path_noice", L"Installation tips"},
    {L"path_more",
     L"There is not enough space available on this disk for installation, it's recommended to use "
     L"Disk %s, do you want to change the path?"},
    {L"path_ssd",
     L"HDD (Disk %s) may lead to game stuttering, please choose SSD (Disk %s) for better "
     L"performance, do you want to change the path?"},
    {L"path_ok", L"Yes"},
    {L"path_not", L"No, thanks"},
    {L"MsgBox_accept_protocol", L"Please accept protocol"},
    {L"MsgBox_error_path", L"Error file path"},
    {L"MsgBox_disk_notEnough", L"Disk space not enough"},
    {L"Label_choice_path", L"Please select file path"},
    {L"MSGBox_noice", L"Prompt"},
    {L"MsgBox_exit", L"Do you want to stop the installation?"},
    {L"sure", L"Sure"},
    {L"cancel", L"Cancel"},
    {L"browser", L"Browse..."},
    {L"Label_path_error", L"File path error!"},
    {L"Button_install_define", L"Setup path"},
    {L"Button_install_back", L"Back"},
    {L"protocol_accept", L"Read and agree to Tamrix"},
    {L"protocol_accept_btn", L"Licensing Protocol"},
    {L"progress_downloading_label", L"Downloading"},
    {L"progress_downloading_label2", L"Downloading"},
    {L"progress_download_label", L"Download"},
    {L"progress_install_label", L"Install"},
    {L"progress_finish_label", L"Complete"},
    {L"Label_installingapp_waiting", L"Installing"},
    {L"homepage", L"Home page:"},
    {L"error", L"Error"},
    {L"download_error_content",
     L"Download failed, please check your network connection and try again"},
    {L"go_homePage", L"Go to home page"},
    {L"installing_exit_tip", L"Please wait for the installation to end."},
    {L"Reject", L"Decline"},
    {L"Accept", L"Accept"},
    {L"Yes", L"Yes"},
    {L"No", L"No"},
    {L"accept_protocol", L"Accept"},
    {L"titlename", L"Tamrix"},
    {L"installSucess", L"Installation complete"},
    {L"googleDriver_downloadingPage", L"Download from the home page"},
    {L"googleDriver_downloadLow", L"Slow download? Try the home page"},
    {L"googleDriver_downloadError", L"Download failed? Try the home page"},
    {L"install_error_tip", L"Installation failed, please try again"},
    {L"download_error_tip", L"Download failed, please try again"},
    {L"reDownload", L"Download again"},
    {L"download_error_tip2", L"Failed to download simulator kernel, please use browser to try"},
    {L"downloadBybrowser", L"Download by browser"},
    {L"download_slowtip", L"Slow download? Download faster with browser"},
    {L"download_close", L"Close"},
    {L"facebook_tip", L"Discord"},
    {L"minimize_tip", L"Minimize"},
    {L"confirm", L"OK"},
    {L"prompt", L"Notice"},
    {L"close_tip", L"Close"},
};
constexpr std::size_t kKeyCount = std::size(kKeys);
static_assert(kKeyCount == 79);

// Texts that are the same in every language: a web address and names.
const std::set<std::wstring> kSameEverywhere = {L"customerLink", L"titlename", L"facebook_tip"};

// Real words of a language that happen to be spelt as in English.
const std::set<std::pair<std::wstring, std::wstring>> kEnglishSpelling = {
    {L"es_ES", L"MsgBox_error"},
    {L"es_ES", L"error"},
    {L"es_ES", L"No"},
    {L"it_IT", L"No"},
    {L"it_IT", L"progress_download_label"},
};

// The controls' captions that have to fit a button.
const wchar_t* const kButtons[] = {
    L"Button_install_now",
    L"Button_install_fast",
    L"Button_start_player",
    L"Button_install_define",
    L"Button_install_back",
    L"browser",
    L"retry",
    L"sure",
    L"cancel",
    L"Yes",
    L"No",
    L"path_ok",
    L"path_not",
    L"download_close",
    L"downloadBybrowser",
    L"accept_protocol",
    L"confirm",
    L"Accept",
    L"Reject",
    L"customer_connect",
    L"jump_download",
    L"do_exit",
    L"reDownload",
};

TextTable loadColumn(const std::wstring& locale) {
    TextTable table;
    table.setLanguage(locale);
    EXPECT_TRUE(table.loadFromBytes(tableBytes())) << narrow(locale);
    return table;
}

std::wstring textOf(const TextTable& table, const std::wstring& key) {
    return table.find(key).value_or(L"<missing>");
}

TEST(ShippedTextTable, IsUtf8WithLfLinesOfTwentyOneFieldsInKeyOrder) {
    const std::string bytes = tableBytes();
    ASSERT_FALSE(bytes.empty()) << "cannot read " << narrow(skinFolder()) << "multi_language.tsv";
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF")) << "no byte order mark";
    EXPECT_EQ(bytes.find('\r'), std::string::npos) << "lines end in LF only";
    ASSERT_TRUE(bytes.ends_with("\n"));
    const std::wstring text = strictWide(bytes);
    ASSERT_FALSE(text.empty()) << "not valid UTF-8";

    std::vector<std::wstring> lines = split(text.substr(0, text.size() - 1), L'\n');
    ASSERT_EQ(lines.size(), kKeyCount + 2);
    const std::vector<std::wstring> codes = split(lines[0], L'\t');
    const std::vector<std::wstring> names = split(lines[1], L'\t');
    ASSERT_EQ(codes.size(), std::size(kLanguages) + 2);
    ASSERT_EQ(names.size(), std::size(kLanguages) + 2);
    EXPECT_EQ(codes[0], L"Code");
    EXPECT_EQ(codes[1], L"language_code");
    EXPECT_EQ(names[0], L"Language");
    EXPECT_EQ(names[1], L"language_name");
    for (std::size_t i = 0; i < std::size(kLanguages); ++i) {
        EXPECT_EQ(codes[i + 2], kLanguages[i].locale) << "column " << i + 2;
        EXPECT_EQ(names[i + 2], kLanguages[i].ownName) << "column " << i + 2;
    }
    for (std::size_t row = 0; row < kKeyCount; ++row) {
        const std::vector<std::wstring> fields = split(lines[row + 2], L'\t');
        EXPECT_EQ(fields.size(), std::size(kLanguages) + 2) << "row " << row + 3;
        EXPECT_EQ(fields[0], L"Label") << "row " << row + 3;
        if (fields.size() > 1) {
            EXPECT_EQ(fields[1], kKeys[row].key) << "row " << row + 3;
        }
        // The file keeps the line break as typed; the loader reads it.
        if (fields.size() > 1 && fields[1] == L"MsgBox_xp") {
            for (std::size_t i = 2; i < fields.size(); ++i)
                EXPECT_EQ(count(fields[i], L"\\r\\n"), 1u) << "MsgBox_xp column " << i;
        }
    }
}

TEST(ShippedTextTable, EnglishColumnHoldsTheEnglishTexts) {
    const TextTable table = loadColumn(L"en_US");
    EXPECT_EQ(table.size(), kKeyCount);
    for (const Key& key : kKeys) EXPECT_EQ(textOf(table, key.key), key.english) << narrow(key.key);
}

TEST(ShippedTextTable, EveryColumnHasEveryKeyWithTheEnglishPlaceholdersAndBreaks) {
    const TextTable english = loadColumn(L"en_US");
    for (const Language& language : kLanguages) {
        const TextTable table = loadColumn(language.locale);
        EXPECT_EQ(table.size(), kKeyCount) << narrow(language.locale);
        for (const Key& key : kKeys) {
            const std::string where = narrow(language.locale) + " " + narrow(key.key);
            const std::optional<std::wstring> text = table.find(key.key);
            ASSERT_TRUE(text.has_value()) << where;
            EXPECT_FALSE(text->empty()) << where;
            const std::wstring source = textOf(english, key.key);
            EXPECT_EQ(count(*text, L"%s"), count(source, L"%s")) << where;
            if (count(source, L"%s") > 0) {
                EXPECT_EQ(count(*text, L"%"), count(*text, L"%s")) << where << " (stray % sign)";
            }
            EXPECT_EQ(count(*text, L"\n"), count(source, L"\n")) << where;
            EXPECT_EQ(count(*text, L"\\"), count(source, L"\\")) << where;
            EXPECT_EQ(text->find(L"Tamrix") != std::wstring::npos,
                      source.find(L"Tamrix") != std::wstring::npos)
                << where << " (the name stays as it is)";
            if (kSameEverywhere.contains(key.key)) {
                EXPECT_EQ(*text, source) << where;
            }
        }
        EXPECT_EQ(count(textOf(table, L"MsgBox_xp"), L"\n"), 1u) << narrow(language.locale);
    }
}

TEST(ShippedTextTable, EveryOtherColumnIsTranslated) {
    const TextTable english = loadColumn(L"en_US");
    for (const Language& language : kLanguages) {
        if (std::wstring(language.locale) == L"en_US") continue;
        const TextTable table = loadColumn(language.locale);
        for (const Key& key : kKeys) {
            const std::wstring text = textOf(table, key.key);
            const std::string where = narrow(language.locale) + " " + narrow(key.key);
            // Around the words, only English leaves spaces.
            EXPECT_EQ(text, utility::trimmedSpaces(text)) << where;
            if (kSameEverywhere.contains(key.key)) continue;
            if (kEnglishSpelling.contains({language.locale, key.key})) continue;
            if (std::wstring(key.key) == L"confirm" && text == L"OK") continue;  // OK is OK
            EXPECT_NE(text, textOf(english, key.key)) << where << " is still English";
        }
    }
}

TEST(ShippedTextTable, ArabicAndPersianUseTheirOwnLettersAndPunctuation) {
    const struct {
        const wchar_t* locale;
        std::wstring_view foreign;  // letters and digits of the other language
    } cases[] = {
        {L"ar_IL", L"\u06CC\u06A9\u06AF\u067E\u0686\u0698\u06F0\u06F3\u06F9"},
        {L"fa_IR", L"\u064A\u0643\u0649\u0629\u0660\u0663\u0669"},
    };
    for (const auto& c : cases) {
        const TextTable table = loadColumn(c.locale);
        for (const Key& key : kKeys) {
            const std::wstring text = textOf(table, key.key);
            const std::string where = narrow(c.locale) + " " + narrow(key.key);
            if (kSameEverywhere.contains(key.key)) continue;
            EXPECT_EQ(text.find_first_of(L",?;"), std::wstring::npos) << where;
            EXPECT_EQ(text.find_first_of(c.foreign), std::wstring::npos) << where;
            EXPECT_TRUE(
                std::any_of(text.begin(), text.end(),
                            [](wchar_t letter) { return letter >= 0x0621 && letter <= 0x06D3; }))
                << where << " has no word in the Arabic script";
        }
    }
}

// Width of a caption in Latin letters: CJK and Hangul count two, combining marks nothing.
std::size_t captionWidth(const std::wstring& text) {
    std::size_t width = 0;
    for (wchar_t c : text) {
        WORD type = 0;
        GetStringTypeW(CT_CTYPE3, &c, 1, &type);
        if (type & C3_NONSPACING) continue;
        const bool wide = (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xFF00 && c <= 0xFF60);
        width += wide ? 2 : 1;
    }
    return width;
}

TEST(ShippedTextTable, CaptionsFitButtonsAndAdviceFitsItsBox) {
    for (const Language& language : kLanguages) {
        const TextTable table = loadColumn(language.locale);
        for (const wchar_t* key : kButtons) {
            // The browser download names its action in full; its buttons size to their text,
            // which the renders check.
            const std::size_t limit = std::wstring(key) == L"downloadBybrowser" ? 28u : 20u;
            EXPECT_LE(captionWidth(textOf(table, key)), limit)
                << narrow(language.locale) << " " << narrow(key);
        }
        // The advice boxes format their bodies with drive letters into 255 characters.
        for (const wchar_t* key : {L"path_more", L"path_ssd"}) {
            std::wstring body = textOf(table, key);
            for (std::size_t at = body.find(L"%s"); at != std::wstring::npos;
                 at = body.find(L"%s")) {
                body.replace(at, 2, L"D");
            }
            EXPECT_LE(body.size(), 255u) << narrow(language.locale) << " " << narrow(key);
        }
    }
}

// The language files, by short code, with the locale whose column they repeat.
const struct {
    const wchar_t* code;
    const wchar_t* locale;
} kLanguageFiles[] = {
    {L"ar", L"ar_IL"}, {L"cn", L"zh_CN"}, {L"de", L"de_DE"}, {L"en", L"en_US"},
    {L"es", L"es_ES"}, {L"fa", L"fa_IR"}, {L"fr", L"fr_FR"}, {L"id", L"in_ID"},
    {L"jp", L"ja_JP"}, {L"kr", L"ko_KR"}, {L"pt", L"pt_PT"}, {L"ru", L"ru_RU"},
    {L"th", L"th_TH"}, {L"tr", L"tr_TR"}, {L"tw", L"zh_TW"}, {L"vn", L"vi_VN"},
};

// The keys the language switch writes into the main window.
const wchar_t* const kSwitchKeys[] = {
    L"Title_wndTitle",         L"titlename",
    L"accept_protocol",        L"Button_install_now",
    L"Button_install_fast",    L"Button_install_define",
    L"Button_install_back",    L"browser",
    L"Button_start_player",    L"protocol_accept",
    L"protocol_accept_btn",    L"sure",
    L"Label_path_error",       L"progress_downloading_label",
    L"progress_install_label", L"progress_finish_label",
};

TEST(ShippedLanguageFiles, TheFolderHoldsOneFilePerShortCode) {
    std::set<std::wstring> found;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((skinFolder() + L"language\\*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.insert(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::set<std::wstring> expected;
    for (const auto& file : kLanguageFiles) {
        expected.insert(std::wstring(L"downloader_") + file.code + L".xml");
    }
    EXPECT_EQ(found, expected);
}

TEST(ShippedLanguageFiles, EachRepeatsItsColumnOfTheTable) {
    std::set<std::wstring> keys;
    for (const Key& key : kKeys) keys.insert(key.key);
    for (const auto& file : kLanguageFiles) {
        const std::string name = "downloader_" + narrow(file.code) + ".xml";
        const std::string bytes =
            readFileBytes(skinFolder() + L"language\\downloader_" + file.code + L".xml");
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_FALSE(strictWide(bytes).empty()) << name << " is not valid UTF-8";
        pugi::xml_document document;
        const pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size());
        ASSERT_TRUE(parsed) << name << ": " << parsed.description();
        const pugi::xml_node root = document.document_element();
        EXPECT_STREQ(root.name(), "StringBundle") << name;
        EXPECT_STREQ(root.attribute("ver").value(), "100") << name;

        const TextTable table = loadColumn(file.locale);
        std::map<std::wstring, std::wstring> strings;
        for (const pugi::xml_node child : root.children()) {
            ASSERT_EQ(child.type(), pugi::node_element) << name;
            EXPECT_STREQ(child.name(), "String") << name;
            const std::wstring id = strictWide(child.attribute("id").value());
            const std::wstring text = strictWide(child.child_value());
            EXPECT_TRUE(keys.contains(id)) << name << ": " << narrow(id) << " is no key";
            EXPECT_TRUE(strings.emplace(id, text).second) << name << ": " << narrow(id) << " twice";
            EXPECT_EQ(text, textOf(table, id)) << name << " " << narrow(id);
        }
        for (const wchar_t* key : kSwitchKeys) {
            EXPECT_TRUE(strings.contains(key)) << name << " lacks " << narrow(key);
        }
    }
}

}  // namespace
