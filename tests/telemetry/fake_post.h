// An in-process stand-in for the telemetry posts: records every call, answers with a chosen
// result, and can hold a call until the test lets it go. Tests wait on its calls, bounded.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

struct PostCall {
    std::string body;
    std::string url;
    std::vector<std::string> headers;
    DWORD threadId = 0;
    DWORD tickAtCall = 0;
    LONGLONG counterAtCall = 0;  // performance counter
};

class FakePost {
public:
    using Function = std::function<bool(const std::string&, std::string&, const std::string&,
                                        const std::vector<std::string>&)>;
    static constexpr DWORD kBoundMs = 60000;

    ~FakePost() { release(); }

    // The post function; it must not outlive this object.
    Function function() {
        return [this](const std::string& body, std::string& response, const std::string& url,
                      const std::vector<std::string>& headers) {
            return call(body, response, url, headers);
        };
    }

    // The next calls answer false, in order, before the default answer true resumes.
    void failNext(std::size_t count) {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (std::size_t i = 0; i < count; ++i) results_.push_back(false);
    }
    // The next call waits in the post until release.
    void holdNext() {
        const std::lock_guard<std::mutex> guard(mutex_);
        holdNext_ = true;
        released_ = false;
    }
    void release() {
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }
    // True once a held call has entered the post.
    bool waitHeld(DWORD boundMs = kBoundMs) {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, std::chrono::milliseconds(boundMs),
                                 [this] { return holding_; });
    }
    // True once at least count calls have returned.
    bool waitForCalls(std::size_t count, DWORD boundMs = kBoundMs) {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, std::chrono::milliseconds(boundMs),
                                 [this, count] { return finished_ >= count; });
    }
    std::vector<PostCall> calls() {
        const std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }
    std::size_t callCount() {
        const std::lock_guard<std::mutex> guard(mutex_);
        return calls_.size();
    }

private:
    bool call(const std::string& body, std::string& response, const std::string& url,
              const std::vector<std::string>& headers) {
        std::unique_lock<std::mutex> guard(mutex_);
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        calls_.push_back(
            {body, url, headers, GetCurrentThreadId(), GetTickCount(), counter.QuadPart});
        bool result = true;
        if (!results_.empty()) {
            result = results_.front();
            results_.pop_front();
        }
        if (holdNext_) {
            holdNext_ = false;
            holding_ = true;
            changed_.notify_all();
            changed_.wait(guard, [this] { return released_; });
            holding_ = false;
        }
        if (result) response = "accepted " + std::to_string(calls_.size());
        ++finished_;
        changed_.notify_all();
        return result;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PostCall> calls_;
    std::deque<bool> results_;
    std::size_t finished_ = 0;
    bool holdNext_ = false;
    bool holding_ = false;
    bool released_ = true;
};

}  // namespace testing_support
