// The PC identity: a stable text that identifies the computer across runs and across the
// vendor's programs. It is kept in the registry value "pcmac"; without one it comes from the
// vendor's identity file, from the network adapters' hardware addresses, or from a new GUID, and
// is then written back.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vadi {

// An adapter's 8-byte hardware-address field.
using HardwareAddress = std::array<unsigned char, 8>;

// Lists the hardware addresses of the system's adapters; false when the list cannot be read.
bool listAdapterAddresses(std::vector<HardwareAddress>& addresses);

// The machine id of the adapters whose address is not all zero: the MD5 of their sorted
// addresses ("%02X" × 6) joined with "|", prefixed by the count in hex and "-" for two or more;
// empty without a usable adapter.
std::string machineIdFromAddresses(const std::vector<HardwareAddress>& addresses);

// The identity file's text: its bytes as UTF-16 when there are more than 30, up to the first
// zero character; empty otherwise.
std::wstring identityFileText(const std::string& bytes);

// Where the identity is looked for and kept. The defaults are the installer's own.
struct PcIdSources {
    std::string registryKey = "Software\\txen\\";  // under HKEY_CURRENT_USER, 64-bit view
    std::wstring identityFile;  // empty: "\quenmar_sarvel.data" in the roaming app-data folder
    std::function<bool(std::vector<HardwareAddress>&)> listAdapters = listAdapterAddresses;
};

// Reads the identity from the first source that has one, writes a new one back to the registry
// and returns it (in the system code page); empty only when every source failed.
std::string computePcId(const PcIdSources& sources);

}  // namespace vadi
