// What the in-process window tests of the installer's dialogs share: the toolkit set up on the
// skin folder of this source tree, a message pump that waits on messages with a bound, an owner
// window standing in for the main window, and the windows' accessibility trees as a user's tool
// sees them.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/control.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_renderer.h"
#include "toolkit/text_table.h"
#include "toolkit/toolkit_setup.h"
#include "toolkit/window_base.h"

namespace ui_test {

// The skin folder of the source tree this program was built from: the compiler gives this
// file's absolute path, and under Wine the Unix root is drive Z:.
inline std::wstring sourceSkinFolder() {
    constexpr std::string_view self = __FILE__;
    constexpr std::string_view tail = "tests/ui/ui_harness.h";
    static_assert(self.ends_with(tail), "the skin folder is found from this file's own path");
    std::wstring path = L"Z:";
    for (char c : self.substr(0, self.size() - tail.size())) {
        path.push_back(c == '/' ? L'\\' : wchar_t(c));
    }
    return path + L"skin\\";
}

// The toolkit as the application sets it up, on the source skin folder and its English texts.
inline void setUpToolkit() {
    static const bool done = [] {
        OleInitialize(nullptr);
        tk::setInstance(GetModuleHandleW(nullptr));
        tk::setTableLanguage(L"en_US");
        tk::skinStore().setResourcePath(sourceSkinFolder());
        const std::string table =
            testing_support::readFileBytes(sourceSkinFolder() + L"multi_language.tsv");
        return tk::textTable().loadFromBytes(table);
    }();
    ASSERT_TRUE(done) << "the text table of the skin folder loads";
}

// Quit messages the pump has taken out of the queue since the last reset.
inline int& quitCount() {
    static int count = 0;
    return count;
}

constexpr UINT kMarkerMessage = WM_APP + 77;
inline bool& markerSeen() {
    static bool seen = false;
    return seen;
}

// Dispatches this thread's messages, the way the application's loop does, until the condition
// holds or the bound has passed; true when it holds.
inline bool pumpUntil(const std::function<bool()>& done, DWORD boundMs = 30000) {
    const ULONGLONG until = GetTickCount64() + boundMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ++quitCount();
            } else if (!message.hwnd && message.message == kMarkerMessage) {
                markerSeen() = true;
            } else if (!tk::WindowBase::preTranslateMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    }
}

// Dispatches every message posted before the call.
inline bool pumpPending() {
    markerSeen() = false;
    PostThreadMessageW(GetCurrentThreadId(), kMarkerMessage, 0, 0);
    return pumpUntil([] { return markerSeen(); });
}

// The height a label's text needs at the label's width, and the height the label gives it
// (device pixels, as laid out).
struct TextRoom {
    int need = 0;
    int room = 0;
};
inline TextRoom textRoom(const tk::Label& label) {
    const int dpi = label.manager() ? label.manager()->dpi() : 96;
    const tk::Rect box = label.rect().deflate(tk::scaleInsets(label.textPadding(), dpi));
    const auto m =
        tk::measureText(label.text(), label.fontSpec(), dpi, label.textFormat(), {box.width(), 0});
    return {m.size.cy, box.height()};
}

// This thread's top-level windows of the window class, visible or not.
inline std::vector<HWND> windowsOfClass(const wchar_t* className) {
    struct Search {
        const wchar_t* name;
        std::vector<HWND> found;
    } search{className, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[128] = {};
            GetClassNameW(hwnd, name, 128);
            if (std::wstring_view(name) == s->name) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A plain visible top-level window in place of the main window.
class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ui_test_owner";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, L"ui_test_owner", L"owner", WS_POPUP | WS_VISIBLE, 100, 100, 800,
                                600, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~OwnerWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND hwnd() const { return hwnd_; }
    bool enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }

private:
    HWND hwnd_ = nullptr;
};

// One element of a window's accessibility tree.
struct Element {
    long childId = 0;
    long role = 0;
    std::wstring name;
    RECT rect{};  // screen coordinates
};

// The accessibility tree of a skinned window, read through the system's accessibility API.
class AccessibleWindow {
public:
    explicit AccessibleWindow(HWND hwnd) {
        AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object_));
    }
    ~AccessibleWindow() {
        if (object_) object_->Release();
    }
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;
    bool valid() const { return object_ != nullptr; }

    std::vector<Element> elements() const {
        std::vector<Element> out;
        long count = 0;
        if (!object_ || FAILED(object_->get_accChildCount(&count)) || count <= 0) return out;
        std::vector<VARIANT> children(static_cast<std::size_t>(count));
        long got = 0;
        if (FAILED(AccessibleChildren(object_, 0, count, children.data(), &got))) return out;
        for (long i = 0; i < got; ++i) {
            VARIANT& child = children[static_cast<std::size_t>(i)];
            if (child.vt == VT_I4) out.push_back(element(child.lVal));
            VariantClear(&child);
        }
        return out;
    }

    // The first element with that name and role (0: any role); childId 0 when there is none.
    Element find(const std::wstring& name, long role = 0) const {
        for (const Element& e : elements())
            if (e.name == name && (role == 0 || e.role == role)) return e;
        return {};
    }

    // Asks for the element's default action (a button's press); true when it was accepted.
    bool press(const std::wstring& name) const {
        const Element e = find(name, ROLE_SYSTEM_PUSHBUTTON);
        if (!e.childId) return false;
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = e.childId;
        return SUCCEEDED(object_->accDoDefaultAction(child));
    }

private:
    Element element(long id) const {
        Element e;
        e.childId = id;
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = id;
        BSTR name = nullptr;
        if (SUCCEEDED(object_->get_accName(child, &name)) && name) {
            e.name = name;
            SysFreeString(name);
        }
        VARIANT role{};
        if (SUCCEEDED(object_->get_accRole(child, &role)) && role.vt == VT_I4) e.role = role.lVal;
        long x = 0, y = 0, w = 0, h = 0;
        if (SUCCEEDED(object_->accLocation(&x, &y, &w, &h, child))) e.rect = {x, y, x + w, y + h};
        return e;
    }

    IAccessible* object_ = nullptr;
};

}  // namespace ui_test
