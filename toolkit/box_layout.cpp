#include "toolkit/box_layout.h"

#include <algorithm>

namespace tk {

namespace {

int clampBounds(int value, int minimum, int maximum) {
    if (maximum > 0) value = std::min(value, maximum);
    return std::max(value, minimum);
}

// Shares room among stretching items: an item whose bound cuts its share takes the bound and
// leaves the pool, then the rest is shared again, until every share stays within bounds.
void shareRoom(const std::vector<BoxItem>& items, std::vector<int>& sizes, int room) {
    std::vector<size_t> pool;
    for (size_t i = 0; i < items.size(); ++i)
        if (!items[i].floating && items[i].main == 0) pool.push_back(i);
    while (!pool.empty()) {
        const int share = std::max(0, room) / static_cast<int>(pool.size());
        std::vector<size_t> rest;
        for (size_t i : pool) {
            const int bounded = clampBounds(share, items[i].minMain, items[i].maxMain);
            if (bounded != share) {
                sizes[i] = bounded;
                room -= bounded;
            } else {
                rest.push_back(i);
            }
        }
        if (rest.size() == pool.size()) {
            // Every share is within bounds: hand out the remainder pixel by pixel.
            int extra = std::max(0, room) - share * static_cast<int>(pool.size());
            for (size_t i : pool) sizes[i] = share + (extra-- > 0 ? 1 : 0);
            return;
        }
        pool.swap(rest);
    }
}

// The value within [low, high]; low when the range is empty (an area smaller than its inset).
int cut(int value, int low, int high) {
    return std::max(low, std::min(value, std::max(low, high)));
}

Rect placeFloat(const Rect& container, const BoxItem& item) {
    Rect r = item.floatPos.offset(container.left, container.top);
    if (item.main > 0 || item.cross > 0) {
        // A float with fixed sizes keeps them; pos then only gives its corner.
        if (r.width() <= 0) r.right = r.left + item.cross;
        if (r.height() <= 0) r.bottom = r.top + item.main;
    }
    return r;
}

}  // namespace

std::vector<Rect> layoutBox(Axis axis, const Rect& container, const Rect& area, int gap,
                            const std::vector<BoxItem>& items) {
    const bool vertical = axis == Axis::kVertical;
    const int mainSize = vertical ? area.height() : area.width();
    const int crossSize = vertical ? area.width() : area.height();
    auto mainMargins = [&](const BoxItem& i) {
        return vertical ? i.margin.vertical() : i.margin.horizontal();
    };

    std::vector<int> sizes(items.size(), 0);
    int room = mainSize;
    int placed = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].floating) continue;
        room -= mainMargins(items[i]) + (placed++ > 0 ? gap : 0);
        if (items[i].main > 0) {
            sizes[i] = clampBounds(items[i].main, items[i].minMain, items[i].maxMain);
            room -= sizes[i];
        }
    }
    shareRoom(items, sizes, room);

    std::vector<Rect> rects(items.size());
    int cursor = vertical ? area.top : area.left;
    const int end = vertical ? area.bottom : area.right;
    placed = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const BoxItem& item = items[i];
        if (item.floating) {
            rects[i] = placeFloat(container, item);
            continue;
        }
        if (placed++ > 0) cursor += gap;
        const int before = vertical ? item.margin.top : item.margin.left;
        const int after = vertical ? item.margin.bottom : item.margin.right;
        const int crossBefore = vertical ? item.margin.left : item.margin.top;
        const int crossAfter = vertical ? item.margin.right : item.margin.bottom;
        int cross = item.cross > 0 ? item.cross : crossSize - crossBefore - crossAfter;
        cross = std::max(0, clampBounds(cross, item.minCross, item.maxCross));
        // Both axes are cut at the area's ends: a fixed cross size or a margin never reaches
        // past them, also when the area has no room left.
        const int start = cut(cursor + before, vertical ? area.top : area.left, end);
        const int stop = cut(start + sizes[i], start, end);
        const int crossOrigin = vertical ? area.left : area.top;
        const int crossEnd = vertical ? area.right : area.bottom;
        const int crossStart = cut(crossOrigin + crossBefore, crossOrigin, crossEnd);
        const int crossStop = cut(crossStart + cross, crossStart, crossEnd);
        rects[i] = vertical ? Rect{crossStart, start, crossStop, stop}
                            : Rect{start, crossStart, stop, crossStop};
        cursor = stop + after;
    }
    return rects;
}

Size measureBox(Axis axis, int gap, const std::vector<BoxItem>& items) {
    const bool vertical = axis == Axis::kVertical;
    int along = 0, across = 0, placed = 0;
    for (const BoxItem& item : items) {
        if (item.floating) continue;
        const int main =
            item.main > 0 ? clampBounds(item.main, item.minMain, item.maxMain) : item.minMain;
        const int cross =
            item.cross > 0 ? clampBounds(item.cross, item.minCross, item.maxCross) : item.minCross;
        along += main + (vertical ? item.margin.vertical() : item.margin.horizontal()) +
                 (placed++ > 0 ? gap : 0);
        across = std::max(across,
                          cross + (vertical ? item.margin.horizontal() : item.margin.vertical()));
    }
    return vertical ? Size{across, along} : Size{along, across};
}

}  // namespace tk
