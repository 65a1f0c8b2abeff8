// A second copy of the downloader, as far as the single-instance guard goes.
// "popup": exits with 1 when another copy runs (and has been asked to show itself), else 0.
#include <windows.h>

#include <string>

#include "app/config_imp.h"
#include "engine/downloader_model.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || std::wstring(argv[1]) != L"popup") return 2;
    ConfigImp config;
    DownloaderModel model(config);
    const bool running = model.popupExistPwnd();
    model.stop();
    return running ? 1 : 0;
}
