#include "utility/log_file.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "utility/handle.h"

namespace common {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the file for reading and writing, creating it when missing. Other processes may read
// and write it at the same time.
utility::UniqueHandle openForAppend(const std::wstring& path) {
    return utility::UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Replaces the file's content with the given bytes.
void rewrite(const std::wstring& path, const char* bytes, std::size_t size) {
    utility::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || size == 0) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr);
}

bool startsWithUtf16Mark(HANDLE file) {
    unsigned char mark[2] = {};
    DWORD read = 0;
    return ReadFile(file, mark, sizeof(mark), &read, nullptr) && read == 2 && mark[0] == 0xFF &&
           mark[1] == 0xFE;
}

// Opens the log for appending; a file left in UTF-16 (it starts with FF FE) is emptied first,
// since UTF-8 lines behind it would be unreadable.
utility::UniqueHandle openLog(const std::wstring& path) {
    utility::UniqueHandle file = openForAppend(path);
    if (file && startsWithUtf16Mark(file.get())) {
        file.reset();
        rewrite(path, nullptr, 0);
        file = openForAppend(path);
    }
    return file;
}

// Appends at the end of the file as it is at that moment, so lines of another process that
// writes the same file are never overwritten.
void writeAll(HANDLE file, const std::string& text) {
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &atEnd);
}

std::uint64_t fileSize(HANDLE file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// Cuts the file to its last 2 MiB once it has reached 50 MiB. The kept tail starts wherever the
// cut falls, normally in the middle of a line.
void trimIfLarge(utility::UniqueHandle& file, const std::wstring& path) {
    const std::uint64_t size = fileSize(file.get());
    if (size < LogFile::kTrimSize) return;
    std::vector<char> tail(LogFile::kKeptTail);
    LARGE_INTEGER from{};
    from.QuadPart = static_cast<LONGLONG>(size - LogFile::kKeptTail);
    DWORD read = 0;
    if (!SetFilePointerEx(file.get(), from, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr)) {
        return;
    }
    file.reset();
    rewrite(path, tail.data(), read);
    file = openForAppend(path);
}

}  // namespace

LogFile::LogFile(std::wstring path) : writer_([this, path] { writerLoop(path); }) {}

LogFile::~LogFile() {
    stop();
}

void LogFile::append(std::string_view line) {
    if (stop_.load(std::memory_order_relaxed)) return;
    // Unlocked look at the size: a stale value only moves the moment of dropping a little.
    if (pendingSize_.load(std::memory_order_relaxed) > kPendingLimit) return;
    std::size_t size = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.append(line);
        size = pending_.size();
        pendingSize_.store(size, std::memory_order_relaxed);
    }
    if (size >= kPendingLimit) wake_.notify_one();
}

void LogFile::stop() {
    std::lock_guard<std::mutex> once(stopMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_one();
    if (writer_.joinable()) writer_.join();
}

void LogFile::writerLoop(std::wstring path) {
    std::unique_lock<std::mutex> lock(mutex_);
    utility::UniqueHandle file = openLog(path);
    for (;;) {
        wake_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] {
            return stop_.load() || pendingSize_.load(std::memory_order_relaxed) >= kPendingLimit;
        });
        if (!pending_.empty()) {
            // A file that cannot be opened swallows the batch: the log never fails its callers.
            if (file) writeAll(file.get(), pending_);
            pending_.clear();
            pendingSize_.store(0, std::memory_order_relaxed);
        }
        if (file) trimIfLarge(file, path);
        if (stop_.load()) break;
    }
}

}  // namespace common
