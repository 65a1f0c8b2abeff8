// Reads back what a test program logs. The log opens once per process, in a temporary folder;
// each call of newLines returns the lines stored since the previous call.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "utility/log.h"

namespace testing_support {

// One stored line: the function tag and the message after "(line):".
struct LogLine {
    std::string function;
    std::string message;
    std::string time;  // "HH:MM:SS.mmm"
};

inline std::vector<LogLine> parseLogLines(const std::string& text) {
    std::vector<LogLine> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        // "MM-DD\tHH:MM:SS.mmm\tTTTT\tfunction\t(line):message"
        std::size_t tab = 0;
        for (int i = 0; i < 3 && tab != std::string::npos; ++i) tab = line.find('\t', tab + 1);
        if (tab == std::string::npos) continue;
        const std::size_t functionEnd = line.find("\t(", tab + 1);
        const std::size_t messageStart = line.find("):", functionEnd);
        if (functionEnd == std::string::npos || messageStart == std::string::npos) continue;
        const std::size_t timeStart = line.find('\t');
        const std::size_t timeEnd = line.find('\t', timeStart + 1);
        lines.push_back({line.substr(tab + 1, functionEnd - tab - 1), line.substr(messageStart + 2),
                         line.substr(timeStart + 1, timeEnd - timeStart - 1)});
    }
    return lines;
}

class LogCapture {
public:
    static LogCapture& instance() {
        static LogCapture capture;
        return capture;
    }

    // Every line this thread logged before the call (and nothing from earlier calls). Logs a
    // marker and waits until the writer has stored it, with a generous upper bound.
    std::vector<LogLine> newLines() {
        const std::string marker = "sync " + std::to_string(++markers_);
        writeLog(kMarkerFunction, 0, L"sync %d", markers_);
        std::string text = waitForMarker(marker);
        std::vector<LogLine> lines;
        for (LogLine& line : parseLogLines(text.substr(consumed_))) {
            if (line.function == kMarkerFunction) break;
            lines.push_back(std::move(line));
        }
        // Lines other threads wrote after the marker belong to the next call.
        const std::string markerLine = "):" + marker + "\r\n";
        const std::size_t at = text.find(markerLine, consumed_);
        consumed_ = at == std::string::npos ? text.size() : at + markerLine.size();
        return lines;
    }

    // Waits, within the bound, until a line of the function with exactly the message is stored
    // after what newLines returned so far; leaves it for the next newLines.
    bool waitForLine(const std::string& function, const std::string& message, DWORD boundMs) {
        const auto stored = [&](const std::string& text) {
            for (const LogLine& line : parseLogLines(text.substr(consumed_)))
                if (line.function == function && line.message == message) return true;
            return false;
        };
        return stored(waitFor(stored, boundMs));
    }

    ~LogCapture() { closeLogFile(); }

private:
    static constexpr const char* kMarkerFunction = "LogCapture::marker";
    static constexpr DWORD kUpperBoundMs = 20000;

    // A folder change notification, closed once.
    struct ChangeWatch {
        explicit ChangeWatch(HANDLE handle) : handle_(handle) {}
        ~ChangeWatch() {
            if (handle_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handle_);
        }
        ChangeWatch(const ChangeWatch&) = delete;
        ChangeWatch& operator=(const ChangeWatch&) = delete;
        HANDLE get() const { return handle_; }
        HANDLE handle_;
    };

    LogCapture() : path_(dir_.path() + L"downloader.log") {
        initUtilities();
        openLogFile(path_);
    }

    // Content of the log once it holds the marker; whatever it holds after the bound.
    std::string waitForMarker(const std::string& marker) {
        const std::string wanted = "):" + marker + "\r\n";
        return waitFor(
            [&](const std::string& text) {
                return text.find(wanted, consumed_) != std::string::npos;
            },
            kUpperBoundMs);
    }

    // Content of the log once the predicate holds for it; whatever it holds after the bound.
    template <typename Predicate>
    std::string waitFor(const Predicate& done, DWORD boundMs) {
        const ChangeWatch change(FindFirstChangeNotificationW(
            dir_.path().c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
        const ULONGLONG deadline = GetTickCount64() + boundMs;
        std::string text = readFileBytes(path_);
        while (!done(text) && GetTickCount64() < deadline) {
            // A change notification ends the wait early; the short cap covers a missed one.
            if (change.get() != INVALID_HANDLE_VALUE) {
                WaitForSingleObject(change.get(), 100);
                FindNextChangeNotification(change.get());
            } else {
                Sleep(50);
            }
            text = readFileBytes(path_);
        }
        return text;
    }

    TempDir dir_;
    std::wstring path_;
    std::size_t consumed_ = 0;
    int markers_ = 0;
};

// True if one of the lines has the function tag and exactly the message.
inline bool hasLogLine(const std::vector<LogLine>& lines, const std::string& function,
                       const std::string& message) {
    for (const LogLine& line : lines) {
        if (line.function == function && line.message == message) return true;
    }
    return false;
}

// Lines of the function tag.
inline std::vector<std::string> messagesOf(const std::vector<LogLine>& lines,
                                           const std::string& function) {
    std::vector<std::string> messages;
    for (const LogLine& line : lines) {
        if (line.function == function) messages.push_back(line.message);
    }
    return messages;
}

}  // namespace testing_support
