// Inline markup of the text controls, parsed into styled runs:
//   <u>…</u>              underline in the text's colour
//   <u #666666>…</u>      underline in a colour of its own
//   <c #268fd6>…</c>      coloured run
//   <br> or "\n"          line break (also "\r\n" and a lone "\r")
// Colours are read as layout attributes read them (parseColor). Tags nest; a closing tag ends the
// innermost open tag of its name. Unknown and malformed tags stay in the text as written; a closing
// tag with nothing open to close is dropped. Pure functions; usable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/geometry.h"

namespace tk {

struct RunStyle {
    bool underline = false;
    std::optional<Argb> underlineColour;  // none: the run's own colour
    std::optional<Argb> colour;           // none: the control's text colour
    friend bool operator==(const RunStyle&, const RunStyle&) = default;
};

// A piece of text in one style; line breaks are "\n" characters inside the text.
struct TextRun {
    std::wstring text;
    RunStyle style;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// The runs of the markup, in order; neighbouring runs always differ in style, no run is empty.
std::vector<TextRun> parseMarkup(std::wstring_view markup);

// One unstyled run of the text with its line breaks made "\n" (none for an empty text).
std::vector<TextRun> plainRuns(std::wstring_view text);

// The text a reader sees, without tags: for accessibility names and plain copies.
std::wstring plainText(std::wstring_view markup);

}  // namespace tk
