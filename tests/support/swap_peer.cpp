// Tries to change a file that another program is about to run: swap_peer FILE FROM TO MS
// opens FILE for writing again and again (as soon as it exists) for at most MS milliseconds,
// and at the first open that succeeds writes TO over the first FROM among the file's last
// 64 KiB. Prints "swapped after N refusals" and ends with 0, or "refused N times" and ends
// with 1 when no open succeeded in time (N: opens refused because another handle does not share
// writing).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "utility/handle.h"
#include "utility/text.h"

namespace {

constexpr LONGLONG kTail = 64 * 1024;

// Overwrites the first occurrence of from among the file's last bytes; false when there is none.
bool overwrite(HANDLE file, const std::string& from, const std::string& to) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return false;
    const LONGLONG start = std::max<LONGLONG>(0, size.QuadPart - kTail);
    std::vector<char> tail(static_cast<std::size_t>(size.QuadPart - start));
    LARGE_INTEGER at{};
    at.QuadPart = start;
    DWORD read = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        !ReadFile(file, tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr)) {
        return false;
    }
    const std::string bytes(tail.data(), read);
    const auto found = bytes.find(from);
    if (found == std::string::npos) return false;
    at.QuadPart = start + static_cast<LONGLONG>(found);
    DWORD written = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           WriteFile(file, to.data(), static_cast<DWORD>(to.size()), &written, nullptr) &&
           written == to.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    const std::wstring path = argv[1];
    const std::string from = utility::wideToUtf8(argv[2]);
    const std::string to = utility::wideToUtf8(argv[3]);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(_wtoi(argv[4]));
    unsigned refusals = 0;
    while (GetTickCount64() < end) {
        const utility::UniqueHandle file(
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
        if (file && overwrite(file.get(), from, to)) {
            std::printf("swapped after %u refusals\n", refusals);
            return 0;
        }
        if (!file && GetLastError() == ERROR_SHARING_VIOLATION) ++refusals;
        Sleep(0);
    }
    std::printf("refused %u times\n", refusals);
    return 1;
}
