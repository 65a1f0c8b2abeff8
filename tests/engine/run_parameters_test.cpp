// The run's identity as spelled by the executable's file name and the command line.
#include "engine/run_parameters.h"

#include <gtest/gtest.h>

namespace {

using run_parameters::exeBaseName;
using run_parameters::parseCommandLine;
using run_parameters::parseFileName;

TEST(ExeBaseName, CutsTheFolderAndOnlyTheLastDotOfTheName) {
    EXPECT_EQ(exeBaseName(L"C:\\Users\\a.b\\Down.loads\\tamrix9_en_1234_x.exe"),
              L"tamrix9_en_1234_x");
    EXPECT_EQ(exeBaseName(L"C:\\dir\\tamrix9_en_1.5_x.exe"), L"tamrix9_en_1.5_x");
    EXPECT_EQ(exeBaseName(L"C:\\dir\\noextension"), L"noextension");
    EXPECT_EQ(exeBaseName(L"C:/dir/setup.exe"), L"setup");
    EXPECT_EQ(exeBaseName(L"C:\\a/b\\c/setup.exe"), L"c/setup");
    // Without any separator nothing of the text is a file name.
    EXPECT_EQ(exeBaseName(L"setup.exe"), L"");
    EXPECT_EQ(exeBaseName(L""), L"");
}

struct NameCase {
    const wchar_t* baseName;
    bool used;
    const wchar_t* type;
    const wchar_t* language;
    const wchar_t* package;
    const wchar_t* openId;
    const wchar_t* googleId;
};

TEST(FileName, FieldsOfEveryShape) {
    const NameCase cases[] = {
        {L"tamrix9_en_1234_x", true, L"tamrix9", L"en", L"", L"1234", L""},
        {L"tamrix9_kr_2500_ab_cd_x", true, L"tamrix9", L"kr", L"", L"2500", L"ab_cd"},
        {L"tamrix64_ens_com.game.pkg_777_g1_x", true, L"tamrix64", L"ens", L"com.game.pkg", L"777",
         L"g1"},
        {L"tamrix9_en_com.game.pkg_777_x", true, L"tamrix9", L"en", L"com.game.pkg", L"777", L""},
        {L"tamrix9_en_com.game.pkg_777_g_1_x", true, L"tamrix9", L"en", L"com.game.pkg", L"777",
         L"g_1"},
        {L"setup", false, L"", L"", L"", L"", L""},
        {L"a_b_c", false, L"", L"", L"", L"", L""},
        {L"tamrix9_en__x", true, L"tamrix9", L"en", L"", L"", L""},
        // An empty third part counts as digits: the fourth part starts the Google id.
        {L"tamrix9_en__g_x", true, L"tamrix9", L"en", L"", L"", L"g"},
        // A trailing underscore makes an empty last part, which is never used.
        {L"tamrix9_en_12_gid_", true, L"tamrix9", L"en", L"", L"12", L"gid"},
        {L" tamrix9 _ en _ 12 _x", true, L"tamrix9", L"en", L"", L"12", L""},
        {L"TAMRIX4_en_1_x", true, L"TAMRIX4", L"en", L"", L"1", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "name " << testing::PrintToString(std::wstring(c.baseName)));
        const auto fields = parseFileName(c.baseName);
        EXPECT_EQ(fields.used, c.used);
        EXPECT_EQ(fields.type, c.type);
        EXPECT_EQ(fields.language, c.language);
        EXPECT_EQ(fields.package, c.package);
        EXPECT_EQ(fields.openId, c.openId);
        EXPECT_EQ(fields.googleId, c.googleId);
    }
}

TEST(CommandLine, EnclosingQuotesAreDroppedAndItemsSplitAtBars) {
    const auto items = parseCommandLine(L"\"name=My Game|package=com.x|apkurl=a.apk\"");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items.at(L"name"), L"My Game");
    EXPECT_EQ(items.at(L"package"), L"com.x");
    EXPECT_EQ(items.at(L"apkurl"), L"a.apk");
}

TEST(CommandLine, KeysAreTrimmedAndLowerCasedValuesSplitAtTheFirstEquals) {
    const auto items = parseCommandLine(L" NaMe = a=b | |noequals|=orphan|name2= x |NAME=last");
    EXPECT_EQ(items.size(), 2u);
    EXPECT_EQ(items.at(L"name"), L"last");
    EXPECT_EQ(items.at(L"name2"), L"x");
}

TEST(CommandLine, FiveCharactersOrFewerKeepTheirQuotes) {
    const auto items = parseCommandLine(L"\"a=b\"");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.at(L"\"a"), L"b\"");
    // Six characters: both quotes go, and only one of each.
    const auto six = parseCommandLine(L"\"\"a=bc\"");
    EXPECT_EQ(six.at(L"\"a"), L"bc");
}

TEST(CommandLine, NothingWithoutAnEqualsSign) {
    EXPECT_TRUE(parseCommandLine(L"").empty());
    EXPECT_TRUE(parseCommandLine(L"just some words").empty());
}

TEST(Numbers, LeadingDigitsAndDigitTest) {
    EXPECT_EQ(run_parameters::leadingNumber(L"2500"), 2500);
    EXPECT_EQ(run_parameters::leadingNumber(L"2001abc"), 2001);
    EXPECT_EQ(run_parameters::leadingNumber(L"abc"), 0);
    EXPECT_EQ(run_parameters::leadingNumber(L""), 0);
    EXPECT_GT(run_parameters::leadingNumber(L"99999999999999999999"), 2999);
    EXPECT_TRUE(run_parameters::isDigits(L""));
    EXPECT_TRUE(run_parameters::isDigits(L"0123"));
    EXPECT_FALSE(run_parameters::isDigits(L"12a"));
    EXPECT_FALSE(run_parameters::isDigits(L"com.x"));
}

}  // namespace
