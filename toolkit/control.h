// The control tree of a skinned window. A control keeps its layout attributes in 96-DPI units,
// its arranged rectangle in device pixels of the window's client area, and paints itself into
// the window's canvas. Windows own their trees (through their paint manager); a container owns
// its children. UI thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/attribute_table.h"
#include "toolkit/geometry.h"
#include "toolkit/text_renderer.h"

namespace tk {

class Canvas;
class PaintManager;

// What the accessibility tree says a control is.
struct AccessibleInfo {
    long role = 0;  // ROLE_SYSTEM_*
    std::wstring name;
    std::wstring value;
    std::wstring defaultAction;
};

class Control {
public:
    Control();
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // The layout element name of the class ("Control", "Button", ...).
    virtual std::wstring_view className() const { return L"Control"; }
    // The control as the named interface (its class name, or a window's own class), or nothing.
    virtual void* getInterface(std::wstring_view name) {
        return name == className() ? this : nullptr;
    }
    // The layout attributes of the class, with those of its bases.
    static const AttributeTable& classAttributes();
    virtual const AttributeTable& attributeTable() const { return classAttributes(); }
    // Applies one layout attribute by the class's table.
    AttributeResult applyAttribute(std::wstring_view name, const std::wstring& value);
    // The same; true when the value was applied (false: unknown or malformed).
    bool setAttribute(std::wstring_view name, const std::wstring& value) {
        return applyAttribute(name, value) == AttributeResult::kApplied;
    }

    const std::wstring& name() const { return name_; }
    const std::wstring& text() const { return text_; }
    virtual void setText(const std::wstring& text);
    const std::wstring& tooltip() const { return tooltip_; }
    void setTooltip(const std::wstring& tooltip) { tooltip_ = tooltip; }
    const std::wstring& userData() const { return userData_; }
    void setUserData(const std::wstring& data) { userData_ = data; }
    // The accessible name the layout gives ("accname"), and the control this one labels
    // ("labelfor": its name); both empty when not given.
    const std::wstring& accName() const { return accName_; }
    const std::wstring& labelFor() const { return labelFor_; }

    bool ownVisible() const { return visible_; }
    // Visible itself and every parent up to the root.
    bool isVisible() const;
    virtual void setVisible(bool visible);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool isFloat() const { return float_; }

    void setBackgroundImage(const std::wstring& image);
    void setPadding(const Insets& padding);
    void setMinWidth(int width);
    void setFixedWidth(int width);
    void setFixedHeight(int height);
    const Insets& padding() const { return padding_; }
    int fixedWidth() const { return fixedWidth_; }
    int fixedHeight() const { return fixedHeight_; }
    int minWidth() const { return minWidth_; }
    int maxWidth() const { return maxWidth_; }
    int minHeight() const { return minHeight_; }
    int maxHeight() const { return maxHeight_; }
    const Rect& floatPos() const { return floatPos_; }

    // Layout: the size the control asks for in device pixels at the manager's DPI, given the
    // room available; 0 in a dimension means "share the rest". arrange places it.
    virtual Size desiredSize(Size available);
    // Measure: the room the control's content needs in device pixels, the narrowest width it
    // shows in uncut (cx) and its height when it is width wide (cy). A fixed size stands for
    // itself; 0 in a dimension: the content needs none there (it takes what it is given).
    virtual Size contentSize(int width);
    virtual void arrange(const Rect& rect);
    // After the layout of a right-to-left window: the control, and what it laid out inside it,
    // take the reflection of their places across the window.
    virtual void mirrorPlacement(const Rect& window);
    const Rect& rect() const { return rect_; }

    virtual void paint(Canvas& canvas, const Rect& dirty);
    // The deepest visible control under the point, or nothing.
    virtual Control* hitTest(Point point);

    // Input. A control that takes part in focus and activation says so.
    virtual bool isFocusable() const { return false; }
    virtual bool wantsHandCursor() const { return handCursor_; }
    void setHandCursor(bool hand) { handCursor_ = hand; }
    virtual bool isInteractive() const { return isFocusable(); }
    virtual void onMouseEnter();
    virtual void onMouseLeave();
    virtual void onButtonDown(Point point);
    virtual void onButtonUp(Point point, bool inside);
    virtual void onMouseWheel(int delta) { (void)delta; }
    virtual bool onKeyDown(WPARAM key);
    virtual void onFocus(bool focused);
    // Click for buttons, toggle for options, open for combos; false when there is nothing to do.
    virtual bool activate() { return false; }

    virtual AccessibleInfo accessible() const;
    virtual unsigned accessibleState() const;

    // Tree.
    Control* parent() const { return parent_; }
    PaintManager* manager() const { return manager_; }
    virtual void attach(PaintManager* manager, Control* parent);
    virtual int childCount() const { return 0; }
    virtual Control* childAt(int) const { return nullptr; }
    virtual Control* findByName(std::wstring_view name);
    // Whether the child is on show (a tab layout shows only its selected page).
    virtual bool showsChild(const Control& child) const { return child.ownVisible(); }
    // Identity of the control in its window's accessibility tree (1 and up; 0 when detached).
    int accessibleId() const { return accessibleId_; }

    void invalidate();
    // Something that changes sizes happened: the window lays out again before it paints.
    void invalidateLayout();

protected:
    bool isHot() const;
    bool isPushed() const;
    bool isFocused() const;
    int dpi() const;
    int px(int units) const;
    bool rightToLeft() const;
    // A part of the control given as a left-to-right window has it, where the window shows it.
    Rect directed(const Rect& part) const;
    // Draws an image string into the rectangle (dest relative to it); false when nothing drew.
    bool drawImage(Canvas& canvas, const std::wstring& image, const Rect& rect);
    void paintBackground(Canvas& canvas);
    virtual void paintStatusImage(Canvas& canvas) { (void)canvas; }
    virtual void paintText(Canvas& canvas) { (void)canvas; }
    void paintBorder(Canvas& canvas);
    void notify(std::wstring_view type, int index = -1);

    std::wstring name_;
    std::wstring text_;
    std::wstring tooltip_;
    std::wstring userData_;
    std::wstring accName_;
    std::wstring labelFor_;
    bool visible_ = true;
    bool enabled_ = true;
    bool float_ = false;
    bool handCursor_ = false;
    Rect floatPos_;
    int fixedWidth_ = 0;
    int fixedHeight_ = 0;
    int minWidth_ = 0;
    int maxWidth_ = 0;  // 0: no maximum
    int minHeight_ = 0;
    int maxHeight_ = 0;
    Insets padding_;
    Argb bkColor_ = 0;
    Argb borderColor_ = 0;
    Argb focusBorderColor_ = 0;
    int borderSize_ = 0;
    int borderRound_ = 0;
    std::wstring bkImage_;
    std::wstring foreImage_;
    Rect rect_;
    Control* parent_ = nullptr;
    PaintManager* manager_ = nullptr;
    int accessibleId_ = 0;
};

// A control that draws a text.
class Label : public Control {
public:
    std::wstring_view className() const override { return L"Label"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    void setText(const std::wstring& text) override;
    Size desiredSize(Size available) override;
    // The text's room: a single line its width (unless it may end in an ellipsis) and height,
    // wrapped lines their height at the width; the text padding around either.
    Size contentSize(int width) override;
    AccessibleInfo accessible() const override;

    void setTextColor(Argb colour) { textColor_ = colour, invalidate(); }
    void setFont(int id) { font_ = id, invalidateLayout(); }
    void setTextPadding(const Insets& padding) { textPadding_ = padding, invalidateLayout(); }
    void setShowHtml(bool on) { showHtml_ = on, invalidate(); }
    // The label grows to its text's width (at least the given minimum, in 96-DPI units).
    void setAutoWidth(bool on) { autoWidth_ = on, invalidateLayout(); }
    // The label sizes to its text, and is at least this wide (96-DPI units).
    void setMinTextWidth(int width) {
        minTextWidth_ = width, autoWidth_ = true, invalidateLayout();
    }
    int fontId() const { return font_; }
    TextFormat textFormat() const;
    const Insets& textPadding() const { return textPadding_; }
    // The font the label draws with, resolved through the window's fonts.
    FontSpec fontSpec() const;

protected:
    void paintText(Canvas& canvas) override;
    virtual Argb currentTextColor() const;

    int font_ = -1;
    Argb textColor_ = 0xFF17171A;
    Argb disabledTextColor_ = 0xFFA3A8B0;
    Insets textPadding_;
    unsigned align_ = kAlignLeft | kAlignVCenter;
    bool endEllipsis_ = false;
    bool showHtml_ = false;
    bool multiline_ = false;
    bool autoWidth_ = false;
    bool valignGiven_ = false;
    int minTextWidth_ = 0;
};

// A label that is clicked.
class Button : public Label {
public:
    Button();
    std::wstring_view className() const override { return L"Button"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    bool isFocusable() const override { return isEnabled(); }
    bool isInteractive() const override { return true; }
    void onButtonUp(Point point, bool inside) override;
    bool onKeyDown(WPARAM key) override;
    bool activate() override;
    AccessibleInfo accessible() const override;

    void setNormalImage(const std::wstring& image) { normalImage_ = image, invalidate(); }
    void setHotImage(const std::wstring& image) { hotImage_ = image, invalidate(); }
    void setPushedImage(const std::wstring& image) { pushedImage_ = image, invalidate(); }

protected:
    void paintStatusImage(Canvas& canvas) override;
    Argb currentTextColor() const override;
    Argb currentBackground() const;

    std::wstring normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_;
    Argb hotTextColor_ = 0, pushedTextColor_ = 0;
    Argb hotBkColor_ = 0, pushedBkColor_ = 0, disabledBkColor_ = 0;
};

// A check button, or a radio button when it has a group.
class Option : public Button {
public:
    std::wstring_view className() const override { return L"Option"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    bool isSelected() const { return selected_; }
    const std::wstring& group() const { return group_; }
    // Changes the selection; a selected option of a group clears the others of its group.
    void setSelected(bool selected, bool sendNotify = true);
    bool activate() override;
    AccessibleInfo accessible() const override;
    unsigned accessibleState() const override;

protected:
    void paintStatusImage(Canvas& canvas) override;

    std::wstring group_;
    bool selected_ = false;
    std::wstring selectedImage_, selectedHotImage_;
    Argb selectedBkColor_ = 0;
};

// A progress bar: the fore image or colour covers the part of the bar the value has reached.
class Progress : public Label {
public:
    std::wstring_view className() const override { return L"Progress"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    void setValue(int value);
    int value() const { return value_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    AccessibleInfo accessible() const override;

protected:
    void paintStatusImage(Canvas& canvas) override;

    int min_ = 0;
    int max_ = 100;
    int value_ = 0;
    bool horizontal_ = true;
    Argb foreColor_ = 0;
    int foreRound_ = 0;
    std::wstring barImage_;
};

}  // namespace tk
