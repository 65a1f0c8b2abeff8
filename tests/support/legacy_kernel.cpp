// The kernel library of Windows XP and of Windows 7 without its update, as far as the library
// search goes: SetDllDirectoryW (forwarded to the real one, legacy_kernel.def) and no
// SetDefaultDllDirectories.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
