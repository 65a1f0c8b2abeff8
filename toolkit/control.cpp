#include "toolkit/control.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/canvas.h"
#include "toolkit/markup.h"
#include "toolkit/paint_manager.h"
#include "toolkit/text_table.h"

namespace tk {

namespace {

// Parses into the target when the value reads; a malformed value leaves the old one.
template <class T, class F>
bool assign(T& target, const std::wstring& value, F parse) {
    if (auto parsed = parse(value)) target = *parsed;
    return true;
}

unsigned horizontalAlign(const std::wstring& value, unsigned current) {
    const unsigned vertical = current & (kAlignVCenter | kAlignBottom);
    if (value == L"center") return vertical | kAlignCenter;
    if (value == L"right") return vertical | kAlignRight;
    if (value == L"left") return vertical | kAlignLeft;
    return current;
}

unsigned verticalAlign(const std::wstring& value, unsigned current) {
    const unsigned horizontal = current & (kAlignCenter | kAlignRight);
    if (value == L"center" || value == L"vcenter") return horizontal | kAlignVCenter;
    if (value == L"bottom") return horizontal | kAlignBottom;
    if (value == L"top") return horizontal | kAlignTop;
    return current;
}

}  // namespace

Control::Control() = default;

Control::~Control() {
    if (manager_) manager_->forget(this);
}

bool Control::setAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"name") return name_ = value, true;
    if (name == L"text") return setText(resolveLayoutText(value)), true;
    if (name == L"tooltip") return tooltip_ = resolveLayoutText(value), true;
    if (name == L"userdata") return userData_ = value, true;
    if (name == L"visible") return assign(visible_, value, parseBool);
    if (name == L"enabled") return assign(enabled_, value, parseBool);
    if (name == L"float") return assign(float_, value, parseBool);
    if (name == L"pos") {
        if (auto r = parseRect(value)) {
            floatPos_ = *r;
            fixedWidth_ = r->width();
            fixedHeight_ = r->height();
        }
        return true;
    }
    if (name == L"width") return assign(fixedWidth_, value, parseInt);
    if (name == L"height") return assign(fixedHeight_, value, parseInt);
    if (name == L"minwidth") return assign(minWidth_, value, parseInt);
    if (name == L"maxwidth") return assign(maxWidth_, value, parseInt);
    if (name == L"minheight") return assign(minHeight_, value, parseInt);
    if (name == L"maxheight") return assign(maxHeight_, value, parseInt);
    if (name == L"padding") return assign(padding_, value, parseInsets);
    if (name == L"bkcolor") return assign(bkColor_, value, parseColor);
    if (name == L"bordercolor") return assign(borderColor_, value, parseColor);
    if (name == L"focusbordercolor") return assign(focusBorderColor_, value, parseColor);
    if (name == L"bordersize") return assign(borderSize_, value, parseInt);
    if (name == L"borderround") {
        // "r" or "rx,ry": corners are circular, so the first value is the radius.
        if (auto s = parseSize(value)) return borderRound_ = s->cx, true;
        return assign(borderRound_, value, parseInt);
    }
    if (name == L"bkimage") return bkImage_ = value, true;
    if (name == L"foreimage") return foreImage_ = value, true;
    if (name == L"cursor") return handCursor_ = (value == L"hand"), true;
    return false;
}

void Control::setText(const std::wstring& text) {
    if (text_ == text) return;
    text_ = text;
    invalidate();
    if (manager_) manager_->controlChanged(this, EVENT_OBJECT_NAMECHANGE);
}

bool Control::isVisible() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->visible_ || (c->parent_ && !c->parent_->showsChild(*c))) return false;
    return true;
}

void Control::setVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    invalidateLayout();
    if (manager_) {
        if (!visible) manager_->controlHidden(this);
        manager_->controlChanged(this, visible ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
    }
}

bool Control::isEnabled() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->enabled_) return false;
    return true;
}

void Control::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    invalidate();
    if (manager_) {
        if (!enabled) manager_->controlHidden(this);
        manager_->controlChanged(this, EVENT_OBJECT_STATECHANGE);
    }
}

void Control::setBackgroundImage(const std::wstring& image) {
    bkImage_ = image;
    invalidate();
}
void Control::setPadding(const Insets& padding) {
    padding_ = padding;
    invalidateLayout();
}
void Control::setMinWidth(int width) {
    minWidth_ = width;
    invalidateLayout();
}
void Control::setFixedWidth(int width) {
    fixedWidth_ = width;
    invalidateLayout();
}
void Control::setFixedHeight(int height) {
    fixedHeight_ = height;
    invalidateLayout();
}

Size Control::desiredSize(Size) {
    return {px(fixedWidth_), px(fixedHeight_)};
}

void Control::arrange(const Rect& rect) {
    if (rect_ != rect) invalidate();
    rect_ = rect;
    invalidate();
}

void Control::mirrorPlacement(const Rect& window) {
    rect_ = rect_.mirroredIn(window);
}

void Control::paint(Canvas& canvas, const Rect& dirty) {
    if (rect_.intersect(dirty).empty()) return;
    canvas.pushClip(rect_);
    paintBackground(canvas);
    paintStatusImage(canvas);
    paintText(canvas);
    paintBorder(canvas);
    canvas.popClip();
}

Control* Control::hitTest(Point point) {
    return isVisible() && rect_.contains(point) ? this : nullptr;
}

void Control::onMouseEnter() {
    invalidate();
}
void Control::onMouseLeave() {
    invalidate();
}
void Control::onButtonDown(Point) {
    invalidate();
}
void Control::onButtonUp(Point, bool) {
    invalidate();
}
bool Control::onKeyDown(WPARAM) {
    return false;
}
void Control::onFocus(bool) {
    invalidate();
}

AccessibleInfo Control::accessible() const {
    return {ROLE_SYSTEM_GROUPING, tooltip_, {}, {}};
}

unsigned Control::accessibleState() const {
    unsigned state = 0;
    if (!isVisible()) state |= STATE_SYSTEM_INVISIBLE;
    if (!isEnabled()) state |= STATE_SYSTEM_UNAVAILABLE;
    if (isFocusable()) state |= STATE_SYSTEM_FOCUSABLE;
    if (isFocused()) state |= STATE_SYSTEM_FOCUSED;
    if (isHot()) state |= STATE_SYSTEM_HOTTRACKED;
    if (isPushed()) state |= STATE_SYSTEM_PRESSED;
    return state;
}

void Control::attach(PaintManager* manager, Control* parent) {
    if (manager_ != manager) {
        if (manager_) manager_->forget(this);
        accessibleId_ = manager ? manager->registerControl(this) : 0;
    }
    manager_ = manager;
    parent_ = parent;
}

Control* Control::findByName(std::wstring_view name) {
    return !name.empty() && name_ == name ? this : nullptr;
}

void Control::invalidate() {
    if (manager_ && !rect_.empty()) manager_->invalidate(rect_);
}

void Control::invalidateLayout() {
    if (manager_) manager_->invalidateLayout();
}

bool Control::isHot() const {
    return manager_ && manager_->hot() == this;
}
bool Control::isPushed() const {
    return manager_ && manager_->pushed() == this && isHot();
}
bool Control::isFocused() const {
    return manager_ && manager_->focus() == this;
}
int Control::dpi() const {
    return manager_ ? manager_->dpi() : 96;
}
int Control::px(int units) const {
    return scaleLength(units, dpi());
}
bool Control::rightToLeft() const {
    return manager_ && manager_->rightToLeft();
}
Rect Control::directed(const Rect& part) const {
    return rightToLeft() ? part.mirroredIn(rect_) : part;
}

bool Control::drawImage(Canvas& canvas, const std::wstring& image, const Rect& rect) {
    return !image.empty() && manager_ && manager_->drawImage(canvas, image, rect);
}

void Control::paintBackground(Canvas& canvas) {
    if (bkColor_ >> 24) canvas.fillRoundRect(rect_, px(borderRound_), bkColor_);
    drawImage(canvas, bkImage_, rect_);
}

void Control::paintBorder(Canvas& canvas) {
    drawImage(canvas, foreImage_, rect_);
    const Argb colour = isFocused() && focusBorderColor_ ? focusBorderColor_ : borderColor_;
    if (borderSize_ > 0 && (colour >> 24))
        canvas.strokeRoundRect(rect_, px(borderRound_), std::max(1, px(borderSize_)), colour);
}

void Control::notify(std::wstring_view type, int index) {
    if (manager_) manager_->sendNotify(this, type, index);
}

// ---- Label ----

bool Label::setAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"font") return assign(font_, value, parseInt);
    if (name == L"textcolor") return assign(textColor_, value, parseColor);
    if (name == L"disabledtextcolor") return assign(disabledTextColor_, value, parseColor);
    if (name == L"textpadding") return assign(textPadding_, value, parseInsets);
    if (name == L"align") return align_ = horizontalAlign(value, align_), true;
    if (name == L"valign") {
        align_ = verticalAlign(value, align_);
        valignGiven_ = true;
        return true;
    }
    if (name == L"endellipsis") return assign(endEllipsis_, value, parseBool);
    if (name == L"showhtml") return assign(showHtml_, value, parseBool);
    if (name == L"multiline") {
        assign(multiline_, value, parseBool);
        // Wrapped text starts at the top unless a vertical alignment was asked for.
        if (multiline_ && !valignGiven_)
            align_ = (align_ & ~(kAlignVCenter | kAlignBottom)) | kAlignTop;
        return true;
    }
    if (name == L"autocalcwidth") return assign(autoWidth_, value, parseBool);
    return Control::setAttribute(name, value);
}

void Label::setText(const std::wstring& text) {
    if (text == text_) return;
    Control::setText(text);
    if (autoWidth_ || multiline_) invalidateLayout();
}

TextFormat Label::textFormat() const {
    TextFormat format;
    format.align = align_;
    format.multiline = multiline_;
    format.endEllipsis = endEllipsis_ && !multiline_;
    format.markup = showHtml_;
    if (rightToLeft()) format = rightToLeftFormat(format);
    return format;
}

FontSpec Label::fontSpec() const {
    return manager_ ? manager_->font(font_) : FontSpec{};
}

Size Label::desiredSize(Size available) {
    Size size = Control::desiredSize(available);
    if (autoWidth_ && fixedWidth_ == 0) {
        const Insets pad = scaleInsets(textPadding_, dpi());
        const auto m = measureText(text_, fontSpec(), dpi(), textFormat(), {0, 0});
        size.cx = std::max({m.size.cx + pad.horizontal(), px(minTextWidth_), px(minWidth_)});
    }
    return size;
}

void Label::paintText(Canvas& canvas) {
    if (text_.empty()) return;
    const Rect box = directed(rect_.deflate(scaleInsets(textPadding_, dpi())));
    drawText(canvas, text_, fontSpec(), dpi(), textFormat(), box, currentTextColor());
}

Argb Label::currentTextColor() const {
    return isEnabled() ? textColor_ : disabledTextColor_;
}

AccessibleInfo Label::accessible() const {
    std::wstring name = showHtml_ ? plainText(text_) : text_;
    if (name.empty()) name = tooltip_;
    return {ROLE_SYSTEM_STATICTEXT, name, {}, {}};
}

// ---- Button ----

Button::Button() {
    align_ = kAlignCenter | kAlignVCenter;
    handCursor_ = true;
}

bool Button::setAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"normalimage") return normalImage_ = value, true;
    if (name == L"hotimage") return hotImage_ = value, true;
    if (name == L"pushedimage") return pushedImage_ = value, true;
    if (name == L"disabledimage") return disabledImage_ = value, true;
    if (name == L"focusedimage") return focusedImage_ = value, true;
    if (name == L"hottextcolor") return assign(hotTextColor_, value, parseColor);
    if (name == L"pushedtextcolor") return assign(pushedTextColor_, value, parseColor);
    if (name == L"hotbkcolor") return assign(hotBkColor_, value, parseColor);
    if (name == L"pushedbkcolor") return assign(pushedBkColor_, value, parseColor);
    if (name == L"disabledbkcolor") return assign(disabledBkColor_, value, parseColor);
    return Label::setAttribute(name, value);
}

Argb Button::currentBackground() const {
    if (!isEnabled() && disabledBkColor_) return disabledBkColor_;
    if (isPushed() && pushedBkColor_) return pushedBkColor_;
    if (isHot() && hotBkColor_) return hotBkColor_;
    return 0;
}

void Button::paintStatusImage(Canvas& canvas) {
    if (const Argb fill = currentBackground()) canvas.fillRoundRect(rect_, px(borderRound_), fill);
    const std::wstring* image = &normalImage_;
    if (!isEnabled() && !disabledImage_.empty())
        image = &disabledImage_;
    else if (isPushed() && !pushedImage_.empty())
        image = &pushedImage_;
    else if (isHot() && !hotImage_.empty())
        image = &hotImage_;
    else if (isFocused() && !focusedImage_.empty())
        image = &focusedImage_;
    drawImage(canvas, *image, rect_);
}

Argb Button::currentTextColor() const {
    if (!isEnabled()) return disabledTextColor_;
    if (isPushed() && pushedTextColor_) return pushedTextColor_;
    if (isHot() && hotTextColor_) return hotTextColor_;
    return textColor_;
}

void Button::onButtonUp(Point point, bool inside) {
    Label::onButtonUp(point, inside);
    if (inside && isEnabled()) activate();
}

bool Button::onKeyDown(WPARAM key) {
    if (key == VK_SPACE) return activate();
    return false;
}

bool Button::activate() {
    if (!isEnabled() || !isVisible()) return false;
    notify(L"click");
    return true;
}

AccessibleInfo Button::accessible() const {
    AccessibleInfo info = Label::accessible();
    info.role = ROLE_SYSTEM_PUSHBUTTON;
    info.defaultAction = L"Press";
    return info;
}

// ---- Option ----

bool Option::setAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"group") return group_ = value, true;
    if (name == L"selected") {
        selected_ = parseBool(value).value_or(selected_);
        return true;
    }
    if (name == L"selectedimage") return selectedImage_ = value, true;
    if (name == L"selectedhotimage") return selectedHotImage_ = value, true;
    if (name == L"selectedbkcolor") return assign(selectedBkColor_, value, parseColor);
    return Button::setAttribute(name, value);
}

void Option::setSelected(bool selected, bool sendNotify) {
    if (selected_ == selected) return;
    selected_ = selected;
    if (selected_ && !group_.empty() && manager_) manager_->clearGroup(group_, this);
    invalidate();
    if (manager_) manager_->controlChanged(this, EVENT_OBJECT_STATECHANGE);
    if (sendNotify) notify(L"selectchanged");
}

bool Option::activate() {
    if (!isEnabled() || !isVisible()) return false;
    // A radio option stays selected when clicked again; a check option toggles.
    if (!group_.empty())
        setSelected(true);
    else
        setSelected(!selected_);
    notify(L"click");
    return true;
}

void Option::paintStatusImage(Canvas& canvas) {
    if (!selected_) return Button::paintStatusImage(canvas);
    if (selectedBkColor_) canvas.fillRoundRect(rect_, px(borderRound_), selectedBkColor_);
    const std::wstring& image =
        isHot() && !selectedHotImage_.empty() ? selectedHotImage_ : selectedImage_;
    if (!drawImage(canvas, image, rect_)) Button::paintStatusImage(canvas);
}

AccessibleInfo Option::accessible() const {
    AccessibleInfo info = Button::accessible();
    info.role = group_.empty() ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_RADIOBUTTON;
    info.defaultAction = group_.empty() ? (selected_ ? L"Uncheck" : L"Check") : L"Select";
    return info;
}

unsigned Option::accessibleState() const {
    return Button::accessibleState() | (selected_ ? STATE_SYSTEM_CHECKED : 0);
}

// ---- Progress ----

bool Progress::setAttribute(std::wstring_view name, const std::wstring& value) {
    if (name == L"min") return assign(min_, value, parseInt);
    if (name == L"max") return assign(max_, value, parseInt);
    if (name == L"value") return assign(value_, value, parseInt);
    if (name == L"hor") return assign(horizontal_, value, parseBool);
    if (name == L"forecolor") return assign(foreColor_, value, parseColor);
    if (name == L"foreround") return assign(foreRound_, value, parseInt);
    if (name == L"foreimage") return barImage_ = value, true;
    return Label::setAttribute(name, value);
}

void Progress::setValue(int value) {
    value = std::clamp(value, min_, std::max(min_, max_));
    if (value == value_) return;
    value_ = value;
    invalidate();
    if (manager_) manager_->controlChanged(this, EVENT_OBJECT_VALUECHANGE);
}

void Progress::paintStatusImage(Canvas& canvas) {
    if (max_ <= min_) return;
    const double share = double(std::clamp(value_, min_, max_) - min_) / (max_ - min_);
    Rect reached = rect_;
    if (horizontal_)
        reached = directed(
            {rect_.left, rect_.top, rect_.left + int(rect_.width() * share + 0.5), rect_.bottom});
    else
        reached.top = rect_.bottom - int(rect_.height() * share + 0.5);
    if (reached.empty()) return;
    // The reached part takes the whole fore image or colour, so its end is rounded as the art
    // and the track are.
    canvas.pushClip(reached);
    if (foreColor_ >> 24) canvas.fillRoundRect(reached, px(foreRound_), foreColor_);
    drawImage(canvas, barImage_, reached);
    canvas.popClip();
}

AccessibleInfo Progress::accessible() const {
    AccessibleInfo info = Label::accessible();
    info.role = ROLE_SYSTEM_PROGRESSBAR;
    const int span = std::max(1, max_ - min_);
    info.value = std::to_wstring((value_ - min_) * 100 / span) + L"%";
    return info;
}

}  // namespace tk
