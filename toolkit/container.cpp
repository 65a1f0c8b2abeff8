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

void Container::arrangeBox(Axis axis, const Rect& area) {
    std::vector<Control*> laid;
    std::vector<BoxItem> items;
    for (auto& child : children_) {
        if (!laysOut(*child)) continue;
        BoxItem item = boxItem(*child, {area.width(), area.height()});
        if (axis == Axis::kHorizontal) {
            std::swap(item.main, item.cross);
            std::swap(item.minMain, item.minCross);
            std::swap(item.maxMain, item.maxCross);
        }
        laid.push_back(child.get());
        items.push_back(item);
    }
    const auto rects = layoutBox(axis, rect_, area, scaleLength(childPadding_, dpi()), items);
    for (size_t i = 0; i < laid.size(); ++i) laid[i]->arrange(rects[i]);
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
