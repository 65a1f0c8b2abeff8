// Window-message channel between the downloader and its peers (the emulator's installer, a
// second copy of the downloader). The server owns a hidden top-level window whose class is the
// channel name; a client finds that window by class name and posts messages to it.
#pragma once

#include <windows.h>

#include <string>

namespace utility {

// Channel name: the server window's class, and the single-instance mutex name.
inline constexpr wchar_t kChannelName[] = L"{2266E930-7040-4A6B-B7C8-E44663785cdd}";

// Receives every message above WM_USER, and WM_COPYDATA, on the server's thread.
class IWindowIPCHandle {
public:
    virtual int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~IWindowIPCHandle() = default;
};

class WindowIPC {
public:
    WindowIPC() = default;
    WindowIPC(const WindowIPC&) = delete;
    WindowIPC& operator=(const WindowIPC&) = delete;

    // Server: creates the hidden channel window and stores the handler once the window exists.
    bool listen(const std::wstring& channelName, IWindowIPCHandle* handler);
    // Client: finds a top-level window by class and title (empty matches any).
    bool open(const std::wstring& className, const std::wstring& windowName);
    bool open(const std::wstring& className) { return open(className, L""); }
    // Posts the message to the stored window; false without one.
    bool post(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window() const { return window_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    IWindowIPCHandle* handler_ = nullptr;
};

}  // namespace utility
