#include "toolkit/edit.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/canvas.h"
#include "toolkit/font_table.h"
#include "toolkit/paint_manager.h"

namespace tk {

namespace {

constexpr wchar_t kEditProp[] = L"tk.edit";

COLORREF toColorRef(Argb colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

}  // namespace

Edit::Edit() {
    textPadding_ = {8, 0, 8, 0};
    handCursor_ = false;
}

Edit::~Edit() {
    if (host_) DestroyWindow(host_);
    if (brush_) DeleteObject(brush_);
}

const AttributeTable& Edit::classAttributes() {
    using K = ValueKind;
    static const AttributeEntry entries[] = {
        field<&Edit::normalImage_, K::kImage>(L"normalimage"),
        field<&Edit::hotImage_, K::kImage>(L"hotimage"),
        field<&Edit::focusedImage_, K::kImage>(L"focusedimage"),
        field<&Edit::disabledImage_, K::kImage>(L"disabledimage"),
        field<&Edit::readOnly_, K::kBool>(L"readonly"),
        field<&Edit::password_, K::kBool>(L"password"),
        field<&Edit::maxChars_, K::kInt>(L"maxchar"),
        field<&Edit::nativeBkColor_, K::kColor>(L"nativebkcolor"),
    };
    static const AttributeTable table{&Label::classAttributes(), entries};
    return table;
}

void Edit::paintStatusImage(Canvas& canvas) {
    const std::wstring* image = &normalImage_;
    if (!isEnabled() && !disabledImage_.empty())
        image = &disabledImage_;
    else if (isFocused() && !focusedImage_.empty())
        image = &focusedImage_;
    else if (isHot() && !hotImage_.empty())
        image = &hotImage_;
    drawImage(canvas, *image, rect_);
}

void Edit::paintText(Canvas& canvas) {
    if (host_) return;  // the native edit shows the text while editing
    if (!password_) return Label::paintText(canvas);
    const std::wstring saved = text_;
    text_.assign(saved.size(), L'\x25CF');
    Label::paintText(canvas);
    text_ = saved;
}

void Edit::onButtonDown(Point point) {
    Label::onButtonDown(point);
    if (manager_ && isFocusable()) manager_->setFocus(this);
}

void Edit::onFocus(bool focused) {
    Label::onFocus(focused);
    if (focused)
        beginEditing();
    else
        endEditing();
}

Rect Edit::hostRect() const {
    const Rect box = directed(rect_.deflate(scaleInsets(textPadding_, dpi())));
    // The native edit is one line high, centred in the text box.
    HDC dc = GetDC(host_);
    TEXTMETRICW tm{};
    HGDIOBJ old = SelectObject(dc, manager_->fonts().handle(font_, dpi()));
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(host_, dc);
    const int h = std::min<int>(box.height(), tm.tmHeight + 2);
    const int top = box.top + (box.height() - h) / 2;
    return {box.left, top, box.right, top + h};
}

void Edit::beginEditing() {
    if (host_ || !manager_ || !manager_->hwnd() || !isEnabled()) return;
    const Rect r = hostRect();
    DWORD style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | (password_ ? ES_PASSWORD : 0);
    // In a right-to-left window the typed text reads and aligns right to left.
    const DWORD exStyle = rightToLeft() ? WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR : 0;
    if (rightToLeft()) style |= ES_RIGHT;
    host_ = CreateWindowExW(
        exStyle, L"EDIT", text_.c_str(), style, r.left, r.top, r.width(), r.height(),
        manager_->hwnd(), nullptr,
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(manager_->hwnd(), GWLP_HINSTANCE)), nullptr);
    if (!host_) return;
    SetPropW(host_, kEditProp, this);
    hostDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(host_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Edit::hostProc)));
    SendMessageW(host_, WM_SETFONT,
                 reinterpret_cast<WPARAM>(manager_->fonts().handle(font_, dpi())), FALSE);
    SendMessageW(host_, EM_SETLIMITTEXT, maxChars_ > 0 ? maxChars_ : 0, 0);
    SendMessageW(host_, EM_SETSEL, 0, -1);
    SetFocus(host_);
    invalidate();
}

void Edit::endEditing() {
    if (!host_ || ending_) return;
    ending_ = true;
    const int length = GetWindowTextLengthW(host_);
    std::wstring typed(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(host_, typed.data(), length + 1);
    typed.resize(static_cast<size_t>(length));
    HWND host = host_;
    host_ = nullptr;
    RemovePropW(host, kEditProp);
    DestroyWindow(host);
    ending_ = false;
    setText(typed);
    if (manager_ && manager_->focus() == this) manager_->setFocus(nullptr);
    if (manager_ && manager_->hwnd() && GetFocus() == nullptr) SetFocus(manager_->hwnd());
    invalidate();
    // Its handler may open a window, which must not happen inside the focus change: the click
    // that moved the focus would then reach a window the new one has just disabled.
    if (manager_) manager_->postNotify(this, L"killfocus");
}

void Edit::arrange(const Rect& rect) {
    Label::arrange(rect);
    placeHost();
}

void Edit::mirrorPlacement(const Rect& window) {
    Label::mirrorPlacement(window);
    placeHost();
}

void Edit::placeHost() {
    if (!host_) return;
    const Rect r = hostRect();
    MoveWindow(host_, r.left, r.top, r.width(), r.height(), TRUE);
}

HBRUSH Edit::hostBrush(HDC dc) const {
    SetTextColor(dc, toColorRef(textColor_));
    SetBkColor(dc, toColorRef(nativeBkColor_));
    auto* self = const_cast<Edit*>(this);
    if (!self->brush_) self->brush_ = CreateSolidBrush(toColorRef(nativeBkColor_));
    return brush_;
}

LRESULT CALLBACK Edit::hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<Edit*>(GetPropW(hwnd, kEditProp));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    const WNDPROC base = self->hostDefault_;
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (wParam == VK_TAB || wParam == VK_ESCAPE || wParam == VK_RETURN) {
                // Keys that leave the field: the window's keyboard handling decides.
                PaintManager* manager = self->manager_;
                if (wParam == VK_TAB && manager) {
                    manager->moveFocus(GetKeyState(VK_SHIFT) >= 0);
                    return 0;
                }
                if (wParam == VK_ESCAPE && manager) {
                    PostMessageW(manager->hwnd(), WM_KEYDOWN, wParam, lParam);
                    return 0;
                }
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L'\t' || wParam == L'\r' || wParam == 27) return 0;
            break;
        case WM_KILLFOCUS: {
            const LRESULT r = CallWindowProcW(base, hwnd, message, wParam, lParam);
            // Focus went to another window (or another control of ours took it).
            if (self->host_ == hwnd && self->manager_ && self->manager_->focus() == self)
                self->manager_->setFocus(nullptr);
            return r;
        }
        default:
            break;
    }
    return CallWindowProcW(base, hwnd, message, wParam, lParam);
}

AccessibleInfo Edit::accessible() const {
    AccessibleInfo info{ROLE_SYSTEM_TEXT, tooltip_, text_, {}};
    if (host_) {
        const int length = GetWindowTextLengthW(host_);
        info.value.assign(static_cast<size_t>(length) + 1, L'\0');
        GetWindowTextW(host_, info.value.data(), length + 1);
        info.value.resize(static_cast<size_t>(length));
    }
    if (password_) info.value.assign(info.value.size(), L'*');
    return info;
}

unsigned Edit::accessibleState() const {
    return Label::accessibleState() | (readOnly_ ? STATE_SYSTEM_READONLY : 0) |
           (password_ ? STATE_SYSTEM_PROTECTED : 0);
}

// ---- RichEdit ----

RichEdit::RichEdit() {
    multiline_ = true;
    align_ = kAlignLeft | kAlignTop;
    textPadding_ = {8, 8, 8, 8};
}

const AttributeTable& RichEdit::classAttributes() {
    // Always read-only rich text with a vertical scroll.
    static const AttributeEntry entries[] = {
        accepted<ValueKind::kBool>(L"readonly"),
        accepted<ValueKind::kBool>(L"rich"),
        accepted<ValueKind::kBool>(L"vscrollbar"),
        accepted<ValueKind::kBool>(L"autovscroll"),
    };
    static const AttributeTable table{&Label::classAttributes(), entries};
    return table;
}

void RichEdit::setText(const std::wstring& text) {
    Label::setText(text);
    contentHeight_ = -1;
    scroll_ = 0;
}

void RichEdit::arrange(const Rect& rect) {
    if (rect.width() != rect_.width()) contentHeight_ = -1;
    Label::arrange(rect);
    scrollBy(0);
}

int RichEdit::contentHeight() {
    if (contentHeight_ < 0) {
        const Rect box = rect_.deflate(scaleInsets(textPadding_, dpi()));
        contentHeight_ =
            measureText(text_, fontSpec(), dpi(), textFormat(), {box.width(), 0}).size.cy;
    }
    return contentHeight_;
}

void RichEdit::scrollBy(int pixels) {
    const Rect box = rect_.deflate(scaleInsets(textPadding_, dpi()));
    const int limit = std::max(0, contentHeight() - box.height());
    const int next = std::clamp(scroll_ + pixels, 0, limit);
    if (next == scroll_) return;
    scroll_ = next;
    invalidate();
}

void RichEdit::onMouseWheel(int delta) {
    scrollBy(-delta * px(48) / WHEEL_DELTA);
}

bool RichEdit::onKeyDown(WPARAM key) {
    const int page = std::max(1, rect_.height() - px(24));
    switch (key) {
        case VK_UP:
            return scrollBy(-px(20)), true;
        case VK_DOWN:
            return scrollBy(px(20)), true;
        case VK_PRIOR:
            return scrollBy(-page), true;
        case VK_NEXT:
            return scrollBy(page), true;
        case VK_HOME:
            return scrollBy(-scroll_), true;
        case VK_END:
            return scrollBy(contentHeight()), true;
        default:
            return false;
    }
}

void RichEdit::paintText(Canvas& canvas) {
    if (text_.empty()) return;
    const Rect box = directed(rect_.deflate(scaleInsets(textPadding_, dpi())));
    const int height = contentHeight();
    canvas.pushClip(box);
    Rect flow{box.left, box.top - scroll_, box.right, box.top - scroll_ + height};
    drawText(canvas, text_, fontSpec(), dpi(), textFormat(), flow, currentTextColor());
    canvas.popClip();
    if (height > box.height()) {
        // A thin thumb on the trailing edge tells that there is more.
        const int track = rect_.height() - px(8);
        const int thumb = std::max(px(24), track * box.height() / height);
        const int top =
            rect_.top + px(4) + (track - thumb) * scroll_ / std::max(1, height - box.height());
        canvas.fillRoundRect(directed({rect_.right - px(6), top, rect_.right - px(2), top + thumb}),
                             px(2), 0xFFA3A8B0);
    }
}

AccessibleInfo RichEdit::accessible() const {
    return {ROLE_SYSTEM_TEXT, tooltip_, text_, {}};
}

unsigned RichEdit::accessibleState() const {
    return Label::accessibleState() | STATE_SYSTEM_READONLY;
}

}  // namespace tk
