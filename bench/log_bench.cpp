// writeLog from four threads: the caller's cost per call and how many lines reach the file.
// Callers never wait for file output; lines beyond what the writer keeps up with are dropped.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "utility/log.h"

namespace {

constexpr int kThreads = 4;
constexpr int kCallsPerThread = 50000;

double ticksToMicroseconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e6 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"tamrix-log-bench.log";
    DeleteFileW(path.c_str());
    initUtilities();
    openLogFile(path);

    std::vector<std::vector<LONGLONG>> costs(kThreads);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &costs] {
            costs[t].reserve(kCallsPerThread);
            for (int i = 0; i < kCallsPerThread; ++i) {
                LARGE_INTEGER before, after;
                QueryPerformanceCounter(&before);
                writeLog("bench::writer", __LINE__, L"thread %d line %d of the benchmark %s", t, i,
                         L"with a wide argument");
                QueryPerformanceCounter(&after);
                costs[t].push_back(after.QuadPart - before.QuadPart);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    QueryPerformanceCounter(&end);
    closeLogFile();

    std::vector<LONGLONG> all;
    for (auto& perThread : costs) all.insert(all.end(), perThread.begin(), perThread.end());
    std::sort(all.begin(), all.end());
    const double seconds = ticksToMicroseconds(end.QuadPart - start.QuadPart) / 1e6;

    std::ifstream in(path.c_str(), std::ios::binary);
    long long written = 0;
    for (std::string line; std::getline(in, line);) ++written;
    const long long calls = static_cast<long long>(kThreads) * kCallsPerThread;

    std::printf("writeLog, %d threads x %d calls in %.2f s\n", kThreads, kCallsPerThread, seconds);
    std::printf("  calls per second:          %.0f\n", calls / seconds);
    std::printf(
        "  lines stored per second:   %.0f (%lld of %lld stored, the rest dropped while "
        "the writer was behind)\n",
        written / seconds, written, calls);
    std::printf("  caller time per call: p50 %.2f us, p99 %.2f us, max %.2f us\n",
                ticksToMicroseconds(all[all.size() / 2]),
                ticksToMicroseconds(all[all.size() * 99 / 100]), ticksToMicroseconds(all.back()));
    DeleteFileW(path.c_str());
    return 0;
}
