#include "toolkit/container.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/canvas.h"
#include "toolkit/paint_manager.h"

namespace tk {

const AttributeTable& Container::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Container::inset_, ValueKind::kInsets>(L"inset"),
        field<&Container::childPadding_, ValueKind::kInt>(L"childpadding"),
    };
    static const AttributeTable table{&Control::classAttributes(), entries};
    return table;
}

Control* Container::childAt(int index) const {
    return index >= 0 && index < childCount() ? children_[index].get() : nullptr;
}

Control* Container::insertAt(int index, std::unique_ptr<Control> child) {
    if (!child) return nullptr;
    if (index < 0 || index > childCount()) index = childCount();
    Control* raw = child.get();
    children_.insert(children_.begin() + index, std::move(child));
    raw->attach(manager_, this);
    invalidateLayout();
    return raw;
}

void Container::attach(PaintManager* manager, Control* parent) {
    Control::attach(manager, parent);
    for (auto& child : children_) child->attach(manager, this);
}

void Container::arrange(const Rect& rect) {
    Control::arrange(rect);
    arrangeChildren(rect.deflate(scaleInsets(inset_, dpi())));
}

void Container::mirrorPlacement(const Rect& window) {
    Control::mirrorPlacement(window);
    for (auto& child : children_)
        if (laysOut(*child)) child->mirrorPlacement(window);
}

void Container::arrangeChildren(const Rect& area) {
    for (auto& child : children_) {
        if (!laysOut(*child)) continue;
        if (child->isFloat()) {
            const BoxItem item = boxItem(*child, {area.width(), area.height()});
            child->arrange(layoutBox(Axis::kVertical, rect_, area, 0, {item})[0]);
        } else {
            child->arrange(area.deflate(scaleInsets(child->padding(), dpi())));
        }
    }
}

BoxItem Container::boxItem(Control& child, Size available) const {
    const int d = dpi();
    const Size want = child.desiredSize(available);
    BoxItem item;
    item.main = want.cy;
    item.cross = want.cx;
    item.minMain = scaleLength(child.minHeight(), d);
    item.maxMain = scaleLength(child.maxHeight(), d);
    item.minCross = scaleLength(child.minWidth(), d);
    item.maxCross = scaleLength(child.maxWidth(), d);
    item.margin = scaleInsets(child.padding(), d);
    item.floating = child.isFloat();
    item.floatPos = scaleRect(child.floatPos(), d);
    return item;
}

std::vector<BoxItem> Container::boxItems(Axis axis, Size available,
                                         std::vector<Control*>& laid) const {
    std::vector<BoxItem> items;
    for (auto& child : children_) {
        if (!laysOut(*child)) continue;
        BoxItem item = boxItem(*child, available);
        if (axis == Axis::kHorizontal) {
            std::swap(item.main, item.cross);
            std::swap(item.minMain, item.minCross);
            std::swap(item.maxMain, item.maxCross);
        }
        laid.push_back(child.get());
        items.push_back(item);
    }
    return items;
}

void Container::arrangeBox(Axis axis, const Rect& area) {
    std::vector<Control*> laid;
    const auto items = boxItems(axis, {area.width(), area.height()}, laid);
    const auto rects = layoutBox(axis, rect_, area, scaleLength(childPadding_, dpi()), items);
    for (size_t i = 0; i < laid.size(); ++i) laid[i]->arrange(rects[i]);
}

Size Container::contentSize(int width) {
    const Insets inset = scaleInsets(inset_, dpi());
    if (fixedWidth_ > 0) width = px(fixedWidth_);
    Size size = measureChildren(std::max(0, width - inset.horizontal()));
    size.cx = fixedWidth_ > 0 ? px(fixedWidth_) : size.cx + inset.horizontal();
    size.cy = fixedHeight_ > 0 ? px(fixedHeight_) : size.cy + inset.vertical();
    return size;
}

Size Container::measureChildren(int width) {
    Size size;
    for (auto& child : children_) {
        if (!laysOut(*child) || child->isFloat()) continue;
        const Insets margin = scaleInsets(child->padding(), dpi());
        const Size need = child->contentSize(std::max(0, width - margin.horizontal()));
        size.cx = std::max(size.cx, need.cx + margin.horizontal());
        size.cy = std::max(size.cy, need.cy + margin.vertical());
    }
    return size;
}

// Each child is measured at the width it is laid out in: the column's width (less its margins,
// within its bounds), or its share of the row. What it needs becomes its item's size where the
// layout gives it none of its own.
Size Container::measureAlong(Axis axis, int width) {
    std::vector<Control*> laid;
    auto items = boxItems(axis, {width, 0}, laid);
    const int gap = scaleLength(childPadding_, dpi());
    std::vector<Rect> shares;
    if (axis == Axis::kHorizontal)
        shares = layoutBox(axis, {0, 0, width, 0}, {0, 0, width, 0}, gap, items);
    for (size_t i = 0; i < laid.size(); ++i) {
        BoxItem& item = items[i];
        if (item.floating) continue;
        if (axis == Axis::kVertical) {
            int across = item.cross > 0 ? item.cross : width - item.margin.horizontal();
            if (item.maxCross > 0) across = std::min(across, item.maxCross);
            const Size need = laid[i]->contentSize(std::max({0, across, item.minCross}));
            if (item.main == 0) item.main = need.cy;
            if (item.cross == 0) item.minCross = std::max(item.minCross, need.cx);
        } else {
            const Size need = laid[i]->contentSize(shares[i].width());
            if (item.main == 0) item.minMain = std::max(item.minMain, need.cx);
            if (item.cross == 0) item.cross = need.cy;
        }
    }
    return tk::measureBox(axis, gap, items);
}

void Container::paint(Canvas& canvas, const Rect& dirty) {
    if (rect_.intersect(dirty).empty()) return;
    canvas.pushClip(rect_);
    paintBackground(canvas);
    paintStatusImage(canvas);
    paintText(canvas);
    for (auto& child : children_)
        if (laysOut(*child)) child->paint(canvas, dirty);
    paintBorder(canvas);
    canvas.popClip();
}

Control* Container::hitTest(Point point) {
    if (!ownVisible() || !rect_.contains(point)) return nullptr;
    // Later children paint over earlier ones, so they are hit first.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if (laysOut(**it))
            if (Control* hit = (*it)->hitTest(point)) return hit;
    return this;
}

Control* Container::findByName(std::wstring_view name) {
    if (Control* self = Control::findByName(name)) return self;
    for (auto& child : children_)
        if (Control* found = child->findByName(name)) return found;
    return nullptr;
}

void Container::onMouseWheel(int delta) {
    if (parent_) parent_->onMouseWheel(delta);
}

const AttributeTable& TabLayout::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&TabLayout::selected_, ValueKind::kInt>(L"selectedid"),
    };
    static const AttributeTable table{&Container::classAttributes(), entries};
    return table;
}

bool TabLayout::selectPage(int index, bool) {
    if (index < 0 || index >= childCount()) return false;
    if (index == selected_) return true;
    if (manager_) manager_->controlHidden(childAt(selected_));
    selected_ = index;
    invalidateLayout();
    invalidate();
    if (manager_) manager_->controlChanged(this, EVENT_OBJECT_SELECTION);
    return true;
}

bool TabLayout::laysOut(const Control& child) const {
    return child.ownVisible() && &child == childAt(selected_);
}

void TabLayout::arrangeChildren(const Rect& area) {
    if (Control* page = childAt(selected_); page && page->ownVisible())
        page->arrange(area.deflate(scaleInsets(page->padding(), dpi())));
}

void TabLayout::paint(Canvas& canvas, const Rect& dirty) {
    Container::paint(canvas, dirty);
}
Control* TabLayout::hitTest(Point point) {
    return Container::hitTest(point);
}

AccessibleInfo TabLayout::accessible() const {
    return {ROLE_SYSTEM_PAGETABLIST, tooltip_, std::to_wstring(selected_), {}};
}

}  // namespace tk
