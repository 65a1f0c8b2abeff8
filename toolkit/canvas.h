// Drawing surface of a window: one 32-bit premultiplied BGRA DIB section, top-down, and the
// drawing operations the controls use on it (fills, rounded shapes, images with nine-grid
// stretching, text coverage masks). GDI writes alpha 0, so nothing here draws through GDI
// straight onto the surface. UI thread only; a window owns its surface.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/geometry.h"

namespace tk {

// A decoded image: premultiplied BGRA pixels, top-down, width * height entries.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};
using ImagePtr = std::shared_ptr<const Image>;

// Owns the DIB section a window paints into and presents from.
class Surface {
public:
    Surface() = default;
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Makes the surface width x height pixels (contents undefined afterwards). False when the
    // DIB cannot be made; the surface is then empty.
    bool resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t* pixels() const { return pixels_; }
    // A memory DC with the DIB selected, for BitBlt and UpdateLayeredWindow.
    HDC dc() const { return dc_; }

private:
    void release();
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Drawing on a surface in device pixels, limited to the current clip rectangle.
class Canvas {
public:
    explicit Canvas(Surface& surface);

    Surface& surface() { return surface_; }
    // Narrows the clip to its intersection with the rectangle; popClip restores the previous.
    void pushClip(const Rect& rect);
    void popClip();
    Rect clip() const { return clips_.back(); }

    // Sets every pixel of the rectangle (within the clip) to the colour, replacing what is there.
    void clear(const Rect& rect, Argb colour);
    // Source-over fills and strokes; a radius above 0 rounds the corners, anti-aliased.
    void fillRect(const Rect& rect, Argb colour);
    void fillRoundRect(const Rect& rect, int radius, Argb colour);
    // A border of the given width drawn inside the rectangle.
    void strokeRoundRect(const Rect& rect, int radius, int width, Argb colour);
    // Horizontal line of the given thickness (underlines, separators): columns x0 up to x1
    // (x1 itself excluded, either order), rows y to y + thickness - 1.
    void fillLine(int x0, int x1, int y, int thickness, Argb colour);

    // Draws the source part of the image into dest, source-over. corner gives the nine-grid
    // margins (in source pixels, scaled into dest by cornerDpi/96, so 192 doubles
    // them): corners keep their size, edges stretch one way, the centre both ways. A mask colour
    // (0xFFRRGGBB; 0 for none) makes pixels of that colour transparent. Smooth (bilinear)
    // scaling. alpha multiplies the whole image. Mirrored draws its reflection (left and right
    // traded, the corners with them), as a right-to-left window shows a frame.
    void drawImage(const Image& image, const Rect& source, const Rect& dest, const Insets& corner,
                   int cornerDpi = 96, Argb mask = 0, std::uint8_t alpha = 255,
                   bool mirrored = false);

    // Blends a colour through an 8-bit coverage mask (text), source-over: the mask is maskWidth
    // x maskHeight bytes with the given stride, and its pixel (0,0) lands on origin.
    void blendCoverage(Point origin, const std::uint8_t* mask, int maskWidth, int maskHeight,
                       int stride, Argb colour);

private:
    Surface& surface_;
    std::vector<Rect> clips_;
};

// The nine (source, destination) rectangle pairs of a nine-grid draw, in the order top-left,
// top, top-right, left, centre, right, bottom-left, bottom, bottom-right. Pieces that come out
// empty are left empty. Corners larger than dest shrink proportionally so they never overlap.
struct NinePiece {
    Rect source;
    Rect dest;
};
std::vector<NinePiece> nineGrid(const Rect& source, const Rect& dest, const Insets& corner,
                                const Insets& destCorner);

}  // namespace tk
