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

using K = ValueKind;

// The control of an entry's own class (a table is only used for its class and those below).
template <class C>
C& as(Control& control) {
    return static_cast<C&>(control);
}

}  // namespace

Control::Control() = default;

Control::~Control() {
    if (manager_) manager_->forget(this);
}

const AttributeTable& Control::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Control::name_, K::kText>(L"name"),
        {L"text", K::kText,
         [](Control& c, const std::wstring& v) { return c.setText(resolveLayoutText(v)), true; }},
        {L"tooltip", K::kText,
         [](Control& c, const std::wstring& v) { return c.tooltip_ = resolveLayoutText(v), true; }},
        field<&Control::userData_, K::kText>(L"userdata"),
        {L"accname", K::kText,
         [](Control& c, const std::wstring& v) { return c.accName_ = resolveLayoutText(v), true; }},
        field<&Control::labelFor_, K::kText>(L"labelfor"),
        field<&Control::visible_, K::kBool>(L"visible"),
        field<&Control::enabled_, K::kBool>(L"enabled"),
        field<&Control::float_, K::kBool>(L"float"),
        {L"pos", K::kRect,
         [](Control& c, const std::wstring& v) {
             const auto r = parseRect(v);
             if (!r) return false;
             c.floatPos_ = *r;
             c.fixedWidth_ = r->width();
             c.fixedHeight_ = r->height();
             return true;
         }},
        field<&Control::fixedWidth_, K::kInt>(L"width"),
        field<&Control::fixedHeight_, K::kInt>(L"height"),
        field<&Control::minWidth_, K::kInt>(L"minwidth"),
        field<&Control::maxWidth_, K::kInt>(L"maxwidth"),
        field<&Control::minHeight_, K::kInt>(L"minheight"),
        field<&Control::maxHeight_, K::kInt>(L"maxheight"),
        field<&Control::padding_, K::kInsets>(L"padding"),
        field<&Control::bkColor_, K::kColor>(L"bkcolor"),
        field<&Control::borderColor_, K::kColor>(L"bordercolor"),
        field<&Control::focusBorderColor_, K::kColor>(L"focusbordercolor"),
        field<&Control::borderSize_, K::kInt>(L"bordersize"),
        {L"borderround", K::kSize,
         [](Control& c, const std::wstring& v) {
             // "r" or "rx,ry": corners are circular, so the first value is the radius.
             const auto size = parseSize(v);
             const auto radius = size ? std::optional<int>(size->cx) : parseInt(v);
             if (radius) c.borderRound_ = *radius;
             return radius.has_value();
         }},
        field<&Control::bkImage_, K::kImage>(L"bkimage"),
        field<&Control::foreImage_, K::kImage>(L"foreimage"),
        {L"cursor", K::kWord,
         [](Control& c, const std::wstring& v) {
             if (v != L"hand" && v != L"arrow") return false;
             return c.handCursor_ = v == L"hand", true;
         }},
    };
    static const AttributeTable table{nullptr, entries};
    return table;
}

AttributeResult Control::applyAttribute(std::wstring_view name, const std::wstring& value) {
    const AttributeEntry* entry = attributeTable().find(name);
    if (!entry) return AttributeResult::kUnknown;
    return entry->apply(*this, value) ? AttributeResult::kApplied : AttributeResult::kMalformed;
}

void Control::setText(const std::wstring& text) {
    if (text_ == text) return;
    text_ = text;
    invalidate();
    if (!manager_) return;
    manager_->controlChanged(this, EVENT_OBJECT_NAMECHANGE);
    // The control this one labels is called by this text too.
    if (Control* labelled = labelFor_.empty() ? nullptr : manager_->findControl(labelFor_))
        manager_->controlChanged(labelled, EVENT_OBJECT_NAMECHANGE);
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

Size Control::contentSize(int) {
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

const AttributeTable& Label::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Label::font_, K::kFont>(L"font"),
        field<&Label::textColor_, K::kColor>(L"textcolor"),
        field<&Label::disabledTextColor_, K::kColor>(L"disabledtextcolor"),
        field<&Label::textPadding_, K::kInsets>(L"textpadding"),
        {L"align", K::kHorizontalAlign,
         [](Control& c, const std::wstring& v) {
             const auto across = parseHorizontalAlign(v);
             if (!across) return false;
             Label& l = as<Label>(c);
             l.align_ = (l.align_ & (kAlignVCenter | kAlignBottom)) | *across;
             return true;
         }},
        {L"valign", K::kVerticalAlign,
         [](Control& c, const std::wstring& v) {
             const auto down = parseVerticalAlign(v);
             if (!down) return false;
             Label& l = as<Label>(c);
             l.align_ = (l.align_ & (kAlignCenter | kAlignRight)) | *down;
             l.valignGiven_ = true;
             return true;
         }},
        field<&Label::endEllipsis_, K::kBool>(L"endellipsis"),
        field<&Label::showHtml_, K::kBool>(L"showhtml"),
        {L"multiline", K::kBool,
         [](Control& c, const std::wstring& v) {
             const auto on = parseBool(v);
             if (!on) return false;
             Label& l = as<Label>(c);
             l.multiline_ = *on;
             // Wrapped text starts at the top unless a vertical alignment was asked for.
             if (l.multiline_ && !l.valignGiven_)
                 l.align_ = (l.align_ & ~(kAlignVCenter | kAlignBottom)) | kAlignTop;
             return true;
         }},
        field<&Label::autoWidth_, K::kBool>(L"autocalcwidth"),
    };
    static const AttributeTable table{&Control::classAttributes(), entries};
    return table;
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

Size Label::contentSize(int width) {
    Size size = desiredSize({width, 0});
    if (text_.empty()) return size;
    const Insets pad = scaleInsets(textPadding_, dpi());
    const TextFormat format = textFormat();
    if (size.cx == 0 && !multiline_ && !endEllipsis_)
        size.cx = measureText(text_, fontSpec(), dpi(), format, {}).size.cx + pad.horizontal();
    if (size.cy == 0) {
        if (size.cx > 0) width = size.cx;
        const int room = multiline_ ? std::max(1, width - pad.horizontal()) : 0;
        size.cy = measureText(text_, fontSpec(), dpi(), format, {room, 0}).size.cy + pad.vertical();
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

const AttributeTable& Button::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Button::normalImage_, K::kImage>(L"normalimage"),
        field<&Button::hotImage_, K::kImage>(L"hotimage"),
        field<&Button::pushedImage_, K::kImage>(L"pushedimage"),
        field<&Button::disabledImage_, K::kImage>(L"disabledimage"),
        field<&Button::focusedImage_, K::kImage>(L"focusedimage"),
        field<&Button::hotTextColor_, K::kColor>(L"hottextcolor"),
        field<&Button::pushedTextColor_, K::kColor>(L"pushedtextcolor"),
        field<&Button::hotBkColor_, K::kColor>(L"hotbkcolor"),
        field<&Button::pushedBkColor_, K::kColor>(L"pushedbkcolor"),
        field<&Button::disabledBkColor_, K::kColor>(L"disabledbkcolor"),
    };
    static const AttributeTable table{&Label::classAttributes(), entries};
    return table;
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

const AttributeTable& Option::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Option::group_, K::kText>(L"group"),
        field<&Option::selected_, K::kBool>(L"selected"),
        field<&Option::selectedImage_, K::kImage>(L"selectedimage"),
        field<&Option::selectedHotImage_, K::kImage>(L"selectedhotimage"),
        field<&Option::selectedBkColor_, K::kColor>(L"selectedbkcolor"),
    };
    static const AttributeTable table{&Button::classAttributes(), entries};
    return table;
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

const AttributeTable& Progress::classAttributes() {
    static const AttributeEntry entries[] = {
        field<&Progress::min_, K::kInt>(L"min"),
        field<&Progress::max_, K::kInt>(L"max"),
        field<&Progress::value_, K::kInt>(L"value"),
        field<&Progress::horizontal_, K::kBool>(L"hor"),
        field<&Progress::foreColor_, K::kColor>(L"forecolor"),
        field<&Progress::foreRound_, K::kInt>(L"foreround"),
        field<&Progress::barImage_, K::kImage>(L"foreimage"),
    };
    static const AttributeTable table{&Label::classAttributes(), entries};
    return table;
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
