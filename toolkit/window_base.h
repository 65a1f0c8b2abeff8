// The base of every skinned window: a native popup window whose control tree is built from a
// layout file of the skin store, painted by its paint manager, driven by mouse and keyboard and
// read by screen readers; notifications go through the window's message maps. Derived windows
// give their layout, class name and class style and override the hooks they need. Windows are
// created, used and destroyed on the UI thread; a window owns its paint manager and tree. A
// window that deletes itself does so in its final-message hook.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/control_binder.h"
#include "toolkit/message_map.h"
#include "toolkit/paint_manager.h"
#include "toolkit/window_layout.h"

namespace tk {

class WindowAccessible;
class WindowBase;

// Names a window while it lives and nothing from the moment it is being destroyed. Everything
// that may outlive the window holds a copy and asks it before it touches the window: accessible
// objects and their copies, and code that runs a modal loop (a folder browser, a button's action)
// inside one of the window's handlers. Copies may live on any thread; the window is UI thread.
class WindowLiveness {
public:
    WindowLiveness() = default;
    // The window, or null once it is being destroyed.
    WindowBase* window() const { return state_ ? *state_ : nullptr; }

private:
    friend class WindowBase;
    explicit WindowLiveness(WindowBase* window) : state_(std::make_shared<WindowBase*>(window)) {}
    std::shared_ptr<WindowBase*> state_;
};

class WindowBase {
public:
    WindowBase();
    virtual ~WindowBase();
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    // Builds the native window and the control tree from the layout, finds the controls the
    // window names (bindControls), then calls initWindow. The window is a popup whatever caption
    // or frame styles are given (the skin draws its frame); it stays hidden until shown. Nothing,
    // with the reason logged, when the native window cannot be made, the layout cannot be built
    // or lacks a required control; the destroy and final-message hooks then do not run, and the
    // object stays the caller's to delete.
    HWND create(HWND parent, DWORD style = 0, DWORD exStyle = 0);
    HWND hwnd() const { return hwnd_; }
    // The window's token, for what may outlive it.
    const WindowLiveness& liveness() const { return liveness_; }
    void centerWindow();
    // Shows or hides the window; a window shown with the focus also comes to the front, also
    // when it was shown before and another window has since been put over it.
    void showWindow(bool show = true, bool takeFocus = true);
    // Ends the window: WM_CLOSE with the code, which the close hook may refuse.
    void close(UINT code = IDOK);
    void setWindowTitle(const std::wstring& title);
    UINT closeCode() const { return closeCode_; }

    PaintManager& manager() { return manager_; }
    Control* findControl(std::wstring_view name) const { return manager_.findControl(name); }
    template <class T>
    T* find(std::wstring_view name) const {
        return dynamic_cast<T*>(findControl(name));
    }

    // The notification entry point: routes through the message maps by default.
    virtual void notify(Notification& notification);
    // Default click handling: "closebtn" closes, "minbtn" minimises, "maxbtn" maximises and
    // "restorebtn" restores the window; other names are ignored.
    void onDefaultClick(Notification& notification);
    // The base class's table: every "click" goes to onDefaultClick.
    static const MessageMap* baseMessageMap();

    // Key handling shared by every window before the message reaches the window procedure
    // (the message loop calls it for each message): Tab moves the focus, Space activates the
    // focused control, Escape goes to the default key handling; keys with Alt are left to the
    // system. True when the key was used.
    static bool preTranslateMessage(const MSG& message);

protected:
    // Hooks.
    virtual std::wstring windowClassName() const = 0;
    virtual UINT classStyle() const { return CS_DBLCLKS; }
    virtual std::wstring skinFile() const = 0;
    virtual std::wstring skinFolder() const { return {}; }
    // Raw messages, before the toolkit's own handling; set handled to stop it.
    virtual LRESULT handleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // Finds the named controls the window's code uses, once, into the window's slots (the one
    // place a window declares them). Runs before initWindow.
    virtual void bindControls(ControlBinder& binder) { (void)binder; }
    virtual void initWindow() {}
    // WM_CLOSE; leave handled false to let the window be destroyed.
    virtual LRESULT onClose(WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT onDestroy(WPARAM wParam, LPARAM lParam, bool& handled);
    // After the native window is gone; the window may delete itself here.
    virtual void onFinalMessage(HWND hwnd) { (void)hwnd; }
    // Escape closes the window; Enter is not handled. True when the key was used.
    virtual bool responseDefaultKeyEvent(WPARAM key);
    // The message map of the window class.
    virtual const MessageMap* messageMap() const { return baseMessageMap(); }
    // Controls of the window's own classes, by element name; nothing for the standard ones.
    virtual std::unique_ptr<Control> createControl(std::wstring_view element);

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool registerClass(HINSTANCE instance);
    bool buildTree();
    // WM_CREATE: the tree, the named controls and initWindow; false when the window cannot be.
    bool onCreate();
    void applyWindowAttributes();
    void applyRegion();
    // A window whose layout lets it fit its content takes the size its content needs before it
    // lays out, about the same centre.
    void fitToContent();
    void present(const Rect& dirty);
    bool onKey(WPARAM key);
    void onMouseMove(Point point);
    void onButtonDown(Point point);
    void onButtonUp(Point point);
    // Forgets the pressed control: the press was taken away (capture lost, window disabled).
    void cancelPress();
    LRESULT onNcHitTest(LPARAM lParam);
    bool onSetCursor();
    void updateTooltip();
    void relayToTooltip(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    PaintManager manager_;
    WindowSettings settings_;
    bool tracking_ = false;
    UINT closeCode_ = 0;
    bool created_ = false;  // WM_CREATE went through: the hooks of the window's end run
    HWND tooltip_ = nullptr;
    Control* tooltipFor_ = nullptr;
    WindowAccessible* accessible_ = nullptr;  // one COM reference held by the window
    WindowLiveness liveness_{this};           // names nothing from WM_DESTROY on
};

}  // namespace tk
