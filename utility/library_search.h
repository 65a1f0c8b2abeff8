// Where the process loads libraries from. The installer runs as administrator from the user's
// Downloads folder, where anything may lie beside it: the library search is restricted to the
// system folder before any library outside Windows' KnownDLLs is loaded (those are imported on
// first use, see cmake/DelayImports.cmake). The restriction holds for every later load in the
// process, the system's own included (shell dialogs, image codecs).
#pragma once

#include <windows.h>

namespace utility {

enum class LibrarySearch {
    kSystemFolderOnly,      // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
    kWithoutCurrentFolder,  // SetDllDirectoryW(L""): the system lacks the call above
    kUnchanged,             // neither call is there or succeeded
};

// Restricts the search with the calls the module (kernel32) offers, looked up by name: Windows
// XP and Windows 7 without its update lack SetDefaultDllDirectories. The first thing the
// process does.
LibrarySearch restrictLibrarySearch(HMODULE kernel);

// A short text of the outcome, for the log.
const wchar_t* librarySearchText(LibrarySearch search);

}  // namespace utility
