#include "utility/archive.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "7z.h"
#include "7zCrc.h"
#include "utility/handle.h"

namespace utility {
namespace {

// ---- SDK plumbing ------------------------------------------------------------------------------

void* crtAllocate(ISzAllocPtr, size_t size) {
    return std::malloc(size);
}
void crtFree(ISzAllocPtr, void* address) {
    std::free(address);
}

// Main and temporary allocations of the decoder both come from the C library.
const ISzAlloc kCrtAlloc = {crtAllocate, crtFree};

void ensureCrcTables() {
    static const bool ready = (CrcGenerateTable(), true);
    (void)ready;
}

// The archive bytes as the SDK's seekable input stream. The SDK hands the vtable address back to
// the callbacks, so the vtable is the first member.
struct MemoryInStream {
    ISeekInStream vt;
    const Byte* data;
    size_t size;
    size_t position;
};
static_assert(std::is_standard_layout_v<MemoryInStream> && offsetof(MemoryInStream, vt) == 0);

MemoryInStream& streamOf(ISeekInStreamPtr vt) {
    return *const_cast<MemoryInStream*>(reinterpret_cast<const MemoryInStream*>(vt));
}

SRes memoryRead(ISeekInStreamPtr vt, void* buffer, size_t* size) {
    MemoryInStream& stream = streamOf(vt);
    if (stream.position > stream.size) {
        *size = 0;
        return SZ_ERROR_INPUT_EOF;
    }
    const size_t count = std::min(*size, stream.size - stream.position);
    if (count != 0) std::memcpy(buffer, stream.data + stream.position, count);
    stream.position += count;
    *size = count;
    return SZ_OK;
}

// Positions past the end are allowed (reading there fails); positions before the start are not.
SRes memorySeek(ISeekInStreamPtr vt, Int64* offset, ESzSeek origin) {
    MemoryInStream& stream = streamOf(vt);
    Int64 base = 0;
    if (origin == SZ_SEEK_CUR)
        base = static_cast<Int64>(stream.position);
    else if (origin == SZ_SEEK_END)
        base = static_cast<Int64>(stream.size);
    else if (origin != SZ_SEEK_SET)
        return SZ_ERROR_PARAM;
    if (*offset < -base) return SZ_ERROR_PARAM;
    stream.position = static_cast<size_t>(base + *offset);
    *offset = static_cast<Int64>(stream.position);
    return SZ_OK;
}

// The memory stream behind the SDK's look-ahead reader, which the archive parser reads through.
class ArchiveInput {
public:
    ArchiveInput(const void* archive, size_t size) {
        memory_.vt.Read = memoryRead;
        memory_.vt.Seek = memorySeek;
        memory_.data = static_cast<const Byte*>(archive);
        memory_.size = archive != nullptr ? size : 0;
        memory_.position = 0;
        LookToRead2_CreateVTable(&look_, False);
        look_.realStream = &memory_.vt;
        look_.buf = buffer_.get();
        look_.bufSize = kBufferSize;
        LookToRead2_INIT(&look_);
    }
    ArchiveInput(const ArchiveInput&) = delete;
    ArchiveInput& operator=(const ArchiveInput&) = delete;

    ILookInStreamPtr stream() const { return &look_.vt; }

private:
    static constexpr size_t kBufferSize = size_t{1} << 16;
    MemoryInStream memory_{};
    CLookToRead2 look_{};
    std::unique_ptr<Byte[]> buffer_ = std::make_unique<Byte[]>(kBufferSize);
};

class ArchiveDatabase {
public:
    ArchiveDatabase() { SzArEx_Init(&db_); }
    ~ArchiveDatabase() { SzArEx_Free(&db_, &kCrtAlloc); }
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    SRes open(ILookInStreamPtr stream) { return SzArEx_Open(&db_, stream, &kCrtAlloc, &kCrtAlloc); }
    const CSzArEx& get() const { return db_; }

private:
    CSzArEx db_;
};

// The decoded content of one folder (solid block). The decoder only produces whole folders, so
// the current one is held in a buffer of its unpacked size until the next one replaces it.
class DecodedFolder {
public:
    SRes load(const CSzArEx& db, ILookInStreamPtr stream, UInt32 folderIndex) {
        if (bytes_ && folderIndex == index_) return SZ_OK;
        bytes_.reset();
        const UInt64 unpacked = SzAr_GetFolderUnpackSize(&db.db, folderIndex);
        if (unpacked == 0) return SZ_ERROR_ARCHIVE;  // a folder that holds data cannot be empty
        if (unpacked > SIZE_MAX) return SZ_ERROR_MEM;
        bytes_.reset(static_cast<Byte*>(std::malloc(static_cast<size_t>(unpacked))));
        if (!bytes_) return SZ_ERROR_MEM;
        size_ = static_cast<size_t>(unpacked);
        const SRes result = SzAr_DecodeFolder(&db.db, folderIndex, stream, db.dataPos, bytes_.get(),
                                              size_, &kCrtAlloc);
        if (result != SZ_OK) bytes_.reset();
        index_ = folderIndex;
        return result;
    }

    // The part of the folder that belongs to the entry, or nothing when the headers disagree
    // with the folder's size.
    std::optional<std::span<const Byte>> contentOf(const CSzArEx& db, UInt32 fileIndex) const {
        const UInt64 folderStart = db.UnpackPositions[db.FolderToFile[index_]];
        const UInt64 offset = db.UnpackPositions[fileIndex] - folderStart;
        const UInt64 size = SzArEx_GetFileSize(&db, fileIndex);
        if (offset > size_ || size > size_ - offset) return std::nullopt;
        return std::span<const Byte>(bytes_.get() + offset, static_cast<size_t>(size));
    }

private:
    struct Free {
        void operator()(Byte* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<Byte, Free> bytes_;
    size_t size_ = 0;
    UInt32 index_ = 0;
};

int toResult(SRes result) {
    switch (result) {
        case SZ_OK:
            return kArchiveOk;
        case SZ_ERROR_INPUT_EOF:
        case SZ_ERROR_READ:
            return kArchiveTruncated;
        case SZ_ERROR_UNSUPPORTED:
            return kArchiveUnsupported;
        case SZ_ERROR_MEM:
            return kArchiveNoMemory;
        case SZ_ERROR_CRC:
            return kArchiveCrcError;
        case SZ_ERROR_WRITE:
            return kArchiveWriteError;
        default:
            return kArchiveCorrupt;
    }
}

// ---- Entries and outputs -----------------------------------------------------------------------

struct ArchiveEntry {
    std::wstring name;
    bool isDirectory = false;
    std::optional<UInt32> crc;  // stored CRC-32, when the archive has one
};

std::wstring entryName(const CSzArEx& db, UInt32 index) {
    static_assert(sizeof(wchar_t) == sizeof(UInt16), "names are UTF-16");
    const size_t length = SzArEx_GetFileNameUtf16(&db, index, nullptr);  // with the terminator
    std::wstring name(length, L'\0');
    SzArEx_GetFileNameUtf16(&db, index, reinterpret_cast<UInt16*>(name.data()));
    name.resize(length - 1);
    return name;
}

ArchiveEntry describeEntry(const CSzArEx& db, UInt32 index) {
    ArchiveEntry entry;
    entry.name = entryName(db, index);
    entry.isDirectory = SzArEx_IsDir(&db, index);
    if (SzBitWithVals_Check(&db.CRCs, index)) entry.crc = db.CRCs.Vals[index];
    return entry;
}

bool contentMatches(const ArchiveEntry& entry, std::span<const Byte> content) {
    return !entry.crc || CrcCalc(content.data(), content.size()) == *entry.crc;
}

// Receives every entry in archive order with its whole content. An output that refuses an entry
// has recorded why; only its first error counts.
class EntryOutput {
public:
    virtual ~EntryOutput() = default;
    // False stops the extraction.
    virtual bool accept(const ArchiveEntry& entry, std::span<const Byte> content) = 0;
    int error() const { return error_; }

protected:
    bool fail(int code) {
        if (error_ == kArchiveOk) error_ = code;
        return false;
    }

private:
    int error_ = kArchiveOk;
};

SRes deliverEntries(const CSzArEx& db, ILookInStreamPtr stream, EntryOutput& output) {
    DecodedFolder folder;
    for (UInt32 index = 0; index < db.NumFiles; ++index) {
        std::span<const Byte> content;
        if (SzArEx_GetFileSize(&db, index) != 0) {
            const UInt32 folderIndex = db.FileToFolder[index];
            if (folderIndex == UInt32(-1)) return SZ_ERROR_ARCHIVE;
            if (const SRes result = folder.load(db, stream, folderIndex); result != SZ_OK)
                return result;
            const auto part = folder.contentOf(db, index);
            if (!part) return SZ_ERROR_FAIL;
            content = *part;
        }
        if (!output.accept(describeEntry(db, index), content)) return SZ_ERROR_WRITE;
    }
    return SZ_OK;
}

int extract(const void* archive, size_t size, EntryOutput& output) {
    try {
        ensureCrcTables();
        const ArchiveInput input(archive, size);
        ArchiveDatabase database;
        SRes result = database.open(input.stream());
        if (result == SZ_OK) result = deliverEntries(database.get(), input.stream(), output);
        return output.error() != kArchiveOk ? output.error() : toResult(result);
    } catch (const std::bad_alloc&) {
        return kArchiveNoMemory;
    }
}

// ---- Folder output -----------------------------------------------------------------------------

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Windows drops trailing dots and blanks from a path segment, so any segment made only of dots
// and blanks, with at least two dots, is treated as "..".
bool climbsUp(std::wstring_view segment) {
    return segment.find_first_not_of(L". ") == std::wstring_view::npos &&
           std::count(segment.begin(), segment.end(), L'.') >= 2;
}

// True when the name, taken below a folder, stays below it: no root, drive, server or stream part
// (none of them can start with or contain a separator or colon then) and no step up.
bool staysBelow(std::wstring_view name) {
    if (!name.empty() && isSeparator(name.front())) return false;
    if (name.find(L':') != std::wstring_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        if (climbsUp(name.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring path = folder;
    if (!path.empty() && !isSeparator(path.back())) path.push_back(L'\\');
    for (const wchar_t c : name) path.push_back(c == L'/' ? L'\\' : c);
    return path;
}

// Failures are left to show when the file inside is created.
void createDirectories(const std::wstring& path) {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path), ignored);
}

std::wstring parentOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

UniqueHandle createFileForWriting(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool writeAll(HANDLE file, std::span<const Byte> bytes) {
    constexpr size_t kChunk = size_t{1} << 20;
    while (!bytes.empty()) {
        const DWORD count = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), count, &written, nullptr) || written != count)
            return false;
        bytes = bytes.subspan(count);
    }
    return true;
}

class FolderOutput final : public EntryOutput {
public:
    explicit FolderOutput(const std::wstring& destination) : destination_(destination) {}

    bool accept(const ArchiveEntry& entry, std::span<const Byte> content) override {
        if (!staysBelow(entry.name)) return fail(kArchiveUnsafeName);
        const std::wstring path = joinPath(destination_, entry.name);
        if (entry.isDirectory) {
            createDirectories(path);
            return true;
        }
        createDirectories(parentOf(path));
        UniqueHandle file = createFileForWriting(path);
        if (!file) return fail(kArchiveCreateError);
        if (!writeAll(file.get(), content)) return fail(kArchiveWriteError);
        file.reset();  // the file stays whatever its check says
        if (!contentMatches(entry, content)) return fail(kArchiveCrcError);
        return true;
    }

private:
    const std::wstring& destination_;
};

// ---- Callback output ---------------------------------------------------------------------------

class CallbackOutput final : public EntryOutput {
public:
    explicit CallbackOutput(const ArchiveFileCallback& callback) : callback_(callback) {}

    bool accept(const ArchiveEntry& entry, std::span<const Byte> content) override {
        if (entry.isDirectory || content.empty()) return true;
        if (!contentMatches(entry, content)) return fail(kArchiveCrcError);
        if (callback_) callback_(entry.name, content.data(), content.size());
        return true;
    }

private:
    const ArchiveFileCallback& callback_;
};

}  // namespace

int extractArchiveToFolder(const void* archive, std::size_t size, const std::wstring& destination) {
    FolderOutput output(destination);
    return extract(archive, size, output);
}

int forEachArchiveFile(const void* archive, std::size_t size, const ArchiveFileCallback& callback) {
    CallbackOutput output(callback);
    return extract(archive, size, output);
}

}  // namespace utility
