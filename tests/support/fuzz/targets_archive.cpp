// The fuzz target of the resource archive extractor, and the seed helpers the targets share.
#include <windows.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "tests/support/fuzz/fuzz_targets.h"
#include "tests/support/test_support.h"
#include "utility/archive.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

std::uint32_t crc32(const char* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint64_t readLe(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

void writeLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 7z archive starts with a 32-byte header: signature, version, the CRC of the next 20 bytes,
// and the offset, size and CRC of the header database at the end. Both CRCs are made right
// again, so a mutation of the headers is read as headers rather than refused by its checksum.
void resealArchive(Bytes& archive) {
    constexpr std::size_t kStart = 32;
    if (archive.size() < kStart) return;
    const std::uint64_t offset = readLe(archive, 12, 8);
    const std::uint64_t size = readLe(archive, 20, 8);
    const std::uint64_t available = archive.size() - kStart;
    if (offset <= available && size <= available - offset)
        writeLe32(archive, 28,
                  crc32(archive.data() + kStart + offset, static_cast<std::size_t>(size)));
    writeLe32(archive, 8, crc32(archive.data() + 12, 20));
}

std::uint64_t bytesBelow(const fs::path& folder) {
    std::uint64_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file(error)) total += it->file_size(error);
    return total;
}

// Anything below the sandbox that is neither the extraction folder, its parents, nor inside it.
std::wstring strayEntry(const fs::path& sandbox, const fs::path& out) {
    std::error_code error;
    const std::wstring outText = out.wstring();
    for (fs::recursive_directory_iterator it(sandbox, error), end; !error && it != end;
         it.increment(error)) {
        const std::wstring path = it->path().wstring();
        const bool parentOfOut = (outText + L"\\").starts_with(path + L"\\");
        const bool insideOut = (path + L"\\").starts_with(outText + L"\\");
        if (!parentOfOut && !insideOut) return path;
    }
    return {};
}

std::string checkArchive(const Bytes& input, const std::wstring& sandbox) {
    std::uint64_t delivered = 0;
    bool emptyDelivered = false;
    const int listed = utility::forEachArchiveFile(
        input.data(), input.size(),
        [&](const std::wstring&, const unsigned char* data, std::size_t size) {
            if (size == 0 || data == nullptr) emptyDelivered = true;
            delivered += size;
        });
    if (listed < utility::kArchiveOk || listed > utility::kArchiveUnsafeName)
        return "an unknown result of the callback output";
    if (emptyDelivered) return "an empty entry was delivered";

    const fs::path root(sandbox);
    const fs::path out = root / L"a" / L"b" / L"c" / L"out";
    std::error_code error;
    fs::create_directories(out, error);
    const int extracted =
        utility::extractArchiveToFolder(input.data(), input.size(), out.wstring() + L"\\");
    std::string problem;
    if (extracted < utility::kArchiveOk || extracted > utility::kArchiveUnsafeName)
        problem = "an unknown result of the folder output";
    else if (const std::wstring stray = strayEntry(root, out); !stray.empty())
        problem = "a file was written outside the extraction folder";
    else if (listed == utility::kArchiveOk && extracted == utility::kArchiveOk &&
             bytesBelow(out) > delivered)
        problem = "the folder holds more than the archive delivered";
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        fs::remove_all(it->path(), error);
    return problem;
}

}  // namespace

Bytes utf16Bytes(const std::wstring& text) {
    Bytes bytes;
    for (const wchar_t c : text)
        bytes.append({static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)});
    return bytes;
}

std::wstring wideOf(const Bytes& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return text;
}

std::vector<Bytes> skinEntries(const SeedSources& sources, const std::wstring& prefix,
                               const std::wstring& suffix) {
    const Bytes archive = testing_support::readFileBytes(sources.skinArchive);
    std::vector<Bytes> seeds;
    utility::forEachArchiveFile(
        archive.data(), archive.size(),
        [&](const std::wstring& name, const unsigned char* data, std::size_t size) {
            if (name.size() >= suffix.size() && name.ends_with(suffix) && name.starts_with(prefix))
                seeds.emplace_back(reinterpret_cast<const char*>(data), size);
        });
    return seeds;
}

std::vector<Target> archiveTargets(const SeedSources& sources) {
    Target archive{
        "archive",  Encoding::kBinary, {},           {"../", "..\\", "C:\\", "\\\\srv\\", ":", "/"},
        128 * 1024, nullptr,           resealArchive};
    archive.seeds.push_back(testing_support::readFileBytes(sources.skinArchive));
    for (const std::wstring& file : fuzz::filesIn(sources.dataDir)) {
        const bool fromArchiveTests = file.find(L"\\archive-") != std::wstring::npos;
        const bool fromFuzz = file.find(L"\\fuzz-") != std::wstring::npos;
        if (file.ends_with(L".7z") && (fromArchiveTests || fromFuzz))
            archive.seeds.push_back(testing_support::readFileBytes(file));
    }
    const std::wstring sandbox = sources.sandbox;
    archive.check = [sandbox](const Bytes& input) { return checkArchive(input, sandbox); };
    return {std::move(archive)};
}

}  // namespace fuzz
