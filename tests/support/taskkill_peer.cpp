// Stands in for the system's "taskkill" when copied as taskkill.exe beside a program that runs
// it: appends its command line to "taskkill.log" beside itself, then ends the processes named
// by "/IM" (compared without case, as the system tool does). Wine's own tool lacks "/T".
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

#include "utility/file.h"
#include "utility/handle.h"
#include "utility/text.h"

namespace {

void record(const std::wstring& line) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring log = utility::ufile::parentDir(self) + L"taskkill.log";
    utility::FileHandle file;
    if (!file.openWrite(log, true)) return;
    file.seekEnd();
    const std::string bytes = utility::wideToUtf8(line) + "\n";
    file.write(bytes.data(), static_cast<DWORD>(bytes.size()));
}

int killByName(const std::wstring& name) {
    const utility::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int killed = 0;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0) continue;
        const utility::UniqueHandle process(
            OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), 1)) ++killed;
    }
    return killed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring line;
    std::wstring name;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += L' ';
        line += argv[i];
        if (_wcsicmp(argv[i], L"/IM") == 0 && i + 1 < argc) name = argv[i + 1];
    }
    record(line);
    return !name.empty() && killByName(name) > 0 ? 0 : 128;
}
