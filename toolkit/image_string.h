// Image references as layouts and windows write them: a plain file name, or the attribute form
//   file='name' source='l,t,r,b' corner='l,t,r,b' mask='0xAARRGGBB' dest='l,t,r,b'
// (attributes in any order, single or double quotes, all but file optional), and the names and
// geometry of an image's double-size variant. Pure; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "toolkit/geometry.h"

namespace tk {

struct ImageRef {
    std::wstring file;           // skin store name
    std::optional<Rect> source;  // part of the image to draw; the whole image when absent
    Insets corner;               // nine-grid corners that keep their size when stretched
    std::optional<Argb> mask;    // colour drawn as transparent
    std::optional<Rect> dest;    // place within the control; the whole control when absent
    friend bool operator==(const ImageRef&, const ImageRef&) = default;
};

// Nothing when there is no file name, or when the attribute form is broken (an attribute
// without "=" and a quoted value, an unclosed quote). Attributes of other names are ignored, a
// repeated one takes its last value, and a source, corner, mask or dest value that does not read
// counts as absent.
std::optional<ImageRef> parseImageString(std::wstring_view text);

// Name of the double-size variant, kept in a parallel folder: the first folder gets "Enalarge"
// appended ("common/x.png" -> "commonEnalarge/x.png", either separator), and a file at the top
// becomes "Enalarge/x.png". Empty for an empty name or a name with a drive.
std::wstring enlargedImageName(std::wstring_view file);

// The reference to the double-size variant: its name, source rectangle and corners doubled;
// mask and dest (in layout units) unchanged. Nothing when the name has no variant.
std::optional<ImageRef> enlargedImage(const ImageRef& image);

}  // namespace tk
