// Layout: the text becomes paragraphs (split at line breaks) of characters with a style each.
// A paragraph is itemised by Uniscribe (script and bidi level), cut further where the face
// fallback or the style changes, and each piece is shaped and placed with its own font. Lines
// are broken greedily at the break opportunities ScriptBreak gives, then each line is shaped
// again on its own and its pieces put in visual order with ScriptLayout.
// Drawing: per colour, the glyphs are drawn white on black into a scratch DIB with GDI and the
// result is blended into the canvas as a coverage mask; underlines are canvas lines.
#include "toolkit/text_renderer.h"

#include <windows.h>

#include <usp10.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

#include "toolkit/font_fallback.h"
#include "toolkit/font_table.h"
#include "toolkit/markup.h"
#include "utility/text.h"

namespace tk {
namespace {

constexpr wchar_t kEllipsis = L'\u2026';

// A font as the shaper uses it: GDI font, Uniscribe cache and the metrics lines need.
struct ShapingFont {
    UniqueFont font;
    SCRIPT_CACHE cache = nullptr;
    int ascent = 0;
    int descent = 0;
    int underlineOffset = 1;  // from the baseline down to the top of the underline
    int underlineThickness = 1;

    ShapingFont() = default;
    ShapingFont(const ShapingFont&) = delete;
    ShapingFont& operator=(const ShapingFont&) = delete;
    ~ShapingFont() { ScriptFreeCache(&cache); }
};

HDC shapingDC() {
    static MemoryDC dc;
    return dc.get();
}

void readMetrics(ShapingFont& f, int pixels) {
    SelectedObject selected(shapingDC(), f.font.get());
    TEXTMETRICW tm{};
    if (GetTextMetricsW(shapingDC(), &tm)) {
        f.ascent = tm.tmAscent;
        f.descent = tm.tmDescent;
    } else {
        f.ascent = pixels;
        f.descent = pixels / 4;
    }
    OUTLINETEXTMETRICW otm{};
    otm.otmSize = sizeof(otm);
    if (GetOutlineTextMetricsW(shapingDC(), sizeof(otm), &otm) && otm.otmsUnderscoreSize > 0) {
        f.underlineThickness = static_cast<int>(otm.otmsUnderscoreSize);
        f.underlineOffset = std::max(1, -otm.otmsUnderscorePosition - f.underlineThickness / 2);
    } else {
        f.underlineThickness = std::max(1, pixels / 14);
        f.underlineOffset = std::max(1, f.descent / 2);
    }
}

// Fonts for shaping, kept for the process: a UI uses a handful of faces and sizes.
ShapingFont& shapingFont(const FontSpec& base, const std::wstring& face, int dpi) {
    using Key = std::tuple<std::wstring, int, bool, bool>;
    static std::map<Key, std::unique_ptr<ShapingFont>> fonts;
    const int pixels = scaleLength(base.size, dpi);
    Key key{utility::lowerCased(face), pixels, base.bold, base.italic};
    auto& slot = fonts[key];
    if (!slot) {
        slot = std::make_unique<ShapingFont>();
        FontSpec spec{face, base.size, base.bold, false, base.italic};
        const LOGFONTW logFont = logFontFor(spec, dpi);
        slot->font = UniqueFont(CreateFontIndirectW(&logFont));
        readMetrics(*slot, pixels);
    }
    return *slot;
}

// Characters of one paragraph with the index of their style.
struct Paragraph {
    std::wstring text;
    std::vector<int> style;
    bool rtl = false;

    Paragraph slice(int start, int end) const {
        return {text.substr(start, end - start),
                std::vector<int>(style.begin() + start, style.begin() + end), rtl};
    }
};

// Glyphs of one piece: one item, one face, one style.
struct GlyphRun {
    int start = 0;  // characters of the paragraph the run was shaped from
    int end = 0;
    int style = 0;
    std::wstring face;
    bool missing = false;
    ShapingFont* font = nullptr;
    SCRIPT_ANALYSIS analysis{};
    std::vector<WORD> glyphs;
    std::vector<int> advances;
    std::vector<GOFFSET> offsets;
    std::vector<int> charWidths;
    int width = 0;
    int x = 0;  // left edge within its line, once the line is laid out
};

struct Line {
    std::vector<GlyphRun> runs;  // visual order
    int width = 0;
    int ascent = 0;
    int descent = 0;
    int height() const { return ascent + descent; }
};

struct Context {
    FontSpec font;
    int dpi = 96;
    HanForm han = HanForm::Unspecified;
    ShapingFont* primary = nullptr;
};

WORD typeAt(const std::wstring& text, int at) {
    WORD type = 0;
    GetStringTypeW(CT_CTYPE2, text.c_str() + at, 1, &type);
    return type;
}

// Wine's itemiser leaves European terminators ("%", currency signs) that follow or precede a
// number at the paragraph's level instead of the number's, so "30%" reads "%30" inside a
// right-to-left paragraph. Those characters are cut into an item of the number's level.
void joinTerminatorsToNumbers(const std::wstring& text, std::vector<SCRIPT_ITEM>& items) {
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const int start = items[i].iCharPos, end = items[i + 1].iCharPos;
        const int level = items[i].a.s.uBidiLevel;
        auto terminators = [&](int from, int step) {
            int n = 0;
            while (from + n * step >= start && from + n * step < end &&
                   typeAt(text, from + n * step) == C2_EUROPETERMINATOR)
                ++n;
            return n;
        };
        auto numberAt = [&](std::size_t item, int at) {
            return items[item].a.s.uBidiLevel > level && typeAt(text, at) == C2_EUROPENUMBER;
        };
        SCRIPT_ITEM cut = items[i];
        if (const int n = terminators(start, 1); n > 0 && i > 0 && numberAt(i - 1, start - 1)) {
            cut.iCharPos = start + n;
            items[i].a = items[i - 1].a;
        } else if (const int m = terminators(end - 1, -1);
                   m > 0 && i + 2 < items.size() && numberAt(i + 1, end)) {
            cut = items[i + 1];
            cut.iCharPos = end - m;
        } else {
            continue;
        }
        if (cut.iCharPos <= start)
            items[i].a = cut.a;  // the whole item is the number's signs
        else if (cut.iCharPos < end)
            items.insert(items.begin() + static_cast<std::ptrdiff_t>(i) + 1, cut);
    }
}

std::vector<SCRIPT_ITEM> itemize(const std::wstring& text, bool rtl) {
    SCRIPT_CONTROL control{};
    SCRIPT_STATE state{};
    state.uBidiLevel = rtl ? 1 : 0;
    const int length = static_cast<int>(text.size());
    std::vector<SCRIPT_ITEM> items(length + 2);
    int count = 0;
    if (FAILED(ScriptItemize(text.c_str(), length, length + 1, &control, &state, items.data(),
                             &count))) {
        count = 1;
        items[0] = SCRIPT_ITEM{0, {}};
        items[0].a.s.uBidiLevel = state.uBidiLevel;
        items[0].a.fRTL = rtl;
    }
    items[count].iCharPos = length;  // the sentinel ScriptItemize writes; kept on failure too
    items.resize(count + 1);
    if (rtl) joinTerminatorsToNumbers(text, items);
    return items;
}

bool shapeGlyphs(const wchar_t* text, int length, GlyphRun& run) {
    ShapingFont& f = *run.font;
    SelectedObject selected(shapingDC(), f.font.get());
    std::vector<WORD> clusters(length);
    std::vector<SCRIPT_VISATTR> visual;
    int capacity = length * 3 / 2 + 16;
    int count = 0;
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < 6; ++attempt) {
        run.glyphs.resize(capacity);
        visual.resize(capacity);
        hr = ScriptShape(shapingDC(), &f.cache, text, length, capacity, &run.analysis,
                         run.glyphs.data(), clusters.data(), visual.data(), &count);
        if (hr == E_OUTOFMEMORY) {
            capacity *= 2;
        } else if (hr == USP_E_SCRIPT_NOT_IN_FONT && run.analysis.eScript != SCRIPT_UNDEFINED) {
            run.analysis.eScript = SCRIPT_UNDEFINED;  // shape as plain glyphs of the face
        } else {
            break;
        }
    }
    if (FAILED(hr)) return false;
    run.glyphs.resize(count);
    run.advances.assign(count, 0);
    run.offsets.assign(count, GOFFSET{});
    ABC abc{};
    if (FAILED(ScriptPlace(shapingDC(), &f.cache, run.glyphs.data(), count, visual.data(),
                           &run.analysis, run.advances.data(), run.offsets.data(), &abc))) {
        return false;
    }
    // Wine's ScriptGetLogicalWidths writes past the last character when a right-to-left run
    // ends in a cluster of several characters (an Arabic ligature): it gets room for that.
    run.charWidths.assign(2 * length, 0);
    ScriptGetLogicalWidths(&run.analysis, length, count, run.advances.data(), clusters.data(),
                           visual.data(), run.charWidths.data());
    run.charWidths.resize(length);
    for (int advance : run.advances) run.width += advance;
    return true;
}

GlyphRun shapePiece(const Paragraph& p, int start, int end, const SCRIPT_ANALYSIS& analysis,
                    const FaceRun& face, const Context& context) {
    GlyphRun run;
    run.start = start;
    run.end = end;
    run.style = p.style[start];
    run.face = face.face;
    run.missing = face.missing;
    run.font = &shapingFont(context.font, face.face, context.dpi);
    run.analysis = analysis;
    if (!shapeGlyphs(p.text.c_str() + start, end - start, run)) {
        run.glyphs.clear();
        run.advances.clear();
        run.offsets.clear();
        run.charWidths.assign(end - start, 0);
        run.width = 0;
    }
    return run;
}

// The paragraph's pieces in logical order: cut at items, face runs and style changes.
std::vector<GlyphRun> shapeParagraph(const Paragraph& p, const Context& context) {
    std::vector<GlyphRun> runs;
    if (p.text.empty()) return runs;
    const std::vector<SCRIPT_ITEM> items = itemize(p.text, p.rtl);
    const std::vector<FaceRun> faces = splitByFace(p.text, context.font.face, context.han);
    const int length = static_cast<int>(p.text.size());
    std::size_t item = 0;
    std::size_t face = 0;
    int start = 0;
    while (start < length) {
        while (items[item + 1].iCharPos <= start) ++item;
        while (faces[face].start + faces[face].length <= start) ++face;
        int end = std::min(items[item + 1].iCharPos, faces[face].start + faces[face].length);
        int styleEnd = start + 1;
        while (styleEnd < end && p.style[styleEnd] == p.style[start]) ++styleEnd;
        end = styleEnd;
        runs.push_back(shapePiece(p, start, end, items[item].a, faces[face], context));
        start = end;
    }
    return runs;
}

// Puts the pieces in visual order, gives each its x and the line its metrics.
Line makeLine(std::vector<GlyphRun> runs, const Context& context) {
    Line line;
    line.ascent = context.primary->ascent;
    line.descent = context.primary->descent;
    if (runs.empty()) return line;
    std::vector<BYTE> levels(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        levels[i] = static_cast<BYTE>(runs[i].analysis.s.uBidiLevel);
    }
    std::vector<int> visualToLogical(runs.size());
    const int count = static_cast<int>(runs.size());
    if (FAILED(ScriptLayout(count, levels.data(), visualToLogical.data(), nullptr))) {
        for (int i = 0; i < count; ++i) visualToLogical[i] = i;
    }
    for (int logical : visualToLogical) {
        GlyphRun& run = runs[logical];
        run.x = line.width;
        line.width += run.width;
        line.ascent = std::max(line.ascent, run.font->ascent);
        line.descent = std::max(line.descent, run.font->descent);
        line.runs.push_back(std::move(run));
    }
    return line;
}

// Where a paragraph may be broken, per character (a break goes before it).
struct Breaks {
    std::vector<bool> strong;      // break opportunity the line breaking rules give
    std::vector<bool> weak;        // between two Thai clusters, which Wine's rules never break
    std::vector<bool> whitespace;  // hangs at the end of a line
    std::vector<bool> clusterStart;
};

bool isThai(wchar_t c) {
    return c >= 0x0E00 && c <= 0x0E7F;
}

// Thai syllables hold together at least this much: a leading vowel (เ แ โ ใ ไ) stays with the
// consonant after it, and the spacing vowels and marks that follow one (ะ า ำ ๅ ๆ) stay with it.
bool thaiBreakAllowed(wchar_t before, wchar_t after) {
    if (!isThai(before) || !isThai(after)) return false;
    if (before >= 0x0E40 && before <= 0x0E44) return false;
    return !(after == 0x0E30 || after == 0x0E32 || after == 0x0E33 || after == 0x0E45 ||
             after == 0x0E46);
}

Breaks findBreaks(const Paragraph& p) {
    const int length = static_cast<int>(p.text.size());
    Breaks b{std::vector<bool>(length), std::vector<bool>(length), std::vector<bool>(length),
             std::vector<bool>(length)};
    std::vector<SCRIPT_LOGATTR> whole(length);
    SCRIPT_ANALYSIS plain{};
    ScriptBreak(p.text.c_str(), length, &plain, whole.data());
    std::vector<WORD> type3(length);
    GetStringTypeW(CT_CTYPE3, p.text.c_str(), length, type3.data());
    const std::vector<SCRIPT_ITEM> items = itemize(p.text, p.rtl);
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const int start = items[i].iCharPos;
        const int count = items[i + 1].iCharPos - start;
        std::vector<SCRIPT_LOGATTR> attrs(count);
        ScriptBreak(p.text.c_str() + start, count, &items[i].a, attrs.data());
        for (int k = 0; k < count; ++k) {
            const int at = start + k;
            const wchar_t c = p.text[at];
            // A break before the first character of an item is only seen in the whole text.
            b.strong[at] = k == 0 ? whole[at].fSoftBreak : attrs[k].fSoftBreak;
            b.whitespace[at] = attrs[k].fWhiteSpace;
            b.clusterStart[at] =
                attrs[k].fCharStop && !(type3[at] & C3_NONSPACING) && !(c >= 0xDC00 && c <= 0xDFFF);
        }
    }
    for (int at = 1; at < length; ++at) {
        b.weak[at] = b.clusterStart[at] && thaiBreakAllowed(p.text[at - 1], p.text[at]);
    }
    return b;
}

std::vector<int> charWidths(const std::vector<GlyphRun>& runs, int length) {
    std::vector<int> widths(length, 0);
    for (const GlyphRun& run : runs) {
        std::copy(run.charWidths.begin(), run.charWidths.end(), widths.begin() + run.start);
    }
    return widths;
}

// End of the line that starts at start and overflows at the character overflow.
int breakPosition(const Breaks& b, int start, int overflow, int strong, int strongX, int weak,
                  int maxWidth) {
    // A break at a space is worth a shorter line, up to a third of the width.
    if (strong > start && (weak <= strong || strongX * 3 >= maxWidth * 2)) return strong;
    if (weak > start) return weak;
    if (strong > start) return strong;
    int end = overflow;
    while (end > start && !b.clusterStart[end]) --end;
    if (end > start) return end;
    end = overflow + 1;  // one cluster wider than the whole line still takes a line
    while (end < static_cast<int>(b.clusterStart.size()) && !b.clusterStart[end]) ++end;
    return end;
}

std::vector<std::pair<int, int>> breakLines(const Paragraph& p, const std::vector<int>& widths,
                                            int maxWidth) {
    const Breaks b = findBreaks(p);
    const int length = static_cast<int>(p.text.size());
    std::vector<std::pair<int, int>> lines;
    int start = 0;
    while (start < length) {
        int x = 0, strong = -1, strongX = 0, weak = -1, end = length;
        for (int i = start; i < length; ++i) {
            if (i > start && b.strong[i]) {
                strong = i;
                strongX = x;
            }
            if (i > start && b.weak[i]) weak = i;
            if (!b.whitespace[i] && x + widths[i] > maxWidth && i > start) {
                end = breakPosition(b, start, i, strong, strongX, weak, maxWidth);
                break;
            }
            x += widths[i];
        }
        int visibleEnd = end;
        while (visibleEnd > start && b.whitespace[visibleEnd - 1]) --visibleEnd;
        lines.emplace_back(start, visibleEnd);
        start = end;
    }
    return lines;
}

Line shapeLine(const Paragraph& p, int start, int end, const Context& context) {
    return makeLine(shapeParagraph(p.slice(start, end), context), context);
}

// The longest start of the paragraph that fits with "…" after it, shaped as one line.
Line ellipsise(const Paragraph& p, const std::vector<int>& widths, int maxWidth,
               const Context& context) {
    Paragraph mark{std::wstring(1, kEllipsis), {p.style.back()}, p.rtl};
    const int markWidth = makeLine(shapeParagraph(mark, context), context).width;
    const Breaks b = findBreaks(p);
    int keep = 0, x = 0;
    for (int i = 0; i < static_cast<int>(p.text.size()); ++i) {
        if (b.clusterStart[i] && x + markWidth <= maxWidth) keep = i;
        x += widths[i];
    }
    for (;;) {
        int end = keep;
        while (end > 0 && b.whitespace[end - 1]) --end;
        Paragraph cut = p.slice(0, end);
        cut.text.push_back(kEllipsis);
        cut.style.push_back(end > 0 ? cut.style[end - 1] : p.style.front());
        Line line = makeLine(shapeParagraph(cut, context), context);
        if (line.width <= maxWidth || end == 0) return line;
        do --keep;
        while (keep > 0 && !b.clusterStart[keep]);
    }
}

// Direction of the paragraph from its first strong character.
bool startsRightToLeft(const std::wstring& text) {
    std::vector<WORD> types(text.size());
    GetStringTypeW(CT_CTYPE2, text.c_str(), static_cast<int>(text.size()), types.data());
    for (WORD type : types) {
        if (type == C2_LEFTTORIGHT) return false;
        if (type == C2_RIGHTTOLEFT) return true;
    }
    return false;
}

struct Layout {
    std::vector<Line> lines;
    std::vector<RunStyle> styles;
    TextMetrics metrics;
};

std::vector<Paragraph> paragraphsOf(const std::wstring& text, const TextFormat& format,
                                    std::vector<RunStyle>& styles) {
    const std::vector<TextRun> runs = format.markup ? parseMarkup(text) : plainRuns(text);
    std::vector<Paragraph> paragraphs(1);
    for (const TextRun& run : runs) {
        const int style = static_cast<int>(styles.size());
        styles.push_back(run.style);
        for (wchar_t c : run.text) {
            if (c == L'\n' && format.multiline) {
                paragraphs.emplace_back();
                continue;
            }
            paragraphs.back().text.push_back(c == L'\n' || c == L'\t' ? L' ' : c);
            paragraphs.back().style.push_back(style);
        }
    }
    for (Paragraph& p : paragraphs) p.rtl = format.rightToLeft || startsRightToLeft(p.text);
    return paragraphs;
}

void layOutParagraph(const Paragraph& p, const TextFormat& format, Size box, const Context& context,
                     Layout& layout) {
    std::vector<GlyphRun> runs = shapeParagraph(p, context);
    for (const GlyphRun& run : runs) layout.metrics.missingGlyph |= run.missing;
    Line whole = makeLine(runs, context);
    const bool bounded = box.cx > 0;
    if (!bounded || whole.width <= box.cx) {
        layout.lines.push_back(std::move(whole));
        return;
    }
    const std::vector<int> widths = charWidths(runs, static_cast<int>(p.text.size()));
    if (!format.multiline) {
        layout.metrics.fits = false;
        layout.metrics.size.cx = std::max(layout.metrics.size.cx, whole.width);
        layout.lines.push_back(format.endEllipsis ? ellipsise(p, widths, box.cx, context)
                                                  : std::move(whole));
        return;
    }
    // The breaks come from the widths of the whole paragraph's shaping; shaped on its own a line
    // can come out a little wider (joining forms and marks at its ends). Then the paragraph is
    // broken again with less room than that line's letters took in it.
    std::vector<Line> lines;
    int room = box.cx;
    for (int attempt = 0; attempt < 8; ++attempt) {
        lines.clear();
        int narrower = room;
        for (auto [start, end] : breakLines(p, widths, room)) {
            lines.push_back(shapeLine(p, start, end, context));
            if (lines.back().width <= box.cx) continue;
            int taken = 0;
            for (int i = start; i < end; ++i) taken += widths[i];
            narrower = std::min(narrower, std::min(room, taken) - 1);
        }
        if (narrower == room || narrower <= 0) break;
        room = narrower;
    }
    for (Line& line : lines) layout.lines.push_back(std::move(line));
}

void addFaces(const Line& line, std::vector<std::wstring>& faces) {
    std::vector<const GlyphRun*> logical;
    for (const GlyphRun& run : line.runs) logical.push_back(&run);
    std::stable_sort(logical.begin(), logical.end(),
                     [](const GlyphRun* a, const GlyphRun* b) { return a->start < b->start; });
    for (const GlyphRun* run : logical) {
        if (std::find(faces.begin(), faces.end(), run->face) == faces.end()) {
            faces.push_back(run->face);
        }
    }
}

Layout layOut(const std::wstring& text, const FontSpec& font, int dpi, const TextFormat& format,
              Size box) {
    Layout layout;
    Context context{font, dpi, HanForm::Unspecified, nullptr};
    context.han = hanFormForLocale(format.language.empty() ? textLanguage() : format.language);
    context.primary = &shapingFont(font, resolvedFace(font.face), dpi);
    if (text.empty()) return layout;
    for (const Paragraph& p : paragraphsOf(text, format, layout.styles)) {
        layOutParagraph(p, format, box, context, layout);
    }
    Size& size = layout.metrics.size;
    for (const Line& line : layout.lines) {
        size.cx = std::max(size.cx, line.width);
        size.cy += line.height();
        addFaces(line, layout.metrics.facesUsed);
        if (box.cx > 0 && line.width > box.cx) layout.metrics.fits = false;
    }
    // A single line is judged by its width only: the line box of a tall face (Noto Sans Arabic
    // is over two em high) overflows a snug box while its letters do not.
    if (format.multiline && box.cy > 0 && size.cy > box.cy) layout.metrics.fits = false;
    return layout;
}

// A 32-bit top-down DIB selected into its own DC, kept and grown for the process.
class Scratch {
public:
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    static Scratch& get() {
        static Scratch scratch;
        return scratch;
    }
    ~Scratch() { release(); }

    bool ensure(int width, int height) {
        if (bits_ && width <= width_ && height <= height_) return true;
        const int newWidth = std::max(width, width_);
        const int newHeight = std::max(height, height_);
        release();
        width_ = newWidth;
        height_ = newHeight;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap_) return false;
        bits_ = static_cast<std::uint32_t*>(bits);
        previous_ = SelectObject(dc_.get(), bitmap_);
        SetBkMode(dc_.get(), TRANSPARENT);
        SetTextColor(dc_.get(), RGB(255, 255, 255));
        SetTextAlign(dc_.get(), TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        return true;
    }
    HDC dc() const { return dc_.get(); }
    std::uint32_t* row(int y) const { return bits_ + static_cast<std::size_t>(y) * width_; }

private:
    Scratch() = default;
    void release() {
        if (!bitmap_) return;
        SelectObject(dc_.get(), previous_);
        DeleteObject(bitmap_);
        bitmap_ = nullptr;
        bits_ = nullptr;
        width_ = height_ = 0;
    }
    MemoryDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

struct PlacedLine {
    const Line* line;
    int x;         // left edge on the canvas
    int baseline;  // on the canvas
};

std::vector<PlacedLine> placeLines(const Layout& layout, const TextFormat& format,
                                   const Rect& box) {
    const int height = layout.metrics.size.cy;
    int y = box.top;
    const bool overflows = format.multiline && height > box.height();
    if (!overflows && (format.align & kAlignVCenter)) y = box.top + (box.height() - height) / 2;
    if (!overflows && (format.align & kAlignBottom)) y = box.bottom - height;
    std::vector<PlacedLine> placed;
    for (const Line& line : layout.lines) {
        int x = box.left;
        if (format.align & kAlignCenter) x = box.left + (box.width() - line.width) / 2;
        if (format.align & kAlignRight) x = box.right - line.width;
        placed.push_back({&line, x, y + line.ascent});
        y += line.height();
    }
    return placed;
}

Argb runColour(const Layout& layout, const GlyphRun& run, Argb colour) {
    return layout.styles[run.style].colour.value_or(colour);
}

void drawGlyphs(const std::vector<PlacedLine>& placed, const Layout& layout, Argb only, Argb colour,
                const Rect& target) {
    HDC dc = Scratch::get().dc();
    for (const PlacedLine& p : placed) {
        for (const GlyphRun& run : p.line->runs) {
            if (run.glyphs.empty() || runColour(layout, run, colour) != only) continue;
            SelectedObject selected(dc, run.font->font.get());
            ScriptTextOut(dc, &run.font->cache, p.x + run.x - target.left, p.baseline - target.top,
                          0, nullptr, &run.analysis, nullptr, 0, run.glyphs.data(),
                          static_cast<int>(run.glyphs.size()), run.advances.data(), nullptr,
                          run.offsets.data());
        }
    }
    GdiFlush();
}

void blendColour(Canvas& canvas, const std::vector<PlacedLine>& placed, const Layout& layout,
                 Argb only, Argb colour, const Rect& target) {
    Scratch& scratch = Scratch::get();
    const int width = target.width();
    const int height = target.height();
    for (int y = 0; y < height; ++y) std::fill_n(scratch.row(y), width, 0u);
    drawGlyphs(placed, layout, only, colour, target);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = scratch.row(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            mask[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF}));
        }
    }
    canvas.blendCoverage({target.left, target.top}, mask.data(), width, height, width, only);
}

void drawUnderlines(Canvas& canvas, const std::vector<PlacedLine>& placed, const Layout& layout,
                    const FontSpec& font, Argb colour, const Rect& target,
                    const ShapingFont& primary) {
    for (const PlacedLine& p : placed) {
        const int top = std::max(target.top, p.baseline + primary.underlineOffset);
        const int bottom = std::min(
            target.bottom, p.baseline + primary.underlineOffset + primary.underlineThickness);
        if (top >= bottom) continue;
        for (const GlyphRun& run : p.line->runs) {
            const RunStyle& style = layout.styles[run.style];
            if (!style.underline && !font.underline) continue;
            const int left = std::max(target.left, p.x + run.x);
            const int right = std::min(target.right, p.x + run.x + run.width);
            if (left >= right) continue;
            const Argb own = runColour(layout, run, colour);
            canvas.fillLine(left, right, top, bottom - top, style.underlineColour.value_or(own));
        }
    }
}

}  // namespace

TextFormat rightToLeftFormat(TextFormat format) {
    format.rightToLeft = true;
    if (format.align & kAlignRight)
        format.align &= ~kAlignRight;
    else if (!(format.align & kAlignCenter))
        format.align |= kAlignRight;
    return format;
}

TextMetrics measureText(const std::wstring& text, const FontSpec& font, int dpi,
                        const TextFormat& format, Size box) {
    return layOut(text, font, dpi, format, box).metrics;
}

TextMetrics drawText(Canvas& canvas, const std::wstring& text, const FontSpec& font, int dpi,
                     const TextFormat& format, const Rect& box, Argb colour) {
    const Layout layout = layOut(text, font, dpi, format, {box.width(), box.height()});
    const Rect target = box.intersect(canvas.clip());
    if (target.empty() || layout.lines.empty()) return layout.metrics;
    if (!Scratch::get().ensure(target.width(), target.height())) return layout.metrics;
    const std::vector<PlacedLine> placed = placeLines(layout, format, box);
    std::vector<Argb> colours;
    for (const Line& line : layout.lines) {
        for (const GlyphRun& run : line.runs) {
            const Argb c = runColour(layout, run, colour);
            if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
        }
    }
    for (Argb c : colours) blendColour(canvas, placed, layout, c, colour, target);
    const ShapingFont& primary = shapingFont(font, resolvedFace(font.face), dpi);
    drawUnderlines(canvas, placed, layout, font, colour, target, primary);
    return layout.metrics;
}

}  // namespace tk
