// postTask throughput through the dispatcher window: tasks posted from a worker thread and run
// on the UI thread's message loop.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "utility/log.h"
#include "utility/task_runner.h"

namespace {

constexpr int kTasks = 200000;
// Windows limits a thread's queue to 10,000 posted messages; the poster stays below that.
constexpr int kMaxInFlight = 5000;

}  // namespace

int wmain() {
    initUtilities();
    std::atomic<int> ran{0};
    int owner = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);

    std::atomic<int> failed{0};
    std::thread poster([&] {
        for (int i = 0; i < kTasks; ++i) {
            while (i - ran.load(std::memory_order_relaxed) >= kMaxInFlight) SwitchToThread();
            if (!postTask(&owner,
                          makeRunable([&ran] { ran.fetch_add(1, std::memory_order_relaxed); }))) {
                ++failed;
                ran.fetch_add(1);
            }
        }
    });
    MSG message;
    while (ran.load() < kTasks && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    QueryPerformanceCounter(&end);
    poster.join();

    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    std::printf("postTask from a worker, run on the UI thread: %d tasks in %.2f s\n", kTasks,
                seconds);
    std::printf("  tasks per second: %.0f (%d posts refused)\n", kTasks / seconds, failed.load());
    return 0;
}
