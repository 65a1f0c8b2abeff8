// Writes premultiplied BGRA pixels (a Surface, an Image) to a PNG file with alpha, through WIC's
// encoder. Needs COM initialised on the calling thread (the caller owns that). Any thread; the
// pixels are only read.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/canvas.h"

namespace tk {

// Writes width x height top-down premultiplied pixels (rows of width entries) as a PNG file,
// replacing an existing one. False when the file cannot be written; a partly written file is
// then removed.
bool writePng(const std::wstring& path, const std::uint32_t* pixels, int width, int height);
bool writePng(const std::wstring& path, const Surface& surface);
bool writePng(const std::wstring& path, const Image& image);

}  // namespace tk
