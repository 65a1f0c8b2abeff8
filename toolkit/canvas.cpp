#include "toolkit/canvas.h"

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

// x / 255 rounded to nearest, exact for every x in [0, 255 * 255].
constexpr std::uint32_t div255(std::uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

constexpr std::uint32_t channel(std::uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFF;
}

// Multiplies every channel of a premultiplied pixel by factor / 255.
constexpr std::uint32_t scalePixel(std::uint32_t pixel, std::uint32_t factor) {
    if (factor == 255) return pixel;
    if (factor == 0) return 0;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        out |= div255(channel(pixel, shift) * factor) << shift;
    }
    return out;
}

constexpr std::uint32_t premultiply(Argb colour) {
    const std::uint32_t a = colour >> 24;
    if (a == 255) return colour;
    return (a << 24) | (scalePixel(colour, a) & 0x00FFFFFF);
}

// Source-over of a premultiplied source onto a premultiplied destination.
constexpr std::uint32_t over(std::uint32_t dst, std::uint32_t src) {
    const std::uint32_t sa = src >> 24;
    if (sa == 255) return src;
    if (src == 0) return dst;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t c = channel(src, shift) + div255(channel(dst, shift) * (255 - sa));
        out |= std::min<std::uint32_t>(c, 255) << shift;
    }
    return out;
}

// Area of a pixel inside a rounded rectangle, 0..255. Inside the corner squares the coverage
// follows the distance of the pixel centre from the corner arc, which gives a one-pixel
// anti-aliased edge; elsewhere the rectangle's own edges decide.
class RoundShape {
public:
    RoundShape(const Rect& rect, int radius) : rect_(rect) {
        radius_ = std::clamp(radius, 0, std::min(rect.width(), rect.height()) / 2);
    }

    std::uint32_t coverage(int x, int y) const {
        if (!rect_.contains({x, y})) return 0;
        if (radius_ == 0) return 255;
        double cx = 0, cy = 0;
        if (!arcCentre(x + 0.5, rect_.left, rect_.right, cx) ||
            !arcCentre(y + 0.5, rect_.top, rect_.bottom, cy)) {
            return 255;
        }
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        const double c = std::clamp(radius_ - d + 0.5, 0.0, 1.0);
        return static_cast<std::uint32_t>(std::lround(c * 255));
    }

private:
    // The arc centre's coordinate on one axis; false when p lies outside both corner bands.
    bool arcCentre(double p, int low, int high, double& centre) const {
        if (p < low + radius_) {
            centre = low + radius_;
        } else if (p > high - radius_) {
            centre = high - radius_;
        } else {
            return false;
        }
        return true;
    }

    Rect rect_;
    int radius_ = 0;
};

Rect bounds(const Surface& surface) {
    return {0, 0, surface.width(), surface.height()};
}

// Splits a length into a leading and a trailing margin, shrinking both in proportion when
// together they exceed it.
void fitMargins(int length, int& lead, int& trail) {
    lead = std::max(lead, 0);
    trail = std::max(trail, 0);
    length = std::max(length, 0);
    if (lead + trail <= length) return;
    const long long sum = static_cast<long long>(lead) + trail;
    lead = static_cast<int>((static_cast<long long>(lead) * length * 2 + sum) / (sum * 2));
    trail = length - lead;
}

// The three spans [edge0, edge1), [edge1, edge2), [edge2, edge3) of an axis.
struct Cuts {
    int edge[4];
};

Cuts cuts(int low, int high, int lead, int trail) {
    fitMargins(high - low, lead, trail);
    return {{low, low + lead, std::max(low, high) - trail, std::max(low, high)}};
}

// Bilinear sample positions for one destination axis: the source pixel to the left/top, its
// neighbour and the 8-bit weight of the neighbour, staying inside [low, high).
struct Tap {
    int first;
    int second;
    std::uint32_t weight;
};

Tap tapFor(int destIndex, int destLength, int low, int high) {
    const int length = high - low;
    if (length == destLength) return {low + destIndex, low + destIndex, 0};
    const double position = (destIndex + 0.5) * length / destLength - 0.5;
    const double clamped = std::clamp(position, 0.0, static_cast<double>(length - 1));
    const int first = static_cast<int>(clamped);
    const int second = std::min(first + 1, length - 1);
    const auto weight = static_cast<std::uint32_t>(std::lround((clamped - first) * 256));
    if (weight >= 256) return {low + second, low + second, 0};
    return {low + first, low + second, weight};
}

std::uint32_t lerp4(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01, std::uint32_t p11,
                    std::uint32_t fx, std::uint32_t fy) {
    const std::uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy);
    const std::uint32_t w01 = (256 - fx) * fy, w11 = fx * fy;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t c = channel(p00, shift) * w00 + channel(p10, shift) * w10 +
                                channel(p01, shift) * w01 + channel(p11, shift) * w11;
        out |= ((c + 32768) >> 16) << shift;
    }
    return out;
}

// Reads image pixels with the mask colour turned transparent.
class Sampler {
public:
    Sampler(const Image& image, Argb mask) : image_(image), mask_(mask & 0x00FFFFFF) {
        masking_ = mask != 0;
    }

    std::uint32_t at(int x, int y) const {
        const std::uint32_t pixel = image_.pixels[static_cast<std::size_t>(y) * image_.width + x];
        if (!masking_ || pixel == 0) return pixel;
        // A pixel matches when its colour, premultiplied by its own alpha, is the mask's.
        return pixel == premultiply((pixel & 0xFF000000) | mask_) ? 0 : pixel;
    }

private:
    const Image& image_;
    std::uint32_t mask_;
    bool masking_ = false;
};

}  // namespace

Surface::~Surface() {
    release();
}

void Surface::release() {
    if (dc_ != nullptr) {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    previous_ = nullptr;
    pixels_ = nullptr;
    width_ = 0;
    height_ = 0;
}

bool Surface::resize(int width, int height) {
    if (bitmap_ != nullptr && width == width_ && height == height_) return true;
    release();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    if (bitmap_ == nullptr || bits == nullptr || dc_ == nullptr) {
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
    clips_.push_back(bounds(surface));
}

void Canvas::pushClip(const Rect& rect) {
    clips_.push_back(clips_.back().intersect(rect));
}

void Canvas::popClip() {
    if (clips_.size() > 1) clips_.pop_back();
}

void Canvas::clear(const Rect& rect, Argb colour) {
    const Rect area = rect.intersect(clip());
    const std::uint32_t value = premultiply(colour);
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        std::fill(row + area.left, row + area.right, value);
    }
}

void Canvas::fillRect(const Rect& rect, Argb colour) {
    const Rect area = rect.intersect(clip());
    const std::uint32_t src = premultiply(colour);
    if (src == 0) return;
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        for (int x = area.left; x < area.right; ++x) row[x] = over(row[x], src);
    }
}

void Canvas::fillRoundRect(const Rect& rect, int radius, Argb colour) {
    if (radius <= 0) {
        fillRect(rect, colour);
        return;
    }
    const RoundShape shape(rect, radius);
    const Rect area = rect.intersect(clip());
    const std::uint32_t src = premultiply(colour);
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        for (int x = area.left; x < area.right; ++x) {
            row[x] = over(row[x], scalePixel(src, shape.coverage(x, y)));
        }
    }
}

void Canvas::strokeRoundRect(const Rect& rect, int radius, int width, Argb colour) {
    if (width <= 0) return;
    const RoundShape outer(rect, radius);
    const Rect innerRect = rect.deflate({width, width, width, width});
    const RoundShape inner(innerRect, std::max(radius - width, 0));
    const Rect area = rect.intersect(clip());
    const std::uint32_t src = premultiply(colour);
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        for (int x = area.left; x < area.right; ++x) {
            const std::uint32_t outside = outer.coverage(x, y);
            const std::uint32_t hole = innerRect.empty() ? 0 : inner.coverage(x, y);
            if (outside > hole) row[x] = over(row[x], scalePixel(src, outside - hole));
        }
    }
}

void Canvas::fillLine(int x0, int x1, int y, int thickness, Argb colour) {
    fillRect({std::min(x0, x1), y, std::max(x0, x1), y + thickness}, colour);
}

void Canvas::blendCoverage(Point origin, const std::uint8_t* mask, int maskWidth, int maskHeight,
                           int stride, Argb colour) {
    if (mask == nullptr) return;
    const Rect area = Rect::fromSize(origin.x, origin.y, maskWidth, maskHeight).intersect(clip());
    const std::uint32_t src = premultiply(colour);
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint8_t* cover =
            mask + static_cast<std::ptrdiff_t>(y - origin.y) * stride - origin.x;
        std::uint32_t* row = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
        for (int x = area.left; x < area.right; ++x) {
            if (cover[x] != 0) row[x] = over(row[x], scalePixel(src, cover[x]));
        }
    }
}

void Canvas::drawImage(const Image& image, const Rect& source, const Rect& dest,
                       const Insets& corner, int cornerDpi, Argb mask, std::uint8_t alpha,
                       bool mirrored) {
    if (alpha == 0 || image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        return;
    const Rect from = source.intersect({0, 0, image.width, image.height});
    if (from.empty() || dest.empty()) return;
    const Sampler sampler(image, mask);
    for (const NinePiece& piece : nineGrid(from, dest, corner, scaleInsets(corner, cornerDpi))) {
        if (piece.source.empty() || piece.dest.empty()) continue;
        // A mirrored piece lands at the reflection of its place and is read from right to left.
        const Rect place = mirrored ? piece.dest.mirroredIn(dest) : piece.dest;
        const Rect area = place.intersect(clip());
        if (area.empty()) continue;
        const int dw = place.width(), dh = place.height();
        std::vector<Tap> columns;
        columns.reserve(area.width());
        for (int x = area.left; x < area.right; ++x) {
            const int along = mirrored ? place.right - 1 - x : x - place.left;
            columns.push_back(tapFor(along, dw, piece.source.left, piece.source.right));
        }
        for (int y = area.top; y < area.bottom; ++y) {
            const Tap row = tapFor(y - place.top, dh, piece.source.top, piece.source.bottom);
            std::uint32_t* out = surface_.pixels() + static_cast<std::size_t>(y) * surface_.width();
            for (int x = area.left; x < area.right; ++x) {
                const Tap& col = columns[x - area.left];
                std::uint32_t pixel = sampler.at(col.first, row.first);
                if (col.weight != 0 || row.weight != 0) {
                    pixel = lerp4(pixel, sampler.at(col.second, row.first),
                                  sampler.at(col.first, row.second),
                                  sampler.at(col.second, row.second), col.weight, row.weight);
                }
                out[x] = over(out[x], scalePixel(pixel, alpha));
            }
        }
    }
}

std::vector<NinePiece> nineGrid(const Rect& source, const Rect& dest, const Insets& corner,
                                const Insets& destCorner) {
    const Cuts sx = cuts(source.left, source.right, corner.left, corner.right);
    const Cuts sy = cuts(source.top, source.bottom, corner.top, corner.bottom);
    const Cuts dx = cuts(dest.left, dest.right, destCorner.left, destCorner.right);
    const Cuts dy = cuts(dest.top, dest.bottom, destCorner.top, destCorner.bottom);
    std::vector<NinePiece> pieces;
    pieces.reserve(9);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            pieces.push_back({{sx.edge[col], sy.edge[row], sx.edge[col + 1], sy.edge[row + 1]},
                              {dx.edge[col], dy.edge[row], dx.edge[col + 1], dy.edge[row + 1]}});
        }
    }
    return pieces;
}

}  // namespace tk
