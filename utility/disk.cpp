#include "utility/disk.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "utility/handle.h"
#include "utility/log.h"

namespace helper::disk {
namespace {

constexpr double kBytesPerMB = 1048576.0;
constexpr DWORD kFileSystemChars = 1024;

utility::UniqueHandle openVolume(const std::wstring& drive) {
    const std::wstring device = L"\\\\.\\" + drive;
    return utility::UniqueHandle(CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
}

// Releases a COM interface once.
template <typename Interface>
struct ComRelease {
    void operator()(Interface* pointer) const { pointer->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComRelease<Interface>>;

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

// The desktop folder as a path; empty after logging when it cannot be found.
std::wstring desktopFolder() {
    ITEMIDLIST* raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &raw)) || !raw) {
        LOG_AT("helper::disk::createShortcut", L"install 1 of create shortcut failed!");
        return {};
    }
    const std::unique_ptr<ITEMIDLIST, ItemListFree> list(raw);
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(list.get(), path)) {
        LOG_AT("helper::disk::createShortcut", L"install 2 of create shortcut failed!");
        return {};
    }
    return path;
}

}  // namespace

namespace detail {

HotplugProbe hotplugVerdict(const STORAGE_HOTPLUG_INFO& info) {
    if (info.MediaRemovable) return HotplugProbe::kRemovableMedia;
    if (info.DeviceHotplug) return HotplugProbe::kHotPluggable;
    return HotplugProbe::kFixed;
}

HotplugProbe probeHotplug(const std::wstring& root) {
    const utility::UniqueHandle volume = openVolume(root.substr(0, 2));
    if (!volume) return HotplugProbe::kNotOpened;
    STORAGE_HOTPLUG_INFO info{};
    DWORD returned = 0;
    if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_HOTPLUG_INFO, nullptr, 0, &info,
                         sizeof(info), &returned, nullptr)) {
        return HotplugProbe::kQueryFailed;
    }
    return hotplugVerdict(info);
}

bool keepDrive(UINT driveType, HotplugProbe probe) {
    if (driveType != DRIVE_FIXED) return false;
    return probe == HotplugProbe::kNotOpened || probe == HotplugProbe::kFixed;
}

std::vector<std::wstring> splitDriveStrings(const std::wstring& list) {
    std::vector<std::wstring> roots;
    for (std::size_t start = 0; start < list.size() && list[start] != L'\0';) {
        const std::size_t end = list.find(L'\0', start);
        roots.push_back(list.substr(start, end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return roots;
}

std::vector<std::wstring> selectFixedDrives(
    const std::vector<std::wstring>& roots, const std::function<UINT(const std::wstring&)>& typeOf,
    const std::function<HotplugProbe(const std::wstring&)>& probe) {
    std::vector<std::wstring> fixed;
    for (const std::wstring& root : roots) {
        const UINT type = typeOf(root);
        if (type == DRIVE_FIXED && keepDrive(type, probe(root))) fixed.push_back(root);
    }
    return fixed;
}

std::optional<bool> queryTrim(const std::wstring& drive) {
    const utility::UniqueHandle volume = openVolume(drive);
    if (!volume) return std::nullopt;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceTrimProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_TRIM_DESCRIPTOR trim{};
    DWORD returned = 0;
    if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &trim,
                         sizeof(trim), &returned, nullptr)) {
        return std::nullopt;
    }
    return trim.TrimEnabled == 1;
}

double installFreeSpaceMB(std::optional<std::uint64_t> freeBytes,
                          const std::optional<std::wstring>& fileSystem) {
    if (!freeBytes) return 0;
    if (fileSystem && *fileSystem != L"FAT32" && *fileSystem != L"NTFS") return 0;
    return static_cast<double>(*freeBytes) / kBytesPerMB;
}

std::optional<std::uint64_t> queryFreeBytes(const std::wstring& path) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(path.substr(0, 3).c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

std::optional<std::wstring> queryFileSystem(const std::wstring& path) {
    wchar_t name[kFileSystemChars] = {};
    if (!GetVolumeInformationW(path.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                               kFileSystemChars)) {
        return std::nullopt;
    }
    return name;
}

}  // namespace detail

std::vector<std::wstring> getFixedDrives() {
    const DWORD chars = GetLogicalDriveStringsW(0, nullptr);
    if (chars == 0) return {};
    std::wstring list(chars + 1, L'\0');
    if (GetLogicalDriveStringsW(chars, list.data()) == 0) return {};
    return detail::selectFixedDrives(
        detail::splitDriveStrings(list),
        [](const std::wstring& root) { return GetDriveTypeW(root.c_str()); }, detail::probeHotplug);
}

bool isSsdDrive(const std::wstring& drive) {
    return detail::queryTrim(drive).value_or(false);
}

double getFreeSpaceMB(const std::wstring& path) {
    const std::optional<std::uint64_t> freeBytes = detail::queryFreeBytes(path);
    return freeBytes ? static_cast<double>(*freeBytes) / kBytesPerMB : 0;
}

double getInstallFreeSpaceMB(const std::wstring& path) {
    const std::optional<std::uint64_t> freeBytes = detail::queryFreeBytes(path);
    if (!freeBytes) return 0;
    return detail::installFreeSpaceMB(freeBytes, detail::queryFileSystem(path));
}

void createShortcut(const std::wstring& linkName, const std::wstring& iconFile,
                    const std::wstring& workingDir, const std::wstring& target,
                    const std::wstring& arguments) {
    const std::wstring desktop = desktopFolder();
    if (desktop.empty()) return;
    IShellLinkW* rawLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&rawLink)))) {
        LOG_AT("helper::disk::createShortcut", L"install 3 of create shortcut failed!");
        return;
    }
    const ComPtr<IShellLinkW> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)))) {
        LOG_AT("helper::disk::createShortcut", L"install 4 of create shortcut failed!");
        return;
    }
    const ComPtr<IPersistFile> file(rawFile);
    link->SetWorkingDirectory(workingDir.c_str());
    link->SetPath(target.c_str());
    if (!arguments.empty()) link->SetArguments(arguments.c_str());
    link->SetIconLocation(iconFile.c_str(), 0);
    const std::wstring linkPath = desktop + L"\\" + linkName + L".lnk";
    file->Save(linkPath.c_str(), TRUE);
}

}  // namespace helper::disk
