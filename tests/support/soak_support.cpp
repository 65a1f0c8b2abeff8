#include "tests/support/soak_support.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <system_error>

#include "tests/support/installer_support.h"
#include "tests/support/road_support.h"
#include "tests/support/world_support.h"
#include "utility/handle.h"

namespace soak {
namespace {

using installer::englishText;
using installer::Installer;
using testing_support::waitUntil;

// The bound within which a run must have ended once it was told to.
constexpr DWORD kEndBoundMs = 30000;
// The size of every package the double serves, and where installers are put.
constexpr std::uintmax_t kPackageSize = 11534336;
const wchar_t* const kInstallRoots[] = {L"D:\\Tamrix", L"C:\\Tamrix"};
// The edition's key, which the run creates and the installer fills. (The autorun key reads as
// written later than every stop line under Wine, even in runs that never reach the setup that
// is its only writer, so its time tells nothing here.)
const wchar_t* const kWrittenKeys[] = {L"Software\\Vorlund\\Tamrix9"};

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t below(std::uint64_t n) {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return n == 0 ? 0 : (z ^ (z >> 31)) % n;
    }

private:
    std::uint64_t state_;
};

const char* const kScenarios[] = {"plain",           "cut-system-client", "cut-both-clients",
                                  "slow-host",       "failing-host",      "installer-fails",
                                  "installer-hangs", "installer-crashes"};
const char* const kMeans[] = {"close-button", "escape",     "wm-close",
                              "taskkill",     "taskkill-f", "second-copy"};

struct Plan {
    std::string scenario;
    std::string means;
    std::string json;
    unsigned momentMs = 0;
    bool beforeInstall = false;
};

std::string packageRule(const std::string& answer, int times) {
    return R"({"host": "*", "path": "/download/package/*", )" + answer +
           (times > 0 ? R"(, "times": )" + std::to_string(times) : std::string()) + "}";
}

Plan draw(Rng& rng, int index, const Options& options) {
    Plan plan;
    plan.scenario = kScenarios[rng.below(std::size(kScenarios))];
    plan.means = kMeans[rng.below(std::size(kMeans))];
    plan.beforeInstall = rng.below(10) == 0;
    plan.momentMs = static_cast<unsigned>(rng.below(options.maxMomentMs + 1));
    const std::string cut = std::to_string(rng.below(kPackageSize));
    std::string rules, standins;
    if (plan.scenario == "cut-system-client")
        rules = packageRule(R"("dropAfterBytes": )" + cut, 1);
    else if (plan.scenario == "cut-both-clients")  // both system attempts and the first libcurl
        rules = packageRule(R"("dropAfterBytes": )" + cut, 3);
    else if (plan.scenario == "slow-host")
        rules = packageRule(R"("rateLimit": 1048576, "delayMs": 500)", 0);
    else if (plan.scenario == "failing-host")
        rules = R"({"host": ")" + road::cdnHost() + R"(", "status": 503})";
    else if (plan.scenario == "installer-fails")
        standins = R"({"installer": {"behaviour": "fail", "errorCode": 7}})";
    else if (plan.scenario == "installer-hangs")
        standins = R"({"installer": {"behaviour": "hang"}})";
    else if (plan.scenario == "installer-crashes")
        standins = R"({"installer": {"behaviour": "crash"}})";
    // The comment makes every scenario new to the double, whose rule counters restart then.
    plan.json = R"({"comment": "soak run )" + std::to_string(index) + R"(", "rules": [)" + rules +
                "]" + (standins.empty() ? "" : R"(, "standins": )" + standins) + "}";
    return plan;
}

// Processes whose file name matches and, when a parent is given, that it started.
std::vector<DWORD> processesNamed(const std::function<bool(const std::wstring&)>& match,
                                  DWORD parent = 0) {
    std::vector<DWORD> ids;
    const utility::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        if (match(entry.szExeFile) && (parent == 0 || entry.th32ParentProcessID == parent))
            ids.push_back(entry.th32ProcessID);
    return ids;
}

bool isDebugger(const std::wstring& name) {
    return _wcsicmp(name.c_str(), L"winedbg.exe") == 0;
}

void endProcesses(const std::vector<DWORD>& ids) {
    for (const DWORD id : ids) {
        const utility::UniqueHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process && TerminateProcess(process.get(), 1))
            WaitForSingleObject(process.get(), 10000);
    }
}

// Installer stand-ins left running by a hanging installer hold their file; a user's next start
// would find them ended (by a restart) as well.
void endStandinInstallers() {
    endProcesses(processesNamed([](const std::wstring& name) {
        return _wcsnicmp(name.c_str(), L"Tamrix", 6) == 0 &&
               _wcsnicmp(name.c_str(), L"TamrixInstaller", 15) != 0;
    }));
}

bool runTaskkill(const std::wstring& arguments) {
    std::wstring line = L"taskkill.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info))
        return false;
    WaitForSingleObject(info.hProcess, 20000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

bool clickButton(const Installer& run, HWND window, const std::string& key) {
    const auto button = installer::waitButton(run, window, englishText(key));
    return button && run.click(*button);
}

// The process's window that lies on top, tool tips aside.
HWND frontWindow(const Installer& run, HWND main) {
    for (HWND window : run.windows(L""))
        if (testing_support::windowClass(window) != L"tooltips_class32") return window;
    return main;
}

// Escape closes what is in front: an open dialog first, then the main window. A person presses it
// again while the main window is still shown, a few times at most.
void escapeUntilGone(Installer& run, HWND main) {
    for (int press = 0; press < 3 && IsWindowVisible(main) && run.waitExit(0) == -1; ++press) {
        HWND front = frontWindow(run, main);
        run.pressKeys(front, "Escape");
        waitUntil([&] { return run.waitExit(0) != -1 || !IsWindowVisible(front); }, 10000);
    }
}

// After a reported installer failure the close button brings the install error dialog to the
// front, where a person answers it: its Cancel ends the run.
void answerInstallError(Installer& run, HWND dialog, RunOutcome& outcome) {
    outcome.note = "answered the install error dialog";
    if (!run.waitInFront(dialog, 5000))
        outcome.problems.push_back("the install error dialog stayed behind another window");
    else if (!clickButton(run, dialog, "cancel"))
        outcome.problems.push_back("install error dialog without Cancel");
}

// The close button and the prompt it brings: the exit dialog before a download ("Yes" leaves),
// the slow-download box during one (its close button leaves), the install error dialog after a
// failed install (Cancel leaves), or the box that asks to wait while the emulator installs,
// which only closes: then the run is left with Escape.
void closeButtonPath(Installer& run, HWND main, RunOutcome& outcome) {
    const auto close = run.waitElement(main, englishText("download_close"), 5000);
    if (!close || !run.click(*close)) {
        // A run over an installed emulator may have finished and ended by itself meanwhile.
        if (run.waitExit(0) != -1)
            outcome.note = "ended by itself first";
        else
            outcome.problems.push_back("no close button to press");
        return;
    }
    HWND dialog = nullptr, box = nullptr, installError = nullptr;
    waitUntil(
        [&] {
            if (run.waitExit(0) != -1) return true;
            dialog = run.waitForWindow(installer::kExitDialog, 0);
            box = run.waitForWindow(installer::kMessageBox, 0);
            installError = run.waitForWindow(installer::kInstallErrorDialog, 0);
            return dialog || box || installError;
        },
        10000);
    if (dialog) {
        if (!clickButton(run, dialog, "Yes")) outcome.problems.push_back("exit dialog without Yes");
    } else if (installError) {
        answerInstallError(run, installError, outcome);
    } else if (box) {
        const bool slow = run.waitElement(box, englishText("download_slowtip"), 2000).has_value();
        if (slow) {
            if (!clickButton(run, box, "download_close"))
                outcome.problems.push_back("slow-download box without its close button");
        } else {
            outcome.note = "asked to wait while installing";
            clickButton(run, box, "sure");
            escapeUntilGone(run, main);
        }
    }
}

// The first copy ended by itself just before the second started: the second is then the only
// copy, and is left by Escape like any run.
void leaveAlone(Installer& second, RunOutcome& outcome) {
    outcome.note = "the first copy had ended, the second ran alone";
    if (HWND alone = second.waitForWindow(installer::kMainWindow)) escapeUntilGone(second, alone);
    if (second.waitExit(kEndBoundMs) != 0)
        outcome.problems.push_back("the second copy, running alone, did not end by Escape");
}

void end(Installer& run, HWND main, const Plan& plan, const std::wstring& folder,
         RunOutcome& outcome) {
    const std::wstring pid = std::to_wstring(run.id());
    if (plan.means == "close-button") {
        closeButtonPath(run, main, outcome);
    } else if (plan.means == "escape") {
        escapeUntilGone(run, main);
    } else if (plan.means == "wm-close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
    } else if (plan.means == "taskkill") {
        runTaskkill(L"/PID " + pid);
    } else if (plan.means == "taskkill-f") {
        runTaskkill(L"/F /PID " + pid);
    } else {  // second copy: it must raise the first and end; the first is then left by Escape
        Installer second(folder, L"TamrixInstaller (2).exe");
        if (!second.started()) {
            outcome.problems.push_back("the second copy could not be started, error " +
                                       std::to_string(GetLastError()));
        } else if (const long code = second.waitExit(kEndBoundMs); code == 0) {
            if (!second.waitForLog("DownloadImpl::entrance", "It's exist", 5000))
                outcome.problems.push_back("the second copy ended without seeing the first");
        } else if (run.waitExit(0) != -1) {
            leaveAlone(second, outcome);
        } else {
            outcome.problems.push_back("the second copy did not end by itself (" +
                                       std::to_string(code) + ")");
        }
        escapeUntilGone(run, main);
    }
}

void forEachFile(const std::function<void(const std::filesystem::path&)>& visit) {
    std::error_code error;
    for (const wchar_t* root : kInstallRoots)
        for (std::filesystem::recursive_directory_iterator it(root, error), last;
             !error && it != last; it.increment(error))
            if (it->is_regular_file(error)) visit(it->path());
}

bool isInstallerName(const std::wstring& name) {
    return name.size() > 4 && _wcsnicmp(name.c_str(), L"Tamrix", 6) == 0 &&
           (name.ends_with(L".exe") || name.ends_with(L".exe.tmp"));
}

// Partial downloads left: ".tmp" files and installers shorter than the package.
std::vector<std::wstring> partialDownloads() {
    std::vector<std::wstring> partial;
    forEachFile([&](const std::filesystem::path& path) {
        const std::wstring name = path.filename().wstring();
        if (!isInstallerName(name)) return;
        std::error_code error;
        if (name.ends_with(L".tmp") || std::filesystem::file_size(path, error) != kPackageSize)
            partial.push_back(path.wstring());
    });
    return partial;
}

// Local time of day (ms), as the log writes it, of a record's time (ms since 1970, UTC).
long timeOfDay(std::int64_t unixMs) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(unixMs) + 11644473600000ull) * 10000;
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return -1;
    return ((t.wHour * 60L + t.wMinute) * 60L + t.wSecond) * 1000L + t.wMilliseconds;
}

// When the last installer stand-in of the run had done its work: it is a process of its own,
// which goes on installing after the downloader has ended.
long standinsDone(std::size_t before) {
    long done = -1;
    const auto runs = testing_support::world::readStandinRuns("installer");
    for (std::size_t i = before; i < runs.size(); ++i) {
        const auto record = runs[i].json();
        if (record.HasMember("time") && record["time"].IsInt64())
            done = std::max(done, timeOfDay(record["time"].GetInt64()));
    }
    return done;
}

// A run that ended by itself logged its stop line; one killed with /F has none to hold it to.
// Nothing may be written after it but by an installer stand-in still at work.
void checkStopLine(const road::Run& record, const Plan& plan, std::size_t installersBefore,
                   RunOutcome& outcome) {
    long stop = record.logTime("DownloadImpl::shutdown", "model stopped");
    if (stop < 0) {
        if (plan.means != "taskkill-f" && record.exitCode == 0)
            outcome.problems.push_back("ended without the log's stop line");
        return;
    }
    stop = std::max(stop, standinsDone(installersBefore));
    forEachFile([&](const std::filesystem::path& path) {
        if (road::lastWriteTimeOfDay(path.wstring()) > stop)
            outcome.problems.push_back("written after the stop line: " +
                                       testing_support::narrow(path.wstring()));
    });
    for (const wchar_t* key : kWrittenKeys)
        if (road::registryWriteTimeOfDay(key) > stop)
            outcome.problems.push_back("registry key written after the stop line: " +
                                       testing_support::narrow(key));
}

void checkInstallersStarted(std::size_t before, RunOutcome& outcome) {
    const auto runs = testing_support::world::readStandinRuns("installer");
    for (std::size_t i = before; i < runs.size(); ++i) {
        const auto record = runs[i].json();
        if (!record.HasMember("edition") || !record["edition"].IsString() ||
            std::string(record["edition"].GetString()).empty())
            outcome.problems.push_back("an installer without its package trailer was started");
    }
}

std::string describeWindow(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    std::string text = testing_support::narrow(name);
    if (!IsWindowEnabled(window)) text += " disabled";
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread)) {
        if (thread.hwndActive == window) text += " active";
        if (thread.hwndFocus && GetAncestor(thread.hwndFocus, GA_ROOT) == window)
            text += " focused";
    }
    if (GetForegroundWindow() == window) text += " foreground";
    return text;
}

// What a run that did not end still showed: its shown windows from the top of the z-order
// down, the screen (soak_<run>_screen.png) and each window as a screenshot (soak_<run>_<n>.png),
// and its log so far (soak_<run>.log), kept in the screens folder.
void keepEvidence(const Installer& run, RunOutcome& outcome) {
    const std::wstring name = L"soak_" + std::to_wstring(outcome.index);
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    testing_support::writePng(installer::screensDir() + name + L"_screen.png",
                              testing_support::captureScreen(screen));
    int shot = 0;
    for (HWND window : run.windows(L"")) {
        outcome.windowsLeft += (outcome.windowsLeft.empty() ? "" : ", ") + describeWindow(window);
        run.screenshot(window, name + L"_" + std::to_wstring(shot++) + L".png");
    }
    const std::wstring stem = installer::screensDir() + name;
    std::string log;
    for (const auto& line : run.log())
        log += line.time + "\t" + line.function + "\t" + line.message + "\n";
    testing_support::writeFileBytes(stem + L".log", log);
}

void checkEnd(Installer& run, const Plan& plan, long code, RunOutcome& outcome) {
    if (code == -1) {
        outcome.problems.push_back("did not end within " + std::to_string(kEndBoundMs) + " ms");
        keepEvidence(run, outcome);
        TerminateProcess(run.process(), 1);
        run.waitExit(10000);
        return;
    }
    if (static_cast<DWORD>(code) >= 0xC0000000u)
        outcome.problems.push_back("ended with exception code " + std::to_string(code));
    else if (plan.means != "taskkill-f" && code != 0)
        outcome.problems.push_back("ended with exit code " + std::to_string(code));
    // Wine starts its crash dialog from the process that crashed: the installer's own, not
    // that of a stand-in the scenario makes crash.
    const auto debuggers = processesNamed(isDebugger, run.id());
    if (!debuggers.empty()) {
        outcome.problems.push_back("a crash dialog appeared");
        endProcesses(debuggers);
    }
}

RunOutcome runOnce(const Plan& plan, int index, const std::wstring& folder) {
    RunOutcome outcome{index, plan.scenario, plan.means, plan.momentMs, plan.beforeInstall, {}, {},
                       {}};
    testing_support::world::writeScenario(plan.json);
    const std::size_t installersBefore =
        testing_support::world::readStandinRuns("installer").size();
    const bool partialBefore = !partialDownloads().empty();
    Installer run(folder, L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    if (!main) {
        outcome.problems.push_back("no main window");
        return outcome;
    }
    if (!plan.beforeInstall) {
        const auto install = installer::waitInstallButton(run, main);
        if (!install)
            outcome.problems.push_back("no install button among: " +
                                       installer::describe(run.elements(main)));
        else if (!run.click(*install))
            outcome.problems.push_back("the install button could not be clicked");
    }
    // The random moment is what the soak varies: the run is interrupted wherever it is then.
    Sleep(plan.momentMs);
    if (run.waitExit(0) == -1) end(run, main, plan, folder, outcome);
    checkEnd(run, plan, run.waitExit(kEndBoundMs), outcome);

    const road::Run record = run.record();
    checkStopLine(record, plan, installersBefore, outcome);
    checkInstallersStarted(installersBefore, outcome);
    if (const auto left = partialDownloads(); left.size() > 1)
        outcome.problems.push_back(std::to_string(left.size()) + " partial downloads left");
    if (record.uploadCount() > 0 && !record.allUploadsSigned())
        outcome.problems.push_back("an upload without a valid signature");
    if (partialBefore &&
        record.logged("DownloaderModel::_threadDownloadPlayer", "download finished, success = 1"))
        outcome.note +=
            outcome.note.empty() ? "downloaded over a partial" : ", downloaded over a partial";
    endStandinInstallers();
    endProcesses(processesNamed(isDebugger));  // the crash dialogs of crashing stand-ins
    return outcome;
}

}  // namespace

Report run(const Options& options, const std::wstring& folder) {
    Report report;
    Rng rng(options.seed);
    road::resetMachine();
    std::error_code ignored;
    for (const wchar_t* root : kInstallRoots) std::filesystem::remove_all(root, ignored);
    installer::useRecordingBrowser();
    for (int i = 0; i < options.runs; ++i) {
        const Plan plan = draw(rng, i, options);
        if (!options.only.empty() && !options.only.contains(i)) continue;
        RunOutcome outcome = runOnce(plan, i, folder);
        std::printf("soak %3d %-18s %-12s at %5u ms%s: %s%s%s\n", i, outcome.scenario.c_str(),
                    outcome.means.c_str(), outcome.momentMs,
                    outcome.beforeInstall ? " before install" : "",
                    outcome.problems.empty() ? "ok" : "FAILED", outcome.note.empty() ? "" : " - ",
                    outcome.note.c_str());
        for (const auto& p : outcome.problems) std::printf("         %s\n", p.c_str());
        if (!outcome.windowsLeft.empty())
            std::printf("         windows left: %s\n", outcome.windowsLeft.c_str());
        std::fflush(stdout);
        report.runs.push_back(std::move(outcome));
    }
    testing_support::world::resetScenario();
    return report;
}

int Report::failedRuns() const {
    int failed = 0;
    for (const auto& r : runs) failed += r.problems.empty() ? 0 : 1;
    return failed;
}

std::string Report::table() const {
    std::map<std::pair<std::string, std::string>, std::pair<int, int>> cells;  // ok, runs
    for (const auto& r : runs) {
        auto& cell = cells[{r.scenario, r.means}];
        cell.first += r.problems.empty() ? 1 : 0;
        ++cell.second;
    }
    char line[256];
    std::string text;
    std::snprintf(line, sizeof(line), "%-18s", "scenario \\ means");
    text += line;
    for (const char* m : kMeans) std::snprintf(line, sizeof(line), " %12s", m), text += line;
    text += "   (ok/runs)\n";
    for (const char* s : kScenarios) {
        std::snprintf(line, sizeof(line), "%-18s", s);
        text += line;
        for (const char* m : kMeans) {
            const auto found = cells.find({s, m});
            std::string cell = found == cells.end() ? "-"
                                                    : std::to_string(found->second.first) + "/" +
                                                          std::to_string(found->second.second);
            std::snprintf(line, sizeof(line), " %12s", cell.c_str());
            text += line;
        }
        text += "\n";
    }
    std::snprintf(line, sizeof(line), "%zu runs, %d with problems\n", runs.size(), failedRuns());
    text += line;
    for (const auto& r : runs)
        for (const auto& p : r.problems)
            text += "run " + std::to_string(r.index) + " (" + r.scenario + ", " + r.means +
                    "): " + p + "\n";
    return text;
}

}  // namespace soak
