// Restricting the library search with what the kernel library offers (this system's kernel32;
// the kernel library of an older Windows, which lacks SetDefaultDllDirectories; a module with
// neither call), and what the restriction does: a library beside the program is no longer found
// by its name.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"
#include "utility/library_search.h"
#include "utility/system_info.h"
#include "utility/text.h"

namespace {

using utility::LibrarySearch;

// The folder of this program, with a trailing backslash.
std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Loads the library by its bare name; true when the planted copy beside this program ran.
bool plantedCopyRuns(const std::wstring& name, const std::wstring& marker) {
    HMODULE module = LoadLibraryW(name.c_str());
    if (module) FreeLibrary(module);
    const bool ran = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileW(marker.c_str());
    return ran;
}

TEST(LibrarySearch, EachSystemGetsTheStrictestSearchItOffers) {
    // A copy of the planted library beside this program, under a name of its own.
    const std::wstring name = L"tamrix-probe-" + utility::makeGuidText() + L".dll";
    const std::wstring planted = programFolder() + name;
    ASSERT_TRUE(CopyFileW(testing_support::peerLibraryPath(L"planted_library").c_str(),
                          planted.c_str(), FALSE));
    const std::wstring marker = planted + L".loaded";
    EXPECT_TRUE(plantedCopyRuns(name, marker)) << "the probe is found beside the program at first";

    HMODULE legacy = LoadLibraryW(testing_support::peerLibraryPath(L"legacy_kernel").c_str());
    ASSERT_NE(legacy, nullptr);
    const struct {
        const char* what;
        HMODULE kernel;
        LibrarySearch expected;
        const wchar_t* text;
    } cases[] = {
        {"no module", nullptr, LibrarySearch::kUnchanged, L"unchanged"},
        {"a module with neither call", GetModuleHandleW(nullptr), LibrarySearch::kUnchanged,
         L"unchanged"},
        {"an older Windows", legacy, LibrarySearch::kWithoutCurrentFolder,
         L"without the current folder"},
        {"this system", GetModuleHandleW(L"kernel32.dll"), LibrarySearch::kSystemFolderOnly,
         L"system folder only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LibrarySearch search = utility::restrictLibrarySearch(c.kernel);
        EXPECT_EQ(search, c.expected);
        EXPECT_STREQ(utility::librarySearchText(search), c.text);
    }
    EXPECT_FALSE(plantedCopyRuns(name, marker)) << "found beside the program after the restriction";
    EXPECT_EQ(LoadLibraryW(name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    FreeLibrary(legacy);
    EXPECT_TRUE(DeleteFileW(planted.c_str()));
}

}  // namespace
