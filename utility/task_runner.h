// Work units, the UI-thread dispatcher, periodic UI timers and worker threads.
//
// Worker threads never touch windows: they hand results to the UI thread as Runable tasks posted
// under an owner key. An owner that goes away cancels its pending tasks, so a task never runs
// against a destroyed window or model.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "utility/handle.h"

// A heap-allocated unit of work. Whoever ends its life calls release.
class Runable {
public:
    virtual void release() { delete this; }
    virtual ~Runable() = default;
    virtual void run() = 0;
};

template <class F>
class FunctionRunable : public Runable {
public:
    explicit FunctionRunable(F function) : function_(std::move(function)) {}
    void run() override { function_(); }

private:
    F function_;
};

template <class T>
class MemberFuncRunable : public Runable {
public:
    MemberFuncRunable(T* object, void (T::*function)()) : object_(object), function_(function) {}
    void run() override { (object_->*function_)(); }

private:
    T* object_;
    void (T::*function_)();
};

template <class T, class A>
class MemberFuncRunable1 : public Runable {
public:
    MemberFuncRunable1(T* object, void (T::*function)(A), A value)
        : object_(object), function_(function), value_(std::move(value)) {}
    void run() override { (object_->*function_)(value_); }

private:
    T* object_;
    void (T::*function_)(A);
    A value_;
};

// new FunctionRunable for a callable, with the type spelled by the compiler.
template <class F>
Runable* makeRunable(F function) {
    return new FunctionRunable<F>(std::move(function));
}

// Message that carries a posted task to the dispatcher window: word = owner, long = task.
constexpr UINT kTaskMessage = 8888;

using TaskOwner = const void*;

// Creates the dispatcher's message-only window on the calling thread, which becomes the UI
// thread. A second call keeps the first dispatcher.
void createUiDispatcher();

// Hands the task to the UI thread under the owner key; the dispatcher owns it from now on.
// Returns whether the message was posted; a task that could not be posted is released at once.
bool postTask(TaskOwner owner, Runable* task);

// Drops every task of the owner that is still pending; later posts of the key run again.
void cancelTasks(TaskOwner owner);

// postTask under the process-wide key that nobody cancels.
bool postAppTask(Runable* task);
bool postAppTask(std::function<void()> task);

// A periodic task on the dispatcher window. UI thread only.
class UiTimer {
public:
    UiTimer() = default;
    ~UiTimer() { stop(); }
    UiTimer(const UiTimer&) = delete;
    UiTimer& operator=(const UiTimer&) = delete;

    // Runs the task every interval until stop; takes ownership of the task on success.
    // False for interval 0, a missing task or a timer the platform refused. Does not stop a
    // running timer of this holder: callers stop first.
    bool start(unsigned intervalMs, Runable* task);
    // Stops the timer and releases its task; nothing happens without a running timer.
    void stop();

    unsigned id() const { return id_; }
    bool running() const { return id_ != 0; }

private:
    unsigned id_ = 0;
};

// Runs one Runable on a thread of its own and can be stopped with a time-out.
class WorkerThread {
public:
    WorkerThread() = default;
    // A thread still running is asked to stop and given one second.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the task on a new thread and takes ownership of it. False, with ownership left to
    // the caller, while a thread exists.
    bool start(Runable* task);
    // Sets the stop flag and signals the stop event; does not wait.
    void requestStop();
    bool isStopRequested() const { return stopRequested_; }
    // Event signalled by requestStop, and signalled from then on, for work that waits on it.
    HANDLE stopEvent() const { return stopEvent_.get(); }
    // Waits for the thread up to the time-out, terminates it after that, then releases the task.
    // Does not request the stop itself. The object can be started again afterwards.
    void stop(DWORD timeoutMs);
    bool hasThread() const { return thread_.valid(); }

private:
    Runable* task_ = nullptr;
    utility::UniqueHandle thread_;
    utility::UniqueHandle stopEvent_;
    std::atomic<bool> stopRequested_{false};
};
