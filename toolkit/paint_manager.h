// The paint manager of one window: owns the control tree and the window's fonts, knows the
// window's DPI, keeps hover, press and focus, lays the tree out when something changed its
// sizes, paints invalid parts into the window's surface and presents them, and hands control
// notifications to its window. One per window, owned by the window. UI thread only.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/canvas.h"
#include "toolkit/control.h"
#include "toolkit/font_table.h"

namespace tk {

struct Notification {
    std::wstring type;
    Control* sender = nullptr;
    int index = -1;  // item index of "itemselect"
    class WindowBase* window = nullptr;
    // The sender's name, or empty.
    const std::wstring& senderName() const;
};

class PaintManager {
public:
    using NotifySink = std::function<void(Notification&)>;

    PaintManager();
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // The window the tree paints into; its DPI is read now and on every change of scale.
    void attachWindow(HWND hwnd, NotifySink sink, class WindowBase* window);
    // Without a window (the skin viewer renders off screen): the DPI to lay out at.
    void setDpi(int dpi);
    int dpi() const { return dpi_; }
    // The window's direction: a right-to-left window shows the mirror image of its layout
    // (rectangles reflected across the window's width, frames reflected, text right to left
    // and its left and right alignment traded), its pictures as drawn. It starts as the
    // direction of the process's text language; a change lays the window out again.
    void setRightToLeft(bool rightToLeft);
    bool rightToLeft() const { return rightToLeft_; }
    HWND hwnd() const { return hwnd_; }
    class WindowBase* window() const {
        return window_;
    }

    void setRoot(std::unique_ptr<Control> root);
    Control* root() const { return root_.get(); }
    Control* findControl(std::wstring_view name) const;

    FontTable& fonts() { return fonts_; }
    FontSpec font(int id) const { return fonts_.font(id); }

    // Client size in device pixels.
    void resize(Size size);
    Size size() const { return size_; }
    void invalidate(const Rect& rect);
    void invalidateLayout();
    // A change of size or content asked for a layout that has not been made yet.
    bool layoutPending() const { return needLayout_ && root_; }
    // Lays the tree out when a change of size or content asked for it.
    void ensureLayout();
    // Paints what is invalid into the surface; returns the painted rectangle (empty: nothing).
    Rect paintInvalid();
    // Repaints everything.
    void paintAll();
    Surface& surface() { return surface_; }

    // Images named by image strings, drawn into rect (the control's rectangle).
    bool drawImage(Canvas& canvas, const std::wstring& image, const Rect& rect);

    // Input state.
    Control* hot() const { return hot_; }
    Control* pushed() const { return pushed_; }
    Control* focus() const { return focus_; }
    void setHot(Control* control);
    void setPushed(Control* control) { pushed_ = control; }
    void setFocus(Control* control);
    // Moves the focus to the next (or previous) focusable control in layout order.
    bool moveFocus(bool forward);
    bool focusRingVisible() const { return focusRing_; }
    void showFocusRing(bool show);

    // Notifications and events from the controls.
    void sendNotify(Control* sender, std::wstring_view type, int index);
    // The notification delivered from the window's message queue instead of now: for one raised
    // inside a focus change, whose handler may open a window. Dropped when the sender is gone by
    // then. Sent at once when the tree has no window.
    void postNotify(Control* sender, std::wstring_view type);
    // Delivers the oldest posted notification; the window calls it for postedNotifyMessage().
    void deliverPosted();
    static UINT postedNotifyMessage();
    void clearGroup(const std::wstring& group, Control* except);
    void controlChanged(Control* control, DWORD event);
    void controlHidden(Control* control);
    int registerControl(Control* control);
    void forget(Control* control);
    Control* controlById(int id) const;
    // Visible controls in tree order, for the accessibility tree.
    std::vector<Control*> accessibleControls() const;

private:
    void readDpi();
    void paintFocusRing(Canvas& canvas);

    HWND hwnd_ = nullptr;
    class WindowBase* window_ = nullptr;
    NotifySink sink_;
    int dpi_ = 96;
    bool rightToLeft_ = false;
    Size size_;
    std::unique_ptr<Control> root_;
    FontTable fonts_;
    Surface surface_;
    Rect invalid_;
    bool needLayout_ = true;
    Control* hot_ = nullptr;
    Control* pushed_ = nullptr;
    Control* focus_ = nullptr;
    bool focusRing_ = false;
    int nextId_ = 1;
    std::map<int, Control*> byId_;
    std::deque<std::pair<int, std::wstring>> posted_;  // sender id, type
};

// The DPI of the window: GetDpiForWindow where the system has it, else the screen's LOGPIXELSX.
int windowDpi(HWND hwnd);

}  // namespace tk
