// Processes: command lines and verbs over given inputs, and real peer processes started by
// create, execute, shell and openUrl; the process list, the named mutex across processes, and
// raising a window.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/handle.h"
#include "utility/process.h"
#include "utility/text.h"

using namespace utility;
using testing_support::LogCapture;
using testing_support::messagesOf;
using testing_support::peerPath;
using testing_support::TempDir;

namespace {

// Upper bound for anything a test waits for; reaching it means the test failed.
constexpr DWORD kBoundMs = 60000;

std::wstring uniqueName(const std::wstring& stem) {
    static int counter = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

// A named manual-reset event the peers open.
class NamedEvent {
public:
    explicit NamedEvent(std::wstring name = uniqueName(L"tamrix-test-event"))
        : name_(std::move(name)), event_(CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}
    const std::wstring& name() const { return name_; }
    HANDLE get() const { return event_.get(); }
    bool wait(DWORD ms = kBoundMs) const { return WaitForSingleObject(get(), ms) == WAIT_OBJECT_0; }
    void set() const { SetEvent(get()); }

private:
    std::wstring name_;
    UniqueHandle event_;
};

// Exit code once the process has ended; 0xDEAD if it did not end within the bound.
DWORD exitCodeAfterEnd(HANDLE process) {
    if (WaitForSingleObject(process, kBoundMs) != WAIT_OBJECT_0) return 0xDEAD;
    DWORD code = 0xBEEF;
    GetExitCodeProcess(process, &code);
    return code;
}

// The peer copied under another file name into the folder (name without ".exe").
std::wstring copyPeer(const TempDir& dir, const std::wstring& name) {
    const std::wstring path = dir.path() + name + L".exe";
    return CopyFileW(peerPath(L"process_peer").c_str(), path.c_str(), FALSE) ? path : L"";
}

// Releases held peers when a test ends, also after a failed assertion.
struct ReleaseOnExit {
    const NamedEvent& release;
    ~ReleaseOnExit() { release.set(); }
};

std::string utf8(const std::wstring& text) {
    return wideToUtf8(text);
}

}  // namespace

TEST(ProcessDetail, ShellVerbAsksForElevationOnlyFromVistaOn) {
    EXPECT_STREQ(process::detail::shellVerb(true, 5), L"open");  // XP: no elevation verb
    EXPECT_STREQ(process::detail::shellVerb(true, 0), L"open");  // version unknown
    EXPECT_STREQ(process::detail::shellVerb(true, 6), L"runas");
    EXPECT_STREQ(process::detail::shellVerb(true, 10), L"runas");
    EXPECT_STREQ(process::detail::shellVerb(false, 10), L"open");
}

TEST(ProcessDetail, CommandLineQuotesTheFileAndAddsParametersOnlyWhenGiven) {
    EXPECT_EQ(process::detail::commandLine(L"C:\\Program Files\\a.exe", L""),
              L"\"C:\\Program Files\\a.exe\"");
    EXPECT_EQ(process::detail::commandLine(L"taskkill", L"/F /IM gxplayer.exe /T"),
              L"\"taskkill\" /F /IM gxplayer.exe /T");
    EXPECT_EQ(process::detail::commandLine(L"x.exe", L" "), L"\"x.exe\"  ");
}

TEST(ProcessDetail, OnlyHttpAndHttpsAddressesWithAHostAreWebAddresses) {
    const struct {
        const wchar_t* target;
        bool web;
    } cases[] = {
        {L"https://www.tamrix.test/other/protocol.html", true},
        {L"http://tamrix.test", true},
        {L"HTTPS://Tamrix.test/Path?q=1#top", true},
        {L"https://tamrix.test/a%20b", true},
        {L"", false},
        {L"https://", false},
        {L"https:///etc/passwd", false},
        {L"https:\\\\server\\share", false},
        {L"http:/tamrix.test", false},
        {L"httpx://tamrix.test", false},
        {L" https://tamrix.test", false},
        {L"https://tamrix.test/a b", false},
        {L"https://tamrix.test/\" -new-window", false},
        {L"https://tamrix.test/\r\nline", false},
        {L"file:///C:/Windows/notepad.exe", false},
        {L"C:\\Windows\\notepad.exe", false},
        {L"\\\\server\\share\\setup.exe", false},
        {L"notepad.exe", false},
        {L"javascript:alert(1)", false},
        {L"mailto:support@tamrix.test", false},
        {L"ms-settings:", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(utf8(c.target));
        EXPECT_EQ(process::detail::isWebAddress(c.target), c.web);
    }
}

TEST(Create, StartsTheProgramAndHandsBackItsHandleAndId) {
    DWORD id = 0;
    UniqueHandle process = process::create(peerPath(L"process_peer"), L"exit 3", false, &id);
    ASSERT_TRUE(process);
    EXPECT_EQ(id, GetProcessId(process.get()));
    EXPECT_EQ(exitCodeAfterEnd(process.get()), 3u);
}

TEST(Create, QuotesAPathWithBlanksSoTheArgumentsArriveIntact) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryW((dir.path() + L"with blank").c_str(), nullptr));
    const std::wstring peer = dir.path() + L"with blank\\peer copy.exe";
    ASSERT_TRUE(CopyFileW(peerPath(L"process_peer").c_str(), peer.c_str(), FALSE));
    UniqueHandle process = process::create(peer, L"argc one two", false);
    ASSERT_TRUE(process);
    EXPECT_EQ(exitCodeAfterEnd(process.get()), 4u);  // program, "argc", "one", "two"
}

TEST(Create, ShowFlagReachesTheNewProcess) {
    UniqueHandle shown = process::create(peerPath(L"process_peer"), L"show-state", true);
    UniqueHandle hidden = process::create(peerPath(L"process_peer"), L"show-state", false);
    UniqueHandle plain =
        process::createWithShowCommand(peerPath(L"process_peer"), L"show-state", SW_SHOW);
    ASSERT_TRUE(shown);
    ASSERT_TRUE(hidden);
    ASSERT_TRUE(plain);
    EXPECT_EQ(exitCodeAfterEnd(shown.get()), DWORD{SW_SHOWNORMAL});
    EXPECT_EQ(exitCodeAfterEnd(hidden.get()), DWORD{SW_HIDE});
    EXPECT_EQ(exitCodeAfterEnd(plain.get()), DWORD{SW_SHOW});
}

TEST(Create, MissingProgramGivesNoHandleAndLogsTheError) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    const std::wstring missing = dir.path() + L"missing.exe";
    DWORD id = 12345;
    UniqueHandle process = process::create(missing, L"", true, &id);
    EXPECT_FALSE(process);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});  // survives the logging
    EXPECT_EQ(id, 12345u);
    const auto messages = messagesOf(log.newLines(), "utility::process::create");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              "createProcess filename = [" + utf8(missing) + "], param = [], show = 1");
    EXPECT_EQ(messages[1], "createProcess failed!!! lastError = 2");
}

TEST(Execute, WaitsForTheExitCodeAndLogsIt) {
    LogCapture& log = LogCapture::instance();
    log.newLines();
    EXPECT_TRUE(process::execute(peerPath(L"process_peer"), L"exit 0", false, kBoundMs));
    auto messages = messagesOf(log.newLines(), "utility::process::execute");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("execute exitcode = 0 lastError = ")) << messages[0];

    EXPECT_FALSE(
        process::execute(peerPath(L"process_peer"), L"exit 1", false, process::kWaitForever));
    messages = messagesOf(log.newLines(), "utility::process::execute");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("execute exitcode = 1 lastError = ")) << messages[0];
}

TEST(Execute, WaitZeroReturnsWhileTheProgramStillRuns) {
    NamedEvent ready, release, done;
    ReleaseOnExit releaser{release};
    bool result = false;
    // On its own thread, so a wrongly waiting execute fails the test instead of hanging it.
    std::thread caller([&] {
        result =
            process::execute(peerPath(L"process_peer"),
                             L"hold " + ready.name() + L" " + release.name() + L" 7", false, 0);
        done.set();
    });
    const bool returned = done.wait();
    release.set();
    caller.join();
    ASSERT_TRUE(returned) << "execute with wait 0 waited for the program";
    EXPECT_TRUE(result);  // the exit code 7 that follows does not matter
    EXPECT_TRUE(ready.wait());
}

TEST(Execute, TimeOutLeavesTheProgramRunningAndLogs) {
    TempDir dir;
    const std::wstring name = uniqueName(L"held");
    const std::wstring peer = copyPeer(dir, name);
    ASSERT_FALSE(peer.empty());
    NamedEvent ready, release;
    ReleaseOnExit releaser{release};
    LogCapture& log = LogCapture::instance();
    log.newLines();

    // The peer holds until released, so the short wait always runs out.
    EXPECT_FALSE(
        process::execute(peer, L"hold " + ready.name() + L" " + release.name(), false, 50));
    EXPECT_EQ(messagesOf(log.newLines(), "utility::process::execute"),
              std::vector<std::string>{"execute timeout!!!"});

    ASSERT_TRUE(ready.wait());
    const process::ProcessList list = process::listProcesses();
    const auto running = list.find(name + L".exe");
    ASSERT_NE(running, list.end()) << "the timed-out program was ended";
    UniqueHandle held(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running->second));
    ASSERT_TRUE(held);
    release.set();
    EXPECT_EQ(exitCodeAfterEnd(held.get()), 0u);
}

TEST(Execute, MissingProgramFailsAndLogsTheError) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    EXPECT_FALSE(process::execute(dir.path() + L"missing.exe", L"x", false, 0));
    EXPECT_EQ(messagesOf(log.newLines(), "utility::process::execute"),
              std::vector<std::string>{"execute failed!!! last error = 2"});
}

TEST(ListProcesses, KeepsTheFirstIdOfTwoProcessesOfOneName) {
    TempDir dir;
    const std::wstring name = uniqueName(L"twin");
    const std::wstring peer = copyPeer(dir, name);
    ASSERT_FALSE(peer.empty());
    NamedEvent firstReady, secondReady, release;
    ReleaseOnExit releaser{release};

    DWORD firstId = 0, secondId = 0;
    UniqueHandle first = process::create(peer, L"hold " + firstReady.name() + L" " + release.name(),
                                         false, &firstId);
    ASSERT_TRUE(first);
    ASSERT_TRUE(firstReady.wait());
    UniqueHandle second = process::create(
        peer, L"hold " + secondReady.name() + L" " + release.name(), false, &secondId);
    ASSERT_TRUE(second);
    ASSERT_TRUE(secondReady.wait());

    // The snapshot lists processes in the order they were started.
    const process::ProcessList list = process::listProcesses();
    const auto twin = list.find(name + L".exe");
    ASSERT_NE(twin, list.end());
    EXPECT_EQ(twin->second, firstId);
    EXPECT_NE(firstId, secondId);
    // Names are kept as the snapshot gives them: no path, case unchanged.
    EXPECT_EQ(list.count(peer), 0u);
    const auto self = list.find(L"utility_process_test.exe");
    ASSERT_NE(self, list.end());
    EXPECT_EQ(self->second, GetCurrentProcessId());

    release.set();
    EXPECT_EQ(exitCodeAfterEnd(first.get()), 0u);
    EXPECT_EQ(exitCodeAfterEnd(second.get()), 0u);
}

TEST(CreateNamedMutex, FailIfExistsGuardsASingleInstanceAcrossProcesses) {
    const std::wstring name = uniqueName(L"tamrix-test-mutex");
    UniqueHandle owner = process::createNamedMutex(name, false, true);
    ASSERT_TRUE(owner);
    EXPECT_FALSE(process::createNamedMutex(name, false, true));
    UniqueHandle opened = process::createNamedMutex(name, false, false);
    EXPECT_TRUE(opened);

    UniqueHandle peer = process::create(peerPath(L"process_peer"), L"mutex " + name, false);
    ASSERT_TRUE(peer);
    EXPECT_EQ(exitCodeAfterEnd(peer.get()), 1u);  // a second instance finds it

    owner.reset();
    opened.reset();
    peer = process::create(peerPath(L"process_peer"), L"mutex " + name, false);
    ASSERT_TRUE(peer);
    EXPECT_EQ(exitCodeAfterEnd(peer.get()), 0u);  // gone with its last handle
}

TEST(CreateNamedMutex, InitialOwnerHoldsItAgainstOtherThreads) {
    const std::wstring name = uniqueName(L"tamrix-test-mutex");
    UniqueHandle owned = process::createNamedMutex(name, true, true);
    ASSERT_TRUE(owned);
    DWORD whileOwned = 0;
    std::thread([&] { whileOwned = WaitForSingleObject(owned.get(), 0); }).join();
    EXPECT_EQ(whileOwned, DWORD{WAIT_TIMEOUT});

    UniqueHandle unowned = process::createNamedMutex(uniqueName(L"tamrix-test-mutex"), false, true);
    ASSERT_TRUE(unowned);
    DWORD whileFree = 0;
    std::thread([&] {
        whileFree = WaitForSingleObject(unowned.get(), 0);
        if (whileFree == WAIT_OBJECT_0) ReleaseMutex(unowned.get());
    }).join();
    EXPECT_EQ(whileFree, DWORD{WAIT_OBJECT_0});
}

TEST(Shell, StartsTheProgramWithItsParametersAndLogs) {
    NamedEvent started;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    const std::wstring params = L"signal " + started.name();
    EXPECT_TRUE(process::shell(peerPath(L"process_peer"), params, false, false));
    EXPECT_TRUE(started.wait());
    const auto messages = messagesOf(log.newLines(), "utility::process::shell");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "shell filename = [" + utf8(peerPath(L"process_peer")) + "], param = [" +
                               utf8(params) + "], runas = 0, show = 0");
    EXPECT_TRUE(messages[1].starts_with("shellEx ret . lastError = ")) << messages[1];
}

TEST(Shell, MissingProgramFailsAndLogsTheFailure) {
    TempDir dir;
    LogCapture& log = LogCapture::instance();
    log.newLines();
    EXPECT_FALSE(process::shell(dir.path() + L"missing.exe", L"", false, true));
    const auto messages = messagesOf(log.newLines(), "utility::process::shell");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[1].starts_with("shellEx ret . lastError = ")) << messages[1];
    EXPECT_TRUE(messages[2].starts_with("shellEx failed!!! lastError = ")) << messages[2];
}

TEST(OpenUrl, RefusesFilesPathsAndOtherSchemesWithALogLine) {
    TempDir dir;
    const std::wstring peer = copyPeer(dir, uniqueName(L"opened"));
    ASSERT_FALSE(peer.empty());
    std::wstring slashed = peer;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    LogCapture& log = LogCapture::instance();
    for (const std::wstring& target :
         {peer, L"file:///" + slashed, std::wstring(L"\\\\server\\share\\setup.exe"),
          std::wstring(L"shell:startup")}) {
        SCOPED_TRACE(utf8(target));
        log.newLines();
        EXPECT_FALSE(process::openUrl(target));
        EXPECT_EQ(messagesOf(log.newLines(), "utility::process::openUrl"),
                  std::vector<std::string>{"refused [ " + utf8(target) +
                                           " ]: not an http or https address."});
    }
}

namespace {

// A plain top-level window of this thread, destroyed at the end of the test.
class TestWindow {
public:
    explicit TestWindow(DWORD exStyle) {
        WNDCLASSW cls{};
        cls.lpfnWndProc = DefWindowProcW;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"TamrixProcessTestWindow";
        RegisterClassW(&cls);
        window_ = CreateWindowExW(exStyle, cls.lpszClassName, L"front", WS_OVERLAPPEDWINDOW, 10, 10,
                                  200, 100, nullptr, nullptr, cls.hInstance, nullptr);
    }
    ~TestWindow() {
        if (window_) DestroyWindow(window_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

bool isTopmost(HWND window) {
    return GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST;
}

}  // namespace

TEST(BringWindowToFront, RestoresAMinimisedWindowWithoutLeavingItTopmost) {
    TestWindow window(0);
    ASSERT_TRUE(window.get());
    ShowWindow(window.get(), SW_SHOWMINIMIZED);
    ASSERT_TRUE(IsIconic(window.get()));
    process::bringWindowToFront(window.get());
    EXPECT_FALSE(IsIconic(window.get()));
    EXPECT_TRUE(IsWindowVisible(window.get()));
    EXPECT_FALSE(isTopmost(window.get()));
}

TEST(BringWindowToFront, ShowsATopmostWindowAndKeepsItTopmost) {
    TestWindow window(WS_EX_TOPMOST);
    ASSERT_TRUE(window.get());
    ASSERT_FALSE(IsWindowVisible(window.get()));
    process::bringWindowToFront(window.get());
    EXPECT_TRUE(IsWindowVisible(window.get()));
    EXPECT_TRUE(isTopmost(window.get()));
}
