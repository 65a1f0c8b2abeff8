// Files and folders: existence, sizes, path pieces, well-known folders, and a raw file handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utility/handle.h"

namespace utility::ufile {

// True if a file or folder exists at the path.
bool exists(const std::wstring& path);
// The 64-bit size of an existing file (opened shared for reading); false if it cannot be read.
bool getFileSize(const std::wstring& path, std::uint64_t& size);

// Text after the last backslash (or, without one, after the last slash); empty without either.
// Without keepExtension the text is cut at its last ".".
std::wstring fileName(const std::wstring& path, bool keepExtension);
// Everything up to and including the last separator, after dropping one trailing separator;
// empty for paths of fewer than two characters or without separator.
std::wstring parentDir(const std::wstring& path);

// Folder of the running executable, with a trailing backslash.
std::wstring exeDir();
// The current user's roaming application-data folder, without trailing backslash; empty on
// failure.
std::wstring appDataDir();

// Creates the folder and its missing parents; true if it exists afterwards. Logs failures.
bool makeDir(const std::wstring& path);
// Moves or renames with the MOVEFILE_* flags; logs failures.
bool moveFile(const std::wstring& from, const std::wstring& to, DWORD flags);
// Deletes the file; logs failures.
bool removeFile(const std::wstring& path);

}  // namespace utility::ufile

namespace utility {

// One open file. Not copyable; closing is idempotent and happens on destruction.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens an existing file for reading (shared for reading) and records its size.
    bool openRead(const std::wstring& path);
    // Opens for reading and writing, shared for both; creates the file only when asked.
    bool openWrite(const std::wstring& path, bool createIfMissing);
    // Opens for reading and writing as a new empty file, truncating an existing one.
    bool createAlways(const std::wstring& path);

    // Bytes read into the buffer; 0 on failure or at the end.
    DWORD read(void* buffer, DWORD count);
    // True only if every byte was written.
    bool write(const void* buffer, DWORD count);
    // Moves to the end; true if that position is not 0, so an empty file gives false.
    bool seekEnd();
    void close();

    bool isOpen() const { return handle_.valid(); }
    // Size recorded by openRead (low 32 bits); 0 otherwise.
    DWORD size() const { return size_; }

private:
    bool open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition);

    UniqueHandle handle_;
    DWORD size_ = 0;
};

}  // namespace utility
