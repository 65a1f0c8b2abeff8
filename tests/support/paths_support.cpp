#include "tests/support/test_support.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace testing_support {
namespace {

// Wine maps the Unix root to drive Z:, so a build path is reachable as Z:\...
std::wstring unixToWindows(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c; ++c) path.push_back(*c == '/' ? L'\\' : wchar_t(*c));
    return path;
}

}  // namespace

std::wstring peerPath(const std::wstring& name) {
    return unixToWindows(TAMRIX_TEST_BIN_DIR) + L"\\" + name + L".exe";
}

std::wstring peerLibraryPath(const std::wstring& name) {
    return unixToWindows(TAMRIX_TEST_BIN_DIR) + L"\\" + name + L".dll";
}

std::wstring dataDir() {
    return unixToWindows(TAMRIX_TEST_DATA_DIR) + L"\\";
}

// Wine reuses process ids between runs, so the folder name comes from a fresh GUID, and a folder
// that exists already (left by an earlier run) is never taken over.
TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    CreateDirectoryW(base, nullptr);  // Wine's prefix may lack its temporary folder
    for (int attempt = 0; attempt < 16; ++attempt) {
        GUID guid{};
        CoCreateGuid(&guid);
        wchar_t name[64] = {};
        wsprintfW(name, L"tamrix-test-%08lX%04X%04X\\", guid.Data1, guid.Data2, guid.Data3);
        path_ = std::wstring(base) + name;
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    }
}

TempDir::~TempDir() {
    std::wstring from = path_.substr(0, path_.size() - 1);
    from.push_back(L'\0');  // the shell wants a double-zero-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

PeerProcess::PeerProcess(const std::wstring& name, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + peerPath(name) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
    }
}

PeerProcess::~PeerProcess() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    CloseHandle(process_);
}

long PeerProcess::wait(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

std::string readFileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace testing_support
