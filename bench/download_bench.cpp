// One 1 GiB file from the vendor double, inside the isolated world, through each transfer
// client and, side by side, through the native curl command: MiB/s, CPU seconds, peak memory.
// The libcurl client caps its rate at 20 MiB/s by design, so native curl runs twice: without a
// cap, and capped at the same 20 MiB/s.
//
// Each Windows client runs in a fresh process of this program ("--client NAME FILE RESULT"),
// so its CPU time and peak memory are its own; native curl runs under /usr/bin/time.
// scripts/bench.sh starts this benchmark through scripts/world.sh.
#include <windows.h>

#include <curl/curl.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/deployment.h"
#include "net/http_downloader.h"
#include "net/tx_curl_downloader.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/text.h"

namespace {

constexpr std::uint64_t kFileSize = 1024ull * 1024 * 1024;
constexpr const char* kTarget = "/bench/tamrix-1g.bin";
constexpr DWORD kRunBoundMs = 30 * 60 * 1000;
constexpr double kMiB = 1024.0 * 1024.0;

struct Figures {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
};

std::string cdnHost() {
    return utility::wideToUtf8(std::wstring(deployment::values().cdnHost));
}

std::wstring environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// Windows view of a Unix path (Wine's Z: drive).
std::wstring windowsPath(const std::wstring& unixPath) {
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

double fileTimeSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double nowSeconds() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The file has the double's pattern (offset modulo 251) at its start, middle and end.
bool isWholePattern(const std::wstring& path) {
    std::uint64_t size = 0;
    if (!utility::ufile::getFileSize(path, size) || size != kFileSize) return false;
    std::ifstream in(path.c_str(), std::ios::binary);
    for (const std::uint64_t offset : {std::uint64_t{0}, kFileSize / 2 + 17, kFileSize - 4096}) {
        std::string bytes(4096, '\0');
        in.seekg(static_cast<std::streamoff>(offset));
        if (!in.read(bytes.data(), 4096)) return false;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != static_cast<char>((offset + i) % 251)) return false;
        }
    }
    return true;
}

// Child: one download through one client, then its own figures into the result file.
int runClient(const std::wstring& client, const std::wstring& file, const std::wstring& result) {
    const std::string url = "https://" + cdnHost() + kTarget;
    DeleteFileW(file.c_str());
    const double start = nowSeconds();
    bool done = false;
    if (client == L"curl") {
        curl_global_init(CURL_GLOBAL_ALL);
        TxCurlDownloader curl;
        done = curl.downloadFile(utility::wideToAnsi(file), url, [](int) {});
        curl_global_cleanup();
    } else {
        utility::CHttpDownloader http;
        done = http.download2file(utility::utf8ToWide(url), file, nullptr, false);
    }
    const double seconds = nowSeconds() - start;
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    const bool whole = done && isWholePattern(file);
    DeleteFileW(file.c_str());
    std::ofstream out(result.c_str());
    out << (whole ? 1 : 0) << ' ' << seconds << ' '
        << fileTimeSeconds(kernel) + fileTimeSeconds(user) << ' '
        << static_cast<double>(memory.PeakWorkingSetSize) / kMiB << '\n';
    return whole ? 0 : 1;
}

Figures readFigures(const std::wstring& result) {
    Figures figures;
    std::ifstream in(result.c_str());
    int ok = 0;
    if (in >> ok >> figures.seconds >> figures.cpuSeconds >> figures.peakMiB) figures.ok = ok == 1;
    return figures;
}

Figures runWindowsClient(const std::wstring& client, const std::wstring& folder) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring result = folder + L"bench-" + client + L".txt";
    DeleteFileW(result.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --client " + client + L" \"" + folder +
                           L"bench-" + client + L".bin\" \"" + result + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return {};
    }
    const utility::UniqueHandle processHandle(process.hProcess);
    const utility::UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), kRunBoundMs);
    return readFigures(result);
}

// Native curl under /usr/bin/time. Wine starts Unix programs but cannot wait for them, so the
// result file written at their end is what is waited for.
Figures runNativeCurl(const std::wstring& unixFolder, const std::wstring& rateLimit) {
    const std::wstring timeFile = unixFolder + L"/bench-native.time";
    const std::wstring file = unixFolder + L"/bench-native.bin";
    DeleteFileW(windowsPath(timeFile).c_str());
    std::wstring command =
        L"Z:\\usr\\bin\\time -o " + timeFile + L" -f \"%e %U %S %M\" /usr/bin/curl -sS -o " + file;
    if (!rateLimit.empty()) command += L" --limit-rate " + rateLimit;
    command +=
        L" https://" + std::wstring(deployment::values().cdnHost) + utility::utf8ToWide(kTarget);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return {};
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    Figures figures;
    const ULONGLONG deadline = GetTickCount64() + kRunBoundMs;
    double user = 0, system = 0, peakKiB = 0;
    while (GetTickCount64() < deadline) {
        std::ifstream in(windowsPath(timeFile).c_str());
        if (in >> figures.seconds >> user >> system >> peakKiB) break;
        Sleep(200);
    }
    std::uint64_t size = 0;
    figures.ok = utility::ufile::getFileSize(windowsPath(file), size) && size == kFileSize;
    figures.cpuSeconds = user + system;
    figures.peakMiB = peakKiB / 1024.0;
    DeleteFileW(windowsPath(file).c_str());
    return figures;
}

void print(const char* name, const Figures& figures) {
    if (!figures.ok) {
        std::printf("%-34s failed\n", name);
        return;
    }
    std::printf("%-34s %8.1f MiB/s %8.1f s %8.2f CPU s %8.1f MiB peak\n", name,
                kFileSize / kMiB / figures.seconds, figures.seconds, figures.cpuSeconds,
                figures.peakMiB);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--client") {
        return runClient(argv[2], argv[3], argv[4]);
    }
    const std::wstring unixWorld = environment(L"TAMRIX_WORLD_DIR");
    if (unixWorld.empty()) {
        std::printf("download_bench: run inside the world (scripts/bench.sh does)\n");
        return 2;
    }
    const std::wstring world = windowsPath(unixWorld) + L"\\";
    {
        std::ofstream scenario((world + L"scenario.json").c_str(), std::ios::binary);
        scenario << "{\"rules\":[{\"host\":\"" << cdnHost() << "\",\"path\":\"" << kTarget
                 << "\",\"status\":200,\"body\":{\"size\":" << kFileSize << "}}]}";
    }
    std::printf("1 GiB over HTTPS from the vendor double (loopback), written to a file\n");
    std::fflush(stdout);
    print("libcurl client (capped 20 MiB/s)", runWindowsClient(L"curl", world));
    std::fflush(stdout);
    print("system HTTP client (WinINet)", runWindowsClient(L"wininet", world));
    std::fflush(stdout);
    print("native curl, capped at 20 MiB/s", runNativeCurl(unixWorld, L"20M"));
    std::fflush(stdout);
    print("native curl, no cap", runNativeCurl(unixWorld, L""));
    std::printf("libcurl client target: 95%% of 20 MiB/s = %.1f MiB/s\n", 0.95 * 20);
    return 0;
}
