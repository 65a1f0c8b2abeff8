// Process entry: COM, sockets, the work folder and the log, then an orderly end.
#include <windows.h>
#include <objbase.h>
#include <winsock2.h>

#include <string>

#include "utility/file.h"
#include "utility/log.h"

namespace {

// The roaming application-data folder's "txdownloader_en", with a trailing backslash.
std::wstring workFolder() {
    return utility::ufile::appDataDir() + L"\\txdownloader_en\\";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
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

    closeLogFile();
    CoUninitialize();
    return 0;
}
