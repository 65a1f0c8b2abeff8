// Plain geometry of the toolkit: rectangles, sizes and edge insets in integer units. Layouts are
// written in 96-DPI units; everything on a window's surface is in device pixels (see Scale).
// Value types; usable from any thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tk {

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Left, top, right and bottom amounts, for paddings, insets and nine-grid corners.
struct Insets {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int horizontal() const { return left + right; }
    int vertical() const { return top + bottom; }
    bool empty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    friend bool operator==(const Insets&, const Insets&) = default;
};

// Half-open rectangle: right and bottom are outside it.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect fromSize(int x, int y, int width, int height) {
        return {x, y, x + width, y + height};
    }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    Rect intersect(const Rect& o) const {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
               std::min(bottom, o.bottom)};
        return r.empty() ? Rect{} : r;
    }
    // Smallest rectangle holding both; an empty one adds nothing.
    Rect unite(const Rect& o) const {
        if (empty()) return o;
        if (o.empty()) return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }
    Rect deflate(const Insets& i) const {
        Rect r{left + i.left, top + i.top, right - i.right, bottom - i.bottom};
        if (r.right < r.left) r.right = r.left;
        if (r.bottom < r.top) r.bottom = r.top;
        return r;
    }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    // The rectangle reflected across the vertical centre line of frame: what a right-to-left
    // window shows where a left-to-right one has this rectangle (x' = width - x - w).
    Rect mirroredIn(const Rect& frame) const {
        return {frame.left + frame.right - right, top, frame.left + frame.right - left, bottom};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Colour as 0xAARRGGBB, not premultiplied (the form layouts write).
using Argb = std::uint32_t;

// Converts a length in 96-DPI units to device pixels at the given DPI, rounding half away from
// zero so that 1 unit at 150 % is 2 pixels, never 1.
inline int scaleLength(int value, int dpi) {
    const long long scaled = static_cast<long long>(value) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}
inline Rect scaleRect(const Rect& r, int dpi) {
    return {scaleLength(r.left, dpi), scaleLength(r.top, dpi), scaleLength(r.right, dpi),
            scaleLength(r.bottom, dpi)};
}
inline Insets scaleInsets(const Insets& i, int dpi) {
    return {scaleLength(i.left, dpi), scaleLength(i.top, dpi), scaleLength(i.right, dpi),
            scaleLength(i.bottom, dpi)};
}

}  // namespace tk
