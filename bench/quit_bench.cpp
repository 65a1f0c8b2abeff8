// A person quits the installer during a slow download, inside the isolated world: the close
// button, then "download_close" in the slow-download box. Measured from the moment the click on
// that button has been delivered to the end of the installer's process (the run's teardown and
// its 1 s pause included), and the log's lines of threads that had to be ended by force.
// scripts/bench.sh starts this benchmark through scripts/world.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr int kRuns = 5;

struct Quit {
    double ms = -1;  // click delivered to process end
    int forced = 0;  // threads ended by force
    bool downloadStopped = false;
};

double nowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

Quit quitDuringDownload(const std::wstring& folder) {
    Quit quit;
    installer::Installer run(folder, L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    const auto install = main ? installer::waitInstallButton(run, main) : std::nullopt;
    if (!install || !run.click(*install)) return quit;
    if (!testing_support::waitUntil([&] { return installer::shownPercent(run, main) >= 2; }, 60000))
        return quit;
    const auto close = run.waitElement(main, installer::englishText("download_close"));
    if (!close || !run.click(*close)) return quit;
    HWND box = run.waitForWindow(installer::kMessageBox);
    const auto leave =
        box ? installer::waitButton(run, box, installer::englishText("download_close"))
            : std::nullopt;
    if (!leave || !run.click(*leave)) return quit;
    const double clicked = nowMs();
    if (WaitForSingleObject(run.process(), 10000) != WAIT_OBJECT_0) return quit;
    quit.ms = nowMs() - clicked;
    for (const auto& line : run.log()) {
        if (line.function == "WorkerThread::stop") ++quit.forced;
        if (line.function == "DownloaderModel::_threadDownloadPlayer" &&
            line.message == "download stopped")
            quit.downloadStopped = true;
    }
    return quit;
}

}  // namespace

int wmain() {
    if (!testing_support::world::inWorld()) {
        std::printf("runs inside the world (scripts/bench.sh)\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing_support::TempDir folder;
    installer::setWindowsVersion(L"TamrixInstaller.exe", L"win10");
    testing_support::world::writeScenario(
        R"({"rules": [)" +
        road::rule(road::cdnHost(), "/download/package/*", R"("rateLimit": 262144)") + "]}");
    std::vector<double> times;
    int forced = 0;
    for (int i = 0; i < kRuns; ++i) {
        const Quit q = quitDuringDownload(folder.path());
        std::printf(
            "run %d: quit to process end %.0f ms, threads ended by force %d, download "
            "stopped on its own %s\n",
            i + 1, q.ms, q.forced, q.downloadStopped ? "yes" : "no");
        if (q.ms >= 0) times.push_back(q.ms);
        forced += q.forced;
    }
    testing_support::world::resetScenario();
    if (times.empty()) return 1;
    std::sort(times.begin(), times.end());
    std::printf(
        "quit during a download, %zu runs: median %.0f ms, slowest %.0f ms; threads ended "
        "by force in all runs: %d\n",
        times.size(), times[times.size() / 2], times.back(), forced);
    return 0;
}
