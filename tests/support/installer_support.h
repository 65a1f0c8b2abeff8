// The real installer (TamrixInstaller.exe of the build) used inside the world as a person uses
// it: copied under the file name a case needs and started with Wine reporting the Windows
// version the case wants; its windows found by class, their controls through the windows'
// accessibility trees (names, roles, states, screen places); clicks and keys sent with xdotool
// at those places; screenshots of its windows. What the run leaves is read from outside: the
// log, the double's records, the stand-ins' records and the default browser's record.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/road_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_support.h"

namespace installer {

using testing_support::AccessibleElement;

// Bound of the waits of this helper for what a window or the run does.
inline constexpr DWORD kWaitMs = 30000;

// Window classes of the installer's windows.
inline constexpr wchar_t kMainWindow[] = L"cmainframe";
inline constexpr wchar_t kMessageBox[] = L"MessageBoxWindow";
inline constexpr wchar_t kExitDialog[] = L"box";
inline constexpr wchar_t kDownloadErrorDialog[] = L"downloadErrorBox";
inline constexpr wchar_t kInstallErrorDialog[] = L"TxInstallErrorBox";
inline constexpr wchar_t kComboList[] = L"tk.ComboList";

// Windows path of the installer the build made.
std::wstring installerExe();
// Windows path of the source tree's root, with a trailing backslash.
std::wstring sourceRoot();
// Windows path of the folder the screenshots are kept in (<build>\tests\screens\, made on first
// use), with a trailing backslash.
std::wstring screensDir();
// The installer's log file, shared by every run of this Windows user.
std::wstring logPath();

// Wine's Windows version ("win10", "winxp", ...) for programs of that file name.
bool setWindowsVersion(const std::wstring& fileName, const std::wstring& version);
// Makes the world's browser stand-in (tools/standins/browser.sh) the default browser.
bool useRecordingBrowser();
// Every address the default browser was asked to open in this world, in order.
std::vector<std::string> browserAddresses();
// Waits until the browser has been asked for more than `since` addresses; returns those after
// the first `since` (none when the time ran out).
std::vector<std::string> waitForBrowser(std::size_t since, DWORD timeoutMs = kWaitMs);

// The texts of one column of the shipped text table, by key (Unicode), read from the source
// tree's skin folder.
std::map<std::string, std::wstring> tableTexts(const std::string& locale);

// The English text of a key of the shipped table; empty when the key is missing.
std::wstring englishText(const std::string& key);

// One run of the installer.
class Installer {
public:
    struct Options {
        std::wstring commandLine;
        std::wstring windowsVersion = L"win10";
    };

    // Copies the installer as folder + fileName and starts it there.
    Installer(const std::wstring& folder, const std::wstring& fileName, Options options);
    Installer(const std::wstring& folder, const std::wstring& fileName)
        : Installer(folder, fileName, Options{}) {}
    // A process still running then is ended.
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE process() const { return process_; }
    const std::wstring& exePath() const { return exe_; }

    // Visible top-level windows of this process of the class (any class when empty), from the
    // top of the z-order down.
    std::vector<HWND> windows(const std::wstring& className) const;
    // Waits for a visible window of the class; null when none came in time.
    HWND waitForWindow(const std::wstring& className, DWORD timeoutMs = kWaitMs) const;
    // Waits until the window is gone or hidden.
    bool waitHidden(HWND window, DWORD timeoutMs = kWaitMs) const;
    // Waits until the window is what the screen shows at its centre (nothing lies over it).
    bool waitInFront(HWND window, DWORD timeoutMs = kWaitMs) const;

    // The window's accessible children as a screen reader reads them now.
    std::vector<AccessibleElement> elements(HWND window) const;
    // Waits for a child that matches; nothing when none came in time.
    std::optional<AccessibleElement> waitElement(
        HWND window, const std::function<bool(const AccessibleElement&)>& match,
        DWORD timeoutMs = kWaitMs) const;
    std::optional<AccessibleElement> waitElement(HWND window, std::wstring_view name,
                                                 DWORD timeoutMs = kWaitMs) const;
    // The same element read again (its state, value and place now); nothing when it is gone.
    std::optional<AccessibleElement> reread(HWND window, const AccessibleElement& element) const;

    // A left click at the element's centre, or at a screen point, through xdotool.
    bool click(const AccessibleElement& element) const;
    bool click(POINT point) const;
    // Keys to the window (focused first): xdotool key names ("Escape", "ctrl+a").
    bool pressKeys(HWND window, const std::string& keys) const;
    // Text typed into whatever has the keyboard focus of the window.
    bool type(HWND window, const std::string& text) const;
    // The window as the screen shows it, saved as screensDir() + name.
    bool screenshot(HWND window, const std::wstring& name) const;

    // Waits for the process to end: its exit code, or -1 when it did not end in time.
    long waitExit(DWORD timeoutMs = kWaitMs);
    // The log lines this run has written so far.
    std::vector<testing_support::LogLine> log() const;
    // Waits for a log line of this run with the tag whose message starts so.
    bool waitForLog(const std::string& function, const std::string& messageStart,
                    DWORD timeoutMs = kWaitMs) const;
    // After the end: the run as the road tests read it (exit code, log, requests since the start
    // with every upload the log announced).
    road::Run record();

private:
    std::wstring exe_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    long exitCode_ = -1;
    std::size_t logStart_ = 0;
    std::size_t requestStart_ = 0;
};

// The X window of a Wine window, as xdotool names it; empty when unknown.
std::string xWindowOf(HWND window);

// Texts of the elements, for failure messages.
std::string describe(const std::vector<AccessibleElement>& elements);

// Opens the start page's path panel when its field is not shown, clicks the field, clears it and
// types the folder; the field keeps the focus (Tab or a click elsewhere leaves it).
bool typeIntoPathField(const Installer& run, HWND main, const std::string& folder);
// A drive of the world on a tmpfs of that size ("512m", "8g"), made on first use.
bool mountDrive(char letter, const std::string& size);
// Drive S: of 512 MiB: too little room for an install.
inline bool mountSmallDrive() {
    return mountDrive('s', "512m");
}

// The start page's install button, waited for.
std::optional<AccessibleElement> waitInstallButton(const Installer& run, HWND main);
// Clicks the title bar's close button of the main window, once it is there.
bool pressCloseButton(const Installer& run, HWND main);
// The percent the progress page's stage text shows ("Downloading...(N%)"); -1 when it shows none.
int shownPercent(const Installer& run, HWND main);
// A button of the window by its text, waited for; of several, the lowest on the screen (a
// dialog's choice rather than its title bar's close button of the same name).
std::optional<AccessibleElement> waitButton(const Installer& run, HWND window,
                                            const std::wstring& name);

// Whether an element is a push button, a check box, a progress bar, a text field or a label.
bool isButton(const AccessibleElement& e);
bool isProgressBar(const AccessibleElement& e);
bool isTextField(const AccessibleElement& e);
// The value of a progress bar ("37%") as a number; -1 when it is not one.
int progressValue(const AccessibleElement& e);

// A test of the installer's runs in the world: COM for the accessibility calls, a clean machine
// (no installation registered, no emulator folder, the default world) and the recording browser
// for each case, and a folder of its own to put the installer in.
class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    testing_support::TempDir folder_;
    std::size_t browserStart_ = 0;
    std::size_t playerStart_ = 0;
    std::size_t installerStart_ = 0;
    std::size_t consoleStart_ = 0;
};

}  // namespace installer
