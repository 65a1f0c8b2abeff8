#include "toolkit/paint_manager.h"

#include <algorithm>

#include "toolkit/font_fallback.h"
#include "toolkit/image_cache.h"
#include "toolkit/image_string.h"

namespace tk {

namespace {

constexpr Argb kFocusRing = 0xFF268FD6;
constexpr int kFocusRingWidth = 2;

void collectVisible(Control* control, std::vector<Control*>& out) {
    if (!control || !control->isVisible()) return;
    out.push_back(control);
    for (int i = 0; i < control->childCount(); ++i) collectVisible(control->childAt(i), out);
}

void collectFocusable(Control* control, std::vector<Control*>& out) {
    if (!control || !control->isVisible()) return;
    if (control->isFocusable() && control->isEnabled()) out.push_back(control);
    for (int i = 0; i < control->childCount(); ++i) collectFocusable(control->childAt(i), out);
}

void clearGroupIn(Control* control, const std::wstring& group, Control* except) {
    if (!control) return;
    if (auto* option = dynamic_cast<Option*>(control);
        option && option != except && option->isSelected() && option->group() == group)
        option->setSelected(false, true);
    for (int i = 0; i < control->childCount(); ++i)
        clearGroupIn(control->childAt(i), group, except);
}

}  // namespace

const std::wstring& Notification::senderName() const {
    static const std::wstring none;
    return sender ? sender->name() : none;
}

int windowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (hwnd && getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

PaintManager::PaintManager() : rightToLeft_(isRightToLeftLocale(textLanguage())) {}

PaintManager::~PaintManager() {
    // Controls tell the manager when they go; the tree goes first while the manager still exists.
    root_.reset();
}

void PaintManager::attachWindow(HWND hwnd, NotifySink sink, WindowBase* window) {
    hwnd_ = hwnd;
    sink_ = std::move(sink);
    window_ = window;
    readDpi();
}

void PaintManager::readDpi() {
    setDpi(windowDpi(hwnd_));
}

void PaintManager::setDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    invalidateLayout();
}

void PaintManager::setRightToLeft(bool rightToLeft) {
    if (rightToLeft == rightToLeft_) return;
    rightToLeft_ = rightToLeft;
    invalidateLayout();
}

void PaintManager::setRoot(std::unique_ptr<Control> root) {
    root_ = std::move(root);
    if (root_) root_->attach(this, nullptr);
    invalidateLayout();
}

Control* PaintManager::findControl(std::wstring_view name) const {
    return root_ && !name.empty() ? root_->findByName(name) : nullptr;
}

void PaintManager::resize(Size size) {
    if (size == size_) return;
    size_ = size;
    invalidateLayout();
}

void PaintManager::invalidate(const Rect& rect) {
    // A little more than the rectangle, so a focus ring drawn around it goes with it.
    const int ring = scaleLength(kFocusRingWidth + 1, dpi_);
    const Rect grown{rect.left - ring, rect.top - ring, rect.right + ring, rect.bottom + ring};
    const Rect bounded = grown.intersect(Rect{0, 0, size_.cx, size_.cy});
    if (bounded.empty()) return;
    invalid_ = invalid_.unite(bounded);
    if (hwnd_) {
        const RECT r{bounded.left, bounded.top, bounded.right, bounded.bottom};
        InvalidateRect(hwnd_, &r, FALSE);
    }
}

void PaintManager::invalidateLayout() {
    needLayout_ = true;
    invalid_ = Rect{0, 0, size_.cx, size_.cy};
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void PaintManager::ensureLayout() {
    if (!needLayout_ || !root_) return;
    needLayout_ = false;
    root_->arrange(Rect{0, 0, size_.cx, size_.cy});
    // The layout is made left to right; a right-to-left window shows its reflection.
    if (rightToLeft_) root_->mirrorPlacement(Rect{0, 0, size_.cx, size_.cy});
    needLayout_ = false;
}

Rect PaintManager::paintInvalid() {
    ensureLayout();
    if (size_.cx <= 0 || size_.cy <= 0) return {};
    if (surface_.width() != size_.cx || surface_.height() != size_.cy) {
        if (!surface_.resize(size_.cx, size_.cy)) return {};
        invalid_ = Rect{0, 0, size_.cx, size_.cy};
    }
    const Rect dirty = invalid_;
    invalid_ = {};
    if (dirty.empty()) return {};
    Canvas canvas(surface_);
    canvas.pushClip(dirty);
    canvas.clear(dirty, 0);
    if (root_) root_->paint(canvas, dirty);
    paintFocusRing(canvas);
    canvas.popClip();
    return dirty;
}

void PaintManager::paintAll() {
    invalid_ = Rect{0, 0, size_.cx, size_.cy};
    paintInvalid();
}

void PaintManager::paintFocusRing(Canvas& canvas) {
    if (!focusRing_ || !focus_ || !focus_->isVisible()) return;
    const int w = scaleLength(kFocusRingWidth, dpi_);
    const Rect r = focus_->rect();
    canvas.strokeRoundRect(Rect{r.left - w, r.top - w, r.right + w, r.bottom + w},
                           scaleLength(6, dpi_) + w, w, kFocusRing);
}

bool PaintManager::drawImage(Canvas& canvas, const std::wstring& text, const Rect& rect) {
    const auto spec = parseImageString(text);
    if (!spec) return false;
    // From 150 % up the double-size variant is drawn when the skin has it, at half the scale.
    ImageRef used = *spec;
    int imageDpi = dpi_;
    ImagePtr image;
    if (dpi_ >= 144)
        if (auto large = enlargedImage(*spec); large && (image = imageCache().get(large->file))) {
            used = *large;
            imageDpi = dpi_ / 2;
        }
    if (!image) image = imageCache().get(spec->file);
    if (!image) return false;
    const Rect source = used.source.value_or(Rect{0, 0, image->width, image->height});
    Rect dest = used.dest ? scaleRect(*used.dest, dpi_).offset(rect.left, rect.top) : rect;
    // Right to left, a place within the control is reflected, and so is a frame (an image with
    // nine-grid corners); a picture keeps its orientation.
    if (rightToLeft_) dest = dest.mirroredIn(rect);
    const bool frame = rightToLeft_ && !used.corner.empty();
    canvas.drawImage(*image, source, dest, used.corner, imageDpi, used.mask.value_or(0), 255,
                     frame);
    return true;
}

void PaintManager::setHot(Control* control) {
    if (hot_ == control) return;
    Control* old = hot_;
    hot_ = control;
    if (old) old->onMouseLeave();
    if (hot_) hot_->onMouseEnter();
}

void PaintManager::setFocus(Control* control) {
    if (focus_ == control) return;
    Control* old = focus_;
    focus_ = control;
    if (old) old->onFocus(false);
    if (focus_) {
        focus_->onFocus(true);
        controlChanged(focus_, EVENT_OBJECT_FOCUS);
    }
}

bool PaintManager::moveFocus(bool forward) {
    std::vector<Control*> order;
    collectFocusable(root_.get(), order);
    if (order.empty()) return false;
    auto it = std::find(order.begin(), order.end(), focus_);
    size_t next = 0;
    if (it == order.end())
        next = forward ? 0 : order.size() - 1;
    else {
        const size_t at = static_cast<size_t>(it - order.begin());
        next = forward ? (at + 1) % order.size() : (at + order.size() - 1) % order.size();
    }
    showFocusRing(true);
    setFocus(order[next]);
    return true;
}

void PaintManager::showFocusRing(bool show) {
    if (focusRing_ == show) return;
    focusRing_ = show;
    if (focus_) focus_->invalidate();
}

void PaintManager::sendNotify(Control* sender, std::wstring_view type, int index) {
    if (!sink_) return;
    Notification n{std::wstring(type), sender, index, window_};
    sink_(n);
}

UINT PaintManager::postedNotifyMessage() {
    static const UINT message = RegisterWindowMessageW(L"tk.postedNotification");
    return message;
}

void PaintManager::postNotify(Control* sender, std::wstring_view type) {
    if (!hwnd_ || !sender) return sendNotify(sender, type, -1);
    posted_.emplace_back(sender->accessibleId(), std::wstring(type));
    if (!PostMessageW(hwnd_, postedNotifyMessage(), 0, 0)) posted_.pop_back();
}

void PaintManager::deliverPosted() {
    if (posted_.empty()) return;
    const auto [id, type] = std::move(posted_.front());
    posted_.pop_front();
    if (Control* sender = controlById(id)) sendNotify(sender, type, -1);
}

void PaintManager::clearGroup(const std::wstring& group, Control* except) {
    clearGroupIn(root_.get(), group, except);
}

void PaintManager::controlChanged(Control* control, DWORD event) {
    if (hwnd_ && control && control->accessibleId() > 0)
        NotifyWinEvent(event, hwnd_, OBJID_CLIENT, control->accessibleId());
}

void PaintManager::controlHidden(Control* control) {
    if (!control) return;
    for (Control* c = focus_; c; c = c->parent())
        if (c == control) {
            setFocus(nullptr);
            break;
        }
    for (Control* c = hot_; c; c = c->parent())
        if (c == control) {
            hot_ = nullptr;
            break;
        }
    for (Control* c = pushed_; c; c = c->parent())
        if (c == control) {
            pushed_ = nullptr;
            break;
        }
}

int PaintManager::registerControl(Control* control) {
    const int id = nextId_++;
    byId_[id] = control;
    return id;
}

void PaintManager::forget(Control* control) {
    if (hot_ == control) hot_ = nullptr;
    if (pushed_ == control) pushed_ = nullptr;
    if (focus_ == control) focus_ = nullptr;
    if (control) byId_.erase(control->accessibleId());
}

Control* PaintManager::controlById(int id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

std::vector<Control*> PaintManager::accessibleControls() const {
    std::vector<Control*> out;
    collectVisible(root_.get(), out);
    return out;
}

}  // namespace tk
