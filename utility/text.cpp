#include "utility/text.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>

namespace utility {
namespace {

// A count of -1 makes the converters include the terminator in their result; drop it.
template <typename Text>
void dropTerminator(Text& text, int count) {
    if (count == -1 && !text.empty() && text.back() == 0) text.pop_back();
}

}  // namespace

std::wstring toWide(const char* text, int count, unsigned codePage) {
    if (text == nullptr || count < -1 || count == 0) return {};
    const int needed = MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, 0, text, count, result.data(), needed) != needed) return {};
    dropTerminator(result, count);
    return result;
}

std::string toNarrow(const wchar_t* text, int count, unsigned codePage) {
    if (text == nullptr || count < -1 || count == 0) return {};
    const int needed = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string result(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(codePage, 0, text, count, result.data(), needed, nullptr, nullptr) !=
        needed) {
        return {};
    }
    dropTerminator(result, count);
    return result;
}

std::wstring ansiToWide(const std::string& text) {
    return toWide(text.data(), static_cast<int>(text.size()), CP_ACP);
}

std::wstring utf8ToWide(const std::string& text) {
    return toWide(text.data(), static_cast<int>(text.size()), CP_UTF8);
}

std::string wideToAnsi(const std::wstring& text) {
    return toNarrow(text.data(), static_cast<int>(text.size()), CP_ACP);
}

std::string wideToUtf8(const std::wstring& text) {
    return toNarrow(text.data(), static_cast<int>(text.size()), CP_UTF8);
}

std::string ansiToUtf8(const std::string& text) {
    const std::wstring wide = ansiToWide(text);
    if (wide.empty()) return {};
    return wideToUtf8(wide);
}

void trimSpaces(std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
}

void toLowerInPlace(std::wstring& text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
}

std::wstring trimmedSpaces(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::wstring lowerCased(std::wstring text) {
    toLowerInPlace(text);
    return text;
}

std::string int64ToText(std::int64_t value) {
    char buffer[64] = {};
    std::snprintf(buffer, sizeof(buffer), "%lld", static_cast<long long>(value));
    return buffer;
}

}  // namespace utility
