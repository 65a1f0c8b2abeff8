// Starting programs (directly or through the shell), listing running processes, the
// single-instance mutex and raising a window.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "utility/handle.h"

namespace utility::process {

// Executable file name (as the process snapshot reports it) to the id of the first process of
// that name in snapshot order.
using ProcessList = std::map<std::wstring, DWORD>;

// Wait time of execute that waits without limit.
constexpr DWORD kWaitForever = INFINITE;

// Starts the file through the shell ("runas" when asked and the system knows it, "open"
// otherwise) without waiting; true if the shell reports success.
bool shell(const std::wstring& file, const std::wstring& params, bool runAs, bool show);
// Starts the file as a new process in a new console; the handle is empty on failure.
UniqueHandle create(const std::wstring& file, const std::wstring& params, bool show,
                    DWORD* processId = nullptr);
// The same with the start-up information's show command (SW_SHOW, ...) given as it is.
UniqueHandle createWithShowCommand(const std::wstring& file, const std::wstring& params,
                                   WORD showCommand, DWORD* processId = nullptr);
// Starts the file; with a wait time other than 0, waits for it (kWaitForever: without limit).
// True if it started and, when waited for, ended in time with exit code 0.
bool execute(const std::wstring& file, const std::wstring& params, bool show, DWORD waitMs);
// The same, and the wait also ends (false) once the stop event is signalled; the program is
// left running then.
bool execute(const std::wstring& file, const std::wstring& params, bool show, DWORD waitMs,
             HANDLE stop);
// Opens a web address (http or https) in the default browser, falling back to "iexplore.exe".
// Anything else (a path, a UNC name, another scheme) is refused with a log line: the addresses
// come from tables and documents the installer does not control.
bool openUrl(const std::wstring& target);
// The running processes; empty when no snapshot can be taken.
ProcessList listProcesses();
// Creates (or opens) the named mutex. Empty if creation failed, or if the mutex already existed
// and failIfExists is set.
UniqueHandle createNamedMutex(const std::wstring& name, bool initialOwner, bool failIfExists);
// Restores a minimised window and raises it to the front. UI thread.
void bringWindowToFront(HWND window);

namespace detail {

// The shell verb: "runas" only when asked and the system's major version knows elevation.
const wchar_t* shellVerb(bool runAs, DWORD majorVersion);
// The quoted file, followed by a blank and the parameters when there are any.
std::wstring commandLine(const std::wstring& file, const std::wstring& params);
// "http://" or "https://" (any case) and a host, without blanks, quotes or control characters.
bool isWebAddress(const std::wstring& target);

}  // namespace detail
}  // namespace utility::process
