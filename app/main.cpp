// Process entry: COM, sockets, the work folder and the log, the application's top-level object
// and the message loop, then an orderly end.
#include <windows.h>
#include <objbase.h>
#include <winsock2.h>

#include <string>

#include "app/download_impl.h"
#include "toolkit/window_base.h"
#include "utility/file.h"
#include "utility/library_search.h"
#include "utility/log.h"

namespace {

// The roaming application-data folder's "txdownloader_en", with a trailing backslash.
std::wstring workFolder() {
    return utility::ufile::appDataDir() + L"\\txdownloader_en\\";
}

// Runs until the quit message; returns its code (0 unless the run could not show its window).
int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (tk::WindowBase::preTranslateMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    // Before anything can load a library from the executable's folder.
    const utility::LibrarySearch search =
        utility::restrictLibrarySearch(GetModuleHandleW(L"kernel32.dll"));
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        MessageBoxW(nullptr, L"error", L"error1", MB_OK);
        return 0;
    }
    WSADATA winsock{};
    WSAStartup(MAKEWORD(2, 2), &winsock);

    const std::wstring folder = workFolder();
    if (!utility::ufile::exists(folder)) utility::ufile::makeDir(folder);
    initUtilities();
    openLogFile(folder + L"downloader.log");
    writeLog("wWinMain", __LINE__, L"\r\n\r\n start run");
    writeLog("wWinMain", __LINE__, L"library search: %s", utility::librarySearchText(search));

    DownloadImpl application;
    if (!application.entrance(instance, commandLine && *commandLine ? commandLine : nullptr)) {
        closeLogFile();
        CoUninitialize();
        return 0;
    }
    const int code = runMessageLoop();

    application.unregisterFont();
    application.shutdown();
    Sleep(1000);
    closeLogFile();
    CoUninitialize();
    return code;
}
