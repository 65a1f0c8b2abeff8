#include "toolkit/combo.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/canvas.h"
#include "toolkit/paint_manager.h"

namespace tk {

// The open list: a popup window below the combo that paints the items, follows the pointer and
// the arrow keys, and keeps the capture so that a click elsewhere closes it.
class ComboList {
public:
    explicit ComboList(Combo& combo) : combo_(combo) {}
    ~ComboList() {
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
            if (GetCapture() == hwnd_) ReleaseCapture();
            DestroyWindow(hwnd_);
        }
    }
    ComboList(const ComboList&) = delete;
    ComboList& operator=(const ComboList&) = delete;

    bool open();
    void moveHot(int step);
    void choose(int index);
    int hot() const { return hot_; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    int itemAt(int y) const;

    Combo& combo_;
    HWND hwnd_ = nullptr;
    PaintManager manager_;
    int hot_ = -1;
    int itemHeight_ = 0;
};

namespace {

constexpr wchar_t kListClass[] = L"tk.ComboList";

bool registerListClass(HINSTANCE instance) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DROPSHADOW;
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return DefWindowProcW(h, m, w, l);
    };
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kListClass;
    registered = RegisterClassExW(&wc) != 0;
    return registered;
}

// A downward chevron of 1.5 units' stroke, drawn with short horizontal spans.
void drawChevron(Canvas& canvas, const Rect& box, int dpi, Argb colour) {
    const int half = scaleLength(4, dpi);
    const int cx = (box.left + box.right) / 2;
    const int top = (box.top + box.bottom) / 2 - half / 2;
    const int thick = std::max(1, scaleLength(3, dpi) / 2);
    for (int i = 0; i <= half; ++i) {
        const int y = top + i;
        canvas.fillRect({cx - half + i - thick, y, cx - half + i + thick, y + 1}, colour);
        canvas.fillRect({cx + half - i - thick, y, cx + half - i + thick, y + 1}, colour);
    }
}

}  // namespace

bool ComboList::open() {
    PaintManager* owner = combo_.manager();
    if (!owner || !owner->hwnd() || combo_.itemCount() == 0) return false;
    const auto instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner->hwnd(), GWLP_HINSTANCE));
    if (!registerListClass(instance)) return false;
    const int dpi = owner->dpi();
    itemHeight_ = scaleLength(combo_.itemHeight(), dpi);
    const int shown = std::min(combo_.itemCount(), 8);
    const Rect r = combo_.rect();
    POINT origin{r.left, r.bottom};
    ClientToScreen(owner->hwnd(), &origin);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kListClass, L"",
                            WS_POPUP, origin.x, origin.y + scaleLength(2, dpi), r.width(),
                            shown * itemHeight_ + 2, owner->hwnd(), nullptr, instance, nullptr);
    if (!hwnd_) return false;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ComboList::windowProc));
    manager_.attachWindow(hwnd_, {}, nullptr);
    manager_.setDpi(dpi);
    manager_.resize({r.width(), shown * itemHeight_ + 2});
    hot_ = std::max(0, combo_.selectedIndex());
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    SetCapture(hwnd_);
    return true;
}

int ComboList::itemAt(int y) const {
    const int index = (y - 1) / std::max(1, itemHeight_);
    return y >= 1 && index < combo_.itemCount() ? index : -1;
}

void ComboList::moveHot(int step) {
    hot_ = std::clamp(hot_ + step, 0, combo_.itemCount() - 1);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void ComboList::choose(int index) {
    Combo& combo = combo_;
    combo.closeList();  // deletes this
    if (index >= 0) combo.selectItem(index);
}

void ComboList::paint() {
    Surface& surface = manager_.surface();
    const Size size = manager_.size();
    if (!surface.resize(size.cx, size.cy)) return;
    Canvas canvas(surface);
    const Rect all{0, 0, size.cx, size.cy};
    canvas.clear(all, 0xFFFFFFFF);
    const int dpi = manager_.dpi();
    const FontSpec font = combo_.manager()->font(combo_.fontId());
    for (int i = 0; i < combo_.itemCount(); ++i) {
        const Rect row{1, 1 + i * itemHeight_, size.cx - 1, 1 + (i + 1) * itemHeight_};
        if (row.top >= size.cy) break;
        if (i == hot_) canvas.fillRect(row, combo_.hotColor());
        TextFormat format;
        format.endEllipsis = true;
        // The list reads as its combo's window does.
        if (combo_.manager()->rightToLeft()) format = rightToLeftFormat(format);
        const Rect box = row.deflate(scaleInsets({8, 0, 8, 0}, dpi));
        drawText(canvas, combo_.itemAt(i)->text(), font, dpi, format, box, combo_.textColor());
    }
    canvas.strokeRoundRect(all, 0, 1, 0xFFE1E5EB);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    BitBlt(dc, 0, 0, size.cx, size.cy, surface.dc(), 0, 0, SRCCOPY);
    EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK ComboList::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ComboList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT ComboList::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    RECT client;
    GetClientRect(hwnd_, &client);
    const bool inside = PtInRect(&client, p);
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_MOUSEMOVE:
            if (inside && itemAt(p.y) != hot_ && itemAt(p.y) >= 0) {
                hot_ = itemAt(p.y);
                InvalidateRect(hwnd_, nullptr, FALSE);
            }
            return 0;
        case WM_LBUTTONUP:
            if (inside) choose(itemAt(p.y));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (!inside) choose(-1);
            return 0;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd_) choose(-1);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

// ---- Combo ----

Combo::Combo() {
    handCursor_ = true;
}

Combo::~Combo() {
    delete list_;
}

const AttributeTable& Combo::classAttributes() {
    using K = ValueKind;
    static const AttributeEntry entries[] = {
        field<&Combo::itemHeight_, K::kInt>(L"itemheight"),
        accepted<K::kSize>(L"dropboxsize"),
        field<&Combo::font_, K::kFont>(L"font"),
        field<&Combo::textColor_, K::kColor>(L"textcolor"),
        field<&Combo::hotItemColor_, K::kColor>(L"itemhotbkcolor"),
        field<&Combo::textPadding_, K::kInsets>(L"textpadding"),
        field<&Combo::selected_, K::kInt>(L"selectedid"),
        field<&Combo::normalImage_, K::kImage>(L"normalimage"),
        field<&Combo::hotImage_, K::kImage>(L"hotimage"),
        field<&Combo::pushedImage_, K::kImage>(L"pushedimage"),
        field<&Combo::arrowImage_, K::kImage>(L"arrowimage"),
    };
    static const AttributeTable table{&Container::classAttributes(), entries};
    return table;
}

bool Combo::selectItem(int index, bool sendNotify) {
    if (index < 0 || index >= itemCount()) return false;
    selected_ = index;
    invalidate();
    if (manager_) manager_->controlChanged(this, EVENT_OBJECT_VALUECHANGE);
    if (sendNotify) notify(L"itemselect", index);
    return true;
}

void Combo::closeList() {
    ComboList* list = list_;
    list_ = nullptr;
    delete list;
    invalidate();
}

std::wstring Combo::shownText() const {
    if (Control* item = itemAt(selected_)) return item->text();
    return text_;
}

void Combo::arrange(const Rect& rect) {
    Control::arrange(rect);  // the items are not laid out in place; the list shows them
}

void Combo::paint(Canvas& canvas, const Rect& dirty) {
    if (rect_.intersect(dirty).empty()) return;
    canvas.pushClip(rect_);
    paintBackground(canvas);
    const std::wstring* image = &normalImage_;
    if ((isPushed() || isOpen()) && !pushedImage_.empty())
        image = &pushedImage_;
    else if (isHot() && !hotImage_.empty())
        image = &hotImage_;
    drawImage(canvas, *image, rect_);
    TextFormat format;
    format.endEllipsis = true;
    if (rightToLeft()) format = rightToLeftFormat(format);
    const Rect box = directed(rect_.deflate(scaleInsets(textPadding_, dpi())));
    drawText(canvas, shownText(), manager_->font(font_), dpi(), format, box, textColor_);
    const Rect arrow =
        directed({rect_.right - px(24), rect_.top, rect_.right - px(4), rect_.bottom});
    if (!drawImage(canvas, arrowImage_, arrow)) drawChevron(canvas, arrow, dpi(), 0xFF666666);
    paintBorder(canvas);
    canvas.popClip();
}

Control* Combo::hitTest(Point point) {
    return Control::hitTest(point);
}

void Combo::onButtonUp(Point point, bool inside) {
    Container::onButtonUp(point, inside);
    if (inside && isEnabled()) activate();
}

void Combo::onFocus(bool focused) {
    Container::onFocus(focused);
    if (!focused && isOpen()) closeList();
}

bool Combo::activate() {
    if (!isEnabled() || !isVisible()) return false;
    if (isOpen()) return closeList(), true;
    list_ = new ComboList(*this);
    if (!list_->open()) {
        closeList();
        return false;
    }
    return true;
}

bool Combo::onKeyDown(WPARAM key) {
    if (isOpen()) {
        switch (key) {
            case VK_UP:
                return list_->moveHot(-1), true;
            case VK_DOWN:
                return list_->moveHot(1), true;
            case VK_RETURN:
            case VK_SPACE:
                return list_->choose(list_->hot()), true;
            case VK_ESCAPE:
                return closeList(), true;
            default:
                return false;
        }
    }
    switch (key) {
        case VK_SPACE:
        case VK_F4:
            return activate();
        case VK_UP:
            return selectItem(std::max(0, selected_ - 1)), true;
        case VK_DOWN:
            return selectItem(std::min(itemCount() - 1, selected_ + 1)), true;
        default:
            return false;
    }
}

AccessibleInfo Combo::accessible() const {
    return {ROLE_SYSTEM_COMBOBOX, tooltip_.empty() ? text_ : tooltip_, shownText(), L"Open"};
}

unsigned Combo::accessibleState() const {
    return Container::accessibleState() |
           (isOpen() ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED);
}

}  // namespace tk
