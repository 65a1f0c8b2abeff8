// Where the emulator goes: the default folder (an existing installation's, or the best fixed
// drive plus the edition's folder), the completion and validity of a folder the user chose, and
// the free-space test before the install.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ConfigImp;

namespace install_location {

// Free space (MiB) above which a solid-state drive is preferred, and below which a chosen folder
// gets the space advice.
constexpr double kSsdPreferredFreeMB = 17408.0;
// Free space (MiB) needed to start the install, unless the emulator is already there.
constexpr double kInstallMinimumFreeMB = 4096.0;

// Registry keys read before the edition's key for the "tw" and "kr" languages (editions 9 and
// 3.0 only).
inline constexpr wchar_t kTaiwanKey[] = L"Software\\Quenmar\\gxplayer-tw";
inline constexpr wchar_t kKoreaKey[] = L"Software\\Quenmar\\gxplayer-kr";
// The emulator's main executable, whose presence marks an installed emulator.
inline constexpr wchar_t kPlayerExe[] = L"gxplayer.exe";

// The "InstallDir" value of the key under the current user (the key is created when missing);
// empty on any failure.
std::wstring readInstallDir(const std::wstring& subKey);

// What the probes found out about one fixed drive.
struct DriveAnswer {
    std::wstring root;  // "C:\"
    double freeMB = 0;  // the install rule's free space: 0 unreadable or foreign file system
    bool ssd = false;
};

// Probes the fixed drives of this machine, in the order the system lists them.
std::vector<DriveAnswer> probeFixedDrives();

// A drive's score: its free MiB, times 1,000 for a solid-state drive with more than 17,408
// whole MiB free.
double driveScore(const DriveAnswer& drive);

// The highest score wins; among equal scores the first. Nothing without drives.
std::optional<DriveAnswer> chooseBestDrive(const std::vector<DriveAnswer>& drives);

// The sources the default folder is computed from.
struct Probes {
    std::function<std::wstring(const std::wstring& subKey)> readInstallDir;
    std::function<bool(const std::wstring& path)> fileExists;
    std::function<std::vector<DriveAnswer>()> fixedDrives;
};

// The probes of this machine.
Probes systemProbes();

struct DefaultFolder {
    std::wstring installFolder;
    std::wstring bestFolder;  // empty when the folder came from the registry
    bool bestDriveSsd = false;
    bool emulatorPresent = false;
};

// The default install folder for the configuration's edition and language. Logs under the
// caller's tag.
DefaultFolder calcInstallPath(const ConfigImp& config, const Probes& probes);

// A chosen folder completed with the edition's folders: a trailing backslash; a drive root gets
// the default sub-folder; a folder ending in "sarvel\" gets the version folder; a folder naming
// neither the product nor "gxplayer" gets the default sub-folder.
std::wstring completeInstallPath(std::wstring folder, const ConfigImp& config);

// The stored form of a valid folder: "/" as "\", each pair of backslashes as one (one pass),
// spaces trimmed, a trailing backslash.
std::wstring normalizeSeparators(std::wstring folder);

// Comparison form: lower case, no "/" and no doubled backslashes, none leading or trailing.
std::wstring normalizePath(const std::wstring& folder);

// Whether the folder can be installed to: a volume with free space and segments that are
// neither empty nor hold a forbidden character.
bool isValidInstallPath(const std::wstring& folder);
// The same with the free-bytes query of the volume ("d:\") given.
bool isValidInstallPath(
    const std::wstring& folder,
    const std::function<std::optional<std::uint64_t>(const std::wstring&)>& freeBytesOfVolume);

// True when the install may start in the folder: 4,096 MiB free, or the emulator already there.
bool hasSpaceForInstall(const std::wstring& installFolder);
// The rule over the probes' answers.
bool enoughSpace(double freeMB, bool playerExists);

}  // namespace install_location
