// What the installer needs to know about the running system, and fresh GUID texts.
#pragma once

#include <windows.h>

#include <string>

namespace utility {

// Major version of the running system (extended version query, then the basic one); 0 when
// neither answers.
DWORD osMajorVersion();
// Vista (major version 6) and later.
constexpr bool isVistaOrLaterVersion(DWORD majorVersion) {
    return majorVersion > 5;
}
bool isVistaOrLater();

// True for a native x64 or Itanium processor, also when this process runs under emulation.
bool is64BitSystem();

// A new random GUID as "XXXXXXXX_XXXX_xxxx_XXXX_XXXXXXXXXXXX" (third group lower-case);
// empty when no GUID can be created.
std::wstring makeGuidText();

namespace detail {

// True for the processor architectures counted as 64-bit (x64 and Itanium).
constexpr bool is64BitArchitecture(WORD architecture) {
    return architecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           architecture == PROCESSOR_ARCHITECTURE_IA64;
}

// The text form of makeGuidText for a given GUID.
std::wstring guidText(const GUID& guid);

}  // namespace detail
}  // namespace utility
