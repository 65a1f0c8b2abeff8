// Running the emulator's offline installer: the command line that passes the run's identity and
// the install folder, stopping emulator processes that would block it, and what each way the
// wait for it can end is reported as.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "engine/held_installer.h"
#include "utility/process.h"

class TxReporter;
namespace vadi {
class GoogleAnalytics;
}

namespace installer_run {

// Emulator processes stopped before the install, in this order.
inline constexpr std::array<const wchar_t*, 4> kBlockingProcesses{
    L"gxplayer.exe", L"gxmultiplayer.exe", L"gxmultiplayerex.exe", L"gxfault.exe"};

// How long the installer may run.
constexpr DWORD kInstallerWaitMs = 600000;

// The installer's parameters: silent, from the downloader, the open id, the language when
// known, the quoted install folder, the Google id when known.
std::wstring parameterText(const std::wstring& openId, const std::wstring& language,
                           const std::wstring& installFolder, const std::wstring& googleId);

// The blocking processes that run, by exact (case-sensitive) executable name, in stop order.
std::vector<std::wstring> runningBlockers(const utility::process::ProcessList& processes);

// Stops the running blocking processes with "taskkill".
void stopEmulatorProcesses();

// How the wait for the installer process ended. The wait is for the process and, when there is
// one, the stage's stop event: Stopped is the second object of the wait.
enum class WaitOutcome { Ended, TimedOut, Failed, Other, Stopped };
WaitOutcome classifyWait(DWORD waitResult);

// Where the outcome of a run is reported.
struct Reporting {
    std::wstring openId;
    TxReporter& reporter;
    vadi::GoogleAnalytics& analytics;
};

// Reports an installer that could not be started (the system's error code).
void reportStartFailure(DWORD systemError, const Reporting& reporting);
// Reports the wait outcome; nothing for an installer that ended (it reports on its own) or a
// stage that was stopped. True when the installer ended in time.
bool reportWaitOutcome(WaitOutcome outcome, const Reporting& reporting);

// Starts the installer shown (SW_SHOW), in a new console, waits for it up to the limit or until
// the stop event (may be null) is signalled, and reports how that went. True when it ended within
// the limit, whatever its exit code; a stopped wait reports nothing and leaves the installer
// running. A held installer file stays held until the process has been created from it.
bool runInstaller(const std::wstring& installerPath, const std::wstring& parameters, DWORD waitMs,
                  HANDLE stop, const Reporting& reporting, HeldInstaller held = HeldInstaller());

}  // namespace installer_run
