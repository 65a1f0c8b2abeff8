// The box layout pass of vertical and horizontal containers, as pure functions over device
// pixels: fixed sizes first, the rest shared among stretching children within their minimum and
// maximum, margins and gaps between them, floats placed by their position; and the measure of
// the room such a box needs for its items. Any thread.
#pragma once

#include <vector>

#include "toolkit/geometry.h"

namespace tk {

enum class Axis { kVertical, kHorizontal };

struct BoxItem {
    int main = 0;     // fixed size along the axis; 0 stretches
    int cross = 0;    // fixed size across the axis; 0 fills the container
    int minMain = 0;  // bounds along the axis (0: none)
    int maxMain = 0;
    int minCross = 0;
    int maxCross = 0;
    Insets margin;  // outside the item
    bool floating = false;
    Rect floatPos;  // relative to the container's own rectangle, for floats
};

// Places items inside area (the container's rectangle less its inset); gap lies between
// neighbouring non-floating items. container is the container's full rectangle, the origin of
// floats. Items that do not fit are cut at the area's end, never placed outside it.
std::vector<Rect> layoutBox(Axis axis, const Rect& container, const Rect& area, int gap,
                            const std::vector<BoxItem>& items);

// The smallest area (width, height) in which layoutBox gives every item that is not a float its
// whole size: along the axis the items' sizes within their bounds (a stretching item its
// minimum), their margins and the gaps summed; across it the largest item with its margins (an
// item that fills the container its minimum). Floats sit where their position says and need no
// room of the flow.
Size measureBox(Axis axis, int gap, const std::vector<BoxItem>& items);

}  // namespace tk
