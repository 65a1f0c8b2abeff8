#include "toolkit/window_base.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <set>
#include <utility>

#include "toolkit/accessible.h"
#include "toolkit/attribute_values.h"
#include "toolkit/combo.h"
#include "toolkit/control_factory.h"
#include "toolkit/edit.h"
#include "toolkit/window_layout.h"
#include "utility/log.h"

namespace tk {

namespace {

constexpr wchar_t kWindowProp[] = L"tk.window";

// Every live window, for the message loop's key handling.
std::set<HWND>& liveWindows() {
    static std::set<HWND> windows;
    return windows;
}

WindowBase* windowOf(HWND hwnd) {
    return static_cast<WindowBase*>(GetPropW(hwnd, kWindowProp));
}

Point clientPoint(LPARAM lParam) {
    return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

const MessageMapEntry kBaseEntries[] = {
    onNotify<&WindowBase::onDefaultClick>(L"click", L""),
};
const MessageMap kBaseMap{nullptr, std::begin(kBaseEntries), std::end(kBaseEntries)};

}  // namespace

bool dispatchNotification(const MessageMap* map, WindowBase& window, Notification& n) {
    for (; map; map = map->base)
        for (const MessageMapEntry* e = map->begin; e != map->end; ++e)
            if (e->type == n.type && (e->control.empty() || e->control == n.senderName())) {
                e->handler(window, n);
                return true;
            }
    return false;
}

const MessageMap* WindowBase::baseMessageMap() {
    return &kBaseMap;
}

WindowBase::WindowBase() = default;

WindowBase::~WindowBase() {
    *liveness_.state_ = nullptr;
    if (accessible_) accessible_->disconnect(), accessible_ = nullptr;
    if (hwnd_) {
        RemovePropW(hwnd_, kWindowProp);
        liveWindows().erase(hwnd_);
        DestroyWindow(hwnd_);
    }
}

bool WindowBase::registerClass(HINSTANCE instance) {
    const std::wstring name = windowClassName();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, name.c_str(), &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle();
    wc.lpfnWndProc = &WindowBase::windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(107));
    wc.lpszClassName = name.c_str();
    return RegisterClassExW(&wc) != 0;
}

HWND WindowBase::create(HWND parent, DWORD style, DWORD exStyle) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registerClass(instance)) {
        LOG_AT("tk::WindowBase::create", L"class %s not registered: %d", windowClassName().c_str(),
               static_cast<int>(GetLastError()));
        return nullptr;
    }
    // The skin draws the whole window: no native caption or frame.
    style = (style & ~(WS_CAPTION | WS_THICKFRAME | WS_CHILD)) | WS_POPUP | WS_CLIPCHILDREN;
    CreateWindowExW(exStyle, windowClassName().c_str(), L"", style, CW_USEDEFAULT, CW_USEDEFAULT, 0,
                    0, parent, nullptr, instance, this);
    return hwnd_;
}

bool WindowBase::buildTree() {
    Diagnostics diagnostics;
    auto settings = loadWindowLayout(
        manager_, skinFolder(), skinFile(),
        [this](std::wstring_view element) { return createControl(element); }, &diagnostics);
    logDiagnostics("tk::WindowBase::create", diagnostics);
    if (!settings) return false;
    settings_ = *settings;
    return manager_.root() != nullptr;
}

bool WindowBase::onCreate() {
    manager_.attachWindow(
        hwnd_, [this](Notification& n) { notify(n); }, this);
    const std::wstring layout = skinFolder() + skinFile();
    if (!buildTree()) {
        LOG_AT("tk::WindowBase::create", L"window %s not created: layout %s cannot be built",
               windowClassName().c_str(), layout.c_str());
        return false;
    }
    ControlBinder binder(manager_, layout);
    bindControls(binder);
    if (!binder.missing().empty()) {
        LOG_AT("tk::WindowBase::create", L"window %s not created: layout %s lacks %s",
               windowClassName().c_str(), layout.c_str(), binder.missing().front().c_str());
        return false;
    }
    applyWindowAttributes();
    RECT client;
    GetClientRect(hwnd_, &client);
    manager_.resize({client.right, client.bottom});
    applyRegion();
    created_ = true;
    initWindow();
    return true;
}

void WindowBase::applyWindowAttributes() {
    const int dpi = manager_.dpi();
    if (settings_.layered)
        SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                          GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
    const int width = scaleLength(settings_.size.cx, dpi);
    const int height = scaleLength(settings_.size.cy, dpi);
    if (width > 0 && height > 0)
        SetWindowPos(hwnd_, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowBase::applyRegion() {
    if (settings_.layered || settings_.roundCorner <= 0) return;
    RECT r;
    GetWindowRect(hwnd_, &r);
    const int d = scaleLength(settings_.roundCorner, manager_.dpi()) * 2;
    HRGN region = CreateRoundRectRgn(0, 0, r.right - r.left + 1, r.bottom - r.top + 1, d, d);
    if (region && !SetWindowRgn(hwnd_, region, TRUE)) DeleteObject(region);
}

void WindowBase::fitToContent() {
    if (!settings_.fitContent || !manager_.layoutPending()) return;
    RECT window, client;
    GetWindowRect(hwnd_, &window);
    GetClientRect(hwnd_, &client);
    // The frame (a border) around the client area keeps its size.
    const Size frame{(window.right - window.left) - client.right,
                     (window.bottom - window.top) - client.bottom};
    const int dpi = manager_.dpi();
    const Size layout{scaleLength(settings_.size.cx, dpi) - frame.cx,
                      scaleLength(settings_.size.cy, dpi) - frame.cy};
    if (layout.cx <= 0 || layout.cy <= 0) return;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
    const Size limit{(mi.rcWork.right - mi.rcWork.left) - frame.cx,
                     (mi.rcWork.bottom - mi.rcWork.top) - frame.cy};
    const Size fitted = fittedSize(settings_, manager_.root(), layout, limit);
    const int wider = fitted.cx - client.right, taller = fitted.cy - client.bottom;
    if (wider == 0 && taller == 0) return;
    const Size outer{fitted.cx + frame.cx, fitted.cy + frame.cy};
    // About the same centre, and on the screen.
    const int x = std::clamp<int>(window.left - wider / 2, mi.rcWork.left,
                                  std::max<int>(mi.rcWork.left, mi.rcWork.right - outer.cx));
    const int y = std::clamp<int>(window.top - taller / 2, mi.rcWork.top,
                                  std::max<int>(mi.rcWork.top, mi.rcWork.bottom - outer.cy));
    SetWindowPos(hwnd_, nullptr, x, y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowBase::centerWindow() {
    RECT r;
    GetWindowRect(hwnd_, &r);
    RECT area{};
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
        area = mi.rcWork;
    }
    const int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowBase::showWindow(bool show, bool takeFocus) {
    if (!hwnd_) return;
    ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
    // ShowWindow leaves a window that is shown already where it is, even under another one.
    if (show && takeFocus) SetForegroundWindow(hwnd_);
}

void WindowBase::close(UINT code) {
    if (hwnd_ && IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, code, 0);
}

void WindowBase::setWindowTitle(const std::wstring& title) {
    if (hwnd_) SetWindowTextW(hwnd_, title.c_str());
}

void WindowBase::notify(Notification& n) {
    dispatchNotification(messageMap(), *this, n);
}

void WindowBase::onDefaultClick(Notification& n) {
    const std::wstring& name = n.senderName();
    if (name == L"closebtn")
        close(IDCANCEL);
    else if (name == L"minbtn")
        SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == L"maxbtn")
        SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == L"restorebtn")
        SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
}

LRESULT WindowBase::handleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowBase::onClose(WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowBase::onDestroy(WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

bool WindowBase::responseDefaultKeyEvent(WPARAM key) {
    if (key == VK_ESCAPE) {
        close(IDCANCEL);
        return true;
    }
    return false;
}

std::unique_ptr<Control> WindowBase::createControl(std::wstring_view) {
    return nullptr;
}

bool WindowBase::preTranslateMessage(const MSG& msg) {
    // Keys with Alt (WM_SYSKEYDOWN) are the system's: Alt+Space is no Space, Alt+Esc no Escape.
    if (msg.message != WM_KEYDOWN) return false;
    // The key belongs to the skinned window that owns the target (a hosted edit is its child).
    for (HWND h = msg.hwnd; h; h = GetParent(h))
        if (liveWindows().count(h)) {
            if (h != msg.hwnd && msg.wParam != VK_ESCAPE && msg.wParam != VK_TAB) return false;
            return windowOf(h) && windowOf(h)->onKey(msg.wParam);
        }
    return false;
}

bool WindowBase::onKey(WPARAM key) {
    PaintManager& m = manager_;
    if (key == VK_TAB) return m.moveFocus(GetKeyState(VK_SHIFT) >= 0);
    if (Control* focus = m.focus(); focus && focus->isVisible() && focus->isEnabled()) {
        if (key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE || key == VK_UP ||
            key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT || key == VK_HOME ||
            key == VK_END || key == VK_F4) {
            m.showFocusRing(m.focusRingVisible() || key != VK_ESCAPE);
            // Enter is not the toolkit's: only the focused control may want it.
            if (key == VK_RETURN && !dynamic_cast<Combo*>(focus)) return false;
            if (focus->onKeyDown(key)) return true;
        }
    }
    return responseDefaultKeyEvent(key);
}

LRESULT CALLBACK WindowBase::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowBase* self = windowOf(hwnd);
    if (message == WM_NCCREATE) {
        self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetPropW(hwnd, kWindowProp, self);
        liveWindows().insert(hwnd);
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
        RemovePropW(hwnd, kWindowProp);
        liveWindows().erase(hwnd);
        self->hwnd_ = nullptr;
        // A window whose creation failed ends with its creator, not by its own hooks.
        if (std::exchange(self->created_, false)) self->onFinalMessage(hwnd);
        return r;
    }
    return self->handleMessage(message, wParam, lParam);
}

LRESULT WindowBase::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    const LRESULT custom = handleCustomMessage(message, wParam, lParam, handled);
    if (handled) return custom;
    switch (message) {
        case WM_CREATE:
            return onCreate() ? 0 : -1;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            fitToContent();
            const Rect dirty = manager_.paintInvalid();
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            const Rect asked{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
            const Rect shown = dirty.unite(asked).intersect(
                Rect{0, 0, manager_.surface().width(), manager_.surface().height()});
            if (!settings_.layered && !shown.empty())
                BitBlt(dc, shown.left, shown.top, shown.width(), shown.height(),
                       manager_.surface().dc(), shown.left, shown.top, SRCCOPY);
            EndPaint(hwnd_, &ps);
            if (settings_.layered) present(shown);
            return 0;
        }
        case WM_SIZE:
            manager_.resize({LOWORD(lParam), HIWORD(lParam)});
            applyRegion();
            if (settings_.layered) InvalidateRect(hwnd_, nullptr, FALSE);
            break;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (settings_.minimum.cx > 0) {
                info->ptMinTrackSize.x = scaleLength(settings_.minimum.cx, manager_.dpi());
                info->ptMinTrackSize.y = scaleLength(settings_.minimum.cy, manager_.dpi());
            }
            return 0;
        }
        case WM_DPICHANGED: {
            manager_.setDpi(HIWORD(wParam));
            const RECT* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_NCHITTEST:
            return onNcHitTest(lParam);
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT && onSetCursor()) return TRUE;
            break;
        case WM_MOUSEMOVE:
            onMouseMove(clientPoint(lParam));
            // After the tool's rectangle and text follow the hot control, so that the tooltip
            // judges the pointer against them even when the pointer rests after one move.
            relayToTooltip(message, wParam, lParam);
            return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            manager_.setHot(manager_.pushed());
            updateTooltip();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            relayToTooltip(message, wParam, lParam);
            onButtonDown(clientPoint(lParam));
            return 0;
        case WM_LBUTTONUP:
            relayToTooltip(message, wParam, lParam);
            onButtonUp(clientPoint(lParam));
            return 0;
        case WM_CANCELMODE:  // sent when the window is disabled; the default releases the capture
            cancelPress();
            break;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd_) cancelPress();
            return 0;
        case WM_MOUSEWHEEL: {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(hwnd_, &p);
            if (Control* c = manager_.root() ? manager_.root()->hitTest({p.x, p.y}) : nullptr)
                c->onMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        }
        case WM_KEYDOWN:
            if (onKey(wParam)) return 0;
            break;
        case WM_CTLCOLOREDIT: {
            if (auto* edit = dynamic_cast<Edit*>(manager_.focus());
                edit && edit->host() == HWND(lParam))
                return reinterpret_cast<LRESULT>(edit->hostBrush(HDC(wParam)));
            break;
        }
        case WM_GETOBJECT:
            if (static_cast<long>(lParam) == static_cast<long>(OBJID_CLIENT)) {
                if (!accessible_) accessible_ = new WindowAccessible(liveness_);
                return accessible_->answer(wParam);
            }
            break;
        case WM_CLOSE: {
            closeCode_ = static_cast<UINT>(wParam);
            bool closeHandled = false;
            const LRESULT r = onClose(wParam, lParam, closeHandled);
            if (closeHandled) return r;
            DestroyWindow(hwnd_);
            return 0;
        }
        case WM_DESTROY: {
            *liveness_.state_ = nullptr;
            if (accessible_) accessible_->disconnect(), accessible_ = nullptr;
            if (tooltip_) DestroyWindow(tooltip_), tooltip_ = nullptr;
            if (!created_) break;
            bool destroyHandled = false;
            const LRESULT r = onDestroy(wParam, lParam, destroyHandled);
            if (destroyHandled) return r;
            break;
        }
        default:
            if (message == PaintManager::postedNotifyMessage()) {
                manager_.deliverPosted();
                return 0;
            }
            if (message == WindowAccessible::defaultActionMessage()) {
                // Asked for earlier: the control must still be one the user could press.
                if (Control* c = manager_.controlById(static_cast<int>(wParam));
                    c && isActionable(*c))
                    c->activate();
                return 0;
            }
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void WindowBase::present(const Rect&) {
    Surface& s = manager_.surface();
    RECT r;
    GetWindowRect(hwnd_, &r);
    POINT origin{r.left, r.top};
    SIZE size{s.width(), s.height()};
    POINT zero{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd_, nullptr, &origin, &size, s.dc(), &zero, 0, &blend, ULW_ALPHA);
}

LRESULT WindowBase::onNcHitTest(LPARAM lParam) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(hwnd_, &p);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dpi = manager_.dpi();
    Rect caption{scaleLength(settings_.caption.left, dpi), scaleLength(settings_.caption.top, dpi),
                 client.right - scaleLength(settings_.caption.right, dpi),
                 scaleLength(settings_.caption.bottom, dpi)};
    if (manager_.rightToLeft()) caption = caption.mirroredIn({0, 0, client.right, client.bottom});
    if (caption.contains({p.x, p.y})) {
        Control* hit = manager_.root() ? manager_.root()->hitTest({p.x, p.y}) : nullptr;
        if (!hit || !hit->isInteractive()) return HTCAPTION;
    }
    return HTCLIENT;
}

bool WindowBase::onSetCursor() {
    Control* hot = manager_.hot();
    if (!hot || !hot->isEnabled()) return false;
    if (hot->wantsHandCursor()) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    if (dynamic_cast<Edit*>(hot)) {
        SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
        return true;
    }
    return false;
}

void WindowBase::onMouseMove(Point point) {
    if (!tracking_) {
        TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, hwnd_, 0};
        tracking_ = TrackMouseEvent(&t) != FALSE;
    }
    Control* hit = manager_.root() ? manager_.root()->hitTest(point) : nullptr;
    // While a control is pressed it alone is hot, and only while the pointer is over it.
    if (Control* pressed = manager_.pushed())
        hit = pressed->rect().contains(point) ? pressed : nullptr;
    manager_.setHot(hit && hit->isEnabled() ? hit : nullptr);
    updateTooltip();
}

void WindowBase::onButtonDown(Point point) {
    if (GetFocus() != hwnd_ && !IsChild(hwnd_, GetFocus())) SetFocus(hwnd_);
    Control* hit = manager_.root() ? manager_.root()->hitTest(point) : nullptr;
    if (!hit || !hit->isEnabled()) return;
    manager_.showFocusRing(false);
    if (hit->isFocusable())
        manager_.setFocus(hit);
    else if (!dynamic_cast<Edit*>(manager_.focus()))
        manager_.setFocus(nullptr);
    else if (GetFocus() != hwnd_)
        SetFocus(hwnd_);
    // The focus change may have opened a window that disabled this one.
    if (!IsWindowEnabled(hwnd_)) return;
    manager_.setPushed(hit);
    manager_.setHot(hit);
    SetCapture(hwnd_);
    hit->onButtonDown(point);
}

void WindowBase::onButtonUp(Point point) {
    Control* pressed = manager_.pushed();
    if (GetCapture() == hwnd_) ReleaseCapture();
    manager_.setPushed(nullptr);
    // A window disabled while the button was down (a box opened over it) takes no click.
    if (!pressed || !IsWindowEnabled(hwnd_)) return;
    // The release may end the window (a close button): nothing of it is used afterwards.
    pressed->onButtonUp(point, pressed->rect().contains(point));
}

void WindowBase::cancelPress() {
    if (Control* pressed = manager_.pushed()) {
        manager_.setPushed(nullptr);
        pressed->invalidate();
    }
}

void WindowBase::relayToTooltip(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!tooltip_) return;
    MSG relayed{hwnd_, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void WindowBase::updateTooltip() {
    Control* hot = manager_.hot();
    if (hot == tooltipFor_) return;
    tooltipFor_ = hot;
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        if (!tooltip_) return;
        // The window relays its mouse messages itself (relayToTooltip).
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = hwnd_;
        tool.uId = 1;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    static std::wstring text;
    text = hot ? hot->tooltip() : std::wstring();
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = hwnd_;
    tool.uId = 1;
    // The tip reads as its window does.
    tool.uFlags = manager_.rightToLeft() ? TTF_RTLREADING : 0;
    if (hot)
        tool.rect = RECT{hot->rect().left, hot->rect().top, hot->rect().right, hot->rect().bottom};
    tool.lpszText = text.data();
    SendMessageW(tooltip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
    if (text.empty()) SendMessageW(tooltip_, TTM_POP, 0, 0);
}

}  // namespace tk
