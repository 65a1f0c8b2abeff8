// Values of layout attributes read from their text: colours, booleans, integers, rectangles,
// insets, sizes and alignment words. Blanks around a value and around each number are
// allowed; anything else malformed gives nothing, never an exception. Pure; any thread.
#pragma once

#include <optional>
#include <string_view>

#include "toolkit/geometry.h"

namespace tk {

// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB" (one to eight digits); hex digits in either case.
std::optional<Argb> parseColor(std::wstring_view text);
// "true" or "false", in any case.
std::optional<bool> parseBool(std::wstring_view text);
// Decimal, with an optional sign; nothing when it does not fit an int.
std::optional<int> parseInt(std::wstring_view text);
// "l,t,r,b".
std::optional<Rect> parseRect(std::wstring_view text);
std::optional<Insets> parseInsets(std::wstring_view text);
// "w,h".
std::optional<Size> parseSize(std::wstring_view text);

// Alignment words, as the TextAlign bits of text_renderer.h: "left", "center", "right" across;
// "top", "vcenter", "bottom" down ("center" also counts as vcenter for the vertical form).
std::optional<unsigned> parseHorizontalAlign(std::wstring_view text);
std::optional<unsigned> parseVerticalAlign(std::wstring_view text);
// One or more words separated by commas or blanks ("center,vcenter", "right bottom"); each word
// replaces its direction's bits in base ("center" is horizontal here). Nothing when a word is
// unknown or there is none.
std::optional<unsigned> parseTextAlign(std::wstring_view text, unsigned base);

}  // namespace tk
