#include "ui/message_box.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "toolkit/container.h"
#include "toolkit/text_table.h"

namespace msg {

namespace {

constexpr DWORD kBoxStyle = WS_POPUP | WS_BORDER | WS_SYSMENU;   // 0x80880000
constexpr DWORD kBoxExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;  // 0x88
constexpr wchar_t kBoxFace[] = L"\u5FAE\u8F6F\u96C5\u9ED1";      // 微软雅黑

constexpr CSelectionUI::Look kPrimaryLook{
    L"file='common\\btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='common\\btn_bg_default.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='common\\btn_bg_default.png' source='40,0,60,28' corner='6,6,6,6'", 0xFF000000};
constexpr CSelectionUI::Look kSecondaryLook{
    L"file='common\\btn_bg.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='common\\btn_bg.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='common\\btn_bg.png' source='40,0,60,28' corner='6,6,6,6'", 0xFF17171A};
constexpr CSelectionUI::Look kRemotePrimaryLook{
    L"file='remote\\btn_32.png' source='16,0,32,32' corner='6,6,6,6'",
    L"file='remote\\btn_32.png' source='32,0,48,32' corner='6,6,6,6'",
    L"file='remote\\btn_32.png' source='48,0,64,32' corner='6,6,6,6'", 0xFF17171A};
constexpr CSelectionUI::Look kRemoteSecondaryLook{
    L"file='remote\\btn_cancel.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='remote\\btn_cancel.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='remote\\btn_cancel.png' source='40,0,60,28' corner='6,6,6,6'", 0xFF17171A};

// The texts of every open box.
std::set<std::wstring>& shownTexts() {
    static std::set<std::wstring> texts;
    return texts;
}

// Every box from its opening until its close request.
std::vector<const MessageBoxWindow*>& openBoxes() {
    static std::vector<const MessageBoxWindow*> boxes;
    return boxes;
}

void forgetOpenBox(const MessageBoxWindow* box) {
    auto& boxes = openBoxes();
    boxes.erase(std::remove(boxes.begin(), boxes.end(), box), boxes.end());
}

MessageBoxWindow* showBox(HWND parent, const std::wstring& icon, const std::wstring& title,
                          const std::wstring& text, const std::vector<MessageBoxButton>& buttons,
                          Action closeAction) {
    if (!shownTexts().insert(text).second) return nullptr;
    auto* box =
        new MessageBoxWindow(parent, icon.empty() ? MessageBoxWindow::kMessageBoxLayout
                                                  : MessageBoxWindow::kMessageBoxNoIconLayout);
    if (!box->open()) {
        shownTexts().erase(text);
        delete box;
        return nullptr;
    }
    openBoxes().push_back(box);
    box->setIcon(icon);
    box->setTitle(title);
    box->setText(text);
    if (closeAction) box->setCloseAction(std::move(closeAction));
    for (const MessageBoxButton& button : buttons) box->addButton(button);
    return box;
}

}  // namespace

MessageBoxButton confirmButton() {
    return {tk::lookupText("confirm"), {}, true};
}

std::wstring iconImage(int kind) {
    // At 150 % and more the toolkit itself draws the "commonEnalarge/..." variant of an image
    // when the skin has one, so the table holds the plain names only.
    static const std::map<int, std::wstring> table{{0, L"common/msg_noice48.png"},
                                                   {1, L"common/msg_noice48.png"},
                                                   {2, L"common/msg_noice48.png"},
                                                   {3, L"common/msg_ok48.png"}};
    const auto found = table.find(kind);
    return found == table.end() ? std::wstring() : found->second;
}

// ---- CSelectionUI ----

CSelectionUI::CSelectionUI(const MessageBoxButton& button)
    : CSelectionUI(button, button.primary ? kPrimaryLook : kSecondaryLook) {}

CSelectionUI::CSelectionUI(const MessageBoxButton& button, const Look& look)
    : caption_(button.text), action_(button.action), primary_(button.primary) {
    setText(button.text);
    setAttribute(L"height", L"30");
    setAttribute(L"valign", L"vcenter");
    setTextPadding({20, 0, 20, 0});
    setPadding({10, 0, 10, 0});
    setHandCursor(true);
    setMinTextWidth(100);
    setFont(1);
    setMinWidth(90);
    setShowHtml(true);
    setNormalImage(look.normal);
    setHotImage(look.hot);
    setPushedImage(look.pushed);
    setTextColor(look.textColour);
}

void* CSelectionUI::getInterface(std::wstring_view name) {
    if (name == L"Selection") return this;
    return Button::getInterface(name);
}

CSelectionUIRemote::CSelectionUIRemote(const MessageBoxButton& button)
    : CSelectionUI(button, button.primary ? kRemotePrimaryLook : kRemoteSecondaryLook) {}

// ---- MessageBoxWindow ----

MessageBoxWindow::MessageBoxWindow(HWND parent, std::wstring layout)
    : parent_(parent), layout_(std::move(layout)) {}

MessageBoxWindow::~MessageBoxWindow() {
    forgetOpenBox(this);
    shownTexts().erase(text_);
}

bool MessageBoxWindow::open() {
    if (parent_) EnableWindow(parent_, FALSE);
    if (!create(parent_, kBoxStyle, kBoxExStyle)) {
        if (parent_) EnableWindow(parent_, TRUE);
        return false;
    }
    centerWindow();
    showWindow(true, true);
    return true;
}

void MessageBoxWindow::initWindow() {
    tk::FontTable& fonts = manager().fonts();
    fonts.setDefaultFont({kBoxFace, 12, false, false, false}, true);
    for (int id = 0; id < 4; ++id)
        fonts.addFont(id, {kBoxFace, 12 + 2 * id, false, false, false}, true);
}

void MessageBoxWindow::onFinalMessage(HWND) {
    delete this;
}

LRESULT MessageBoxWindow::onClose(WPARAM, LPARAM, bool& handled) {
    forgetOpenBox(this);
    enableParent();
    handled = false;
    return 0;
}

void MessageBoxWindow::enableParent() {
    if (!parent_) return;
    const auto& boxes = openBoxes();
    const bool keptByOther = std::any_of(boxes.begin(), boxes.end(), [this](auto* box) {
        return box != this && box->parentWindow() == parent_;
    });
    if (!keptByOther) EnableWindow(parent_, TRUE);
}

void MessageBoxWindow::bindControls(tk::ControlBinder& binder) {
    binder.optional(icon_, L"msgiconimage");
    binder.require(title_, L"titlelabel");
    binder.require(textLabel_, L"descriptlabel");
    binder.require(bottombar_, L"bottombar");
}

void MessageBoxWindow::setIcon(const std::wstring& image) {
    if (!image.empty()) {
        if (icon_) icon_->setBackgroundImage(image);
        return;
    }
    if (icon_) icon_->setVisible(false);
    textLabel_->setAttribute(L"width", L"340");
}

void MessageBoxWindow::setTitle(const std::wstring& text) {
    title_->setText(text);
}

void MessageBoxWindow::setText(const std::wstring& text) {
    textLabel_->setAttribute(L"align", L"center");
    textLabel_->setAttribute(L"valign", L"vcenter");
    textLabel_->setAttribute(L"multiline", L"true");
    textLabel_->setShowHtml(true);
    textLabel_->setText(text);
    text_ = text;
}

void MessageBoxWindow::setCloseAction(Action action) {
    closeAction_ = std::move(action);
}

void MessageBoxWindow::addButton(const MessageBoxButton& button) {
    insertButton(std::make_unique<CSelectionUI>(button));
}

void MessageBoxWindow::addRemoteButton(const MessageBoxButton& button) {
    insertButton(std::make_unique<CSelectionUIRemote>(button));
}

void MessageBoxWindow::insertButton(std::unique_ptr<CSelectionUI> button) {
    // Before the last child: the layouts end the bar with two spacers, so buttons sit centred.
    bottombar_->insertAt(std::max(0, bottombar_->childCount() - 1), std::move(button));
}

void MessageBoxWindow::notify(tk::Notification& n) {
    if (n.type == L"click") {
        if (n.senderName() == L"closebtn") {
            enableParent();
            if (const Action action = closeAction_) action();
        } else if (void* selection = n.sender ? n.sender->getInterface(L"Selection") : nullptr) {
            onSelection(*static_cast<CSelectionUI*>(selection));
            return;
        }
    }
    WindowBase::notify(n);
}

void MessageBoxWindow::onSelection(const CSelectionUI& selection) {
    enableParent();
    showWindow(false);
    const tk::WindowLiveness live = liveness();
    // A copy: the action may open other boxes before this one closes.
    if (const Action action = selection.action()) action();
    // The action may have run a modal loop (a folder browser) in which the owner was closed,
    // and this box with it.
    if (live.window()) close(1);
}

// ---- show operations ----

MessageBoxWindow* showMessageBox(HWND parent, int iconKind, const std::wstring& title,
                                 const std::wstring& text, const MessageBoxButton& button) {
    return showBox(parent, iconImage(iconKind), title, text, {button}, {});
}

MessageBoxWindow* showMessageBox(HWND parent, int iconKind, const std::wstring& title,
                                 const std::wstring& text, const MessageBoxButton& left,
                                 const MessageBoxButton& right) {
    return showBox(parent, iconImage(iconKind), title, text, {left, right}, {});
}

MessageBoxWindow* showMessageBoxWithIcon(HWND parent, const std::wstring& icon,
                                         const std::wstring& title, const std::wstring& text,
                                         const MessageBoxButton& left,
                                         const MessageBoxButton& right) {
    return showBox(parent, icon, title, text, {left, right}, {});
}

MessageBoxWindow* showMessageBoxWithIcon(HWND parent, const std::wstring& icon,
                                         const std::wstring& title, const std::wstring& text,
                                         const MessageBoxButton& left,
                                         const MessageBoxButton& right, Action closeAction) {
    return showBox(parent, icon, title, text, {left, right}, std::move(closeAction));
}

}  // namespace msg
