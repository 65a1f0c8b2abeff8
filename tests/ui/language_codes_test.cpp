#include "ui/language_codes.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

#include "app/config_imp.h"

namespace helper {

// Readable failure output for descriptors.
void PrintTo(const LanguageDescriptor& d, std::ostream* os) {
    *os << ::testing::PrintToString(d.shortCode) << ", " << ::testing::PrintToString(d.locale)
        << ", " << ::testing::PrintToString(d.fontFace) << ", "
        << ::testing::PrintToString(d.fontFile);
}

}  // namespace helper

namespace {

using helper::LanguageDescriptor;

const std::pair<const wchar_t*, const wchar_t*> kShortAndLocale[] = {
    {L"tw", L"zh_TW"}, {L"kr", L"ko_KR"}, {L"vn", L"vi_VN"}, {L"th", L"th_TH"}, {L"ru", L"ru_RU"},
    {L"pt", L"pt_PT"}, {L"tr", L"tr_TR"}, {L"es", L"es_ES"}, {L"ar", L"ar_IL"}, {L"jp", L"ja_JP"},
    {L"fa", L"fa_IR"}, {L"in", L"hi_IN"}, {L"de", L"de_DE"}, {L"fr", L"fr_FR"}, {L"id", L"in_ID"},
    {L"cn", L"zh_CN"}, {L"it", L"it_IT"}, {L"en", L"en_US"}, {L"my", L"ms_MY"}, {L"ua", L"uk_UA"},
};

const LanguageDescriptor kEnglish{L"en", L"en_US", L"Roboto", L"Roboto-Regular.otf"};

LanguageDescriptor roboto(const wchar_t* code, const wchar_t* locale) {
    return {code, locale, L"Roboto", L"Roboto-Regular.otf"};
}

LanguageDescriptor noto(const wchar_t* code, const wchar_t* locale) {
    return {code, locale, L"Noto Sans", L"NotoSans-Regular.otf"};
}

TEST(LanguageCodesTest, ShortCodesAndLocalesMapBothWays) {
    for (const auto& [shortCode, locale] : kShortAndLocale) {
        EXPECT_EQ(helper::shortToLocale(shortCode), locale) << shortCode;
        EXPECT_EQ(helper::localeToShort(locale), shortCode) << locale;
    }
}

TEST(LanguageCodesTest, UnknownCodesFallBackToEnglish) {
    for (const wchar_t* code : {L"br", L"ens", L"", L"EN", L"TW", L"zh", L"tw "}) {
        EXPECT_EQ(helper::shortToLocale(code), L"en_US") << code;
    }
    for (const wchar_t* locale : {L"pt_BR", L"zh_HK", L"", L"EN_US", L"en-US", L"en_US "}) {
        EXPECT_EQ(helper::localeToShort(locale), L"en") << locale;
    }
}

TEST(LanguageCodesTest, DescriptorByShortCode) {
    const std::pair<const wchar_t*, LanguageDescriptor> cases[] = {
        {L"tw", noto(L"tw", L"zh_TW")},
        {L"kr", noto(L"kr", L"ko_KR")},
        {L"jp", noto(L"jp", L"ja_JP")},
        {L"vn", roboto(L"vn", L"vi_VN")},
        {L"th", {L"th", L"th_TH", L"Arial", L""}},
        {L"pt", roboto(L"pt", L"pt_PT")},
        {L"br", roboto(L"pt", L"pt_PT")},
        {L"ru", roboto(L"ru", L"ru_RU")},
        {L"es", roboto(L"es", L"es_ES")},
        {L"ar", roboto(L"ar", L"ar_IL")},
        {L"de", roboto(L"de", L"de_DE")},
        {L"fr", roboto(L"fr", L"fr_FR")},
        {L"id", roboto(L"id", L"in_ID")},
        // Languages without a descriptor of their own use the English one.
        {L"en", kEnglish},
        {L"cn", kEnglish},
        {L"in", kEnglish},
        {L"tr", kEnglish},
        {L"it", kEnglish},
        {L"my", kEnglish},
        {L"ua", kEnglish},
        {L"fa", kEnglish},
        {L"", kEnglish},
        {L"TW", kEnglish},
    };
    for (const auto& [code, descriptor] : cases) {
        EXPECT_EQ(helper::descriptorOf(code), descriptor) << code;
    }
}

TEST(LanguageCodesTest, SystemUiLanguageToLocale) {
    const std::pair<LANGID, const wchar_t*> cases[] = {
        // Every Chinese identifier gives Traditional Chinese.
        {0x0404, L"zh_TW"},
        {0x0C04, L"zh_TW"},
        {0x1404, L"zh_TW"},
        {0x7C04, L"zh_TW"},
        {0x0804, L"zh_TW"},
        {0x1004, L"zh_TW"},
        {0x0004, L"zh_TW"},
        {0x0412, L"ko_KR"},
        {0x0409, L"en_US"},
        {0x0809, L"en_US"},
        {0x042A, L"vi_VN"},
        {0x041E, L"th_TH"},
        {0x0419, L"ru_RU"},
        {0x0422, L"uk_UA"},
        {0x0816, L"pt_PT"},
        {0x0416, L"pt_PT"},
        {0x041F, L"tr_TR"},
        {0x0C0A, L"es_ES"},
        {0x080A, L"es_ES"},
        {0x040C, L"fr_FR"},
        {0x0407, L"de_DE"},
        {0x0411, L"ja_JP"},
        {0x0421, L"in_ID"},
        {0x0401, L"ar_IL"},
        {0x0C01, L"ar_IL"},
        {0x0429, L"fa_IR"},
        {0x0439, L"hi_IN"},
        {0x0410, L"it_IT"},
        {0x043E, L"ms_MY"},
        // Anything else is English.
        {0x0415, L"en_US"},
        {0x0413, L"en_US"},
        {0x0000, L"en_US"},
        {0x0400, L"en_US"},
    };
    for (const auto& [id, locale] : cases) {
        EXPECT_EQ(helper::localeOfUiLanguage(id), locale) << std::hex << id;
    }
}

struct ResolutionCase {
    const wchar_t* name;
    const wchar_t* field;
    LANGID system;
    const wchar_t* configLanguage;  // expected; the configuration starts at "en"
    const wchar_t* shortCode;
    const wchar_t* locale;
    LanguageDescriptor descriptor;
};

TEST(LanguageCodesTest, ResolutionFromNameFieldOrSystemLanguage) {
    const ResolutionCase cases[] = {
        {L"field kr", L"kr", 0x0407, L"kr", L"kr", L"ko_KR", noto(L"kr", L"ko_KR")},
        {L"ens on German", L"ens", 0x0407, L"en", L"de", L"de_DE", roboto(L"de", L"de_DE")},
        {L"none on Simplified Chinese", L"", 0x0804, L"en", L"tw", L"zh_TW", noto(L"tw", L"zh_TW")},
        {L"none on Hindi", L"", 0x0439, L"en", L"in", L"hi_IN", kEnglish},
        {L"field th", L"th", 0x0409, L"th", L"th", L"th_TH", {L"th", L"th_TH", L"Arial", L""}},
        {L"field br", L"br", 0x0412, L"br", L"br", L"en_US", roboto(L"pt", L"pt_PT")},
        {L"field cn", L"cn", 0x0409, L"cn", L"cn", L"zh_CN", kEnglish},
        {L"field in", L"in", 0x0412, L"in", L"in", L"hi_IN", kEnglish},
        {L"upper-case field", L"KR", 0x0412, L"KR", L"KR", L"en_US", kEnglish},
        {L"one character", L"x", 0x0412, L"x", L"x", L"en_US", kEnglish},
        {L"field too long", L"kore", 0x0412, L"en", L"kr", L"ko_KR", noto(L"kr", L"ko_KR")},
        {L"none on Polish", L"", 0x0415, L"en", L"en", L"en_US", kEnglish},
        {L"none on Ukrainian", L"", 0x0422, L"en", L"ua", L"uk_UA", kEnglish},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigImp config;
        const auto result = helper::resolveLanguage(c.field, c.system, config);
        EXPECT_EQ(config.getLanguage(), c.configLanguage);
        EXPECT_EQ(result.shortCode, c.shortCode);
        EXPECT_EQ(result.locale, c.locale);
        EXPECT_EQ(result.descriptor, c.descriptor);
    }
}

TEST(LanguageCodesTest, NoLanguageFieldKeepsTheConfigurationLanguage) {
    for (const wchar_t* field : {L"", L"kore"}) {
        ConfigImp config;
        config.setLanguage(L"fr");
        helper::resolveLanguage(field, 0x0411, config);
        EXPECT_EQ(config.getLanguage(), L"fr") << field;
    }
}

TEST(LanguageCodesTest, RunLanguageUsesThisMachineAndTheProcessConfiguration) {
    const auto fromSystem = helper::resolveRunLanguage(L"");
    EXPECT_EQ(fromSystem.locale, helper::systemLocale());
    EXPECT_EQ(fromSystem.shortCode, helper::localeToShort(fromSystem.locale));

    const auto fromName = helper::resolveRunLanguage(L"vn");
    EXPECT_EQ(ConfigImp::instance().getLanguage(), L"vn");
    EXPECT_EQ(fromName.locale, L"vi_VN");
    EXPECT_EQ(helper::systemLocale(), helper::localeOfUiLanguage(GetUserDefaultUILanguage()));
}

}  // namespace
