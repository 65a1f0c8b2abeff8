// Controls that hold other controls: the plain container (children overlap its whole area),
// vertical and horizontal boxes, and the tab layout that shows one page at a time. A container
// owns its children. UI thread only.
#pragma once

#include <memory>
#include <vector>

#include "toolkit/box_layout.h"
#include "toolkit/control.h"

namespace tk {

class Container : public Control {
public:
    std::wstring_view className() const override { return L"Container"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }

    int childCount() const override { return static_cast<int>(children_.size()); }
    Control* childAt(int index) const override;
    // Takes the child; an index outside 0..count appends. Returns the child.
    Control* insertAt(int index, std::unique_ptr<Control> child);
    Control* add(std::unique_ptr<Control> child) {
        return insertAt(childCount(), std::move(child));
    }

    void attach(PaintManager* manager, Control* parent) override;
    // The children's room with the inset around it; a fixed width or height of the container
    // stands for itself.
    Size contentSize(int width) override;
    void arrange(const Rect& rect) override;
    void mirrorPlacement(const Rect& window) override;
    void paint(Canvas& canvas, const Rect& dirty) override;
    Control* hitTest(Point point) override;
    Control* findByName(std::wstring_view name) override;
    void onMouseWheel(int delta) override;

    const Insets& inset() const { return inset_; }
    int childPadding() const { return childPadding_; }

protected:
    // Places the children inside the rectangle less the inset.
    virtual void arrangeChildren(const Rect& area);
    BoxItem boxItem(Control& child, Size available) const;
    // The children that take part in the layout, and their items along the axis.
    std::vector<BoxItem> boxItems(Axis axis, Size available, std::vector<Control*>& laid) const;
    void arrangeBox(Axis axis, const Rect& area);
    // The room the children need inside the given width (the inset is the caller's): children
    // on top of each other by default, one after the other along the axis in a box.
    virtual Size measureChildren(int width);
    Size measureAlong(Axis axis, int width);
    // Children that take part in the layout: visible ones (a tab layout narrows this).
    virtual bool laysOut(const Control& child) const { return child.ownVisible(); }

    std::vector<std::unique_ptr<Control>> children_;
    Insets inset_;
    int childPadding_ = 0;
};

class VerticalLayout : public Container {
public:
    std::wstring_view className() const override { return L"VerticalLayout"; }

protected:
    void arrangeChildren(const Rect& area) override { arrangeBox(Axis::kVertical, area); }
    Size measureChildren(int width) override { return measureAlong(Axis::kVertical, width); }
};

class HorizontalLayout : public Container {
public:
    std::wstring_view className() const override { return L"HorizontalLayout"; }

protected:
    void arrangeChildren(const Rect& area) override { arrangeBox(Axis::kHorizontal, area); }
    Size measureChildren(int width) override { return measureAlong(Axis::kHorizontal, width); }
};

// Shows the selected page only; every page fills the layout's area.
class TabLayout : public Container {
public:
    std::wstring_view className() const override { return L"TabLayout"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    int selectedIndex() const { return selected_; }
    // Shows page index (ignored when out of range). Changes of page are immediate: the
    // animate flag is accepted and has no effect.
    bool selectPage(int index, bool animate = false);
    AccessibleInfo accessible() const override;

protected:
    bool laysOut(const Control& child) const override;
    bool showsChild(const Control& child) const override { return laysOut(child); }
    void arrangeChildren(const Rect& area) override;
    void paint(Canvas& canvas, const Rect& dirty) override;
    Control* hitTest(Point point) override;

    int selected_ = 0;
};

}  // namespace tk
