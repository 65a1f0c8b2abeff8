#include "utility/library_search.h"

namespace utility {

LibrarySearch restrictLibrarySearch(HMODULE kernel) {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    using SetDirectory = BOOL(WINAPI*)(LPCWSTR);
    if (!kernel) return LibrarySearch::kUnchanged;
    const auto setDefault = reinterpret_cast<SetDefaultDirectories>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return LibrarySearch::kSystemFolderOnly;
    const auto setDirectory = reinterpret_cast<SetDirectory>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    if (setDirectory && setDirectory(L"")) return LibrarySearch::kWithoutCurrentFolder;
    return LibrarySearch::kUnchanged;
}

const wchar_t* librarySearchText(LibrarySearch search) {
    switch (search) {
        case LibrarySearch::kSystemFolderOnly:
            return L"system folder only";
        case LibrarySearch::kWithoutCurrentFolder:
            return L"without the current folder";
        case LibrarySearch::kUnchanged:
            break;
    }
    return L"unchanged";
}

}  // namespace utility
