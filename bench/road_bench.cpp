// The whole downloader run inside the isolated world with a 200 MiB offline installer: the time
// of each stage (lookups, package download, installer stage, emulator start) from the run's own
// log (the last stage includes the entry's 1 s pause at the end), and the peak memory of the
// downloader process. Runs alternate between a version document with the installer's digest
// (checked) and one without (not checked); the figures of each run are printed, then the median
// package download of each kind and what the check waited for after the transfer; "installer
// start" runs from the download's end to the installer's process creation, and the held file's
// check (digest again, signature) says how long it took.
// scripts/bench.sh starts this benchmark through scripts/world.sh.
#include <windows.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/road_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr int kRunsEach = 5;
constexpr char kSize[] = R"("installerSize": 209715200)";

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
    {"installer start", "DownloaderModel::_threadDownloadPlayer", "download finished",
     "utility::process::create", "createProcess filename"},
    {"installer stage", "DownloaderModel::_threadInsPlayer", "install player param",
     "CMainFrame::onInstallFinished", "install finished"},
    {"start + teardown", "CMainFrame::onInstallFinished", "install finished", "wWinMain",
     "peak working set"},
};

// The served version document without the edition's digest.
std::string documentWithoutDigest() {
    rapidjson::Document document;
    document.Parse(road::defaultVersionDocument().c_str());
    if (!document.IsObject() || !document.HasMember("mnq9")) return "{}";
    document["mnq9"].RemoveMember("md5");
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return buffer.GetString();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Seconds of the package download, -1 when the log does not show it.
double printRun(const road::Run& run) {
    double download = -1;
    for (const auto& stage : kStages) {
        const auto from = run.logTime(stage.startTag, stage.startMessage);
        const auto to = run.logTime(stage.endTag, stage.endMessage);
        if (from < 0 || to < 0) {
            std::printf("  %-17s (not in the log)\n", stage.name);
            continue;
        }
        const double seconds = static_cast<double>(to - from) / 1000.0;
        if (std::string(stage.name) == "package download") download = seconds;
        std::printf("  %-17s %8.3f s\n", stage.name, seconds);
    }
    for (const auto& message : run.messages("DownloaderModel::_downloadByIE")) {
        if (message.rfind("md5 ", 0) == 0 || message.rfind("installer held", 0) == 0) {
            std::printf("  %s\n", message.c_str());
        }
    }
    for (const auto& message : run.messages("wWinMain")) {
        if (message.rfind("peak working set", 0) == 0) {
            std::printf("  %s of the downloader process\n", message.c_str());
        }
    }
    return download;
}

}  // namespace

int wmain() {
    if (!testing_support::world::inWorld()) {
        std::printf("road_bench runs inside the world: scripts/bench.sh road_bench\n");
        return 1;
    }
    testing_support::world::writeScenario(std::string("{\"content\": {") + kSize + "}}");
    const std::string unchecked =
        std::string("{\"content\": {") + kSize + ", \"version\": " + documentWithoutDigest() + "}}";
    std::vector<double> checked, plain;
    for (int i = 0; i < 2 * kRunsEach; ++i) {
        const bool check = i % 2 == 1;
        road::resetMachine();
        testing_support::world::writeScenario(check ? std::string("{\"content\": {") + kSize + "}}"
                                                    : unchecked);
        const testing_support::TempDir folder;
        const ULONGLONG start = GetTickCount64();
        const auto run = road::runDriver(L"tamrix9_en_100_x", L"", {}, folder);
        const double total = static_cast<double>(GetTickCount64() - start) / 1000.0;
        std::printf("run %d (%s): exit code %ld, %.1f s from start to end of process\n", i + 1,
                    check ? "digest checked" : "no digest", run.exitCode, total);
        const double download = printRun(run);
        if (download >= 0) (check ? checked : plain).push_back(download);
    }
    const double with = median(checked), without = median(plain);
    std::printf("package download, median: %.3f s with the digest check, %.3f s without", with,
                without);
    if (without > 0) std::printf(" (%+.1f %%)", (with - without) / without * 100.0);
    std::printf("\n");
    return 0;
}
