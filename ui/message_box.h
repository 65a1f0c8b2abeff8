// Message boxes: a title, an optional icon, a text and one or two buttons, each carrying its own
// action. A box never returns an answer: the caller's actions run when a button is pressed. While
// a box is open its owner is disabled; every way of closing enables it again. At most one box per
// text is open at a time. Boxes delete themselves once their window is gone. UI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/container.h"
#include "toolkit/control.h"
#include "toolkit/window_base.h"

namespace msg {

using Action = std::function<void()>;

struct MessageBoxButton {
    std::wstring text;  // already looked up
    Action action{};    // may be empty
    bool primary = false;
};

// The standard confirm button: the "confirm" text, primary, no action.
MessageBoxButton confirmButton();

// The icon image of an icon kind: the notice icon for 0, 1 and 2, the success icon for 3, none
// for any other kind.
std::wstring iconImage(int kind);

class IMessageBox {
public:
    // Empty: no icon, and the text takes the icon's room.
    virtual void setIcon(const std::wstring& image) = 0;
    virtual void setTitle(const std::wstring& text) = 0;
    virtual void setText(const std::wstring& text) = 0;
    // Runs when the box is closed with its close button (not with Escape).
    virtual void setCloseAction(Action action) = 0;
    virtual void addButton(const MessageBoxButton& button) = 0;
    virtual void addRemoteButton(const MessageBoxButton& button) = 0;

protected:
    ~IMessageBox() = default;
};

// A button of a message box: it answers the interface query "Selection" and carries its action.
class CSelectionUI : public tk::Button {
public:
    explicit CSelectionUI(const MessageBoxButton& button);
    void* getInterface(std::wstring_view name) override;

    const std::wstring& caption() const { return caption_; }
    const Action& action() const { return action_; }
    bool primary() const { return primary_; }

    // The normal, hot and pushed images and the text colour of a button style.
    struct Look {
        const wchar_t* normal;
        const wchar_t* hot;
        const wchar_t* pushed;
        tk::Argb textColour;
    };

protected:
    CSelectionUI(const MessageBoxButton& button, const Look& look);

private:
    std::wstring caption_;
    Action action_;
    bool primary_;
};

// The same button in the remote-control style.
class CSelectionUIRemote : public CSelectionUI {
public:
    explicit CSelectionUIRemote(const MessageBoxButton& button);
};

class MessageBoxWindow : public tk::WindowBase, public IMessageBox {
public:
    // The layouts: the first for a box without icon image, the second for one with an image
    // (the shipped names say the opposite of what the boxes show).
    static constexpr wchar_t kMessageBoxLayout[] = L"common/xml_messagebox.xml";
    static constexpr wchar_t kMessageBoxNoIconLayout[] = L"common/xml_messagebox_noicon.xml";

    MessageBoxWindow(HWND parent, std::wstring layout);
    ~MessageBoxWindow() override;

    // Disables the owner, creates the window owned by it, centres and shows it with the focus.
    // False (the owner enabled again) when the window could not be made; the caller then
    // deletes the box.
    bool open();

    void setIcon(const std::wstring& image) override;
    void setTitle(const std::wstring& text) override;
    void setText(const std::wstring& text) override;
    void setCloseAction(Action action) override;
    void addButton(const MessageBoxButton& button) override;
    void addRemoteButton(const MessageBoxButton& button) override;

    void notify(tk::Notification& notification) override;

    HWND parentWindow() const { return parent_; }
    const std::wstring& text() const { return text_; }

protected:
    std::wstring windowClassName() const override { return L"MessageBoxWindow"; }
    UINT classStyle() const override { return CS_VREDRAW | CS_HREDRAW; }
    void onFinalMessage(HWND hwnd) override;
    void bindControls(tk::ControlBinder& binder) override;
    void initWindow() override;
    std::wstring skinFile() const override { return layout_; }
    LRESULT onClose(WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void insertButton(std::unique_ptr<CSelectionUI> button);
    void onSelection(const CSelectionUI& selection);
    // Enables the owner unless another open box keeps it disabled.
    void enableParent();

    HWND parent_;
    std::wstring layout_;
    std::wstring text_;
    Action closeAction_;
    // The named controls of the layout; the icon is optional.
    tk::Control* icon_ = nullptr;
    tk::Control* title_ = nullptr;
    tk::Label* textLabel_ = nullptr;
    tk::Container* bottombar_ = nullptr;
};

// The show operations. Each opens a box unless one with the same text is open already (then
// nothing happens and the actions are dropped). The box is owned by the parent; it is returned
// for the caller that wants to look at it, valid until the box closes; null when none opened.
MessageBoxWindow* showMessageBox(HWND parent, int iconKind, const std::wstring& title,
                                 const std::wstring& text, const MessageBoxButton& button);
MessageBoxWindow* showMessageBox(HWND parent, int iconKind, const std::wstring& title,
                                 const std::wstring& text, const MessageBoxButton& left,
                                 const MessageBoxButton& right);
MessageBoxWindow* showMessageBoxWithIcon(HWND parent, const std::wstring& icon,
                                         const std::wstring& title, const std::wstring& text,
                                         const MessageBoxButton& left,
                                         const MessageBoxButton& right);
MessageBoxWindow* showMessageBoxWithIcon(HWND parent, const std::wstring& icon,
                                         const std::wstring& title, const std::wstring& text,
                                         const MessageBoxButton& left,
                                         const MessageBoxButton& right, Action closeAction);

}  // namespace msg
