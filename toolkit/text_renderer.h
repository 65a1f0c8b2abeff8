// Text of the controls: fonts by id (per window and shared), markup runs, measurement and
// drawing into a Canvas with a per-script face fallback, so that no character the chosen face
// lacks comes out as a box. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/geometry.h"

namespace tk {

// A font as layouts declare it: size in 96-DPI pixels (the em height), scaled per window DPI.
struct FontSpec {
    std::wstring face;
    int size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// How a text sits in its box.
enum TextAlign : unsigned {
    kAlignLeft = 0,
    kAlignCenter = 1,
    kAlignRight = 2,
    kAlignTop = 0,
    kAlignVCenter = 4,
    kAlignBottom = 8,
};
struct TextFormat {
    unsigned align = kAlignLeft | kAlignVCenter;
    bool multiline = false;    // wrap at word boundaries, honour line breaks
    bool endEllipsis = false;  // single line: end with "…" when it does not fit
    bool markup = false;       // <u>, <u #colour>, <c #colour>, <br> / "\n"
    bool rightToLeft = false;  // paragraph direction (Arabic, Persian); also set by the text
    // Locale name ("zh_TW", "ja_JP") choosing the regional forms of Han characters; empty: the
    // process's text language (setTextLanguage in font_fallback.h), else guessed from the text.
    std::wstring language;
};

// The format as a right-to-left window uses it: right-to-left paragraphs, and left and right
// alignment traded.
TextFormat rightToLeftFormat(TextFormat format);

// Result of laying out a text in a width.
struct TextMetrics {
    Size size;                            // device pixels the text needs
    bool fits = true;                     // false when clipped or ellipsised in the given box
    bool missingGlyph = false;            // a character no face of the fallback list can draw
    std::vector<std::wstring> facesUsed;  // every face chosen for the runs, in first-use order
};

// Measures the text at the font and DPI in a box of the given device size (cy 0: unbounded).
TextMetrics measureText(const std::wstring& text, const FontSpec& font, int dpi,
                        const TextFormat& format, Size box);

// Draws the text inside box (device pixels) in the colour; markup colours override it per run.
TextMetrics drawText(Canvas& canvas, const std::wstring& text, const FontSpec& font, int dpi,
                     const TextFormat& format, const Rect& box, Argb colour);

}  // namespace tk
