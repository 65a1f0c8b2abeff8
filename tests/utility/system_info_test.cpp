// System information: version and architecture rules over given answers, the live answers of
// this system, and the GUID text form.
#include <windows.h>
#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "utility/system_info.h"

using namespace utility;

TEST(IsVistaOrLater, MajorVersionSixAndAboveCount) {
    EXPECT_FALSE(isVistaOrLaterVersion(0));  // neither version query answered
    EXPECT_FALSE(isVistaOrLaterVersion(5));  // XP and Server 2003
    EXPECT_TRUE(isVistaOrLaterVersion(6));
    EXPECT_TRUE(isVistaOrLaterVersion(10));
    // The running system answers with a real major version.
    EXPECT_GE(osMajorVersion(), 5u);
    EXPECT_EQ(isVistaOrLater(), osMajorVersion() > 5);
}

TEST(Is64BitSystem, OnlyX64AndItaniumCount) {
    EXPECT_TRUE(detail::is64BitArchitecture(9));    // x64
    EXPECT_TRUE(detail::is64BitArchitecture(6));    // Itanium
    EXPECT_FALSE(detail::is64BitArchitecture(0));   // x86
    EXPECT_FALSE(detail::is64BitArchitecture(5));   // ARM
    EXPECT_FALSE(detail::is64BitArchitecture(12));  // ARM64
    EXPECT_FALSE(detail::is64BitArchitecture(0xFFFF));
    // This program is a 64-bit x64 build, so the system under it is 64-bit.
    EXPECT_TRUE(is64BitSystem());
}

TEST(MakeGuidText, FormatsEachGroupWithItsCase) {
    const GUID guid{0x0A1B2C3D, 0xABCD, 0xEF01, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17}};
    EXPECT_EQ(detail::guidText(guid), L"0A1B2C3D_ABCD_ef01_A0B1_C2D3E4F50617");
    const GUID zero{};
    EXPECT_EQ(detail::guidText(zero), L"00000000_0000_0000_0000_000000000000");
    const GUID ones{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    EXPECT_EQ(detail::guidText(ones), L"FFFFFFFF_FFFF_ffff_FFFF_FFFFFFFFFFFF");
}

TEST(MakeGuidText, NewTextsHaveTheShapeAndDiffer) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 64; ++i) {
        const std::wstring text = makeGuidText();
        ASSERT_EQ(text.size(), 36u) << i;
        for (std::size_t at = 0; at < text.size(); ++at) {
            const wchar_t c = text[at];
            // Underscores at positions 9, 14, 19 and 24 counted from 1.
            if (at == 8 || at == 13 || at == 18 || at == 23) {
                EXPECT_EQ(c, L'_') << at;
            } else if (at > 13 && at < 18) {
                EXPECT_TRUE(std::iswxdigit(c) && !std::iswupper(c)) << at;  // third group
            } else {
                EXPECT_TRUE(std::iswxdigit(c) && !std::iswlower(c)) << at;
            }
        }
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 64u);
}

TEST(MakeGuidText, WorksOnThreadsWithoutCom) {
    std::vector<std::wstring> texts(4);
    std::vector<std::thread> threads;
    for (std::wstring& text : texts) threads.emplace_back([&text] { text = makeGuidText(); });
    for (std::thread& thread : threads) thread.join();
    for (const std::wstring& text : texts) EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(std::set<std::wstring>(texts.begin(), texts.end()).size(), texts.size());
}
