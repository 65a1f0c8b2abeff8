// A skinned window of the toolkit, for tests that use it from outside as a person does.
//   toolkit_window_peer.exe --skin DIR --layout FILE [--lang CODE] [--routing]
// Sets the toolkit up the way the installer does (instance, text language, skin folder, then the
// archive step, which finds no archive here and loads DIR\multi_language.tsv), opens the layout in
// a window titled "tk peer <process id>", centred on the screen, and runs the message loop.
// One line per event on standard output, flushed as it happens:
//   ready <window handle in decimal>     after the first paint
//   click <name> | selectchanged <name> <0|1> | itemselect <name> <index> <userdata>
//   killfocus <name> <text> | <type> <name>   every notification, before it is routed
//   handled own <page>     the demo window's own "click" entry for "own": the tab layout "tabs"
//                          shows its other page
//   handled closebtn       the routing window's own "click" entry for "closebtn" (which must
//                          not close the window)
//   closed                 from the window's final message; the process then exits with 0
// The demo window's message map has its one entry and then the base class's, so "closebtn" and
// "minbtn" go to the default click handler; --routing opens the routing window instead.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/skin_store.h"
#include "toolkit/toolkit_setup.h"
#include "toolkit/window_base.h"
#include "utility/text.h"

namespace {

void say(const std::wstring& line) {
    const std::string bytes = utility::wideToUtf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
    FlushFileBuffers(GetStdHandle(STD_OUTPUT_HANDLE));
}

constexpr UINT kPaintedMessage = WM_APP + 1;

class DemoWindow : public tk::WindowBase {
public:
    explicit DemoWindow(std::wstring layout) : layout_(std::move(layout)) {}

    void notify(tk::Notification& n) override {
        std::wstring line = n.type + L" " + n.senderName();
        if (n.type == L"selectchanged") {
            if (auto* option = dynamic_cast<tk::Option*>(n.sender))
                line += option->isSelected() ? L" 1" : L" 0";
        } else if (n.type == L"itemselect") {
            auto* combo = dynamic_cast<tk::Combo*>(n.sender);
            const tk::Control* item = combo ? combo->itemAt(n.index) : nullptr;
            line += L" " + std::to_wstring(n.index) + L" " + (item ? item->userData() : L"-");
        } else if (n.type == L"killfocus") {
            line += L" " + (n.sender ? n.sender->text() : std::wstring());
        }
        say(line);
        tk::WindowBase::notify(n);
    }

    void onOwnClick(tk::Notification&) {
        auto* tabs = find<tk::TabLayout>(L"tabs");
        if (!tabs) return say(L"handled own -");
        tabs->selectPage(1 - tabs->selectedIndex());
        say(L"handled own " + std::to_wstring(tabs->selectedIndex()));
    }

protected:
    std::wstring windowClassName() const override { return L"tk.TestPeer"; }
    std::wstring skinFile() const override { return layout_; }
    const tk::MessageMap* messageMap() const override;

    LRESULT handleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                bool& handled) override {
        if (message == WM_PAINT && !painted_) {
            // Told once the toolkit has painted and presented: the posted message comes after.
            painted_ = true;
            PostMessageW(hwnd(), kPaintedMessage, 0, 0);
        } else if (message == kPaintedMessage) {
            say(L"ready " + std::to_wstring(reinterpret_cast<ULONG_PTR>(hwnd())));
            handled = true;
            return 0;
        }
        return tk::WindowBase::handleCustomMessage(message, wParam, lParam, handled);
    }

    void onFinalMessage(HWND) override {
        say(L"closed");
        PostQuitMessage(0);
    }

private:
    std::wstring layout_;
    bool painted_ = false;
};

// Its own "closebtn" entry comes before the base class's default handling.
class RoutingWindow : public DemoWindow {
public:
    using DemoWindow::DemoWindow;
    void onOwnClose(tk::Notification&) { say(L"handled closebtn"); }

protected:
    std::wstring windowClassName() const override { return L"tk.TestPeerRouting"; }
    const tk::MessageMap* messageMap() const override;
};

const tk::MessageMapEntry kDemoEntries[] = {
    tk::onNotify<&DemoWindow::onOwnClick>(L"click", L"own"),
};
const tk::MessageMap kDemoMap{tk::WindowBase::baseMessageMap(), std::begin(kDemoEntries),
                              std::end(kDemoEntries)};
const tk::MessageMapEntry kRoutingEntries[] = {
    tk::onNotify<&RoutingWindow::onOwnClose>(L"click", L"closebtn"),
};
const tk::MessageMap kRoutingMap{tk::WindowBase::baseMessageMap(), std::begin(kRoutingEntries),
                                 std::end(kRoutingEntries)};

const tk::MessageMap* DemoWindow::messageMap() const {
    return &kDemoMap;
}
const tk::MessageMap* RoutingWindow::messageMap() const {
    return &kRoutingMap;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring skin, layout, language = L"en_US";
    bool routing = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--routing") {
            routing = true;
        } else if (i + 1 < argc && option == L"--skin") {
            skin = argv[++i];
        } else if (i + 1 < argc && option == L"--layout") {
            layout = argv[++i];
        } else if (i + 1 < argc && option == L"--lang") {
            language = argv[++i];
        } else {
            fwprintf(stderr, L"toolkit_window_peer: unknown option %ls\n", option.c_str());
            return 2;
        }
    }
    if (skin.empty() || layout.empty()) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;

    tk::setInstance(nullptr);
    tk::setTableLanguage(language);
    tk::skinStore().setInstanceFolder(skin);
    tk::skinStore().setResourcePath(skin);
    tk::registerSkinArchive();

    DemoWindow demo(layout);
    RoutingWindow routed(layout);
    DemoWindow& window = routing ? routed : demo;
    if (!window.create(nullptr, WS_MINIMIZEBOX | WS_SYSMENU)) return 4;
    window.setWindowTitle(L"tk peer " + std::to_wstring(GetCurrentProcessId()));
    window.centerWindow();
    window.showWindow();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (tk::WindowBase::preTranslateMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoUninitialize();
    return 0;
}
