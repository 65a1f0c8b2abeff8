#include "toolkit/attribute_values.h"

#include <array>
#include <climits>
#include <cstddef>

#include "toolkit/text_renderer.h"

namespace tk {
namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring_view trimmed(std::wstring_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

wchar_t lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
}

bool equalsNoCase(std::wstring_view text, std::wstring_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) return false;
    }
    return true;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    const wchar_t l = lower(c);
    if (l >= L'a' && l <= L'f') return l - L'a' + 10;
    return -1;
}

std::optional<Argb> parseHex(std::wstring_view digits) {
    Argb value = 0;
    for (const wchar_t c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<Argb>(digit);
    }
    return value;
}

// Exactly N comma-separated integers.
template <std::size_t N>
std::optional<std::array<int, N>> parseInts(std::wstring_view text) {
    std::array<int, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t comma = text.find(L',');
        if ((comma == std::wstring_view::npos) != (i == N - 1)) return std::nullopt;
        const std::optional<int> value = parseInt(text.substr(0, comma));
        if (!value) return std::nullopt;
        values[i] = *value;
        if (comma != std::wstring_view::npos) text.remove_prefix(comma + 1);
    }
    return values;
}

enum class Direction { kHorizontal, kVertical };
struct AlignWord {
    std::wstring_view word;
    Direction direction;
    unsigned bits;
};
constexpr AlignWord kAlignWords[] = {
    {L"left", Direction::kHorizontal, kAlignLeft},
    {L"center", Direction::kHorizontal, kAlignCenter},
    {L"right", Direction::kHorizontal, kAlignRight},
    {L"top", Direction::kVertical, kAlignTop},
    {L"vcenter", Direction::kVertical, kAlignVCenter},
    {L"bottom", Direction::kVertical, kAlignBottom},
};
constexpr unsigned kHorizontalBits = kAlignCenter | kAlignRight;
constexpr unsigned kVerticalBits = kAlignVCenter | kAlignBottom;

const AlignWord* findAlignWord(std::wstring_view text) {
    for (const AlignWord& word : kAlignWords) {
        if (equalsNoCase(text, word.word)) return &word;
    }
    return nullptr;
}

}  // namespace

std::optional<Argb> parseColor(std::wstring_view text) {
    text = trimmed(text);
    if (text.size() >= 1 && text[0] == L'#') {
        text.remove_prefix(1);
        if (text.size() != 6 && text.size() != 8) return std::nullopt;
        const std::optional<Argb> value = parseHex(text);
        if (!value) return std::nullopt;
        return text.size() == 6 ? (*value | 0xFF000000u) : *value;
    }
    if (text.size() >= 3 && text[0] == L'0' && lower(text[1]) == L'x' && text.size() <= 10) {
        return parseHex(text.substr(2));
    }
    return std::nullopt;
}

std::optional<bool> parseBool(std::wstring_view text) {
    text = trimmed(text);
    if (equalsNoCase(text, L"true")) return true;
    if (equalsNoCase(text, L"false")) return false;
    return std::nullopt;
}

std::optional<int> parseInt(std::wstring_view text) {
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<Rect> parseRect(std::wstring_view text) {
    const auto v = parseInts<4>(text);
    if (!v) return std::nullopt;
    return Rect{(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
}

std::optional<Insets> parseInsets(std::wstring_view text) {
    const auto v = parseInts<4>(text);
    if (!v) return std::nullopt;
    return Insets{(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
}

std::optional<Size> parseSize(std::wstring_view text) {
    const auto v = parseInts<2>(text);
    if (!v) return std::nullopt;
    return Size{(*v)[0], (*v)[1]};
}

std::optional<unsigned> parseHorizontalAlign(std::wstring_view text) {
    const AlignWord* word = findAlignWord(trimmed(text));
    if (!word || word->direction != Direction::kHorizontal) return std::nullopt;
    return word->bits;
}

std::optional<unsigned> parseVerticalAlign(std::wstring_view text) {
    text = trimmed(text);
    if (equalsNoCase(text, L"center")) return kAlignVCenter;
    const AlignWord* word = findAlignWord(text);
    if (!word || word->direction != Direction::kVertical) return std::nullopt;
    return word->bits;
}

std::optional<unsigned> parseTextAlign(std::wstring_view text, unsigned base) {
    unsigned align = base;
    bool any = false;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(L", \t\r\n");
        const std::wstring_view token = text.substr(0, end);
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
        if (token.empty()) continue;
        const AlignWord* word = findAlignWord(token);
        if (!word) return std::nullopt;
        const unsigned mask =
            word->direction == Direction::kHorizontal ? kHorizontalBits : kVerticalBits;
        align = (align & ~mask) | word->bits;
        any = true;
    }
    if (!any) return std::nullopt;
    return align;
}

}  // namespace tk
