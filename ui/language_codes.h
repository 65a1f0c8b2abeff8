// Language codes of the user interface: the two-letter short codes ("en", "tw", "kr", and the
// special "ens"), the locale names ("en_US", "zh_TW") of the text table, the mappings between
// them, the font of each language, and how a run settles its language at start-up.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class ConfigImp;

namespace helper {

// What the windows need to know about the run's language, in this order.
struct LanguageDescriptor {
    std::wstring shortCode;
    std::wstring locale;
    std::wstring fontFace;
    std::wstring fontFile;  // empty: the face is a system font, nothing to register

    bool operator==(const LanguageDescriptor&) const = default;
};

// The run's language as settled at start-up.
struct LanguageResolution {
    std::wstring shortCode;  // the model's short code
    std::wstring locale;     // the model's locale name
    LanguageDescriptor descriptor;
};

// Short code to locale name; an unknown code gives "en_US".
std::wstring shortToLocale(std::wstring_view shortCode);
// Locale name to short code; an unknown locale gives "en".
std::wstring localeToShort(std::wstring_view locale);
// The descriptor of a short code; an unknown code gives the English one.
LanguageDescriptor descriptorOf(std::wstring_view shortCode);
// Locale name of a user-interface language identifier; every Chinese variant gives "zh_TW".
std::wstring localeOfUiLanguage(LANGID uiLanguage);
// Locale name of the user's default user-interface language on this machine.
std::wstring systemLocale();

// Settles the run's language from the executable name's language field (possibly empty) and
// the system's user-interface language. A field of 1 to 3 characters sets the configuration's
// language ("ens": English for the configuration, the system language for the texts).
LanguageResolution resolveLanguage(std::wstring_view languageField, LANGID systemUiLanguage,
                                   ConfigImp& config);
// The same with this machine's user-interface language and the process-wide configuration.
LanguageResolution resolveRunLanguage(std::wstring_view languageField);

}  // namespace helper
