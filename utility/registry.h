// One open registry key, read through the narrow (ANSI) registry interface.
#pragma once

#include <windows.h>

#include <string>

namespace utility {

// Owns at most one open key; closes it on destruction. Not copyable.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens the sub-key of the root (closing a key opened before). Returns the registry result
    // code, 0 on success; logs failures.
    LONG RegRegOpen(HKEY root, const std::string& subKey, REGSAM access);
    // Reads the value as a zero-terminated narrow string of at most 1,024 bytes. Returns the
    // registry result code, or -1 when no key is open; logs failures.
    LONG RegRead(const std::string& valueName, std::string& value);
    void close();

    bool isOpen() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

}  // namespace utility
