// The long fuzz run: every target of the harness for as long as asked, each in a process of its
// own, restarted with the next seed after a crash, hang or memory blow-up (which the watchdog
// writes as a replay file). Prints inputs per second, corpus size and findings per target.
//   fuzz_bench [--minutes M] [--seed S] [--target NAME]   (default: 1 minute over all targets)
//   fuzz_bench --replay TARGET FILE                       (runs one input; exit 1 when it fails)
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/support/fuzz/fuzz_engine.h"
#include "tests/support/fuzz/fuzz_targets.h"
#include "tests/support/test_support.h"
#include "utility/log.h"

namespace {

struct Options {
    double minutes = 1;
    std::uint64_t seed = 1;
    std::string target;
    // Worker: fuzz one target for a while and write the stats to a file.
    bool worker = false;
    double seconds = 0;
    std::wstring statsFile;
    std::wstring replayFile;
};

std::string narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

const std::vector<fuzz::Target>& targets(const testing_support::TempDir& sandbox) {
    static const std::vector<fuzz::Target> all = [&] {
        initUtilities();
        fuzz::startWatchdog(fuzz::Limits{}, TAMRIX_FUZZ_FINDINGS);
        return fuzz::allTargets(
            {TAMRIX_FUZZ_SKIN_ARCHIVE, testing_support::dataDir(), sandbox.path()});
    }();
    return all;
}

const fuzz::Target* find(const std::vector<fuzz::Target>& all, const std::string& name) {
    for (const auto& t : all)
        if (t.name == name) return &t;
    return nullptr;
}

// stats file: "inputs seconds corpus slowest findings" then one finding per line.
int runWorker(const Options& o) {
    testing_support::TempDir sandbox;
    const fuzz::Target* target = find(targets(sandbox), o.target);
    if (!target) return 2;
    const fuzz::RunStats s = fuzz::fuzzTarget(*target, o.seed, ~0ull, o.seconds);
    std::string text = std::to_string(s.inputs) + " " + std::to_string(s.seconds) + " " +
                       std::to_string(s.corpus) + " " + std::to_string(s.slowestMs) + " " +
                       std::to_string(s.findings.size()) + "\n";
    for (const auto& f : s.findings) text += f.problem + " | " + narrow(f.replayFile) + "\n";
    testing_support::writeFileBytes(o.statsFile, text);
    return 0;
}

int replay(const Options& o) {
    testing_support::TempDir sandbox;
    const fuzz::Target* target = find(targets(sandbox), o.target);
    if (!target) return 2;
    const std::string problem =
        fuzz::runInput(*target, testing_support::readFileBytes(o.replayFile));
    std::printf("%s: %s\n", o.target.c_str(),
                problem.empty() ? "invariants hold" : problem.c_str());
    return problem.empty() ? 0 : 1;
}

struct Totals {
    std::uint64_t inputs = 0;
    double seconds = 0;
    std::size_t corpus = 0;
    double slowestMs = 0;
    int restarts = 0;
    std::vector<std::string> findings;
};

// One worker process; false when it ended by the watchdog (its finding is on stderr).
bool runChild(const std::string& target, std::uint64_t seed, double seconds,
              const std::wstring& statsFile, Totals& totals) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --worker " +
                        std::wstring(target.begin(), target.end()) + L" " + std::to_wstring(seed) +
                        L" " + std::to_wstring(seconds) + L" \"" + statsFile + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    DeleteFileW(statsFile.c_str());
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const std::string stats = testing_support::readFileBytes(statsFile);
    unsigned long long inputs = 0;
    double elapsed = 0, slowest = 0;
    std::size_t corpus = 0, findings = 0;
    if (code != 0 || std::sscanf(stats.c_str(), "%llu %lf %zu %lf %zu", &inputs, &elapsed, &corpus,
                                 &slowest, &findings) != 5) {
        totals.findings.push_back("worker ended with code " + std::to_string(code) +
                                  " (see its replay file above)");
        return false;
    }
    totals.inputs += inputs;
    totals.seconds += elapsed;
    totals.corpus = std::max(totals.corpus, corpus);
    totals.slowestMs = std::max(totals.slowestMs, slowest);
    for (std::size_t at = stats.find('\n'); at != std::string::npos && at + 1 < stats.size();) {
        const std::size_t end = stats.find('\n', at + 1);
        totals.findings.push_back(stats.substr(at + 1, end - at - 1));
        at = end;
    }
    return true;
}

int supervise(const Options& o) {
    testing_support::TempDir work;
    std::vector<std::string> names;
    {
        testing_support::TempDir sandbox;
        for (const auto& t : targets(sandbox))
            if (o.target.empty() || t.name == o.target) names.push_back(t.name);
    }
    if (names.empty()) return 2;
    const double share = o.minutes * 60.0 / static_cast<double>(names.size());
    std::printf("fuzz: %.1f minutes over %zu targets, %.0f s each, seed %llu\n", o.minutes,
                names.size(), share, static_cast<unsigned long long>(o.seed));
    std::printf("%-18s %10s %10s %8s %11s %9s %s\n", "target", "inputs", "inputs/s", "corpus",
                "slowest ms", "restarts", "findings");
    int total = 0;
    for (const auto& name : names) {
        Totals totals;
        std::uint64_t seed = o.seed;
        // Restarts continue with the next seed for the time that is left.
        while (totals.seconds < share - 1.0 && totals.restarts < 50) {
            const double before = totals.seconds;
            if (!runChild(name, seed++, share - totals.seconds, work.path() + L"stats.txt",
                          totals)) {
                ++totals.restarts;
                totals.seconds = before + 1.0;  // the crash's time is not known; move on
            }
        }
        std::printf("%-18s %10llu %10.1f %8zu %11.1f %9d %zu\n", name.c_str(),
                    static_cast<unsigned long long>(totals.inputs),
                    totals.inputs / std::max(totals.seconds, 1e-6), totals.corpus, totals.slowestMs,
                    totals.restarts, totals.findings.size());
        for (const auto& f : totals.findings) std::printf("    %s\n", f.c_str());
        std::fflush(stdout);
        total += static_cast<int>(totals.findings.size());
    }
    return total == 0 ? 0 : 1;
}

Options parse(int argc, wchar_t** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--minutes" && i + 1 < argc)
            o.minutes = std::wcstod(argv[++i], nullptr);
        else if (a == L"--seed" && i + 1 < argc)
            o.seed = std::wcstoull(argv[++i], nullptr, 10);
        else if (a == L"--target" && i + 1 < argc)
            o.target = narrow(argv[++i]);
        else if (a == L"--replay" && i + 2 < argc) {
            o.target = narrow(argv[++i]);
            o.replayFile = argv[++i];
        } else if (a == L"--worker" && i + 4 < argc) {
            o.worker = true;
            o.target = narrow(argv[++i]);
            o.seed = std::wcstoull(argv[++i], nullptr, 10);
            o.seconds = std::wcstod(argv[++i], nullptr);
            o.statsFile = argv[++i];
        }
    }
    return o;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const Options o = parse(argc, argv);
    if (o.worker) return runWorker(o);
    if (!o.replayFile.empty()) return replay(o);
    return supervise(o);
}
