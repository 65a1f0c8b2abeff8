// Watches what the whole test program logs, from any thread: the log opens once per process in a
// temporary folder, and a test waits (bounded) until a line it expects has been stored.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/log.h"

namespace testing_support {

class LogWatch {
public:
    static constexpr DWORD kBoundMs = 60000;

    static LogWatch& instance() {
        static LogWatch watch;
        return watch;
    }

    // A position after every line stored so far, including the lines logged before the call.
    std::size_t mark() {
        const std::string marker = "mark " + std::to_string(++marks_);
        const std::wstring wideMarker(marker.begin(), marker.end());
        writeLog(kMarkerTag, 0, L"%s", wideMarker.c_str());
        std::size_t at = std::string::npos;
        waitUntil([&](const std::string& text) {
            at = text.find("):" + marker + "\r\n");
            return at != std::string::npos;
        });
        const std::string text = readFileBytes(path_);
        return at == std::string::npos ? text.size() : text.find("\r\n", at) + 2;
    }

    // Lines stored after the position.
    std::vector<LogLine> linesAfter(std::size_t position) {
        const std::string text = readFileBytes(path_);
        return position < text.size() ? parseLogLines(text.substr(position))
                                      : std::vector<LogLine>{};
    }

    // Waits until a line of the tag whose message starts with the text is stored after the
    // position; true when it was.
    bool waitFor(std::size_t position, const std::string& tag, const std::string& start) {
        return waitUntil([&](const std::string& text) {
            if (position >= text.size()) return false;
            for (const LogLine& line : parseLogLines(text.substr(position))) {
                if (line.function == tag && line.message.starts_with(start)) return true;
            }
            return false;
        });
    }

    // Number of lines of the tag with exactly the message after the position.
    std::size_t count(std::size_t position, const std::string& tag, const std::string& message) {
        std::size_t found = 0;
        for (const LogLine& line : linesAfter(position)) {
            if (line.function == tag && line.message == message) ++found;
        }
        return found;
    }

private:
    static constexpr const char* kMarkerTag = "LogWatch::mark";

    LogWatch() : path_(dir_.path() + L"downloader.log") {
        initUtilities();
        openLogFile(path_);
    }

    template <class Check>
    bool waitUntil(Check check) {
        HANDLE change = FindFirstChangeNotificationW(
            dir_.path().c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
        const ULONGLONG deadline = GetTickCount64() + kBoundMs;
        bool found = check(readFileBytes(path_));
        while (!found && GetTickCount64() < deadline) {
            // A change notification ends the wait early; the short cap covers a missed one.
            if (change != INVALID_HANDLE_VALUE) {
                WaitForSingleObject(change, 100);
                FindNextChangeNotification(change);
            } else {
                Sleep(50);
            }
            found = check(readFileBytes(path_));
        }
        if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
        return found;
    }

    TempDir dir_;
    std::wstring path_;
    int marks_ = 0;
};

}  // namespace testing_support
