#include "tests/support/installer_support.h"

#include <oleacc.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <map>

#include "tests/support/world_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/text.h"

namespace installer {
namespace {

using testing_support::narrow;
using testing_support::waitUntil;
using testing_support::widen;

// <build>\ : peers live in <build>\tests\support.
std::wstring buildDir() {
    std::wstring build = utility::ufile::parentDir(
        utility::ufile::parentDir(utility::ufile::parentDir(testing_support::peerPath(L"x"))));
    if (!build.empty() && build.back() != L'\\') build += L'\\';
    return build;
}

std::string xy(POINT p) {
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

bool isOfClass(HWND window, const std::wstring& className) {
    return className.empty() || testing_support::windowClass(window) == className;
}

}  // namespace

std::wstring installerExe() {
    return buildDir() + L"app\\TamrixInstaller.exe";
}

std::wstring sourceRoot() {
    // The compiler gives this file's absolute path; under Wine the Unix root is drive Z:.
    constexpr std::string_view self = __FILE__;
    constexpr std::string_view tail = "tests/support/installer_support.cpp";
    static_assert(self.ends_with(tail), "the source tree is found from this file's own path");
    return testing_support::windowsPath(self.substr(0, self.size() - tail.size()));
}

std::wstring screensDir() {
    const std::wstring folder = buildDir() + L"tests\\screens\\";
    CreateDirectoryW((buildDir() + L"tests").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring logPath() {
    return utility::ufile::appDataDir() + L"\\txdownloader_en\\downloader.log";
}

bool setWindowsVersion(const std::wstring& fileName, const std::wstring& version) {
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + fileName;
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                           static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

bool useRecordingBrowser() {
    const std::string script =
        testing_support::unixPath(sourceRoot() + L"tools\\standins\\browser.sh");
    const std::wstring value = widen(script);
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers", REG_SZ,
                           value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

std::vector<std::string> browserAddresses() {
    const std::string text =
        testing_support::readFileBytes(testing_support::world::worldPath(L"standins\\browser.txt"));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> waitForBrowser(std::size_t since, DWORD timeoutMs) {
    std::vector<std::string> all;
    waitUntil(
        [&] {
            all = browserAddresses();
            return all.size() > since;
        },
        timeoutMs);
    if (all.size() <= since) return {};
    return {all.begin() + static_cast<std::ptrdiff_t>(since), all.end()};
}

std::map<std::string, std::wstring> tableTexts(const std::string& locale) {
    const std::string text =
        testing_support::readFileBytes(sourceRoot() + L"skin\\multi_language.tsv");
    std::vector<std::vector<std::string>> rows;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            std::vector<std::string> fields;
            const std::string line = text.substr(start, end - start);
            for (std::size_t from = 0;;) {
                const std::size_t tab = line.find('\t', from);
                fields.push_back(line.substr(from, tab == std::string::npos ? tab : tab - from));
                if (tab == std::string::npos) break;
                from = tab + 1;
            }
            rows.push_back(std::move(fields));
        }
        start = end + 1;
    }
    std::map<std::string, std::wstring> texts;
    if (rows.size() < 2) return texts;
    const auto& header = rows[0];
    const auto column = std::find(header.begin(), header.end(), locale) - header.begin();
    for (std::size_t i = 2; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (row.size() > static_cast<std::size_t>(column) && row.size() > 1)
            texts[row[1]] = widen(row[static_cast<std::size_t>(column)]);
    }
    return texts;
}

std::wstring englishText(const std::string& key) {
    static const auto texts = tableTexts("en_US");
    const auto found = texts.find(key);
    return found == texts.end() ? std::wstring() : found->second;
}

// ---- Installer ----

Installer::Installer(const std::wstring& folder, const std::wstring& fileName, Options options)
    : exe_(folder + fileName) {
    if (!CopyFileW(installerExe().c_str(), exe_.c_str(), FALSE)) return;
    if (!options.windowsVersion.empty()) setWindowsVersion(fileName, options.windowsVersion);
    logStart_ = testing_support::readFileBytes(logPath()).size();
    requestStart_ = testing_support::world::requestCount();
    std::wstring line = L"\"" + exe_ + L"\"";
    if (!options.commandLine.empty()) line += L" " + options.commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info)) {
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
}

Installer::~Installer() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

std::vector<HWND> Installer::windows(const std::wstring& className) const {
    struct Search {
        DWORD id;
        const std::wstring* className;
        std::vector<HWND> found;
    } search{id_, &className, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.id && IsWindowVisible(window) && isOfClass(window, *s.className))
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Installer::waitForWindow(const std::wstring& className, DWORD timeoutMs) const {
    HWND found = nullptr;
    waitUntil(
        [&] {
            const auto all = windows(className);
            found = all.empty() ? nullptr : all.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool Installer::waitHidden(HWND window, DWORD timeoutMs) const {
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

bool Installer::waitInFront(HWND window, DWORD timeoutMs) const {
    return waitUntil(
        [&] {
            RECT r{};
            if (!IsWindowVisible(window) || !GetWindowRect(window, &r)) return false;
            const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
            return GetAncestor(WindowFromPoint(centre), GA_ROOT) == window;
        },
        timeoutMs);
}

std::vector<AccessibleElement> Installer::elements(HWND window) const {
    const auto object = testing_support::accessibleOf(window);
    if (!object) return {};
    return testing_support::readChildren(object.Get());
}

std::optional<AccessibleElement> Installer::waitElement(
    HWND window, const std::function<bool(const AccessibleElement&)>& match,
    DWORD timeoutMs) const {
    std::optional<AccessibleElement> found;
    waitUntil(
        [&] {
            for (const auto& e : elements(window)) {
                if (match(e)) {
                    found = e;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::optional<AccessibleElement> Installer::waitElement(HWND window, std::wstring_view name,
                                                        DWORD timeoutMs) const {
    return waitElement(
        window, [name](const AccessibleElement& e) { return e.name == name; }, timeoutMs);
}

std::optional<AccessibleElement> Installer::reread(HWND window,
                                                   const AccessibleElement& element) const {
    for (const auto& e : elements(window))
        if (e.id == element.id) return e;
    return std::nullopt;
}

bool Installer::click(const AccessibleElement& element) const {
    return click(element.centre());
}

bool Installer::click(POINT point) const {
    return testing_support::xdotool("mousemove " + xy(point) + " click 1");
}

bool Installer::pressKeys(HWND window, const std::string& keys) const {
    const std::string x = xWindowOf(window);
    if (x.empty()) return false;
    return testing_support::xdotool("windowfocus --sync " + x + " key " + keys);
}

bool Installer::type(HWND window, const std::string& text) const {
    const std::string x = xWindowOf(window);
    if (x.empty() || text.find('\'') != std::string::npos) return false;
    return testing_support::xdotool("windowfocus --sync " + x + " type --delay 20 '" + text + "'");
}

bool Installer::screenshot(HWND window, const std::wstring& name) const {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    // The window's thread has handled what was sent to it, and the screen shows the same twice
    // in a row: the window has painted what it shows now.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    testing_support::Pixels shot = testing_support::captureScreen(r);
    waitUntil(
        [&] {
            Sleep(150);
            testing_support::Pixels again = testing_support::captureScreen(r);
            const bool same = again.data == shot.data;
            shot = std::move(again);
            return same;
        },
        3000);
    return testing_support::writePng(screensDir() + name, shot);
}

long Installer::waitExit(DWORD timeoutMs) {
    if (!process_) return -1;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code)) exitCode_ = static_cast<long>(code);
    return exitCode_;
}

std::vector<testing_support::LogLine> Installer::log() const {
    const std::string text = testing_support::readFileBytes(logPath());
    return testing_support::parseLogLines(text.substr(std::min(logStart_, text.size())));
}

bool Installer::waitForLog(const std::string& function, const std::string& messageStart,
                           DWORD timeoutMs) const {
    return waitUntil(
        [&] {
            for (const auto& line : log())
                if (line.function == function && line.message.rfind(messageStart, 0) == 0)
                    return true;
            return false;
        },
        timeoutMs);
}

road::Run Installer::record() {
    road::Run run;
    run.exitCode = exitCode_;
    run.log = log();
    road::collectRecords(run, requestStart_);
    return run;
}

std::string xWindowOf(HWND window) {
    // Wine keeps the X window of a top-level window in a window property.
    const auto x = reinterpret_cast<std::uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
    return x ? std::to_string(x) : std::string();
}

std::string describe(const std::vector<AccessibleElement>& elements) {
    std::string text;
    for (const auto& e : elements) {
        text += "[" + std::to_string(e.role) + "] '" + narrow(e.name) + "'";
        if (!e.value.empty()) text += " = '" + narrow(e.value) + "'";
        text += " state " + std::to_string(e.state) + " at " + std::to_string(e.location.left) +
                "," + std::to_string(e.location.top) + "\n";
    }
    return text;
}

bool typeIntoPathField(const Installer& run, HWND main, const std::string& folder) {
    if (!run.waitElement(main, isTextField, 1000)) {
        const auto custom = waitButton(run, main, englishText("Button_install_define"));
        if (!custom || !run.click(*custom)) return false;
    }
    const auto field = run.waitElement(main, isTextField);
    return field && run.click(*field) && run.pressKeys(main, "ctrl+a BackSpace") &&
           run.type(main, folder);
}

bool mountDrive(char letter, const std::string& size) {
    const std::string name = "disk-" + std::string(1, letter);
    return testing_support::runUnix(
               "d=$TAMRIX_WORLD_DIR/" + name +
               "; mkdir -p $d && (mountpoint -q $d || mount -t tmpfs -o size=" + size + " tamrix-" +
               name + " $d) && ln -sfn $d " + "$WINEPREFIX/dosdevices/" + std::string(1, letter) +
               ":")
               .code == 0;
}

std::optional<AccessibleElement> waitInstallButton(const Installer& run, HWND main) {
    return waitButton(run, main, englishText("Button_install_fast"));
}

bool pressCloseButton(const Installer& run, HWND main) {
    const auto close = run.waitElement(main, englishText("download_close"));
    return close && run.click(*close);
}

int shownPercent(const Installer& run, HWND main) {
    const std::wstring prefix = englishText("Label_downloading") + L"(";
    for (const auto& e : run.elements(main)) {
        if (e.role != ROLE_SYSTEM_STATICTEXT || e.name.rfind(prefix, 0) != 0) continue;
        const std::wstring rest = e.name.substr(prefix.size());
        if (rest.empty() || !iswdigit(rest[0])) return -1;
        return std::stoi(rest);
    }
    return -1;
}

std::optional<AccessibleElement> waitButton(const Installer& run, HWND window,
                                            const std::wstring& name) {
    std::optional<AccessibleElement> lowest;
    waitUntil([&] {
        for (const auto& e : run.elements(window)) {
            if (isButton(e) && e.name == name && (!lowest || e.location.top > lowest->location.top))
                lowest = e;
        }
        return lowest.has_value();
    });
    return lowest;
}

bool isButton(const AccessibleElement& e) {
    return e.role == ROLE_SYSTEM_PUSHBUTTON;
}
bool isProgressBar(const AccessibleElement& e) {
    return e.role == ROLE_SYSTEM_PROGRESSBAR;
}
bool isTextField(const AccessibleElement& e) {
    return e.role == ROLE_SYSTEM_TEXT;
}

int progressValue(const AccessibleElement& e) {
    if (!isProgressBar(e) || e.value.empty() || e.value.back() != L'%') return -1;
    return std::stoi(e.value.substr(0, e.value.size() - 1));
}

// ---- InstallerTest ----

void InstallerTest::SetUp() {
    ASSERT_TRUE(testing_support::world::inWorld()) << "runs inside scripts/world.sh";
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    road::resetMachine();
    std::error_code ignored;
    std::filesystem::remove_all(L"D:\\Tamrix", ignored);
    std::filesystem::remove_all(L"C:\\Tamrix", ignored);
    ASSERT_TRUE(useRecordingBrowser());
    browserStart_ = browserAddresses().size();
    playerStart_ = testing_support::world::readStandinRuns("player").size();
    installerStart_ = testing_support::world::readStandinRuns("installer").size();
    consoleStart_ = testing_support::world::readStandinRuns("console").size();
    // The pointer starts off every window.
    testing_support::xdotool("mousemove 1 1");
}

void InstallerTest::TearDown() {
    // An emulator installer that goes on after the run (it reported and takes its time) holds
    // its file: the next case starts when it has ended.
    // So do console tools that never answered (the case is over): they are ended.
    const auto running = [](const wchar_t* name) {
        std::vector<DWORD> ids;
        const utility::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            if (_wcsicmp(entry.szExeFile, name) == 0) ids.push_back(entry.th32ProcessID);
        }
        return ids;
    };
    const auto end = [](const std::vector<DWORD>& ids) {
        for (DWORD id : ids) {
            utility::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            if (process && TerminateProcess(process.get(), 1))
                WaitForSingleObject(process.get(), 10000);
        }
    };
    end(running(L"gxconsole.exe"));
    if (!waitUntil([&] { return running(L"Tamrix.exe").empty(); }, kWaitMs))
        end(running(L"Tamrix.exe"));
    CoUninitialize();
}

}  // namespace installer
