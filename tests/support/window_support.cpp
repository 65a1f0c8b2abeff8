#include "tests/support/window_support.h"

#include <objbase.h>
#include <oleauto.h>
#include <wincodec.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "tests/support/test_support.h"
#include "toolkit/png_writer.h"

using Microsoft::WRL::ComPtr;

namespace testing_support {

// ---- PipedPeer ----

PipedPeer::PipedPeer(const std::wstring& name, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    output_.reset(readEnd);
    utility::UniqueHandle peerEnd(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + peerPath(name) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    // Only the peer holds the write end now: the reads end when the peer does.
    peerEnd.reset();
    reader_ = std::thread([this] { readLoop(); });
}

PipedPeer::~PipedPeer() {
    if (process_ && WaitForSingleObject(process_.get(), kEventWaitMs) != WAIT_OBJECT_0)
        TerminateProcess(process_.get(), 1);
    if (reader_.joinable()) reader_.join();
}

void PipedPeer::readLoop() {
    std::string partial;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output_.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        partial.append(buffer, got);
        std::vector<std::string> complete;
        for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
            std::string line = partial.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            complete.push_back(std::move(line));
            partial.erase(0, end + 1);
        }
        if (complete.empty()) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& line : complete) lines_.push_back(std::move(line));
        arrived_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    ended_ = true;
    arrived_.notify_all();
}

std::optional<std::string> PipedPeer::nextLine(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !lines_.empty() || ended_; });
    if (lines_.empty()) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

std::optional<std::string> PipedPeer::lineStartingWith(std::string_view prefix, DWORD timeoutMs,
                                                       std::vector<std::string>* skipped) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return std::nullopt;
        auto line = nextLine(static_cast<DWORD>(deadline - now));
        if (!line) return std::nullopt;
        if (line->starts_with(prefix)) return line;
        if (skipped) skipped->push_back(*line);
    }
}

std::vector<std::string> PipedPeer::pendingLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out(lines_.begin(), lines_.end());
    lines_.clear();
    return out;
}

long PipedPeer::wait(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<long>(code);
}

// ---- paths and text ----

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::wstring windowsPath(std::string_view unix) {
    std::wstring path = L"Z:";
    for (wchar_t c : widen(unix)) path.push_back(c == L'/' ? L'\\' : c);
    return path;
}

std::string unixPath(std::wstring_view windows) {
    if (windows.size() >= 2 && (windows[0] == L'Z' || windows[0] == L'z') && windows[1] == L':')
        windows.remove_prefix(2);
    std::wstring path(windows);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return narrow(path);
}

// ---- Unix commands ----

namespace {

std::string uniqueName() {
    GUID guid{};
    CoCreateGuid(&guid);
    char name[64];
    wsprintfA(name, "cmd-%08lX%04X%04X%02X%02X", guid.Data1, guid.Data2, guid.Data3, guid.Data4[0],
              guid.Data4[1]);
    return name;
}

}  // namespace

UnixResult runUnix(const std::string& command, DWORD timeoutMs) {
    UnixResult result;
    if (command.find('"') != std::string::npos) return result;
    const std::string folder = unixPath(dataDir()) + "unix-commands";
    const std::wstring windowsFolder = windowsPath(folder);
    CreateDirectoryW(windowsFolder.c_str(), nullptr);
    const std::string base = folder + "/" + uniqueName();
    const std::wstring rcFile = windowsPath(base + ".rc");
    const std::wstring outFile = windowsPath(base + ".out");

    // Watch the folder before the shell starts, so that its rename cannot be missed.
    HANDLE change =
        FindFirstChangeNotificationW(windowsFolder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    const std::string script = "{ " + command + " ; } > '" + base + ".out' 2>&1; echo $? > '" +
                               base + ".tmp'; mv '" + base + ".tmp' '" + base + ".rc'";
    std::wstring commandLine = L"/bin/sh -c \"" + widen(script) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
        return result;
    }
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);

    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool done = false;
    while (!(done = GetFileAttributesW(rcFile.c_str()) != INVALID_FILE_ATTRIBUTES) &&
           GetTickCount64() < deadline) {
        // Wine may not report a change that a Unix process made: look again after a while.
        if (change != INVALID_HANDLE_VALUE) {
            if (WaitForSingleObject(change, 100) == WAIT_OBJECT_0)
                FindNextChangeNotification(change);
        } else {
            Sleep(50);
        }
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    if (!done) return result;
    result.code = std::atoi(readFileBytes(rcFile).c_str());
    result.output = readFileBytes(outFile);
    DeleteFileW(rcFile.c_str());
    DeleteFileW(outFile.c_str());
    return result;
}

bool xdotool(const std::string& arguments) {
    return runUnix("xdotool " + arguments).code == 0;
}

// ---- pixels ----

int colourDistance(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                       static_cast<int>((b >> shift) & 0xFF)));
    return most;
}

std::string colourText(std::uint32_t c) {
    char text[32];
    wsprintfA(text, "#%06X a%u", c & 0xFFFFFFu, c >> 24);
    return text;
}

Pixels captureScreen(const RECT& rect) {
    Pixels pixels;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return pixels;
    HDC screen = GetDC(nullptr);
    if (!screen) return pixels;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && memory) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
            GdiFlush();
            pixels.width = width;
            pixels.height = height;
            const auto* source = static_cast<const std::uint32_t*>(bits);
            pixels.data.assign(source, source + static_cast<size_t>(width) * height);
            for (auto& p : pixels.data) p |= 0xFF000000u;
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels readPng(const std::wstring& path) {
    Pixels pixels;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))))
        return pixels;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> converted;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), &converted)))
        return pixels;
    UINT width = 0, height = 0;
    converted->GetSize(&width, &height);
    std::vector<std::uint32_t> data(static_cast<size_t>(width) * height);
    if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(data.size() * 4),
                                     reinterpret_cast<BYTE*>(data.data()))))
        return pixels;
    pixels.width = static_cast<int>(width);
    pixels.height = static_cast<int>(height);
    pixels.data = std::move(data);
    return pixels;
}

bool writePng(const std::wstring& path, const Pixels& pixels) {
    return !pixels.empty() && tk::writePng(path, pixels.data.data(), pixels.width, pixels.height);
}

// ---- accessibility ----

VARIANT childVariant(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

ComPtr<IAccessible> accessibleOf(HWND window) {
    ComPtr<IAccessible> object;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(object.GetAddressOf()))))
        return nullptr;
    return object;
}

namespace {

// Calls the getter and takes the text it gives, when it gives one.
template <class Getter>
std::wstring textOf(Getter getter) {
    BSTR text = nullptr;
    const HRESULT hr = getter(&text);
    std::wstring out;
    if (SUCCEEDED(hr) && text) out.assign(text, SysStringLen(text));
    if (text) SysFreeString(text);
    return out;
}

template <class Getter>
long numberOf(Getter getter) {
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = getter(&v);
    const long out = SUCCEEDED(hr) && v.vt == VT_I4 ? v.lVal : 0;
    VariantClear(&v);
    return out;
}

}  // namespace

AccessibleElement readElement(IAccessible* object, long id) {
    AccessibleElement e;
    e.id = id;
    if (!object) return e;
    const VARIANT child = childVariant(id);
    e.name = textOf([&](BSTR* t) { return object->get_accName(child, t); });
    e.value = textOf([&](BSTR* t) { return object->get_accValue(child, t); });
    e.description = textOf([&](BSTR* t) { return object->get_accDescription(child, t); });
    e.defaultAction = textOf([&](BSTR* t) { return object->get_accDefaultAction(child, t); });
    e.role = numberOf([&](VARIANT* v) { return object->get_accRole(child, v); });
    e.state = numberOf([&](VARIANT* v) { return object->get_accState(child, v); });
    long left = 0, top = 0, width = 0, height = 0;
    if (SUCCEEDED(object->accLocation(&left, &top, &width, &height, child)))
        e.location = RECT{left, top, left + width, top + height};
    return e;
}

std::vector<AccessibleElement> readChildren(IAccessible* object) {
    std::vector<AccessibleElement> out;
    long count = 0;
    if (!object || FAILED(object->get_accChildCount(&count)) || count <= 0) return out;
    std::vector<VARIANT> children(static_cast<size_t>(count));
    for (auto& v : children) VariantInit(&v);
    long obtained = 0;
    if (FAILED(AccessibleChildren(object, 0, count, children.data(), &obtained))) return out;
    for (long i = 0; i < obtained; ++i) {
        VARIANT& v = children[static_cast<size_t>(i)];
        if (v.vt == VT_I4) {
            out.push_back(readElement(object, v.lVal));
        } else if (v.vt == VT_DISPATCH && v.pdispVal) {
            ComPtr<IAccessible> child;
            if (SUCCEEDED(v.pdispVal->QueryInterface(IID_PPV_ARGS(&child))))
                out.push_back(readElement(child.Get(), CHILDID_SELF));
        }
        VariantClear(&v);
    }
    return out;
}

std::optional<AccessibleElement> findElement(const std::vector<AccessibleElement>& elements,
                                             std::wstring_view name) {
    for (const auto& e : elements)
        if (e.name == name) return e;
    return std::nullopt;
}

// ---- windows ----

std::vector<HWND> visibleThreadWindows(DWORD threadId) {
    std::vector<HWND> out;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM list) -> BOOL {
            if (IsWindowVisible(window))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring windowClass(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<size_t>(std::max(0, length)));
}

std::wstring windowTextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    text.resize(static_cast<size_t>(copied));
    return text;
}

}  // namespace testing_support
