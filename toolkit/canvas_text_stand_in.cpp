// The surface and the few canvas operations text drawing uses, as a stand-in until the full
// canvas implementation joins the library; that file replaces this one.
#include <windows.h>

#include <algorithm>

#include "toolkit/canvas.h"

namespace tk {
namespace {

// Source-over of a non-premultiplied colour at coverage 0..255 onto a premultiplied pixel.
void blendPixel(std::uint32_t& pixel, Argb colour, unsigned coverage) {
    const unsigned alpha = ((colour >> 24) * coverage + 127) / 255;
    if (alpha == 0) return;
    const unsigned keep = 255 - alpha;
    const auto channel = [&](int shift) {
        const unsigned source = (((colour >> shift) & 0xFF) * alpha + 127) / 255;
        const unsigned dest = (pixel >> shift) & 0xFF;
        return (source + (dest * keep + 127) / 255) << shift;
    };
    const unsigned destAlpha = pixel >> 24;
    pixel =
        channel(0) | channel(8) | channel(16) | ((alpha + (destAlpha * keep + 127) / 255) << 24);
}

}  // namespace

Surface::~Surface() {
    release();
}

void Surface::release() {
    if (dc_) {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    previous_ = nullptr;
    pixels_ = nullptr;
    width_ = height_ = 0;
}

bool Surface::resize(int width, int height) {
    release();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    if (!bitmap_ || !dc_) {
        release();
        return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    pixels_ = static_cast<std::uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

Canvas::Canvas(Surface& surface) : surface_(surface) {
    clips_.push_back(Rect{0, 0, surface.width(), surface.height()});
}

void Canvas::pushClip(const Rect& rect) {
    clips_.push_back(clips_.back().intersect(rect));
}

void Canvas::popClip() {
    if (clips_.size() > 1) clips_.pop_back();
}

void Canvas::fillLine(int x0, int x1, int y, int thickness, Argb colour) {
    const Rect line = Rect{x0, y, x1, y + thickness}.intersect(clip());
    for (int row = line.top; row < line.bottom; ++row) {
        std::uint32_t* pixels =
            surface_.pixels() + static_cast<std::size_t>(row) * surface_.width();
        for (int x = line.left; x < line.right; ++x) blendPixel(pixels[x], colour, 255);
    }
}

void Canvas::blendCoverage(Point origin, const std::uint8_t* mask, int maskWidth, int maskHeight,
                           int stride, Argb colour) {
    const Rect area = Rect::fromSize(origin.x, origin.y, maskWidth, maskHeight).intersect(clip());
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* pixels = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        const std::uint8_t* coverage = mask + static_cast<std::size_t>(y - origin.y) * stride;
        for (int x = area.left; x < area.right; ++x) {
            blendPixel(pixels[x], colour, coverage[x - origin.x]);
        }
    }
}

}  // namespace tk
