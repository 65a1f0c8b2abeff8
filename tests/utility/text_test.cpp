// Text conversions between wide, UTF-8 and ANSI forms, and the small text helpers.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "utility/text.h"

using namespace utility;

TEST(ToWide, CountsSelectHowMuchConverts) {
    const char* text = "setup\xE2\x82\xAC.exe";  // "setup€.exe" in UTF-8
    EXPECT_EQ(toWide(text, -1, CP_UTF8), L"setup\u20AC.exe");
    EXPECT_EQ(toWide(text, 5, CP_UTF8), L"setup");
    EXPECT_EQ(toWide(text, 8, CP_UTF8), L"setup\u20AC");
    // An explicit count takes embedded zeros along; -1 stops before the terminator.
    EXPECT_EQ(toWide("a\0b", 3, CP_UTF8), std::wstring(L"a\0b", 3));
    EXPECT_EQ(toWide("a\0b", -1, CP_UTF8), L"a");
}

TEST(ToWide, MissingOrInvalidInputGivesEmpty) {
    EXPECT_EQ(toWide(nullptr, -1, CP_UTF8), L"");
    EXPECT_EQ(toWide("abc", -2, CP_UTF8), L"");
    EXPECT_EQ(toWide("abc", 0, CP_UTF8), L"");
    EXPECT_EQ(toWide("", -1, CP_UTF8), L"");
    EXPECT_EQ(toWide("abc", 3, 0xFFFF), L"");  // no such code page: nothing converts
}

TEST(ToNarrow, CountsAndFailuresMirrorToWide) {
    EXPECT_EQ(toNarrow(L"\u00e9t\u00e9", -1, CP_UTF8), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(toNarrow(L"\u00e9t\u00e9", 1, CP_UTF8), "\xC3\xA9");
    EXPECT_EQ(toNarrow(std::wstring(L"a\0b", 3).c_str(), 3, CP_UTF8), std::string("a\0b", 3));
    EXPECT_EQ(toNarrow(nullptr, -1, CP_UTF8), "");
    EXPECT_EQ(toNarrow(L"abc", -5, CP_UTF8), "");
    EXPECT_EQ(toNarrow(L"abc", 0, CP_UTF8), "");
    EXPECT_EQ(toNarrow(L"abc", 3, 0xFFFF), "");
}

TEST(StringConversions, RoundTripsKeepTheWholeString) {
    const std::string utf8("\xE4\xB8\xAD\0x", 5);  // a CJK letter, a zero, "x"
    EXPECT_EQ(utf8ToWide(utf8), std::wstring(L"\u4E2D\0x", 3));
    EXPECT_EQ(wideToUtf8(utf8ToWide(utf8)), utf8);
    EXPECT_EQ(ansiToWide("C:\\Program Files"), L"C:\\Program Files");
    EXPECT_EQ(wideToAnsi(L"C:\\Program Files"), "C:\\Program Files");
    EXPECT_EQ(utf8ToWide(""), L"");
    EXPECT_EQ(wideToAnsi(L""), "");
}

TEST(AnsiToUtf8, ConvertsThroughTheSystemCodePage) {
    EXPECT_EQ(ansiToUtf8("plain ascii"), "plain ascii");
    EXPECT_EQ(ansiToUtf8(""), "");
    if (GetACP() != 1252) GTEST_SKIP() << "the accented-letter case assumes ANSI code page 1252";
    EXPECT_EQ(ansiToUtf8("caf\xE9"), "caf\xC3\xA9");
}

TEST(TrimSpaces, RemovesOnlyOuterBlanks) {
    struct Case {
        std::string in, out;
    };
    for (const Case& c : {Case{"  a b  ", "a b"}, Case{"abc", "abc"}, Case{"    ", ""},
                          Case{"", ""}, Case{"\tx\t", "\tx\t"}, Case{" \r\nx\r\n ", "\r\nx\r\n"},
                          Case{"x ", "x"}, Case{" x", "x"}}) {
        std::string text = c.in;
        trimSpaces(text);
        EXPECT_EQ(text, c.out) << "input [" << c.in << "]";
    }
}

TEST(ToLowerInPlace, LowersAsciiLettersOnlyChangingLetters) {
    std::wstring text = L"GXPlayer.EXE [A-Z] 0123 _@";
    toLowerInPlace(text);
    EXPECT_EQ(text, L"gxplayer.exe [a-z] 0123 _@");
    std::wstring empty;
    toLowerInPlace(empty);
    EXPECT_EQ(empty, L"");
}

TEST(Int64ToText, WritesTheFullRange) {
    EXPECT_EQ(int64ToText(0), "0");
    EXPECT_EQ(int64ToText(-1), "-1");
    EXPECT_EQ(int64ToText(4294967296LL), "4294967296");  // beyond 32 bits
    EXPECT_EQ(int64ToText(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(int64ToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}
