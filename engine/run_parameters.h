// The run's identity as the downloader's own file name and its command line spell it: edition
// type, language, channel package, open id, advertising (Google) id, and a game to install.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace run_parameters {

// Base name of the executable path: the text after the last backslash (or, without one, after
// the last forward slash; empty with neither), cut before its last dot.
std::wstring exeBaseName(const std::wstring& path);

// Splits at every separator, keeping empty parts, and trims U+0020 at both ends of each part.
std::vector<std::wstring> splitTrimmed(const std::wstring& text, wchar_t separator);

// What a file name of the form type_language_[package_]openid[_googleid...]_x carries.
struct FileNameFields {
    bool used = false;  // false with fewer than four parts: nothing of the name counts
    std::wstring type;
    std::wstring language;
    std::wstring package;
    std::wstring openId;
    std::wstring googleId;
};

FileNameFields parseFileName(const std::wstring& baseName);

// The key=value items of a command line "k=v|k=v", keys trimmed and lower-cased, values
// trimmed; a later key replaces an earlier one. A line of more than five characters loses one
// enclosing double quote at each end.
std::map<std::wstring, std::wstring> parseCommandLine(const std::wstring& commandLine);

// True for a text of decimal digits only (the empty text included).
bool isDigits(const std::wstring& text);

// The leading decimal digits of the text as a number; 0 when there are none.
long leadingNumber(const std::wstring& text);

// A valid Android package name: segments of ASCII letters, digits and "_" between dots, each
// segment starting with a letter. Such a name is one word on a command line and nothing else.
bool isAndroidPackageName(const std::wstring& name);
// A screen resolution "<width>x<height>" in decimal digits.
bool isResolution(const std::wstring& text);

}  // namespace run_parameters
