#include "toolkit/skin_store.h"

#include <algorithm>
#include <new>

#include "utility/archive.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/log.h"

namespace tk {
namespace {

utility::UniqueHandle openForReading(const std::wstring& path) {
    return utility::UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::uint64_t sizeOf(const utility::UniqueHandle& file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool readAll(const utility::UniqueHandle& file, Bytes& bytes) {
    constexpr DWORD kChunk = 1u << 20;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(kChunk, bytes.size() - done));
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, wanted, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

std::wstring moduleFolder(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    return utility::ufile::parentDir(path);
}

}  // namespace

std::optional<Bytes> readDiskFile(const std::wstring& path, std::uint64_t maxSize) {
    const utility::UniqueHandle file = openForReading(path);
    if (!file) return std::nullopt;
    const std::uint64_t size = sizeOf(file);
    if (size == 0 || size > maxSize || size > SIZE_MAX) return std::nullopt;
    Bytes bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!readAll(file, bytes)) return std::nullopt;
    return bytes;
}

void SkinStore::setInstance(HMODULE module) {
    instance_ = module;
    instanceFolder_ = moduleFolder(module);
}

void SkinStore::setInstanceFolder(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder.push_back(L'\\');
    instanceFolder_ = std::move(folder);
}

bool SkinStore::setResourcePathFromInstance() {
    const std::wstring folder = instanceFolder_ + L"skin\\";
    const bool found =
        !instanceFolder_.empty() && utility::ufile::exists(instanceFolder_ + L"skin");
    resourcePath_ = found ? folder : std::wstring();
    return found;
}

void SkinStore::setResourcePath(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder.push_back(L'\\');
    resourcePath_ = std::move(folder);
}

bool SkinStore::registerArchive(HMODULE module) {
    archive_.clear();
    const HRSRC resource =
        FindResourceW(module, MAKEINTRESOURCEW(kArchiveResourceId), kArchiveResourceType);
    const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = resource ? SizeofResource(module, resource) : 0;
    if (!data || size == 0) {
        LOG_AT("tk::SkinStore::registerArchive", L"skin archive not found. error = %d.",
               static_cast<int>(GetLastError()));
        return false;
    }
    return registerArchiveBytes(data, size);
}

bool SkinStore::registerArchiveBytes(const void* data, std::size_t size) {
    archive_.clear();
    std::map<std::wstring, Bytes> entries;
    const int result = utility::forEachArchiveFile(
        data, size, [&](const std::wstring& name, const unsigned char* bytes, std::size_t count) {
            entries[name].assign(bytes, bytes + count);
        });
    if (result != utility::kArchiveOk) {
        LOG_AT("tk::SkinStore::registerArchiveBytes", L"skin archive unreadable. result = %d.",
               result);
        return false;
    }
    archive_ = std::move(entries);
    return true;
}

bool SkinStore::hasDrive(const std::wstring& name) {
    if (name.size() < 2 || name[1] != L':') return false;
    const wchar_t letter = name[0];
    return (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
}

std::wstring SkinStore::diskPath(const std::wstring& name) const {
    if (hasDrive(name)) return name;
    return resourcePath_.empty() ? std::wstring() : resourcePath_ + name;
}

std::wstring SkinStore::archivePath(const std::wstring& name) {
    std::wstring path = name;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

std::optional<Bytes> SkinStore::load(const std::wstring& name) const {
    const std::wstring disk = diskPath(name);
    if (!disk.empty()) {
        if (std::optional<Bytes> bytes = readDiskFile(disk)) return bytes;
    }
    if (hasDrive(name)) return std::nullopt;
    const Bytes* entry = archiveEntry(archivePath(name));
    if (!entry) return std::nullopt;
    return *entry;
}

bool SkinStore::exists(const std::wstring& name) const {
    const std::wstring disk = diskPath(name);
    if (!disk.empty()) {
        const utility::UniqueHandle file = openForReading(disk);
        if (file && sizeOf(file) != 0) return true;
    }
    return !hasDrive(name) && archiveEntry(archivePath(name)) != nullptr;
}

const Bytes* SkinStore::archiveEntry(const std::wstring& path) const {
    const auto found = archive_.find(path);
    return found == archive_.end() ? nullptr : &found->second;
}

SkinStore& skinStore() {
    static SkinStore store;
    return store;
}

}  // namespace tk
