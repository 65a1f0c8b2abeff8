#include "toolkit/image_string.h"

#include <cwctype>

#include "toolkit/attribute_values.h"

namespace tk {
namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}
bool isQuote(wchar_t c) {
    return c == L'\'' || c == L'"';
}
bool isNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

void skipBlanks(std::wstring_view& text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
}

std::wstring lowered(std::wstring_view text) {
    std::wstring result(text);
    for (wchar_t& c : result) c = static_cast<wchar_t>(std::towlower(c));
    return result;
}

// Reads a name of letters and then "=" before a quote; the rest follows the quote.
bool readNameAndQuote(std::wstring_view& text, std::wstring_view& name) {
    std::wstring_view rest = text;
    std::size_t length = 0;
    while (length < rest.size() && isNameChar(rest[length])) ++length;
    if (length == 0) return false;
    name = rest.substr(0, length);
    rest.remove_prefix(length);
    skipBlanks(rest);
    if (rest.empty() || rest.front() != L'=') return false;
    rest.remove_prefix(1);
    skipBlanks(rest);
    if (rest.empty() || !isQuote(rest.front())) return false;
    text = rest;
    return true;
}

// Reads `name = 'value'` from the front of the text. False when the text does not start so.
bool readAttribute(std::wstring_view& text, std::wstring_view& name, std::wstring_view& value) {
    std::wstring_view rest = text;
    if (!readNameAndQuote(rest, name)) return false;
    const wchar_t quote = rest.front();
    rest.remove_prefix(1);
    const std::size_t close = rest.find(quote);
    if (close == std::wstring_view::npos) return false;
    value = rest.substr(0, close);
    rest.remove_prefix(close + 1);
    text = rest;
    return true;
}

void apply(ImageRef& image, std::wstring_view name, std::wstring_view value) {
    const std::wstring key = lowered(name);
    if (key == L"file") {
        image.file = value;
    } else if (key == L"source") {
        image.source = parseRect(value);
    } else if (key == L"corner") {
        image.corner = parseInsets(value).value_or(Insets{});
    } else if (key == L"mask") {
        image.mask = parseColor(value);
    } else if (key == L"dest") {
        image.dest = parseRect(value);
    }
}

std::optional<ImageRef> parseAttributes(std::wstring_view text) {
    ImageRef image;
    while (!text.empty()) {
        std::wstring_view name;
        std::wstring_view value;
        if (!readAttribute(text, name, value)) return std::nullopt;
        apply(image, name, value);
        skipBlanks(text);
    }
    if (image.file.empty()) return std::nullopt;
    return image;
}

Rect doubled(const Rect& r) {
    return {r.left * 2, r.top * 2, r.right * 2, r.bottom * 2};
}
Insets doubled(const Insets& i) {
    return {i.left * 2, i.top * 2, i.right * 2, i.bottom * 2};
}

}  // namespace

std::optional<ImageRef> parseImageString(std::wstring_view text) {
    skipBlanks(text);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::wstring_view probe = text;
    std::wstring_view name;
    if (readNameAndQuote(probe, name)) return parseAttributes(text);
    return ImageRef{std::wstring(text), std::nullopt, Insets{}, std::nullopt, std::nullopt};
}

std::wstring enlargedImageName(std::wstring_view file) {
    if (file.empty() || (file.size() >= 2 && file[1] == L':')) return {};
    const std::size_t separator = file.find_first_of(L"/\\");
    if (separator == std::wstring_view::npos) return L"Enalarge/" + std::wstring(file);
    std::wstring name(file.substr(0, separator));
    name += L"Enalarge";
    name += file.substr(separator);
    return name;
}

std::optional<ImageRef> enlargedImage(const ImageRef& image) {
    std::wstring file = enlargedImageName(image.file);
    if (file.empty()) return std::nullopt;
    ImageRef enlarged = image;
    enlarged.file = std::move(file);
    if (enlarged.source) enlarged.source = doubled(*enlarged.source);
    enlarged.corner = doubled(enlarged.corner);
    return enlarged;
}

}  // namespace tk
