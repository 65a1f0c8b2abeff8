// Conversions between the text forms the installer juggles: wide (UTF-16) paths and window
// texts, UTF-8 service bodies and narrow strings in the system's ANSI code page.
#pragma once

#include <cstdint>
#include <string>

namespace utility {

// Converts count bytes (-1: up to and without the terminating zero) from the code page to a
// wide string. Empty for a null input, a count below -1, or when nothing converts.
std::wstring toWide(const char* text, int count, unsigned codePage);
// Converts count wide characters (-1: up to and without the terminating zero) to the code page.
// Empty for a null input, a count below -1, or when nothing converts.
std::string toNarrow(const wchar_t* text, int count, unsigned codePage);

std::wstring ansiToWide(const std::string& text);
std::wstring utf8ToWide(const std::string& text);
std::string wideToAnsi(const std::wstring& text);
std::string wideToUtf8(const std::wstring& text);
// ANSI code page text to UTF-8, by way of the wide form.
std::string ansiToUtf8(const std::string& text);

// Removes leading and trailing blanks (U+0020 only; tabs and line ends stay).
void trimSpaces(std::string& text);
// Lower-cases every character with the C library's mapping of the current locale.
void toLowerInPlace(std::wstring& text);
// The text without leading and trailing blanks (U+0020 only), and lower-cased, as copies.
std::wstring trimmedSpaces(const std::wstring& text);
std::wstring lowerCased(std::wstring text);

// Decimal text of the value.
std::string int64ToText(std::int64_t value);

}  // namespace utility
