#include "utility/log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string_view>

#include "utility/log_file.h"
#include "utility/task_runner.h"

namespace {

using LogSink = void (*)(const char* function, int line, const wchar_t* message);

std::atomic<LogSink> g_sink{nullptr};
std::atomic<common::LogFile*> g_logFile{nullptr};
std::once_flag g_logFileOnce;

constexpr std::size_t kMessageChars = 8192;

// Builds one line in a LogStream and hands it to the log file when the stream goes away.
void fileSink(const char* function, int line, const wchar_t* message) {
    common::LogStream stream(function, line);
    char utf8[common::LogStream::kCapacity] = {};
    const int length = static_cast<int>(std::wcslen(message));
    const int needed =
        length ? WideCharToMultiByte(CP_UTF8, 0, message, length, nullptr, 0, nullptr, nullptr) : 0;
    if (needed >= static_cast<int>(sizeof(utf8))) {
        // Can never fit into one line: the whole line is dropped.
        stream.setstate(std::ios::failbit);
        return;
    }
    if (needed > 0) {
        WideCharToMultiByte(CP_UTF8, 0, message, length, utf8, sizeof(utf8), nullptr, nullptr);
    }
    stream << utf8;
}

}  // namespace

void writeLog(const char* function, int line, const wchar_t* format, ...) {
    const LogSink sink = g_sink.load(std::memory_order_acquire);
    if (!sink) return;
    wchar_t buffer[kMessageChars] = {};
    va_list args;
    va_start(args, format);
    // The Microsoft formatter: "%s" is a wide string in wide formats. The last character stays
    // zero, so an over-long message is cut to what fits.
    _vsnwprintf(buffer, kMessageChars - 1, format, args);
    va_end(args);
    sink(function, line, buffer);
}

void initUtilities() {
    g_sink.store(&fileSink, std::memory_order_release);
    createUiDispatcher();
}

void openLogFile(const std::wstring& path) {
    if (path.empty()) return;
    std::call_once(g_logFileOnce, [&] {
        // Lives until the process ends: lines may be logged from any thread until then.
        g_logFile.store(new common::LogFile(path), std::memory_order_release);
    });
}

void closeLogFile() {
    if (common::LogFile* file = g_logFile.load(std::memory_order_acquire)) file->stop();
}

namespace common {

LogStream::LogStream(const char* function, int line)
    : std::ostream(nullptr), buffer_(storage_.data(), storage_.size()) {
    rdbuf(&buffer_);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const int written =
        std::snprintf(storage_.data(), storage_.size(),
                      "%02d-%02d\t%02d:%02d:%02d.%03d\t%04d\t%s\t(%d):", now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                      static_cast<int>(GetCurrentThreadId()), function ? function : "", line);
    if (written < 0 || static_cast<std::size_t>(written) >= storage_.size()) {
        setstate(std::ios::failbit);
        return;
    }
    buffer_.skip(static_cast<std::size_t>(written));
}

LogStream::~LogStream() {
    LogFile* file = g_logFile.load(std::memory_order_acquire);
    if (!file) return;
    *this << "\r\n";
    if (fail()) return;  // did not fit: the whole line is dropped, never cut
    file->append(std::string_view(storage_.data(), buffer_.written()));
}

}  // namespace common
