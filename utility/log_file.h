// The process-wide log file: finished lines wait in a bounded pending buffer, and one writer
// thread stores them in batches and keeps the file below its size limit.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace common {

class LogFile {
public:
    static constexpr std::size_t kPendingLimit = 10240;
    static constexpr std::uint64_t kTrimSize = 52428800;  // 50 MiB
    static constexpr std::uint64_t kKeptTail = 2097152;   // 2 MiB
    static constexpr unsigned kWaitMs = 500;

    // Starts the writer thread on the file at the path.
    explicit LogFile(std::wstring path);
    // Stops the writer (storing what is pending) if stop was not called.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Queues one finished line. Never waits for file output; a line arriving while more than
    // the pending limit is queued is dropped.
    void append(std::string_view line);

    // Wakes the writer, lets it store what is pending and waits for it to end. Later lines are
    // dropped. Safe to call more than once.
    void stop();

    // Bytes queued and not yet stored (diagnostics: the writer is behind when this is large).
    std::size_t pendingBytes() const { return pendingSize_.load(std::memory_order_relaxed); }

private:
    void writerLoop(std::wstring path);

    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> pendingSize_{0};
    std::string pending_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::mutex stopMutex_;
    std::thread writer_;
};

}  // namespace common
