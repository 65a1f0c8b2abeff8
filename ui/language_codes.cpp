#include "ui/language_codes.h"

#include <algorithm>
#include <array>

#include "app/config_imp.h"

namespace helper {
namespace {

struct CodePair {
    std::wstring_view shortCode;
    std::wstring_view locale;
};

constexpr std::array<CodePair, 20> kCodePairs{{
    {L"tw", L"zh_TW"}, {L"kr", L"ko_KR"}, {L"vn", L"vi_VN"}, {L"th", L"th_TH"}, {L"ru", L"ru_RU"},
    {L"pt", L"pt_PT"}, {L"tr", L"tr_TR"}, {L"es", L"es_ES"}, {L"ar", L"ar_IL"}, {L"jp", L"ja_JP"},
    {L"fa", L"fa_IR"}, {L"in", L"hi_IN"}, {L"de", L"de_DE"}, {L"fr", L"fr_FR"}, {L"id", L"in_ID"},
    {L"cn", L"zh_CN"}, {L"it", L"it_IT"}, {L"en", L"en_US"}, {L"my", L"ms_MY"}, {L"ua", L"uk_UA"},
}};

struct UiLanguageLocale {
    WORD primaryLanguage;
    std::wstring_view locale;
};

constexpr std::array<UiLanguageLocale, 19> kUiLanguageLocales{{
    {LANG_CHINESE, L"zh_TW"},    {LANG_KOREAN, L"ko_KR"},     {LANG_ENGLISH, L"en_US"},
    {LANG_VIETNAMESE, L"vi_VN"}, {LANG_THAI, L"th_TH"},       {LANG_RUSSIAN, L"ru_RU"},
    {LANG_UKRAINIAN, L"uk_UA"},  {LANG_PORTUGUESE, L"pt_PT"}, {LANG_TURKISH, L"tr_TR"},
    {LANG_SPANISH, L"es_ES"},    {LANG_FRENCH, L"fr_FR"},     {LANG_GERMAN, L"de_DE"},
    {LANG_JAPANESE, L"ja_JP"},   {LANG_INDONESIAN, L"in_ID"}, {LANG_ARABIC, L"ar_IL"},
    {LANG_PERSIAN, L"fa_IR"},    {LANG_HINDI, L"hi_IN"},      {LANG_ITALIAN, L"it_IT"},
    {LANG_MALAY, L"ms_MY"},
}};

struct DescriptorRow {
    std::wstring_view match;
    std::wstring_view shortCode;
    std::wstring_view locale;
    std::wstring_view fontFace;
    std::wstring_view fontFile;
};

constexpr std::wstring_view kNoto = L"Noto Sans";
constexpr std::wstring_view kNotoFile = L"NotoSans-Regular.otf";
constexpr std::wstring_view kRoboto = L"Roboto";
constexpr std::wstring_view kRobotoFile = L"Roboto-Regular.otf";

// "br" (Brazil) shares the Portuguese texts and font.
constexpr std::array<DescriptorRow, 13> kDescriptors{{
    {L"tw", L"tw", L"zh_TW", kNoto, kNotoFile},
    {L"kr", L"kr", L"ko_KR", kNoto, kNotoFile},
    {L"jp", L"jp", L"ja_JP", kNoto, kNotoFile},
    {L"vn", L"vn", L"vi_VN", kRoboto, kRobotoFile},
    {L"th", L"th", L"th_TH", L"Arial", L""},
    {L"pt", L"pt", L"pt_PT", kRoboto, kRobotoFile},
    {L"br", L"pt", L"pt_PT", kRoboto, kRobotoFile},
    {L"ru", L"ru", L"ru_RU", kRoboto, kRobotoFile},
    {L"es", L"es", L"es_ES", kRoboto, kRobotoFile},
    {L"ar", L"ar", L"ar_IL", kRoboto, kRobotoFile},
    {L"de", L"de", L"de_DE", kRoboto, kRobotoFile},
    {L"fr", L"fr", L"fr_FR", kRoboto, kRobotoFile},
    {L"id", L"id", L"in_ID", kRoboto, kRobotoFile},
}};

constexpr DescriptorRow kEnglish{L"en", L"en", L"en_US", kRoboto, kRobotoFile};

LanguageDescriptor toDescriptor(const DescriptorRow& row) {
    return {std::wstring(row.shortCode), std::wstring(row.locale), std::wstring(row.fontFace),
            std::wstring(row.fontFile)};
}

}  // namespace

std::wstring shortToLocale(std::wstring_view shortCode) {
    const auto it = std::ranges::find(kCodePairs, shortCode, &CodePair::shortCode);
    return std::wstring(it == kCodePairs.end() ? L"en_US" : it->locale);
}

std::wstring localeToShort(std::wstring_view locale) {
    const auto it = std::ranges::find(kCodePairs, locale, &CodePair::locale);
    return std::wstring(it == kCodePairs.end() ? L"en" : it->shortCode);
}

LanguageDescriptor descriptorOf(std::wstring_view shortCode) {
    const auto it = std::ranges::find(kDescriptors, shortCode, &DescriptorRow::match);
    return toDescriptor(it == kDescriptors.end() ? kEnglish : *it);
}

std::wstring localeOfUiLanguage(LANGID uiLanguage) {
    const WORD primary = PRIMARYLANGID(uiLanguage);
    const auto it =
        std::ranges::find(kUiLanguageLocales, primary, &UiLanguageLocale::primaryLanguage);
    return std::wstring(it == kUiLanguageLocales.end() ? L"en_US" : it->locale);
}

std::wstring systemLocale() {
    return localeOfUiLanguage(GetUserDefaultUILanguage());
}

LanguageResolution resolveLanguage(std::wstring_view languageField, LANGID systemUiLanguage,
                                   ConfigImp& config) {
    LanguageResolution result;
    if (!languageField.empty() && languageField.size() <= 3) {
        const bool englishConfig = languageField == L"ens";
        config.setLanguage(englishConfig ? L"en" : std::wstring(languageField));
        if (!englishConfig) result.shortCode = languageField;
    }
    if (!result.shortCode.empty()) {
        result.locale = shortToLocale(result.shortCode);
    } else {
        result.locale = localeOfUiLanguage(systemUiLanguage);
        result.shortCode = localeToShort(result.locale);
    }
    result.descriptor = descriptorOf(result.shortCode);
    return result;
}

LanguageResolution resolveRunLanguage(std::wstring_view languageField) {
    return resolveLanguage(languageField, GetUserDefaultUILanguage(), ConfigImp::instance());
}

}  // namespace helper
