#include "toolkit/font_fallback.h"

#include <windows.h>

#include <usp10.h>

#include <map>
#include <optional>
#include <unordered_map>

#include "toolkit/font_table.h"
#include "utility/text.h"

namespace tk {
namespace {

enum class Script { General, Arabic, Hebrew, Thai, Hangul, Kana, Han };

using FaceList = std::vector<const wchar_t*>;

// Windows faces first; under Wine they are present only where the prefix replaces them.
const FaceList& facesFor(Script script, HanForm han) {
    static const FaceList general{L"Segoe UI", L"Tahoma", L"Noto Sans", L"Roboto", L"DejaVu Sans"};
    static const FaceList arabic{L"Segoe UI", L"Tahoma", L"Noto Sans Arabic", L"Noto Naskh Arabic",
                                 L"DejaVu Sans"};
    static const FaceList hebrew{L"Segoe UI", L"Tahoma", L"Noto Sans Hebrew", L"DejaVu Sans"};
    static const FaceList thai{L"Leelawadee UI", L"Tahoma", L"Noto Sans Thai", L"Noto Serif Thai"};
    static const FaceList korean{L"Malgun Gothic", L"Noto Sans CJK KR", L"NanumGothic"};
    static const FaceList japanese{L"Yu Gothic UI", L"Meiryo UI", L"Noto Sans CJK JP"};
    static const FaceList simplified{L"Microsoft YaHei UI", L"Microsoft YaHei",
                                     L"Noto Sans CJK SC"};
    static const FaceList traditional{L"Microsoft JhengHei UI", L"Microsoft JhengHei",
                                      L"Noto Sans CJK TC"};
    switch (script) {
        case Script::Arabic:
            return arabic;
        case Script::Hebrew:
            return hebrew;
        case Script::Thai:
            return thai;
        case Script::Hangul:
            return korean;
        case Script::Kana:
            return japanese;
        case Script::Han:
            if (han == HanForm::Traditional) return traditional;
            if (han == HanForm::Japanese) return japanese;
            if (han == HanForm::Korean) return korean;
            return simplified;
        case Script::General:
            break;
    }
    return general;
}

// Broad faces tried after the script's own list, for symbols and stray characters.
const FaceList& lastResortFaces() {
    static const FaceList faces{L"Noto Sans",         L"DejaVu Sans",       L"Noto Sans CJK SC",
                                L"Noto Sans CJK TC",  L"Noto Sans CJK JP",  L"Noto Sans CJK KR",
                                L"Noto Sans Symbols", L"Noto Sans Symbols2"};
    return faces;
}

bool inRange(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

Script scriptOf(char32_t c) {
    if (inRange(c, 0x0590, 0x05FF) || inRange(c, 0xFB1D, 0xFB4F)) return Script::Hebrew;
    if (inRange(c, 0x0600, 0x06FF) || inRange(c, 0x0750, 0x077F) || inRange(c, 0x08A0, 0x08FF) ||
        inRange(c, 0xFB50, 0xFDFF) || inRange(c, 0xFE70, 0xFEFF)) {
        return Script::Arabic;
    }
    if (inRange(c, 0x0E00, 0x0E7F)) return Script::Thai;
    if (inRange(c, 0x1100, 0x11FF) || inRange(c, 0x3130, 0x318F) || inRange(c, 0xA960, 0xA97F) ||
        inRange(c, 0xAC00, 0xD7FF) || inRange(c, 0xFFA0, 0xFFDC)) {
        return Script::Hangul;
    }
    if (inRange(c, 0x3040, 0x30FF) || inRange(c, 0x31F0, 0x31FF) || inRange(c, 0xFF65, 0xFF9F)) {
        return Script::Kana;
    }
    if (inRange(c, 0x2E80, 0x2FDF) || inRange(c, 0x3000, 0x303F) || inRange(c, 0x3190, 0x31EF) ||
        inRange(c, 0x3200, 0x4DBF) || inRange(c, 0x4E00, 0x9FFF) || inRange(c, 0xF900, 0xFAFF) ||
        inRange(c, 0xFE30, 0xFE4F) || inRange(c, 0xFF00, 0xFF64) || inRange(c, 0xFFE0, 0xFFEF) ||
        inRange(c, 0x20000, 0x3FFFF)) {
        return Script::Han;
    }
    return Script::General;
}

// Characters that draw nothing: no face needs a glyph for them.
bool ignorable(char32_t c) {
    return c < 0x20 || inRange(c, 0x7F, 0x9F) || c == 0xAD || inRange(c, 0x200B, 0x200F) ||
           inRange(c, 0x202A, 0x202E) || inRange(c, 0x2060, 0x206F) || inRange(c, 0xFE00, 0xFE0F) ||
           c == 0xFEFF || inRange(c, 0xE0100, 0xE01EF);
}

bool highSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool lowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

HDC probeDC() {
    static MemoryDC dc;
    return dc.get();
}

// What GDI made of a face name, and which characters it has, learnt once per name.
class Face {
public:
    explicit Face(const std::wstring& name) {
        const LOGFONTW logFont = logFontFor(FontSpec{name, 32}, 96);
        font_ = UniqueFont(CreateFontIndirectW(&logFont));
        SelectedObject selected(probeDC(), font_.get());
        wchar_t actual[LF_FACESIZE] = {};
        GetTextFaceW(probeDC(), LF_FACESIZE, actual);
        resolved_ = actual;
        installed_ = CompareStringOrdinal(actual, -1, name.c_str(), -1, TRUE) == CSTR_EQUAL;
    }

    const std::wstring& resolved() const { return resolved_; }
    bool installed() const { return installed_; }

    ~Face() { ScriptFreeCache(&cache_); }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // One code point given as one or two UTF-16 units.
    bool hasGlyph(std::wstring_view units) {
        const char32_t key = units.size() == 2
                                 ? 0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00)
                                 : units[0];
        if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
        SelectedObject selected(probeDC(), font_.get());
        const bool present = units.size() == 2 ? mapsPair(units) : mapsUnit(units[0]);
        glyphs_.emplace(key, present);
        return present;
    }

private:
    bool mapsUnit(wchar_t unit) {
        WORD index = 0;
        return GetGlyphIndicesW(probeDC(), &unit, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
               index != 0xFFFF;
    }

    // GDI's character map is per UTF-16 unit; shaping reads the face's full map, where a
    // surrogate pair is one character. A face without it gives its default glyph.
    bool mapsPair(std::wstring_view pair) {
        SCRIPT_FONTPROPERTIES properties{};
        properties.cBytes = sizeof(properties);
        if (FAILED(ScriptGetFontProperties(probeDC(), &cache_, &properties))) return false;
        WORD glyphs[4] = {};
        WORD clusters[2] = {};
        SCRIPT_VISATTR visual[4] = {};
        SCRIPT_ANALYSIS analysis{};
        int count = 0;
        if (FAILED(ScriptShape(probeDC(), &cache_, pair.data(), 2, 4, &analysis, glyphs, clusters,
                               visual, &count)) ||
            count < 1)
            return false;
        for (int i = 0; i < count; ++i)
            if (glyphs[i] == properties.wgDefault) return false;
        return true;
    }

    UniqueFont font_;
    SCRIPT_CACHE cache_ = nullptr;
    std::wstring resolved_;
    bool installed_ = false;
    std::unordered_map<char32_t, bool> glyphs_;
};

Face& face(const std::wstring& name) {
    static std::map<std::wstring, Face> faces;
    std::wstring key = utility::lowerCased(name);
    auto it = faces.find(key);
    if (it == faces.end()) it = faces.try_emplace(std::move(key), name).first;
    return it->second;
}

// A base character with the marks and zero-width characters that follow it.
struct Cluster {
    int start = 0;
    int length = 0;
    char32_t base = 0;
    bool neutral = false;  // digits, punctuation, spaces, symbols: they join any script
};

char32_t codePointAt(std::wstring_view text, std::size_t i) {
    if (highSurrogate(text[i]) && i + 1 < text.size() && lowSurrogate(text[i + 1])) {
        return 0x10000 + ((text[i] - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    return text[i];
}

std::vector<Cluster> clustersOf(std::wstring_view text) {
    const int length = static_cast<int>(text.size());
    std::vector<WORD> type1(text.size()), type3(text.size());
    GetStringTypeW(CT_CTYPE1, text.data(), length, type1.data());
    GetStringTypeW(CT_CTYPE3, text.data(), length, type3.data());
    std::vector<Cluster> clusters;
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = codePointAt(text, i);
        const std::size_t units = c > 0xFFFF ? 2 : 1;
        const bool attaches = (type3[i] & C3_NONSPACING) != 0 || ignorable(c);
        if (attaches && !clusters.empty()) {
            clusters.back().length += static_cast<int>(units);
        } else {
            const bool letter = (type1[i] & C1_ALPHA) != 0 || c > 0xFFFF;
            clusters.push_back({static_cast<int>(i), static_cast<int>(units), c, !letter});
        }
        i += units;
    }
    return clusters;
}

bool covers(Face& f, std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = codePointAt(text, i);
        const std::size_t units = c > 0xFFFF ? 2 : 1;
        if (!ignorable(c) && !f.hasGlyph(text.substr(i, units))) return false;
        i += units;
    }
    return true;
}

HanForm hanFormOfText(std::wstring_view text, HanForm hint) {
    if (hint != HanForm::Unspecified) return hint;
    bool hangul = false;
    for (wchar_t c : text) {
        const Script script = scriptOf(c);
        if (script == Script::Kana) return HanForm::Japanese;
        hangul = hangul || script == Script::Hangul;
    }
    return hangul ? HanForm::Korean : HanForm::Simplified;
}

std::optional<std::wstring> firstCovering(const FaceList& names, std::wstring_view cluster) {
    for (const wchar_t* name : names) {
        Face& candidate = face(name);
        if (candidate.installed() && covers(candidate, cluster)) return candidate.resolved();
    }
    return std::nullopt;
}

// Builds the runs cluster by cluster, preferring the requested face and then continuity.
class RunSplitter {
public:
    RunSplitter(std::wstring_view text, const std::wstring& requested, HanForm han)
        : text_(text), requested_(face(requested)), han_(hanFormOfText(text, han)) {}

    std::vector<FaceRun> split() {
        for (const Cluster& cluster : clustersOf(text_)) add(cluster);
        return std::move(runs_);
    }

private:
    void add(const Cluster& cluster) {
        const std::wstring_view units = text_.substr(cluster.start, cluster.length);
        const Script script = scriptOf(cluster.base);
        const bool continues = !runs_.empty() && (cluster.neutral || runScript_ == script);
        if (continues && !runs_.back().missing && covers(face(runs_.back().face), units)) {
            runs_.back().length += cluster.length;
            return;
        }
        if (covers(requested_, units)) return append(cluster, requested_.resolved(), script, false);
        auto chosen = firstCovering(facesFor(script, han_), units);
        if (!chosen) chosen = firstCovering(lastResortFaces(), units);
        if (chosen) return append(cluster, *chosen, script, false);
        append(cluster, requested_.resolved(), script, true);
    }

    void append(const Cluster& cluster, const std::wstring& faceName, Script script, bool missing) {
        if (!runs_.empty() && runs_.back().face == faceName && runs_.back().missing == missing) {
            runs_.back().length += cluster.length;
        } else {
            runs_.push_back({cluster.start, cluster.length, faceName, missing});
            runScript_ = script;
        }
        if (!cluster.neutral) runScript_ = script;
    }

    std::wstring_view text_;
    Face& requested_;
    HanForm han_;
    std::vector<FaceRun> runs_;
    Script runScript_ = Script::General;
};

}  // namespace

HanForm hanFormForLocale(std::wstring_view locale) {
    const std::wstring lower = utility::lowerCased(std::wstring(locale));
    const std::wstring_view l = lower;
    if (l.starts_with(L"ja")) return HanForm::Japanese;
    if (l.starts_with(L"ko")) return HanForm::Korean;
    if (!l.starts_with(L"zh")) return HanForm::Unspecified;
    const std::wstring_view region = l.size() > 3 ? l.substr(3) : std::wstring_view{};
    if (region.starts_with(L"tw") || region.starts_with(L"hk") || region.starts_with(L"mo") ||
        region.starts_with(L"hant")) {
        return HanForm::Traditional;
    }
    return HanForm::Simplified;
}

bool isRightToLeftLocale(std::wstring_view locale) {
    const std::wstring lower = utility::lowerCased(std::wstring(locale.substr(0, 3)));
    const std::wstring_view language =
        std::wstring_view(lower).substr(0, lower.find_first_of(L"_-"));
    for (const wchar_t* rtl : {L"ar", L"fa", L"he", L"iw", L"ur", L"ps", L"yi", L"dv", L"ug"})
        if (language == rtl) return true;
    return false;
}

namespace {
std::wstring& languageStore() {
    static std::wstring language;
    return language;
}
}  // namespace

void setTextLanguage(std::wstring_view locale) {
    languageStore() = std::wstring(locale);
}
const std::wstring& textLanguage() {
    return languageStore();
}

std::vector<FaceRun> splitByFace(std::wstring_view text, const std::wstring& faceName,
                                 HanForm han) {
    if (text.empty()) return {};
    return RunSplitter(text, faceName, han).split();
}

std::wstring resolvedFace(const std::wstring& name) {
    return face(name).resolved();
}
bool faceInstalled(const std::wstring& name) {
    return face(name).installed();
}
bool faceHasGlyphs(const std::wstring& name, std::wstring_view text) {
    return covers(face(name), text);
}

}  // namespace tk
