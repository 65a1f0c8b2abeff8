// Helpers for tests that use windows from outside their process, as a person does: a peer whose
// standard output is read line by line, Unix commands (xdotool) run from the Windows test,
// pixels of the screen and of PNG files, and the accessibility tree of another process's window.
#pragma once

#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "utility/handle.h"

namespace testing_support {

// Bound of every wait for something a window or a peer does: generous, since the waits end as
// soon as it happened.
inline constexpr DWORD kEventWaitMs = 20000;

// A peer program (peerPath) whose standard output is a pipe read on a thread of its own, line by
// line. On destruction the peer gets a bounded time to end and is then terminated.
class PipedPeer {
public:
    PipedPeer(const std::wstring& name, const std::wstring& arguments);
    ~PipedPeer();
    PipedPeer(const PipedPeer&) = delete;
    PipedPeer& operator=(const PipedPeer&) = delete;

    bool started() const { return process_.valid(); }
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }
    // The next line not yet taken (without its line end); nothing when none came in time or the
    // output ended.
    std::optional<std::string> nextLine(DWORD timeoutMs = kEventWaitMs);
    // Takes lines until one begins with the prefix and returns that one; nothing when none
    // came in time. The lines passed over are appended to skipped when it is given.
    std::optional<std::string> lineStartingWith(std::string_view prefix,
                                                DWORD timeoutMs = kEventWaitMs,
                                                std::vector<std::string>* skipped = nullptr);
    // Lines that came and were not taken yet, without waiting.
    std::vector<std::string> pendingLines();
    // Waits for the process to end: its exit code, or -1 when it did not end in time.
    long wait(DWORD timeoutMs = kEventWaitMs);

private:
    void readLoop();

    utility::UniqueHandle process_;
    utility::UniqueHandle output_;  // read end of the pipe
    DWORD id_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

// The Windows form (Z:\...) of a Unix path, and the Unix form of a Z:\ path.
std::wstring windowsPath(std::string_view unixPath);
std::string unixPath(std::wstring_view windowsPath);

// A Unix command line run by /bin/sh from the Windows test. Wine starts Unix programs but
// neither waits for them nor passes their output, so the shell writes the output and then the
// exit code into files, and the test waits (bounded) for the exit code's file to appear.
struct UnixResult {
    int code = -1;       // -1: did not end in time, or could not be started
    std::string output;  // standard output and error together
};
UnixResult runUnix(const std::string& command, DWORD timeoutMs = kEventWaitMs);
// "xdotool " + arguments; true when it exited with 0. Arguments must not hold double quotes.
bool xdotool(const std::string& arguments);

// Pixels as BGRA words (0xAARRGGBB), top-down.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;

    bool empty() const { return data.empty(); }
    std::uint32_t at(int x, int y) const {
        return data[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};
// What the screen shows in the rectangle (screen coordinates), read through the screen DC; alpha
// is 255. Empty when it cannot be read.
Pixels captureScreen(const RECT& rect);
// A PNG file decoded with WIC into straight (not premultiplied) BGRA; empty when it does not
// decode. Needs COM on the calling thread.
Pixels readPng(const std::wstring& path);
// Writes opaque or straight-alpha pixels as PNG; false on failure. Needs COM.
bool writePng(const std::wstring& path, const Pixels& pixels);

// Colour parts and comparison of 0xAARRGGBB words.
inline int alphaOf(std::uint32_t c) {
    return static_cast<int>(c >> 24);
}
inline std::uint32_t rgbOf(std::uint32_t c) {
    return c & 0xFFFFFFu;
}
// The largest difference of the red, green and blue channels.
int colourDistance(std::uint32_t a, std::uint32_t b);
// "#RRGGBB aNNN", for failure messages.
std::string colourText(std::uint32_t c);

// One element of a window's accessibility tree as a client reads it.
struct AccessibleElement {
    long id = 0;  // child id; CHILDID_SELF for the window's own object
    std::wstring name;
    std::wstring value;
    std::wstring description;
    std::wstring defaultAction;
    long role = 0;
    long state = 0;
    RECT location{};  // screen coordinates
    bool has(long stateBits) const { return (state & stateBits) == stateBits; }
    POINT centre() const {
        return {(location.left + location.right) / 2, (location.top + location.bottom) / 2};
    }
};

// The client object of the window (AccessibleObjectFromWindow, OBJID_CLIENT); null on failure.
// Needs COM on the calling thread.
Microsoft::WRL::ComPtr<IAccessible> accessibleOf(HWND window);
// Reads the element of the child id from the object.
AccessibleElement readElement(IAccessible* object, long id);
// Every child the object lists (AccessibleChildren), read; empty when listing fails.
std::vector<AccessibleElement> readChildren(IAccessible* object);
// The child named so, or nothing.
std::optional<AccessibleElement> findElement(const std::vector<AccessibleElement>& elements,
                                             std::wstring_view name);
// A child id as the VARIANT the IAccessible calls take.
VARIANT childVariant(long id);

// Top-level windows of the thread that are visible, in no particular order.
std::vector<HWND> visibleThreadWindows(DWORD threadId);
// The class name of a window.
std::wstring windowClass(HWND window);
// The text of another process's window, asked with WM_GETTEXT (a tooltip answers its tip).
std::wstring windowTextOf(HWND window);

// Waits for the condition, looking again after short pauses; false when the deadline passed.
template <class Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = kEventWaitMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
}

// UTF-8 and UTF-16 text.
std::string narrow(std::wstring_view text);
std::wstring widen(std::string_view text);

}  // namespace testing_support
