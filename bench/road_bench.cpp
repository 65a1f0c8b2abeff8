// The whole downloader run inside the isolated world with a 200 MiB offline installer: the time
// of each stage (lookups, package download, installer stage, emulator start) from the run's own
// log (the last stage includes the entry's 1 s pause at the end), and the peak memory of the
// downloader process. Three runs; the figures of each are
// printed. scripts/bench.sh starts this benchmark through scripts/world.sh.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/road_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr int kRuns = 3;

// A stage runs from its first log line to the line that ends it.
struct Stage {
    const char* name;
    const char* startTag;
    const char* startMessage;
    const char* endTag;
    const char* endMessage;
};

constexpr Stage kStages[] = {
    {"version lookup", "DownloaderModel::_threadGetPlayerUrl", "start get player url",
     "DownloaderModel::_threadGetPlayerUrl::parse", "version:"},
    {"package download", "DownloaderModel::_threadDownloadPlayer", "download player",
     "DownloaderModel::_threadDownloadPlayer", "download finished"},
    {"installer stage", "DownloaderModel::_threadInsPlayer", "install player param",
     "CMainFrame::onInstallFinished", "install finished"},
    {"start + teardown", "CMainFrame::onInstallFinished", "install finished", "wWinMain",
     "peak working set"},
};

}  // namespace

int wmain() {
    if (!testing_support::world::inWorld()) {
        std::printf("road_bench runs inside the world: scripts/bench.sh road_bench\n");
        return 1;
    }
    testing_support::world::writeScenario(R"({"content": {"installerSize": 209715200}})");
    for (int i = 0; i < kRuns; ++i) {
        road::resetMachine();
        testing_support::world::writeScenario(R"({"content": {"installerSize": 209715200}})");
        const testing_support::TempDir folder;
        const ULONGLONG start = GetTickCount64();
        const auto run = road::runDriver(L"tamrix9_en_100_x", L"", {}, folder);
        const double total = static_cast<double>(GetTickCount64() - start) / 1000.0;
        std::printf("run %d: exit code %ld, %.1f s from start to end of process\n", i + 1,
                    run.exitCode, total);
        for (const auto& stage : kStages) {
            const auto from = run.logTime(stage.startTag, stage.startMessage);
            const auto to = run.logTime(stage.endTag, stage.endMessage);
            if (from < 0 || to < 0) {
                std::printf("  %-17s (not in the log)\n", stage.name);
                continue;
            }
            std::printf("  %-17s %8.3f s\n", stage.name, static_cast<double>(to - from) / 1000.0);
        }
        for (const auto& message : run.messages("wWinMain")) {
            if (message.rfind("peak working set", 0) == 0) {
                std::printf("  %s of the downloader process\n", message.c_str());
            }
        }
    }
    return 0;
}
