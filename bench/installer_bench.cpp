// The real installer as a person starts it, inside the isolated world: the time from the start
// of the process to its first painted main window, against a bare Win32 program that opens an
// empty window (bench/bare_window.cpp) in the same run; and the installer's peak memory during a
// 200 MiB download with its window open. "Painted" is seen from outside: the window is visible
// and the screen shows its white background at the window's centre, where the world's empty
// screen is black. At that moment the libraries the process has loaded are listed too (the
// first window should not wait for libraries it does not need). scripts/bench.sh starts this
// benchmark through scripts/world.sh.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"

namespace {

constexpr int kRuns = 5;

std::wstring barePath() {
    return testing_support::windowsPath(std::string(TAMRIX_BARE_WINDOW_EXE));
}

struct Started {
    PROCESS_INFORMATION info{};
    double paintedMs = -1;
    HWND window = nullptr;
    std::vector<std::wstring> libraries;  // loaded when the paint was seen, lower case, sorted
};

// The file names of the modules loaded in the process, the executable's own excluded.
std::vector<std::wstring> loadedLibraries(HANDLE process) {
    std::vector<HMODULE> modules(512);
    DWORD needed = 0;
    if (!EnumProcessModulesEx(process, modules.data(),
                              static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                              LIST_MODULES_ALL))
        return {};
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    std::vector<std::wstring> names;
    for (std::size_t i = 1; i < modules.size(); ++i) {
        wchar_t name[MAX_PATH] = {};
        if (!GetModuleBaseNameW(process, modules[i], name, MAX_PATH)) continue;
        std::wstring lower(name);
        for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
        names.push_back(lower);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string joinedNames(const std::vector<std::wstring>& names) {
    std::string all;
    for (const std::wstring& name : names) {
        if (!all.empty()) all += " ";
        all += std::string(name.begin(), name.end());
    }
    return all;
}

// The first visible top-level window of the process with the class.
HWND windowOf(DWORD process, const wchar_t* className) {
    struct Search {
        DWORD process;
        const wchar_t* className;
        HWND found;
    } search{process, className, nullptr};
    EnumWindows(
        [](HWND w, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            wchar_t name[64] = {};
            GetClassNameW(w, name, 64);
            if (owner == s.process && IsWindowVisible(w) && wcscmp(name, s.className) == 0) {
                s.found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool showsWhite(HWND window) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    const LONG x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const auto pixel = testing_support::captureScreen(RECT{x, y, x + 1, y + 1});
    return !pixel.empty() && testing_support::rgbOf(pixel.at(0, 0)) == 0xFFFFFF;
}

// Starts the program and waits until its window of the class shows painted.
Started startAndWaitForPaint(const std::wstring& exe, const wchar_t* className,
                             const std::wstring& folder) {
    Started started;
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    LARGE_INTEGER frequency, begin, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &started.info))
        return started;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (GetTickCount64() < deadline) {
        started.window = windowOf(started.info.dwProcessId, className);
        if (started.window && showsWhite(started.window)) {
            QueryPerformanceCounter(&now);
            started.paintedMs =
                1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / frequency.QuadPart;
            started.libraries = loadedLibraries(started.info.hProcess);
            break;
        }
        Sleep(2);
    }
    return started;
}

void end(Started& started) {
    if (started.window) PostMessageW(started.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started.info.hProcess, 20000) != WAIT_OBJECT_0)
        TerminateProcess(started.info.hProcess, 1);
    CloseHandle(started.info.hThread);
    CloseHandle(started.info.hProcess);
}

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain() {
    if (!testing_support::world::inWorld()) {
        std::printf("runs inside the world (scripts/bench.sh)\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing_support::TempDir folder;
    const std::wstring exe = folder.path() + L"TamrixInstaller.exe";
    CopyFileW(installer::installerExe().c_str(), exe.c_str(), FALSE);
    installer::setWindowsVersion(L"TamrixInstaller.exe", L"win10");
    installer::useRecordingBrowser();

    // Start-up to the first painted window, alternating the two programs.
    std::vector<double> bare, tamrix;
    std::vector<std::wstring> bareLibraries, tamrixLibraries;
    for (int i = 0; i < kRuns; ++i) {
        Started b = startAndWaitForPaint(barePath(), L"bare_window", folder.path());
        if (b.paintedMs >= 0) bare.push_back(b.paintedMs);
        end(b);
        Started t = startAndWaitForPaint(exe, installer::kMainWindow, folder.path());
        if (t.paintedMs >= 0) tamrix.push_back(t.paintedMs);
        if (i == 0) bareLibraries = b.libraries, tamrixLibraries = t.libraries;
        end(t);
        std::printf("run %d: bare window %.0f ms, installer %.0f ms\n", i + 1, b.paintedMs,
                    t.paintedMs);
    }
    std::printf(
        "start to first painted window, median of %d: bare Win32 window %.0f ms, "
        "TamrixInstaller.exe %.0f ms (%.0f ms more)\n",
        kRuns, median(bare), median(tamrix), median(tamrix) - median(bare));
    std::printf("ratio installer / bare window: %.2f\n", median(tamrix) / median(bare));
    std::printf("libraries loaded at the first paint: bare window %zu, installer %zu\n",
                bareLibraries.size(), tamrixLibraries.size());
    std::printf("  installer: %s\n", joinedNames(tamrixLibraries).c_str());
    std::vector<std::wstring> extra;
    std::set_difference(tamrixLibraries.begin(), tamrixLibraries.end(), bareLibraries.begin(),
                        bareLibraries.end(), std::back_inserter(extra));
    std::printf("  beyond the bare window's: %s\n", joinedNames(extra).c_str());

    // Peak memory during a 200 MiB download with the window open.
    testing_support::world::writeScenario(R"({"content": {"installerSize": 209715200}})");
    Started run = startAndWaitForPaint(exe, installer::kMainWindow, folder.path());
    const auto install = [&]() -> std::optional<installer::AccessibleElement> {
        const auto object = testing_support::accessibleOf(run.window);
        if (!object) return std::nullopt;
        return testing_support::findElement(testing_support::readChildren(object.Get()),
                                            installer::englishText("Button_install_fast"));
    }();
    if (!install) {
        std::printf("no install button\n");
        end(run);
        return 1;
    }
    // The person's press on Install.
    testing_support::xdotool("mousemove " + std::to_string(install->centre().x) + " " +
                             std::to_string(install->centre().y) + " click 1");
    SIZE_T peakWorkingSet = 0, peakCommit = 0;
    const ULONGLONG begin = GetTickCount64();
    bool downloaded = false;
    while (WaitForSingleObject(run.info.hProcess, 50) == WAIT_TIMEOUT &&
           GetTickCount64() - begin < 300000) {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(run.info.hProcess, &counters, sizeof(counters))) {
            peakWorkingSet = std::max(peakWorkingSet, counters.PeakWorkingSetSize);
            peakCommit = std::max(peakCommit, counters.PeakPagefileUsage);
        }
        if (!downloaded && !testing_support::world::readStandinRuns("installer").empty()) {
            downloaded = true;
            std::printf("200 MiB package downloaded and its installer run after %.1f s\n",
                        (GetTickCount64() - begin) / 1000.0);
        }
    }
    std::printf(
        "peak memory of TamrixInstaller.exe during the 200 MiB download: working set "
        "%.1f MiB, committed %.1f MiB\n",
        peakWorkingSet / 1048576.0, peakCommit / 1048576.0);
    end(run);
    testing_support::world::resetScenario();
    CoUninitialize();
    return 0;
}
