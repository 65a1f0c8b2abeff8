#include "toolkit/box_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/geometry_print.h"

namespace {

using tk::Axis;
using tk::BoxItem;
using tk::Rect;

struct Case {
    const char* what;
    Axis axis;
    Rect area;
    int gap;
    std::vector<BoxItem> items;
    std::vector<Rect> expected;
};

BoxItem fixed(int main, int cross = 0) {
    BoxItem b;
    b.main = main;
    b.cross = cross;
    return b;
}
BoxItem stretch() {
    return BoxItem{};
}
BoxItem bounded(int minMain, int maxMain) {
    BoxItem b;
    b.minMain = minMain;
    b.maxMain = maxMain;
    return b;
}
BoxItem margined(int main, tk::Insets margin) {
    BoxItem b = fixed(main);
    b.margin = margin;
    return b;
}
BoxItem floating(Rect pos) {
    BoxItem b;
    b.floating = true;
    b.floatPos = pos;
    return b;
}

TEST(BoxLayout, PlacesFixedStretchBoundedMarginedAndFloatingItems) {
    const Rect area{10, 20, 110, 220};  // 100 wide, 200 high
    const Case cases[] = {
        {"fixed then stretch",
         Axis::kVertical,
         area,
         0,
         {fixed(50), stretch()},
         {{10, 20, 110, 70}, {10, 70, 110, 220}}},
        {"two stretch share evenly, remainder to the first",
         Axis::kVertical,
         {0, 0, 10, 101},
         0,
         {stretch(), stretch()},
         {{0, 0, 10, 51}, {0, 51, 10, 101}}},
        {"gap between items only",
         Axis::kHorizontal,
         area,
         10,
         {fixed(20), stretch(), fixed(20)},
         {{10, 20, 30, 220}, {40, 20, 80, 220}, {90, 20, 110, 220}}},
        {"maximum cuts the share, the rest goes to others",
         Axis::kVertical,
         area,
         0,
         {bounded(0, 40), stretch()},
         {{10, 20, 110, 60}, {10, 60, 110, 220}}},
        {"minimum raises the share",
         Axis::kVertical,
         area,
         0,
         {bounded(150, 0), stretch()},
         {{10, 20, 110, 170}, {10, 170, 110, 220}}},
        {"fixed size clamped by its maximum",
         Axis::kVertical,
         area,
         0,
         {[] {
             BoxItem b = fixed(90);
             b.maxMain = 30;
             return b;
         }()},
         {{10, 20, 110, 50}}},
        {"margins on both axes",
         Axis::kVertical,
         area,
         0,
         {margined(30, {5, 4, 6, 8}), stretch()},
         {{15, 24, 104, 54}, {10, 62, 110, 220}}},
        {"fixed cross size sits at the start",
         Axis::kHorizontal,
         area,
         0,
         {fixed(40, 30)},
         {{10, 20, 50, 50}}},
        {"fixed cross size is cut at the area's end",
         Axis::kHorizontal,
         area,
         0,
         {fixed(40, 300)},
         {{10, 20, 50, 220}}},
        {"an area without room leaves fixed items empty inside it",
         Axis::kHorizontal,
         {10, 20, 110, 20},
         0,
         {fixed(40, 30)},
         {{10, 20, 50, 20}}},
        {"negative margins do not reach before the area",
         Axis::kVertical,
         area,
         0,
         {margined(30, {-5, -4, -6, -8})},
         {{10, 20, 110, 50}}},
        {"overflow is cut at the end",
         Axis::kVertical,
         area,
         0,
         {fixed(150), fixed(150), stretch()},
         {{10, 20, 110, 170}, {10, 170, 110, 220}, {10, 220, 110, 220}}},
        {"floats ignore the flow and sit at pos in the container",
         Axis::kVertical,
         area,
         0,
         {fixed(50), floating({5, 6, 25, 16}), stretch()},
         {{10, 20, 110, 70}, {5, 6, 25, 16}, {10, 70, 110, 220}}},
        {"float with fixed size and only a corner",
         Axis::kVertical,
         area,
         0,
         {[] {
             BoxItem b = floating({7, 8, 7, 8});
             b.main = 12;
             b.cross = 30;
             return b;
         }()},
         {{7, 8, 37, 20}}},
        {"nothing to lay out", Axis::kVertical, area, 5, {}, {}},
    };
    const Rect container{0, 0, 200, 300};
    for (const auto& c : cases)
        EXPECT_EQ(tk::layoutBox(c.axis, container, c.area, c.gap, c.items), c.expected) << c.what;
}

TEST(BoxLayout, SharesNeverGoNegativeWhenFixedItemsOverfillTheArea) {
    const auto rects = tk::layoutBox(Axis::kHorizontal, {}, {0, 0, 50, 10}, 4,
                                     {fixed(40), stretch(), bounded(20, 0)});
    ASSERT_EQ(rects.size(), 3u);
    for (const Rect& r : rects) {
        EXPECT_GE(r.width(), 0);
        EXPECT_LE(r.right, 50);
    }
}

// The room a box needs: along the axis sizes within bounds, margins and gaps; across it the
// largest item; floats need none. In that room layoutBox cuts no item short.
TEST(BoxLayout, MeasuresTheRoomInWhichNoItemIsCut) {
    BoxItem clamped = fixed(90, 90);
    clamped.maxMain = 30;
    clamped.minCross = 120;
    const struct {
        Axis axis;
        int gap;
        std::vector<BoxItem> items;
        tk::Size expected;
    } cases[] = {
        {Axis::kVertical, 0, {fixed(20, 30), fixed(10, 50)}, {50, 30}},
        {Axis::kHorizontal, 6, {fixed(20), fixed(20), fixed(20)}, {72, 0}},
        {Axis::kVertical, 0, {fixed(10), bounded(25, 0), stretch()}, {0, 35}},
        {Axis::kVertical, 0, {clamped}, {120, 30}},
        {Axis::kHorizontal, 4, {margined(30, {5, 4, 6, 8}), fixed(10, 7)}, {55, 12}},
        {Axis::kVertical, 10, {fixed(10), floating({0, 0, 500, 500}), fixed(10)}, {0, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const tk::Size room = tk::measureBox(c.axis, c.gap, c.items);
        EXPECT_EQ(room, c.expected);
        const Rect area{3, 5, 3 + room.cx, 5 + room.cy};
        const auto rects = tk::layoutBox(c.axis, area, area, c.gap, c.items);
        for (size_t i = 0; i < c.items.size(); ++i) {
            const BoxItem& item = c.items[i];
            if (item.floating) continue;
            const int wanted = item.main > 0
                                   ? std::clamp(item.main, item.minMain,
                                                item.maxMain > 0 ? item.maxMain : item.main)
                                   : item.minMain;
            const Rect& r = rects[i];
            EXPECT_EQ(c.axis == Axis::kVertical ? r.height() : r.width(), wanted) << "item " << i;
            EXPECT_LE(c.axis == Axis::kVertical ? r.bottom : r.right,
                      c.axis == Axis::kVertical ? area.bottom : area.right);
        }
    }
}

}  // namespace
