#include "utility/file.h"

#include <shlobj.h>

#include "utility/log.h"

namespace utility::ufile {
namespace {

UniqueHandle openForSize(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::size_t lastSeparator(const std::wstring& path) {
    const std::size_t backslash = path.rfind(L'\\');
    return backslash != std::wstring::npos ? backslash : path.rfind(L'/');
}

}  // namespace

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool getFileSize(const std::wstring& path, std::uint64_t& size) {
    const UniqueHandle file = openForSize(path);
    LARGE_INTEGER value{};
    if (!file || !GetFileSizeEx(file.get(), &value)) return false;
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

std::wstring fileName(const std::wstring& path, bool keepExtension) {
    const std::size_t separator = lastSeparator(path);
    if (separator == std::wstring::npos) return {};
    std::wstring name = path.substr(separator + 1);
    if (!keepExtension) {
        const std::size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.erase(dot);
    }
    return name;
}

std::wstring parentDir(const std::wstring& path) {
    if (path.size() < 2) return {};
    std::wstring folder = path;
    if (folder.back() == L'\\' || folder.back() == L'/') folder.pop_back();
    const std::size_t separator = lastSeparator(folder);
    if (separator == std::wstring::npos) return {};
    return folder.substr(0, separator + 1);
}

std::wstring exeDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return parentDir(path);
}

std::wstring appDataDir() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return path;
}

bool makeDir(const std::wstring& path) {
    const int result = SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) {
        return true;
    }
    LOG_AT("utility::ufile::makeDir", L"make dir failed! error = %d.", result);
    return false;
}

bool moveFile(const std::wstring& from, const std::wstring& to, DWORD flags) {
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
    const DWORD error = GetLastError();
    LOG_AT("utility::ufile::moveFile",
           L"move file from [ %s ] to [ %s ] flag = %d failed! error = %d.", from.c_str(),
           to.c_str(), static_cast<int>(flags), static_cast<int>(error));
    return false;
}

bool removeFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    LOG_AT("utility::ufile::removeFile", L"removeFile file from [ %s ] error = %d.", path.c_str(),
           static_cast<int>(error));
    return false;
}

}  // namespace utility::ufile

namespace utility {

bool FileHandle::open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    close();
    handle_.reset(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.valid();
}

bool FileHandle::openRead(const std::wstring& path) {
    if (!open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(handle_.get(), &value)) {
        close();
        return false;
    }
    size_ = value.LowPart;
    return true;
}

bool FileHandle::openWrite(const std::wstring& path, bool createIfMissing) {
    return open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                createIfMissing ? OPEN_ALWAYS : OPEN_EXISTING);
}

bool FileHandle::createAlways(const std::wstring& path) {
    return open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                CREATE_ALWAYS);
}

DWORD FileHandle::read(void* buffer, DWORD count) {
    DWORD done = 0;
    if (!handle_ || !ReadFile(handle_.get(), buffer, count, &done, nullptr)) return 0;
    return done;
}

bool FileHandle::write(const void* buffer, DWORD count) {
    DWORD done = 0;
    if (!handle_ || !WriteFile(handle_.get(), buffer, count, &done, nullptr)) return false;
    return done == count;
}

bool FileHandle::seekEnd() {
    LARGE_INTEGER position{};
    if (!handle_ || !SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, &position, FILE_END)) {
        return false;
    }
    return position.LowPart != 0;
}

void FileHandle::close() {
    handle_.reset();
    size_ = 0;
}

}  // namespace utility
