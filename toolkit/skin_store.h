// The files of the skin: layouts, images and tables, found first in a "skin" folder beside the
// running executable and then in the 7z archive the executable carries as a resource. One store
// per process (skinStore()), filled once at start-up and kept until the process ends; it owns
// copies of every archive entry. UI thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tk {

using Bytes = std::vector<unsigned char>;

// Whole content of a file on disk, when it opens, its size is between 1 and maxSize bytes and it
// reads completely; nothing otherwise (a missing, empty, oversized or unreadable file).
std::optional<Bytes> readDiskFile(const std::wstring& path, std::uint64_t maxSize = 0x7FFFFFFFu);

class SkinStore {
public:
    // Where the skin archive sits among the executable's resources.
    static constexpr const wchar_t* kArchiveResourceType = L"ZIPRES";
    static constexpr int kArchiveResourceId = 129;

    // The module whose folder becomes the instance folder (nullptr: the executable).
    void setInstance(HMODULE module);
    // Sets the instance folder directly; a trailing backslash is added when missing.
    void setInstanceFolder(std::wstring folder);
    HMODULE instance() const { return instance_; }
    // Folder of the running module, with a trailing backslash.
    const std::wstring& instanceFolder() const { return instanceFolder_; }

    // Resource path := instance folder + "skin\" when that file-system entry exists, else empty.
    // True when it was set.
    bool setResourcePathFromInstance();
    const std::wstring& resourcePath() const { return resourcePath_; }
    // Sets the resource path directly (tools that show another skin folder); a trailing
    // backslash is added when missing.
    void setResourcePath(std::wstring folder);

    // Replaces the archive map with every entry of the module's skin archive. A missing or
    // unreadable archive leaves the map empty and gives false (logged).
    bool registerArchive(HMODULE module);
    // The same for a 7z archive held in memory.
    bool registerArchiveBytes(const void* data, std::size_t size);

    // The file by name: a name with a drive ("C:...") is read from disk only; otherwise the
    // skin folder is tried first (when the resource path is set), then the archive, with "\"
    // read as "/". A disk file counts only when it is not empty and reads completely.
    std::optional<Bytes> load(const std::wstring& name) const;
    // Whether load would find the file (a disk file counts when it opens and is not empty).
    bool exists(const std::wstring& name) const;

    // The archive entry stored under exactly this path, or nullptr; owned by the store.
    const Bytes* archiveEntry(const std::wstring& path) const;
    std::size_t archiveEntryCount() const { return archive_.size(); }

private:
    static bool hasDrive(const std::wstring& name);
    // The disk path the name is tried at, or empty when the disk is not tried.
    std::wstring diskPath(const std::wstring& name) const;
    static std::wstring archivePath(const std::wstring& name);

    HMODULE instance_ = nullptr;
    std::wstring instanceFolder_;
    std::wstring resourcePath_;
    std::map<std::wstring, Bytes> archive_;
};

// The store of the process, created on first use.
SkinStore& skinStore();

}  // namespace tk
