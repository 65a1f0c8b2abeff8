#include "utility/task_runner.h"

#include <algorithm>
#include <map>
#include <utility>

#include "utility/log.h"

namespace {

// The hidden message-only window of the UI thread that runs posted tasks and timer tasks.
class UiDispatcher {
public:
    UiDispatcher() { InitializeCriticalSection(&lock_); }

    bool create() {
        uiThread_ = GetCurrentThreadId();
        window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (!window_) return false;
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&windowProc));
        return true;
    }

    bool post(TaskOwner owner, Runable* task) {
        addCount(owner, 1);
        if (window_ && PostMessageW(window_, kTaskMessage, reinterpret_cast<WPARAM>(owner),
                                    reinterpret_cast<LPARAM>(task))) {
            return true;
        }
        // Never delivered: undo the count so the owner's later tasks are not affected.
        forget(owner);
        task->release();
        return false;
    }

    // Tasks already queued for the owner are dropped as they arrive; the queue is FIFO, so
    // they are exactly the next ones of this owner.
    void cancel(TaskOwner owner) {
        Lock lock(lock_);
        auto entry = owners_.find(owner);
        if (entry != owners_.end()) entry->second.toDrop = entry->second.pending;
    }

    unsigned startTimer(unsigned intervalMs, Runable* task) {
        const unsigned id = ++lastTimerId_;
        if (!window_ || !SetTimer(window_, id, intervalMs, nullptr)) return 0;
        timers_[id] = task;
        return id;
    }

    void stopTimer(unsigned id) {
        auto entry = timers_.find(id);
        if (entry == timers_.end()) return;
        Runable* task = entry->second;
        timers_.erase(entry);
        KillTimer(window_, id);
        // A task that stops its own timer is released once its run has returned.
        if (task == firing_) {
            releaseFired_ = true;
        } else {
            task->release();
        }
    }

private:
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& section) : section_(section) {
            EnterCriticalSection(&section_);
        }
        ~Lock() { LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

    void addCount(TaskOwner owner, int delta) {
        Lock lock(lock_);
        owners_[owner].pending += delta;
    }

    void forget(TaskOwner owner) {
        Lock lock(lock_);
        OwnerCount& count = owners_[owner];
        --count.pending;
        count.toDrop = std::min(count.toDrop, count.pending);
    }

    // Counts the arriving task off its owner; false when it was queued before a cancel.
    bool takeForRun(TaskOwner owner) {
        Lock lock(lock_);
        auto entry = owners_.find(owner);
        if (entry == owners_.end()) return false;
        OwnerCount& count = entry->second;
        --count.pending;
        if (count.toDrop > 0) {
            --count.toDrop;
            return false;
        }
        return true;
    }

    void runTask(TaskOwner owner, Runable* task) {
        if (takeForRun(owner)) task->run();
        task->release();
    }

    void fireTimer(unsigned id) {
        auto entry = timers_.find(id);
        if (entry == timers_.end()) return;
        Runable* task = entry->second;
        Runable* outer = std::exchange(firing_, task);
        const bool outerRelease = std::exchange(releaseFired_, false);
        task->run();
        if (releaseFired_) task->release();
        firing_ = outer;
        releaseFired_ = outerRelease;
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CRITICAL_SECTION lock_;
    HWND window_ = nullptr;
    Runable* firing_ = nullptr;  // the timer task running now, if any
    bool releaseFired_ = false;  // it stopped its own timer
    DWORD uiThread_ = 0;
    // Per owner: tasks posted and not yet arrived, and how many of those a cancel dropped.
    struct OwnerCount {
        int pending = 0;
        int toDrop = 0;
    };
    std::map<TaskOwner, OwnerCount> owners_;
    std::map<unsigned, Runable*> timers_;
    unsigned lastTimerId_ = 0;
};

UiDispatcher* g_dispatcher = nullptr;

LRESULT CALLBACK UiDispatcher::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kTaskMessage:
            g_dispatcher->runTask(reinterpret_cast<TaskOwner>(wParam),
                                  reinterpret_cast<Runable*>(lParam));
            return 0;
        case WM_TIMER:
            g_dispatcher->fireTimer(static_cast<unsigned>(wParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The key of postAppTask: an address no owner can have.
const char kAppOwner = 0;

DWORD WINAPI workerMain(void* task) {
    static_cast<Runable*>(task)->run();
    return 0;
}

}  // namespace

void createUiDispatcher() {
    if (g_dispatcher) return;
    // Lives until the process ends, like the UI thread it serves.
    g_dispatcher = new UiDispatcher();
    g_dispatcher->create();
}

bool postTask(TaskOwner owner, Runable* task) {
    if (!task) return false;
    if (!g_dispatcher) {
        task->release();
        return false;
    }
    return g_dispatcher->post(owner, task);
}

void cancelTasks(TaskOwner owner) {
    if (g_dispatcher) g_dispatcher->cancel(owner);
}

bool postAppTask(Runable* task) {
    return postTask(&kAppOwner, task);
}

bool postAppTask(std::function<void()> task) {
    return postAppTask(new FunctionRunable<std::function<void()>>(std::move(task)));
}

bool UiTimer::start(unsigned intervalMs, Runable* task) {
    if (intervalMs == 0 || !task || !g_dispatcher) return false;
    id_ = g_dispatcher->startTimer(intervalMs, task);
    return id_ != 0;
}

void UiTimer::stop() {
    if (id_ == 0) return;
    if (g_dispatcher) g_dispatcher->stopTimer(id_);
    id_ = 0;
}

WorkerThread::~WorkerThread() {
    if (thread_) requestStop();
    stop(1000);
}

bool WorkerThread::start(Runable* task) {
    if (thread_) return false;
    if (task_) std::exchange(task_, nullptr)->release();  // left by a thread that never started
    stopRequested_ = false;
    // Manual reset: every wait of the work after requestStop sees it, not only the first.
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    task_ = task;
    thread_.reset(CreateThread(nullptr, 0, &workerMain, task_, 0, nullptr));
    return true;
}

void WorkerThread::requestStop() {
    stopRequested_ = true;
    if (stopEvent_) SetEvent(stopEvent_.get());
}

void WorkerThread::stop(DWORD timeoutMs) {
    if (thread_) {
        if (WaitForSingleObject(thread_.get(), timeoutMs) != WAIT_OBJECT_0) {
            // The work did not end in time; whatever it holds is abandoned.
            LOG_AT("WorkerThread::stop", L"thread did not end in %u ms, ended by force",
                   static_cast<unsigned>(timeoutMs));
            TerminateThread(thread_.get(), static_cast<DWORD>(-1));
            WaitForSingleObject(thread_.get(), INFINITE);
        }
        thread_.reset();
    }
    if (task_) std::exchange(task_, nullptr)->release();
    stopEvent_.reset();
    stopRequested_ = false;
}
