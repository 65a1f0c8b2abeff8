#include "toolkit/markup.h"

#include "toolkit/attribute_values.h"

namespace tk {
namespace {

enum class TagName { Underline, Colour };

struct OpenTag {
    TagName name;
    std::optional<Argb> colour;
};

struct Tag {
    enum Kind { Open, Close, Break } kind = Open;
    TagName name = TagName::Underline;
    std::optional<Argb> colour;
    std::size_t length = 0;  // characters from "<" to ">" inclusive
};

std::wstring_view trimmed(std::wstring_view s) {
    while (!s.empty() && s.front() == L' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == L' ') s.remove_suffix(1);
    return s;
}

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Tag names are ASCII; lower is the lower-case form.
bool sameName(std::wstring_view name, std::wstring_view lower) {
    if (name.size() != lower.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((name[i] | 0x20) != lower[i]) return false;
    }
    return true;
}

// Reads the tag at the start of s (which begins with "<"); nothing when it is not one of ours.
std::optional<Tag> readTag(std::wstring_view s) {
    const std::size_t end = s.find_first_of(L"<>", 1);
    if (end == std::wstring_view::npos || s[end] != L'>') return std::nullopt;
    std::wstring_view inner = s.substr(1, end - 1);
    Tag tag;
    tag.length = end + 1;
    const bool closing = !inner.empty() && inner.front() == L'/';
    if (closing) inner.remove_prefix(1);
    std::size_t nameLength = 0;
    while (nameLength < inner.size() && isAsciiLetter(inner[nameLength])) ++nameLength;
    const std::wstring_view name = inner.substr(0, nameLength);
    const std::wstring_view rest = trimmed(inner.substr(nameLength));
    if (nameLength == 0) return std::nullopt;
    const bool underline = sameName(name, L"u");
    const bool colour = sameName(name, L"c");
    if (closing) {
        if (!rest.empty() || !(underline || colour)) return std::nullopt;
        tag.kind = Tag::Close;
        tag.name = underline ? TagName::Underline : TagName::Colour;
        return tag;
    }
    if (sameName(name, L"br")) {
        if (!rest.empty() && rest != L"/") return std::nullopt;
        tag.kind = Tag::Break;
        return tag;
    }
    if (!(underline || colour)) return std::nullopt;
    tag.name = underline ? TagName::Underline : TagName::Colour;
    if (!rest.empty()) {
        tag.colour = parseColor(rest);
        if (!tag.colour) return std::nullopt;
    } else if (colour) {
        return std::nullopt;  // a colour tag without a colour means nothing
    }
    return tag;
}

RunStyle styleOf(const std::vector<OpenTag>& open) {
    RunStyle style;
    for (const OpenTag& tag : open) {
        if (tag.name == TagName::Underline) {
            style.underline = true;
            style.underlineColour = tag.colour;
        } else {
            style.colour = tag.colour;
        }
    }
    return style;
}

// Collects text into runs, merging text of equal style; "\r\n" and a lone "\r" become "\n".
class RunBuilder {
public:
    void setStyle(const RunStyle& style) { style_ = style; }
    void add(wchar_t c) {
        const bool secondHalf = c == L'\n' && afterCarriageReturn_;
        afterCarriageReturn_ = c == L'\r';
        if (secondHalf) return;
        append(c == L'\r' ? L'\n' : c);
    }
    void addBreak() {
        afterCarriageReturn_ = false;
        append(L'\n');
    }
    std::vector<TextRun> take() { return std::move(runs_); }

private:
    void append(wchar_t c) {
        if (runs_.empty() || runs_.back().style != style_) runs_.push_back({{}, style_});
        runs_.back().text.push_back(c);
    }
    std::vector<TextRun> runs_;
    RunStyle style_;
    bool afterCarriageReturn_ = false;
};

void closeTag(std::vector<OpenTag>& open, TagName name) {
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        if (it->name == name) {
            open.erase(std::next(it).base());
            return;
        }
    }
}

}  // namespace

std::vector<TextRun> parseMarkup(std::wstring_view markup) {
    RunBuilder builder;
    std::vector<OpenTag> open;
    std::size_t i = 0;
    while (i < markup.size()) {
        const wchar_t c = markup[i];
        std::optional<Tag> tag;
        if (c == L'<') tag = readTag(markup.substr(i));
        if (!tag) {
            builder.add(c);
            ++i;
            continue;
        }
        i += tag->length;
        if (tag->kind == Tag::Break) {
            builder.addBreak();
            continue;
        }
        if (tag->kind == Tag::Open) {
            open.push_back({tag->name, tag->colour});
        } else {
            closeTag(open, tag->name);
        }
        builder.setStyle(styleOf(open));
    }
    return builder.take();
}

std::vector<TextRun> plainRuns(std::wstring_view text) {
    RunBuilder builder;
    for (wchar_t c : text) builder.add(c);
    return builder.take();
}

std::wstring plainText(std::wstring_view markup) {
    std::wstring text;
    for (const TextRun& run : parseMarkup(markup)) text += run.text;
    return text;
}

}  // namespace tk
