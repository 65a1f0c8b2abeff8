// A drop-down choice: its items are the controls written inside it in the layout (labels whose
// user data the program reads); the closed combo shows the chosen item's text, a click or Space
// opens a list of the items in a popup, and choosing one sends "itemselect" with its index.
// The combo owns its items; the popup lives while it is open. UI thread only.
#pragma once

#include "toolkit/container.h"

namespace tk {

class ComboList;

class Combo : public Container {
public:
    Combo();
    ~Combo() override;
    std::wstring_view className() const override { return L"Combo"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }

    int itemCount() const { return childCount(); }
    Control* itemAt(int index) const { return childAt(index); }
    int selectedIndex() const { return selected_; }
    // Chooses the item and sends "itemselect"; an index out of range does nothing.
    bool selectItem(int index, bool sendNotify = true);
    bool isOpen() const { return list_ != nullptr; }
    void closeList();

    bool isFocusable() const override { return isEnabled(); }
    bool isInteractive() const override { return true; }
    bool showsChild(const Control&) const override { return false; }
    void arrange(const Rect& rect) override;
    void mirrorPlacement(const Rect& window) override { Control::mirrorPlacement(window); }
    void paint(Canvas& canvas, const Rect& dirty) override;
    Control* hitTest(Point point) override;
    void onButtonUp(Point point, bool inside) override;
    bool onKeyDown(WPARAM key) override;
    // Losing the focus closes the list without a choice.
    void onFocus(bool focused) override;
    bool activate() override;
    AccessibleInfo accessible() const override;
    unsigned accessibleState() const override;

    int itemHeight() const { return itemHeight_; }
    int fontId() const { return font_; }
    Argb textColor() const { return textColor_; }
    Argb hotColor() const { return hotItemColor_; }

private:
    std::wstring shownText() const;

    int selected_ = -1;
    int itemHeight_ = 28;
    int dropHeight_ = 0;  // 0: as tall as the items need, up to eight
    int font_ = -1;
    Argb textColor_ = 0xFF17171A;
    Argb hotItemColor_ = 0xFFF3F5F8;
    Insets textPadding_{8, 0, 24, 0};
    std::wstring normalImage_, hotImage_, pushedImage_, arrowImage_;
    ComboList* list_ = nullptr;
};

}  // namespace tk
