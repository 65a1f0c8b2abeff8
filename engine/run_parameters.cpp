#include "engine/run_parameters.h"

#include <algorithm>

#include "utility/text.h"

namespace run_parameters {
namespace {

std::wstring joined(const std::vector<std::wstring>& parts, std::size_t from, std::size_t to) {
    std::wstring text;
    for (std::size_t i = from; i < to; ++i) {
        if (i != from) text += L'_';
        text += parts[i];
    }
    return text;
}

}  // namespace

std::wstring exeBaseName(const std::wstring& path) {
    auto slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return {};
    std::wstring name = path.substr(slash + 1);
    const auto dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

std::vector<std::wstring> splitTrimmed(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(utility::trimmedSpaces(text.substr(start, end - start)));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return parts;
}

FileNameFields parseFileName(const std::wstring& baseName) {
    FileNameFields fields;
    const auto parts = splitTrimmed(baseName, L'_');
    if (parts.size() < 4) return fields;
    fields.used = true;
    fields.type = parts[0];
    fields.language = parts[1];
    fields.openId = parts[2];
    if (parts.size() >= 5) {
        // The last part is never used: it keeps the name unique.
        const std::size_t last = parts.size() - 1;
        if (isDigits(parts[2])) {
            fields.googleId = joined(parts, 3, last);
        } else {
            fields.package = parts[2];
            fields.openId = parts[3];
            fields.googleId = joined(parts, 4, last);
        }
    }
    return fields;
}

std::map<std::wstring, std::wstring> parseCommandLine(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    if (line.size() > 5) {
        if (!line.empty() && line.front() == L'"') line.erase(0, 1);
        if (!line.empty() && line.back() == L'"') line.pop_back();
    }
    std::map<std::wstring, std::wstring> items;
    for (const auto& item : splitTrimmed(line, L'|')) {
        const auto equals = item.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key =
            utility::lowerCased(utility::trimmedSpaces(item.substr(0, equals)));
        if (key.empty()) continue;
        items[key] = utility::trimmedSpaces(item.substr(equals + 1));
    }
    return items;
}

bool isDigits(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

long leadingNumber(const std::wstring& text) {
    long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        if (value > 100000000L) break;  // far beyond any range the caller compares with
        value = value * 10 + (c - L'0');
    }
    return value;
}

namespace {

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool isAsciiDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

}  // namespace

bool isAndroidPackageName(const std::wstring& name) {
    bool segmentStart = true;
    for (const wchar_t c : name) {
        if (c == L'.') {
            if (segmentStart) return false;
            segmentStart = true;
        } else if (segmentStart) {
            if (!isAsciiLetter(c)) return false;
            segmentStart = false;
        } else if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != L'_') {
            return false;
        }
    }
    return !segmentStart;
}

bool isResolution(const std::wstring& text) {
    const auto x = text.find(L'x');
    if (x == std::wstring::npos || x == 0 || x + 1 == text.size()) return false;
    const auto digits = [](const std::wstring& part) {
        for (const wchar_t c : part)
            if (!isAsciiDigit(c)) return false;
        return true;
    };
    return digits(text.substr(0, x)) && digits(text.substr(x + 1));
}

}  // namespace run_parameters
