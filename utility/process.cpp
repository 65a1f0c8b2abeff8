#include "utility/process.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

#include "utility/log.h"
#include "utility/system_info.h"

namespace utility::process {
namespace {

constexpr INT_PTR kShellSuccessAbove = 32;

int showCommand(bool show) {
    return show ? SW_SHOWNORMAL : SW_HIDE;
}

// Outcome of waiting for a started process (or for the stop event, when there is one); logs
// what execute reports.
bool waitForSuccess(HANDLE process, DWORD waitMs, HANDLE stop) {
    const HANDLE waited[] = {process, stop};
    const DWORD outcome = WaitForMultipleObjects(stop ? 2 : 1, waited, FALSE, waitMs);
    if (outcome == WAIT_OBJECT_0 + 1) {
        LOG_AT("utility::process::execute", L"execute not waited for any more: stopped");
        return false;
    }
    if (outcome == WAIT_OBJECT_0) {
        DWORD exitCode = static_cast<DWORD>(-1);
        GetExitCodeProcess(process, &exitCode);
        const DWORD error = GetLastError();
        LOG_AT("utility::process::execute", L"execute exitcode = %d lastError = %d",
               static_cast<int>(exitCode), static_cast<int>(error));
        return exitCode == 0;
    }
    if (outcome == WAIT_TIMEOUT) {
        LOG_AT("utility::process::execute", L"execute timeout!!!");
    } else if (outcome == WAIT_FAILED) {
        const DWORD error = GetLastError();
        LOG_AT("utility::process::execute", L"execute failed!!! lastError = %d",
               static_cast<int>(error));
    }
    return false;
}

}  // namespace

namespace detail {

const wchar_t* shellVerb(bool runAs, DWORD majorVersion) {
    return runAs && isVistaOrLaterVersion(majorVersion) ? L"runas" : L"open";
}

std::wstring commandLine(const std::wstring& file, const std::wstring& params) {
    std::wstring line = L"\"" + file + L"\"";
    if (!params.empty()) line += L" " + params;
    return line;
}

bool isWebAddress(const std::wstring& target) {
    std::size_t rest = 0;
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        const std::size_t length = wcslen(scheme);
        if (target.size() >= length && _wcsnicmp(target.c_str(), scheme, length) == 0)
            rest = length;
    }
    if (rest == 0 || rest == target.size() || target[rest] == L'/' || target[rest] == L'\\')
        return false;
    for (const wchar_t c : target)
        if (c <= L' ' || c == L'"' || c == 0x7F) return false;
    return true;
}

}  // namespace detail

bool shell(const std::wstring& file, const std::wstring& params, bool runAs, bool show) {
    LOG_AT("utility::process::shell", L"shell filename = [%s], param = [%s], runas = %d, show = %d",
           file.c_str(), params.c_str(), int{runAs}, int{show});
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, detail::shellVerb(runAs, osMajorVersion()), file.c_str(),
                      params.c_str(), nullptr, showCommand(show)));
    const DWORD error = GetLastError();
    LOG_AT("utility::process::shell", L"shellEx ret . lastError = %d", static_cast<int>(error));
    if (result > kShellSuccessAbove) return true;
    LOG_AT("utility::process::shell", L"shellEx failed!!! lastError = %d", static_cast<int>(error));
    return false;
}

UniqueHandle create(const std::wstring& file, const std::wstring& params, bool show,
                    DWORD* processId) {
    return createWithShowCommand(file, params, static_cast<WORD>(showCommand(show)), processId);
}

UniqueHandle createWithShowCommand(const std::wstring& file, const std::wstring& params,
                                   WORD showCommand, DWORD* processId) {
    LOG_AT("utility::process::create", L"createProcess filename = [%s], param = [%s], show = %d",
           file.c_str(), params.c_str(), int{showCommand});
    std::wstring line = detail::commandLine(file, params);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &info)) {
        const DWORD error = GetLastError();
        LOG_AT("utility::process::create", L"createProcess failed!!! lastError = %d",
               static_cast<int>(error));
        SetLastError(error);  // for the caller, past whatever logging changed
        return {};
    }
    CloseHandle(info.hThread);
    if (processId != nullptr) *processId = info.dwProcessId;
    return UniqueHandle(info.hProcess);
}

bool execute(const std::wstring& file, const std::wstring& params, bool show, DWORD waitMs) {
    return execute(file, params, show, waitMs, nullptr);
}

bool execute(const std::wstring& file, const std::wstring& params, bool show, DWORD waitMs,
             HANDLE stop) {
    const UniqueHandle process = create(file, params, show);
    if (!process) {
        LOG_AT("utility::process::execute", L"execute failed!!! last error = %d",
               static_cast<int>(GetLastError()));
        return false;
    }
    if (waitMs == 0) return true;
    return waitForSuccess(process.get(), waitMs, stop);
}

bool openUrl(const std::wstring& target) {
    if (!detail::isWebAddress(target)) {
        LOG_AT("utility::process::openUrl", L"refused [ %s ]: not an http or https address.",
               target.c_str());
        return false;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    info.lpFile = L"iexplore.exe";
    info.lpParameters = target.c_str();
    return ShellExecuteExW(&info) != FALSE;
}

ProcessList listProcesses() {
    ProcessList list;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        std::printf("CreateToolhelp32Snapshot (of processes)\n");
        return list;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.get(), &entry)) {
        std::printf("Process32First\n");
        return list;
    }
    do {
        list.try_emplace(entry.szExeFile, entry.th32ProcessID);
    } while (Process32NextW(snapshot.get(), &entry));
    return list;
}

UniqueHandle createNamedMutex(const std::wstring& name, bool initialOwner, bool failIfExists) {
    UniqueHandle mutex(CreateMutexW(nullptr, initialOwner, name.c_str()));
    if (mutex && failIfExists && GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
    return mutex;
}

void bringWindowToFront(HWND window) {
    if (IsIconic(window)) SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
        ShowWindow(window, SW_SHOW);
        return;
    }
    constexpr UINT kKeepPlace = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE;
    SetForegroundWindow(window);
    BringWindowToTop(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
}

}  // namespace utility::process
