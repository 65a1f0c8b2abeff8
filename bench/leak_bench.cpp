// The leak watch: the real installer's window left open on a download throttled to outlast the
// watch, with the tips rotating and the progress text changing, sampled every ten seconds from
// outside (GDI objects, USER objects, handles, private bytes, working set). Prints the series and
// fails when any of them grew from the first minute to the last by more than a small allowance.
// Under Wine, which keeps no per-process GDI count and no private bytes of another process, the
// USER figure counts the process's windows, handles come from the system's handle table and
// private memory is the Unix process's resident anonymous memory; GDI objects read 0 there.
// Runs inside the world (scripts/bench.sh).
//   leak_bench [--minutes M]      (default 10)
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/installer_support.h"
#include "tests/support/road_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr DWORD kSampleMs = 10000;
constexpr int kSamplesPerMinute = 6;
constexpr double kPackageBytes = 11534336;

struct Sample {
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD handles = 0;
    double privateMiB = 0;
    double workingSetMiB = 0;
};

// The process's handles from the system's handle table (which Wine keeps, unlike the
// per-process count).
DWORD handlesOf(DWORD processId) {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L))
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerPid == processId;
    return count;
}

// Windows of the process, top-level and children: the USER objects a window system shows.
DWORD windowsOf(DWORD processId) {
    struct Count {
        DWORD id;
        DWORD windows = 0;
    } count{processId};
    EnumWindows(
        [](HWND top, LPARAM context) -> BOOL {
            auto& c = *reinterpret_cast<Count*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(top, &owner);
            if (owner != c.id) return TRUE;
            ++c.windows;
            EnumChildWindows(
                top,
                [](HWND, LPARAM inner) -> BOOL {
                    ++reinterpret_cast<Count*>(inner)->windows;
                    return TRUE;
                },
                context);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// Resident anonymous memory of the installer's Unix process (Wine reports no private bytes of
// another process): found by its command line among the world's processes.
double residentAnonymousMiB(const std::wstring& exeName) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(L"Z:\\proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::wstring pid = it->path().filename().wstring();
        if (pid.empty() || !iswdigit(pid[0])) continue;
        const std::string cmdline =
            testing_support::readFileBytes(it->path().wstring() + L"\\cmdline");
        if (cmdline.find(testing_support::narrow(exeName)) == std::string::npos) continue;
        const std::string status =
            testing_support::readFileBytes(it->path().wstring() + L"\\status");
        const std::size_t at = status.find("RssAnon:");
        if (at != std::string::npos) return std::strtod(status.c_str() + at + 8, nullptr) / 1024.0;
    }
    return 0;
}

Sample sample(const installer::Installer& run) {
    const HANDLE process = run.process();
    Sample s;
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = std::max(GetGuiResources(process, GR_USEROBJECTS), windowsOf(run.id()));
    GetProcessHandleCount(process, &s.handles);
    s.handles = std::max(s.handles, handlesOf(run.id()));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        s.privateMiB = memory.PrivateUsage / 1048576.0;
        s.workingSetMiB = memory.WorkingSetSize / 1048576.0;
    }
    if (s.privateMiB == 0) s.privateMiB = residentAnonymousMiB(L"TamrixInstaller.exe");
    return s;
}

// Means of one figure over a minute of samples.
struct Minute {
    double gdi = 0, user = 0, handles = 0, privateMiB = 0, workingSetMiB = 0;
};

Minute meanOf(const std::vector<Sample>& samples, std::size_t from, std::size_t count) {
    Minute m;
    for (std::size_t i = from; i < from + count; ++i) {
        m.gdi += samples[i].gdi;
        m.user += samples[i].user;
        m.handles += samples[i].handles;
        m.privateMiB += samples[i].privateMiB;
        m.workingSetMiB += samples[i].workingSetMiB;
    }
    const double n = static_cast<double>(count);
    return {m.gdi / n, m.user / n, m.handles / n, m.privateMiB / n, m.workingSetMiB / n};
}

void printMinute(const char* which, const Minute& m) {
    std::printf(
        "%-12s gdi %6.1f  user %6.1f  handles %7.1f  private %8.2f MiB  working set %8.2f MiB\n",
        which, m.gdi, m.user, m.handles, m.privateMiB, m.workingSetMiB);
}

// What may grow from the first minute to the last without counting as a leak: a few objects
// and handles, and for memory what the allocator's pages and caches settle into.
bool grew(const Minute& first, const Minute& last) {
    bool any = false;
    const auto check = [&](const char* what, double a, double b, double allowance) {
        if (b > a + allowance) {
            std::printf("grew: %s from %.2f to %.2f (allowed %.2f)\n", what, a, b, allowance);
            any = true;
        }
    };
    check("GDI objects", first.gdi, last.gdi, 5);
    check("USER objects", first.user, last.user, 5);
    check("handles", first.handles, last.handles, 10);
    check("private bytes (MiB)", first.privateMiB, last.privateMiB,
          std::max(2.0, first.privateMiB * 0.05));
    check("working set (MiB)", first.workingSetMiB, last.workingSetMiB,
          std::max(4.0, first.workingSetMiB * 0.10));
    return any;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    double minutes = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--minutes") minutes = std::wcstod(argv[i + 1], nullptr);
    if (!testing_support::world::inWorld()) {
        std::fprintf(stderr, "leak_bench runs inside scripts/world.sh\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    road::resetMachine();
    std::error_code ignored;
    std::filesystem::remove_all(L"D:\\Tamrix", ignored);
    // The download outlasts the watch by a minute.
    const int rate = static_cast<int>(kPackageBytes / (minutes * 60 + 60));
    testing_support::world::writeScenario(
        R"({"rules": [)" +
        road::rule("*", "/download/package/*", R"("rateLimit": )" + std::to_string(rate)) + "]}");
    testing_support::TempDir folder;
    installer::Installer run(folder.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    const auto install = main ? installer::waitInstallButton(run, main) : std::nullopt;
    if (!install || !run.click(*install)) {
        std::fprintf(stderr, "leak_bench: the install could not be started\n");
        return 2;
    }
    const int count =
        std::max(2 * kSamplesPerMinute, static_cast<int>(minutes * 60000 / kSampleMs));
    std::printf("leak watch: %d samples every %lu s, download at %d bytes/s\n", count,
                kSampleMs / 1000, rate);
    std::printf("%6s %6s %6s %8s %12s %14s  %s\n", "second", "gdi", "user", "handles",
                "private MiB", "working MiB", "stage text");
    std::vector<Sample> samples;
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < count; ++i) {
        // Samples at fixed points of the watch, whatever each one took.
        const ULONGLONG due = start + static_cast<ULONGLONG>(i) * kSampleMs;
        const ULONGLONG now = GetTickCount64();
        if (due > now) Sleep(static_cast<DWORD>(due - now));
        if (run.waitExit(0) != -1) {
            std::fprintf(stderr, "leak_bench: the installer ended during the watch\n");
            return 2;
        }
        samples.push_back(sample(run));
        const Sample& s = samples.back();
        std::printf("%6d %6lu %6lu %8lu %12.2f %14.2f  %d%%\n", i * 10, s.gdi, s.user, s.handles,
                    s.privateMiB, s.workingSetMiB, installer::shownPercent(run, main));
        std::fflush(stdout);
    }
    const Minute first = meanOf(samples, 0, kSamplesPerMinute);
    const Minute last = meanOf(samples, samples.size() - kSamplesPerMinute, kSamplesPerMinute);
    printMinute("first minute", first);
    printMinute("last minute", last);
    const bool leaked = grew(first, last);
    std::printf("%s\n", leaked ? "leak watch: something grew" : "leak watch: flat");
    run.pressKeys(main, "Escape");
    run.waitExit();
    testing_support::world::resetScenario();
    CoUninitialize();
    return leaked ? 1 : 0;
}
