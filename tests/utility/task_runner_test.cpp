// Posted tasks, owner cancellation, UI timers and worker threads on a real message loop.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "utility/log.h"
#include "utility/task_runner.h"

namespace {

// Pumps the UI thread's messages until the predicate holds or the bound passes.
template <class Predicate>
bool pumpUntil(Predicate done, DWORD boundMs = 30000) {
    const ULONGLONG until = GetTickCount64() + boundMs;
    while (!done()) {
        if (GetTickCount64() > until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

// Runs every task that was posted before this call.
bool drainPostedTasks() {
    auto done = std::make_shared<bool>(false);
    postAppTask([done] { *done = true; });
    return pumpUntil([done] { return *done; });
}

// Records whether it ran and whether it was freed.
struct Probe {
    int runs = 0;
    int releases = 0;
};

class ProbeTask : public Runable {
public:
    explicit ProbeTask(Probe& probe) : probe_(probe) {}
    ~ProbeTask() override { ++probe_.releases; }
    void run() override { ++probe_.runs; }

private:
    Probe& probe_;
};

class Dispatcher : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initUtilities(); }
};

}  // namespace

TEST_F(Dispatcher, RunsPostedTasksOnTheUiThreadInPostingOrder) {
    std::vector<int> order;
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) {
            EXPECT_TRUE(postTask(&order, makeRunable([&order, i] { order.push_back(i); })));
        }
        postTask(&order, makeRunable([&ranOn] { ranOn = GetCurrentThreadId(); }));
    });
    worker.join();
    ASSERT_TRUE(drainPostedTasks());
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(ranOn.load(), uiThread);
}

TEST_F(Dispatcher, CancelledOwnerDropsEveryPendingTaskButRunsLaterPosts) {
    int owner = 0;
    Probe pending, later;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(postTask(&owner, new ProbeTask(pending)));
    cancelTasks(&owner);
    ASSERT_TRUE(postTask(&owner, new ProbeTask(later)));
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(pending.runs, 0);
    EXPECT_EQ(pending.releases, 3);
    EXPECT_EQ(later.runs, 1);
    EXPECT_EQ(later.releases, 1);

    // The key stays cancelled for tasks posted before the next cancel only.
    Probe again;
    cancelTasks(&owner);
    ASSERT_TRUE(postTask(&owner, new ProbeTask(again)));
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(again.runs, 1);
}

TEST_F(Dispatcher, CancellingAKeyThatNeverPostedHasNoEffect) {
    int owner = 0;
    cancelTasks(&owner);
    Probe probe;
    ASSERT_TRUE(postTask(&owner, new ProbeTask(probe)));
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(probe.runs, 1);
    EXPECT_EQ(probe.releases, 1);
}

TEST_F(Dispatcher, MemberFunctionTasksCallTheirObject) {
    struct Model {
        int plain = 0;
        bool flag = false;
        void tick() { ++plain; }
        void setFlag(bool value) { flag = value; }
    } model;
    ASSERT_TRUE(postTask(&model, new MemberFuncRunable<Model>(&model, &Model::tick)));
    ASSERT_TRUE(
        postTask(&model, new MemberFuncRunable1<Model, bool>(&model, &Model::setFlag, true)));
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(model.plain, 1);
    EXPECT_TRUE(model.flag);
}

TEST_F(Dispatcher, TimersGetIdsFromOneAndRunUntilStopped) {
    // Timer ids count from 1 for the process, also past a stopped timer; this is the first
    // test in this program that starts one.
    Probe first;
    UiTimer a;
    ASSERT_TRUE(a.start(10, new ProbeTask(first)));
    EXPECT_EQ(a.id(), 1u);
    a.stop();
    EXPECT_EQ(first.releases, 1);
    EXPECT_FALSE(a.running());

    Probe periodic;
    UiTimer b;
    ASSERT_TRUE(b.start(10, new ProbeTask(periodic)));
    EXPECT_EQ(b.id(), 2u);
    ASSERT_TRUE(pumpUntil([&] { return periodic.runs >= 3; }));
    EXPECT_EQ(periodic.releases, 0);  // the task stays for the next firing
    b.stop();
    EXPECT_EQ(periodic.releases, 1);
    const int runs = periodic.runs;
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(periodic.runs, runs);

    b.stop();  // not running: no effect
    EXPECT_EQ(periodic.releases, 1);
}

// A task that stops its own timer while it runs, then still uses its own state.
class SelfStoppingTask : public Runable {
public:
    SelfStoppingTask(UiTimer& timer, Probe& probe) : timer_(timer), probe_(probe) {}
    ~SelfStoppingTask() override { ++probe_.releases; }
    void run() override {
        timer_.stop();
        releasedDuringRun_ = probe_.releases;
        ++probe_.runs;
        seenAfterStop = releasedDuringRun_;
    }
    static inline int seenAfterStop = -1;

private:
    UiTimer& timer_;
    Probe& probe_;
    int releasedDuringRun_ = -1;
};

TEST_F(Dispatcher, ATimerTaskThatStopsItsOwnTimerLivesUntilItsRunEnds) {
    Probe probe;
    UiTimer timer;
    ASSERT_TRUE(timer.start(10, new SelfStoppingTask(timer, probe)));
    ASSERT_TRUE(pumpUntil([&] { return probe.releases == 1; }));
    EXPECT_EQ(SelfStoppingTask::seenAfterStop, 0) << "not released while it still ran";
    EXPECT_EQ(probe.runs, 1);
    EXPECT_FALSE(timer.running());
    ASSERT_TRUE(drainPostedTasks());
    EXPECT_EQ(probe.runs, 1);
}

TEST_F(Dispatcher, TimerRefusesAZeroIntervalOrAMissingTask) {
    UiTimer timer;
    Probe probe;
    auto* task = new ProbeTask(probe);
    EXPECT_FALSE(timer.start(0, task));
    EXPECT_FALSE(timer.start(10, nullptr));
    EXPECT_FALSE(timer.running());
    EXPECT_EQ(probe.releases, 0);  // still the caller's
    task->release();
}

TEST(WorkerThread, StopReleasesTheTaskAndAllowsANewStart) {
    WorkerThread thread;
    Probe probe;
    HANDLE ran = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(thread.start(makeRunable([&probe, ran] {
        ++probe.runs;
        SetEvent(ran);
    })));
    ASSERT_EQ(WaitForSingleObject(ran, 30000), WAIT_OBJECT_0);
    thread.stop(1000);
    EXPECT_FALSE(thread.hasThread());

    Probe second;
    ASSERT_TRUE(thread.start(new ProbeTask(second)));
    thread.stop(30000);
    EXPECT_EQ(second.runs, 1);
    EXPECT_EQ(second.releases, 1);
    CloseHandle(ran);
}

TEST(WorkerThread, SecondStartWhileRunningIsRefused) {
    WorkerThread thread;
    ASSERT_TRUE(
        thread.start(makeRunable([&thread] { WaitForSingleObject(thread.stopEvent(), 30000); })));
    Probe probe;
    auto* task = new ProbeTask(probe);
    EXPECT_FALSE(thread.start(task));
    EXPECT_EQ(probe.releases, 0);  // ownership stayed with the caller
    task->release();
    thread.requestStop();
    EXPECT_TRUE(thread.isStopRequested());
    thread.stop(30000);
    EXPECT_FALSE(thread.isStopRequested());
}

// Work that waits on the stop event at several places sees the stop at each of them.
TEST(WorkerThread, TheStopEventStaysSignalled) {
    WorkerThread thread;
    DWORD waits[3] = {};
    ASSERT_TRUE(thread.start(makeRunable([&thread, &waits] {
        waits[0] = WaitForSingleObject(thread.stopEvent(), 30000);
        waits[1] = WaitForSingleObject(thread.stopEvent(), 5000);
        waits[2] = WaitForSingleObject(thread.stopEvent(), 5000);
    })));
    thread.requestStop();
    thread.stop(30000);
    for (const DWORD wait : waits) EXPECT_EQ(wait, WAIT_OBJECT_0);
}

TEST(WorkerThread, AThreadThatHangsIsTerminatedAfterTheTimeOut) {
    WorkerThread thread;
    Probe probe;
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    class Hang : public ProbeTask {
    public:
        Hang(Probe& probe, HANDLE started, HANDLE never)
            : ProbeTask(probe), started_(started), never_(never) {}
        void run() override {
            SetEvent(started_);
            WaitForSingleObject(never_, INFINITE);
        }

    private:
        HANDLE started_;
        HANDLE never_;
    };
    ASSERT_TRUE(thread.start(new Hang(probe, started, never)));
    ASSERT_EQ(WaitForSingleObject(started, 30000), WAIT_OBJECT_0);
    thread.requestStop();  // the work ignores it
    thread.stop(1000);
    EXPECT_FALSE(thread.hasThread());
    EXPECT_EQ(probe.releases, 1);
    CloseHandle(started);
    CloseHandle(never);
}
