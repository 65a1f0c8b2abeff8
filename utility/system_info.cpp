#include "utility/system_info.h"

#include <objbase.h>

#include <cwchar>

namespace utility {

DWORD osMajorVersion() {
    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof(extended);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
        return extended.dwMajorVersion;
    }
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = sizeof(basic);
    return GetVersionExW(&basic) ? basic.dwMajorVersion : 0;
}

bool isVistaOrLater() {
    return isVistaOrLaterVersion(osMajorVersion());
}

bool is64BitSystem() {
    using NativeInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
    SYSTEM_INFO info{};
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    const FARPROC native = kernel ? GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
    if (native) {
        reinterpret_cast<NativeInfoFunction>(reinterpret_cast<void*>(native))(&info);
    } else {
        GetSystemInfo(&info);
    }
    return detail::is64BitArchitecture(info.wProcessorArchitecture);
}

std::wstring makeGuidText() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) return {};
    return detail::guidText(guid);
}

namespace detail {

std::wstring guidText(const GUID& guid) {
    wchar_t text[40] = {};
    std::swprintf(text, 40, L"%08X_%04X_%04x_%02X%02X_%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(guid.Data1), unsigned{guid.Data2}, unsigned{guid.Data3},
                  unsigned{guid.Data4[0]}, unsigned{guid.Data4[1]}, unsigned{guid.Data4[2]},
                  unsigned{guid.Data4[3]}, unsigned{guid.Data4[4]}, unsigned{guid.Data4[5]},
                  unsigned{guid.Data4[6]}, unsigned{guid.Data4[7]});
    return text;
}

}  // namespace detail
}  // namespace utility
