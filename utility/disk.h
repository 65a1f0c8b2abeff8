// Drives and free space for choosing the install folder, and desktop shortcuts.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace helper::disk {

// Roots ("C:\") of the fixed, not hot-pluggable drives, in the order the system lists them.
std::vector<std::wstring> getFixedDrives();
// True if the storage device of the drive ("D:") reports TRIM as enabled.
bool isSsdDrive(const std::wstring& drive);
// Free MiB available to the user on the volume named by the first three characters of the
// path; 0 on failure.
double getFreeSpaceMB(const std::wstring& path);
// As getFreeSpaceMB, but 0 when the volume information for the path names a file system other
// than "FAT32" or "NTFS".
double getInstallFreeSpaceMB(const std::wstring& path);
// Creates (or replaces) the desktop link "<linkName>.lnk". Needs COM on the calling thread.
void createShortcut(const std::wstring& linkName, const std::wstring& iconFile,
                    const std::wstring& workingDir, const std::wstring& target,
                    const std::wstring& arguments);

namespace detail {

// What a volume's storage device answered to the hot-plug query.
enum class HotplugProbe { kNotOpened, kQueryFailed, kFixed, kRemovableMedia, kHotPluggable };

HotplugProbe hotplugVerdict(const STORAGE_HOTPLUG_INFO& info);
// Opens the volume of the root ("C:\") and asks its device whether it can be unplugged.
HotplugProbe probeHotplug(const std::wstring& root);
// True for a drive getFixedDrives keeps: fixed type and a device that is known not to be
// removable or hot-pluggable, or a volume that cannot be opened at all.
bool keepDrive(UINT driveType, HotplugProbe probe);
// The roots in a zero-separated, double-zero-terminated list.
std::vector<std::wstring> splitDriveStrings(const std::wstring& list);
// The roots that keepDrive accepts; the device is probed for fixed drives only.
std::vector<std::wstring> selectFixedDrives(
    const std::vector<std::wstring>& roots, const std::function<UINT(const std::wstring&)>& typeOf,
    const std::function<HotplugProbe(const std::wstring&)>& probe);

// The TRIM property of the drive's storage device ("D:"); nothing when the volume cannot be
// opened or the device does not answer.
std::optional<bool> queryTrim(const std::wstring& drive);

// The install rule over the queries' answers: 0 without free space figure, or when the volume's
// file system is known and is neither "FAT32" nor "NTFS" (exact comparison).
double installFreeSpaceMB(std::optional<std::uint64_t> freeBytes,
                          const std::optional<std::wstring>& fileSystem);
// Free bytes available to the caller on the volume of the path's first three characters.
std::optional<std::uint64_t> queryFreeBytes(const std::wstring& path);
// File-system name of the volume for the path as given (the platform answers for roots only).
std::optional<std::wstring> queryFileSystem(const std::wstring& path);

}  // namespace detail
}  // namespace helper::disk
