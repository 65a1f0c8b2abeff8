// A program the tests start as another process. The first argument names what it does:
//   (none)               signals "tamrix-peer-started-<own file name without extension>" if
//                        such an event exists, exit code 0
//   exit N               exit code N
//   signal EVENT         signals the named event, exit code 0
//   hold READY RELEASE [N]  signals READY, waits until RELEASE is signalled, exit code N (0);
//                        exit code 99 if RELEASE stays unsignalled for two minutes
//   argc ...             exit code = number of arguments as the program sees them
//   show-state           exit code = the show state of its startup information, 100 without one
//   mutex NAME           exit code 0 if it could create the named mutex as a new one, else 1
#include <windows.h>

#include <cwchar>
#include <string>

#include "utility/file.h"
#include "utility/handle.h"
#include "utility/process.h"

namespace {

constexpr DWORD kHoldLimitMs = 120000;

bool signalEvent(const wchar_t* name) {
    const utility::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    return event && SetEvent(event.get());
}

int announceStart() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring name = L"tamrix-peer-started-" + utility::ufile::fileName(path, false);
    signalEvent(name.c_str());
    return 0;
}

int hold(int argc, wchar_t** argv) {
    if (argc < 4) return 98;
    const utility::UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, argv[3]));
    if (!release || !signalEvent(argv[2])) return 97;
    if (WaitForSingleObject(release.get(), kHoldLimitMs) != WAIT_OBJECT_0) return 99;
    return argc > 4 ? _wtoi(argv[4]) : 0;
}

int showState() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : 100;
}

int newMutex(const wchar_t* name) {
    return utility::process::createNamedMutex(name, false, true) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return announceStart();
    const std::wstring command = argv[1];
    if (command == L"exit" && argc > 2) return _wtoi(argv[2]);
    if (command == L"signal" && argc > 2) return signalEvent(argv[2]) ? 0 : 1;
    if (command == L"hold") return hold(argc, argv);
    if (command == L"argc") return argc;
    if (command == L"show-state") return showState();
    if (command == L"mutex" && argc > 2) return newMutex(argv[2]);
    return 64;
}
