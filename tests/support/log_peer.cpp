// Second process for the log tests: appends numbered lines to the log file it is given.
//   log_peer.exe <log path> <line count>
#include <windows.h>

#include <cwchar>

#include "utility/log.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    initUtilities();
    openLogFile(argv[1]);
    const int count = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    for (int i = 0; i < count; ++i) writeLog("peer::main", __LINE__, L"peer line %d", i);
    closeLogFile();
    return 0;
}
