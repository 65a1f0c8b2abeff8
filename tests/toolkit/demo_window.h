// The demo window of the test skin (tests/toolkit/skin/demo.xml) opened by the window peer, as
// the window tests see it from outside: its handle, its accessibility tree, its lines of events,
// and the skin viewer's report of where every control of the layout lies.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/viewer_report.h"
#include "tests/support/window_support.h"

namespace demo {

using testing_support::AccessibleElement;

inline std::wstring skinDir() {
    return testing_support::dataDir() + L"toolkit-skin";
}
inline std::wstring viewerPath() {
    return testing_support::windowsPath(TAMRIX_SKIN_VIEWER_EXE);
}
// Where renders and screenshots are kept for a person to look at, with a trailing backslash.
inline std::wstring renderDir() {
    return testing_support::windowsPath(TAMRIX_RENDER_DIR) + L"\\";
}

// Runs a Windows program with the arguments and waits (bounded) for it: its exit code, or -1.
inline long runProgram(const std::wstring& path, const std::wstring& arguments,
                       DWORD timeoutMs = 60000) {
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    CloseHandle(info.hThread);
    long code = -1;
    if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        GetExitCodeProcess(info.hProcess, &exit);
        code = static_cast<long>(exit);
    } else {
        TerminateProcess(info.hProcess, 1);
    }
    CloseHandle(info.hProcess);
    return code;
}

using testing_support::ReportedControl;

inline std::vector<ReportedControl> readReport(const std::wstring& path) {
    return testing_support::readViewerReport(path).controls;
}

inline std::optional<ReportedControl> reported(const std::vector<ReportedControl>& report,
                                               std::wstring_view name) {
    for (const auto& r : report)
        if (r.name == name) return r;
    return std::nullopt;
}

// Runs the skin viewer on a layout of the test skin with the options and reads its report; the
// report is empty when the viewer failed.
inline std::vector<ReportedControl> viewerReport(const std::wstring& layout,
                                                 const std::wstring& options,
                                                 const std::wstring& reportPath) {
    DeleteFileW(reportPath.c_str());
    const long code =
        runProgram(viewerPath(), L"--skin-dir \"" + skinDir() + L"\" --layout " + layout + L" " +
                                     options + L" --report \"" + reportPath + L"\"");
    EXPECT_EQ(code, 0) << "skin viewer on " << testing_support::narrow(layout);
    return readReport(reportPath);
}

// The demo layout in a window of the peer; "--routing" opens the routing window.
class DemoPeer {
public:
    explicit DemoPeer(const std::wstring& extra = {})
        : peer_(L"toolkit_window_peer",
                L"--skin \"" + skinDir() + L"\" --layout demo.xml " + extra) {
        if (!peer_.started()) return;
        const auto ready = peer_.nextLine();
        if (!ready || !ready->starts_with("ready ")) return;
        hwnd_ = reinterpret_cast<HWND>(
            static_cast<ULONG_PTR>(std::strtoull(ready->c_str() + 6, nullptr, 10)));
        if (!IsWindow(hwnd_)) hwnd_ = nullptr;
        if (hwnd_) accessible_ = testing_support::accessibleOf(hwnd_);
    }
    ~DemoPeer() {
        // A window left open by a failed test goes the way Escape would take it.
        if (hwnd_ && IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
    DemoPeer(const DemoPeer&) = delete;
    DemoPeer& operator=(const DemoPeer&) = delete;

    bool ready() const { return hwnd_ && accessible_; }
    HWND hwnd() const { return hwnd_; }
    DWORD threadId() const { return GetWindowThreadProcessId(hwnd_, nullptr); }
    testing_support::PipedPeer& peer() { return peer_; }
    IAccessible* accessible() const { return accessible_.Get(); }
    std::wstring title() const { return L"tk peer " + std::to_wstring(peer_.id()); }

    std::optional<std::string> nextLine() { return peer_.nextLine(); }
    std::vector<AccessibleElement> elements() const {
        return testing_support::readChildren(accessible_.Get());
    }
    // The element of that accessible name; a failed expectation when it is not in the tree.
    AccessibleElement element(std::wstring_view name) const {
        auto found = testing_support::findElement(elements(), name);
        EXPECT_TRUE(found.has_value()) << "no accessible element " << testing_support::narrow(name);
        return found.value_or(AccessibleElement{});
    }
    // The element read again by its id (its state now).
    AccessibleElement reread(const AccessibleElement& e) const {
        return testing_support::readElement(accessible_.Get(), e.id);
    }
    long focusId() const {
        VARIANT v;
        VariantInit(&v);
        if (FAILED(accessible_->get_accFocus(&v))) return -1;
        const long id = v.vt == VT_I4 ? v.lVal : -1;
        VariantClear(&v);
        return id;
    }
    RECT windowRect() const {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        return r;
    }
    // Screen position of the client area's origin.
    POINT origin() const {
        POINT p{0, 0};
        ClientToScreen(hwnd_, &p);
        return p;
    }

private:
    testing_support::PipedPeer peer_;
    HWND hwnd_ = nullptr;
    Microsoft::WRL::ComPtr<IAccessible> accessible_;
};

// COM for the test's thread, for the accessibility calls and WIC.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

}  // namespace demo
