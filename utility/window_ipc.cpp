#include "utility/window_ipc.h"

#include "utility/log.h"

namespace utility {

bool WindowIPC::listen(const std::wstring& channelName, IWindowIPCHandle* handler) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &WindowIPC::windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = channelName.c_str();
    // Fails when the class exists already; only the window decides the result.
    RegisterClassExW(&windowClass);
    CreateWindowExW(0, channelName.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                    this);
    if (!window_ || !IsWindow(window_)) return false;
    handler_ = handler;
    return true;
}

bool WindowIPC::open(const std::wstring& className, const std::wstring& windowName) {
    SetLastError(0);
    HWND found = FindWindowExW(nullptr, nullptr, className.empty() ? nullptr : className.c_str(),
                               windowName.empty() ? nullptr : windowName.c_str());
    if (found) {
        window_ = found;
        return true;
    }
    const DWORD error = GetLastError();
    if (error != 0 && error != ERROR_FILE_NOT_FOUND) {
        writeLog("utility::WindowIPC::open", __LINE__, L"className:%s, windowName:%s, error:%d",
                 className.c_str(), windowName.c_str(), static_cast<int>(error));
    }
    return false;
}

bool WindowIPC::post(UINT message, WPARAM wParam, LPARAM lParam) {
    return window_ && PostMessageW(window_, message, wParam, lParam);
}

LRESULT CALLBACK WindowIPC::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<WindowIPC*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message > WM_USER || message == WM_COPYDATA) {
        auto* self = reinterpret_cast<WindowIPC*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->window_ == window && self->handler_) {
            self->handler_->onHandleWindowIPC(message, wParam, lParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace utility
