// Extraction of 7z archives held in memory (the skin and font archives carried as resources):
// either into files below a folder, or entry by entry into a callback.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace utility {

// Results of the extraction functions. 0 is success; any other value is the first error seen.
enum ArchiveResult : int {
    kArchiveOk = 0,
    kArchiveCorrupt = 1,      // not a 7z archive, or its structure or packed data is damaged
    kArchiveTruncated = 2,    // the archive ends before its data or headers do
    kArchiveUnsupported = 3,  // a method or feature the decoder does not have
    kArchiveNoMemory = 4,     // a folder or header does not fit in memory
    kArchiveCrcError = 5,     // an entry's content does not match its stored CRC
    kArchiveCreateError = 6,  // an output file could not be created
    kArchiveWriteError = 7,   // an output refused bytes
    kArchiveUnsafeName = 8,   // an entry name would land outside the destination folder
};

// Receives one file entry: its stored name, its content and the content's size in bytes.
using ArchiveFileCallback =
    std::function<void(const std::wstring& name, const unsigned char* data, std::size_t size)>;

// Writes every entry of the archive below the destination folder: directory entries become
// folders, file entries files (replacing existing ones). Stops at the first error; files written
// before it stay. Returns kArchiveOk or the first error.
int extractArchiveToFolder(const void* archive, std::size_t size, const std::wstring& destination);

// Calls the callback once for every non-empty file entry, in archive order, with its complete and
// CRC-checked content. Stops at the first error; entries delivered before it stay delivered.
// Returns kArchiveOk or the first error.
int forEachArchiveFile(const void* archive, std::size_t size, const ArchiveFileCallback& callback);

}  // namespace utility
