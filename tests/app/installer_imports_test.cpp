// The libraries the installer's executable names in its ordinary import table, read from the
// file as the loader reads it: only Windows' KnownDLLs, which the loader never takes from the
// executable's folder (every other library is imported on first use, after the program has
// restricted the library search); and the library-search calls that older systems lack are not
// imported at all, so Windows XP and Windows 7 without its update still load the program.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/installer_support.h"
#include "tests/support/test_support.h"

namespace {

// DLL name (lower case) to the names of the functions imported from it.
using ImportTable = std::map<std::string, std::set<std::string>>;

// A PE32+ image as a file: its headers and the file offset of a relative virtual address.
class PeFile {
public:
    explicit PeFile(std::string bytes) : bytes_(std::move(bytes)) {}

    const IMAGE_NT_HEADERS64* headers() const {
        const auto* dos = at<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
        const auto* nt = at<IMAGE_NT_HEADERS64>(static_cast<std::size_t>(dos->e_lfanew));
        if (!nt || nt->Signature != IMAGE_NT_SIGNATURE ||
            nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            return nullptr;
        return nt;
    }

    template <class T>
    const T* at(std::size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return nullptr;
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    std::optional<std::size_t> offsetOf(DWORD rva) const {
        const IMAGE_NT_HEADERS64* nt = headers();
        if (!nt) return std::nullopt;
        const auto* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            const DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
                return rva - section->VirtualAddress + section->PointerToRawData;
        }
        return std::nullopt;
    }

    std::string textAt(DWORD rva) const {
        const auto offset = offsetOf(rva);
        if (!offset || *offset >= bytes_.size()) return {};
        const char* begin = bytes_.data() + *offset;
        return std::string(begin, strnlen(begin, bytes_.size() - *offset));
    }

private:
    std::string bytes_;
};

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The ordinary import table; nothing when the file is no PE32+ image.
std::optional<ImportTable> ordinaryImports(const PeFile& pe) {
    const IMAGE_NT_HEADERS64* nt = pe.headers();
    if (!nt) return std::nullopt;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const auto first = pe.offsetOf(directory.VirtualAddress);
    if (!first) return std::nullopt;
    ImportTable table;
    for (std::size_t at = *first;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* entry = pe.at<IMAGE_IMPORT_DESCRIPTOR>(at);
        if (!entry) return std::nullopt;
        if (entry->Name == 0) break;
        std::set<std::string>& functions = table[lowerCased(pe.textAt(entry->Name))];
        const DWORD thunks =
            entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
        const auto thunk = pe.offsetOf(thunks);
        for (std::size_t t = thunk.value_or(0); thunk; t += sizeof(IMAGE_THUNK_DATA64)) {
            const auto* data = pe.at<IMAGE_THUNK_DATA64>(t);
            if (!data || data->u1.AddressOfData == 0) break;
            if (IMAGE_SNAP_BY_ORDINAL64(data->u1.Ordinal)) continue;
            functions.insert(pe.textAt(static_cast<DWORD>(data->u1.AddressOfData) + 2));
        }
    }
    return table;
}

// The KnownDLLs of both Windows 7 and Windows 10: the loader maps these from the system's own
// section objects, never from the executable's folder.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll", "gdi32.dll",    "imagehlp.dll",
    "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",  "normaliz.dll", "nsi.dll",
    "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",  "sechost.dll",  "setupapi.dll",
    "shell32.dll",  "shlwapi.dll",  "user32.dll",   "wldap32.dll", "ws2_32.dll"};

TEST(InstallerImports, OnlyKnownDllsAreImportedAndTheSearchCallsAreLookedUpAtRunTime) {
    const PeFile pe(testing_support::readFileBytes(installer::installerExe()));
    const auto imports = ordinaryImports(pe);
    ASSERT_TRUE(imports) << "no import table in "
                         << testing_support::narrow(installer::installerExe());
    ASSERT_TRUE(imports->count("kernel32.dll"));
    std::vector<std::string> outside;
    for (const auto& [library, functions] : *imports)
        if (!kKnownDlls.count(library)) outside.push_back(library);
    EXPECT_EQ(outside, std::vector<std::string>{}) << "imported when the program is loaded";

    const std::set<std::string>& kernel = imports->at("kernel32.dll");
    for (const char* call :
         {"SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory", "SetDllDirectoryW"})
        EXPECT_FALSE(kernel.count(call)) << call << " is imported; older systems lack it";
    EXPECT_TRUE(kernel.count("GetProcAddress")) << "the import table reads as it should";
}

}  // namespace
