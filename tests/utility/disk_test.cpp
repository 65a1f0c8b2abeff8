// Drives, free space and desktop shortcuts. The selection and file-system rules run over given
// probe answers (the only way to meet a USB disk or an exFAT volume here); the live queries are
// checked against this system where it answers them.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/disk.h"
#include "utility/file.h"

using namespace helper::disk;
using detail::HotplugProbe;
using testing_support::LogCapture;
using testing_support::messagesOf;

namespace {

constexpr double kMB = 1048576.0;

// A drive letter the system does not list ("Q:"), or empty if every letter is taken.
std::wstring unusedDrive() {
    const DWORD used = GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter) {
        if (!(used & (1u << (letter - 'A')))) return {wchar_t(letter), L':'};
    }
    return {};
}

std::vector<std::wstring> logicalDrives() {
    wchar_t list[512] = {};
    const DWORD chars = GetLogicalDriveStringsW(511, list);
    return detail::splitDriveStrings(std::wstring(list, chars));
}

}  // namespace

TEST(FixedDriveSelection, KeepsOnlyFixedDrivesThatCannotBeUnplugged) {
    struct Drive {
        const wchar_t* root;
        UINT type;
        HotplugProbe probe;
    };
    const std::vector<Drive> drives = {
        {L"C:\\", DRIVE_FIXED, HotplugProbe::kFixed},
        {L"D:\\", DRIVE_REMOVABLE, HotplugProbe::kFixed},
        {L"E:\\", DRIVE_FIXED, HotplugProbe::kHotPluggable},  // USB hard disk listed as fixed
        {L"F:\\", DRIVE_FIXED, HotplugProbe::kNotOpened},     // no answer: stays
        {L"G:\\", DRIVE_FIXED, HotplugProbe::kQueryFailed},   // query refused: left out
        {L"H:\\", DRIVE_REMOTE, HotplugProbe::kFixed},
        {L"I:\\", DRIVE_CDROM, HotplugProbe::kFixed},
        {L"J:\\", DRIVE_RAMDISK, HotplugProbe::kFixed},
        {L"K:\\", DRIVE_UNKNOWN, HotplugProbe::kFixed},
        {L"L:\\", DRIVE_NO_ROOT_DIR, HotplugProbe::kFixed},
        {L"M:\\", DRIVE_FIXED, HotplugProbe::kRemovableMedia},
        {L"N:\\", DRIVE_FIXED, HotplugProbe::kFixed},
    };
    std::vector<std::wstring> roots;
    for (const Drive& drive : drives) roots.push_back(drive.root);
    std::vector<std::wstring> probed;
    auto find = [&](const std::wstring& root) {
        for (const Drive& drive : drives) {
            if (root == drive.root) return drive;
        }
        return Drive{L"", DRIVE_UNKNOWN, HotplugProbe::kFixed};
    };
    const auto fixed = detail::selectFixedDrives(
        roots, [&](const std::wstring& root) { return find(root).type; },
        [&](const std::wstring& root) {
            probed.push_back(root);
            return find(root).probe;
        });
    EXPECT_EQ(fixed, (std::vector<std::wstring>{L"C:\\", L"F:\\", L"N:\\"}));
    // Only fixed drives have their device opened.
    EXPECT_EQ(probed,
              (std::vector<std::wstring>{L"C:\\", L"E:\\", L"F:\\", L"G:\\", L"M:\\", L"N:\\"}));
}

TEST(FixedDriveSelection, HotplugAnswerOfTheDevice) {
    STORAGE_HOTPLUG_INFO internal{sizeof(STORAGE_HOTPLUG_INFO), FALSE, FALSE, FALSE, FALSE};
    EXPECT_EQ(detail::hotplugVerdict(internal), HotplugProbe::kFixed);
    STORAGE_HOTPLUG_INFO usbDisk = internal;
    usbDisk.DeviceHotplug = TRUE;
    EXPECT_EQ(detail::hotplugVerdict(usbDisk), HotplugProbe::kHotPluggable);
    STORAGE_HOTPLUG_INFO cardReader = internal;
    cardReader.MediaRemovable = TRUE;
    EXPECT_EQ(detail::hotplugVerdict(cardReader), HotplugProbe::kRemovableMedia);
    // Hot-pluggable media alone (with a fixed device) and a write-cache override do not count.
    STORAGE_HOTPLUG_INFO other = internal;
    other.MediaHotplug = TRUE;
    other.WriteCacheEnableOverride = TRUE;
    EXPECT_EQ(detail::hotplugVerdict(other), HotplugProbe::kFixed);
}

TEST(FixedDriveSelection, SplitsTheSystemsRootList) {
    EXPECT_EQ(detail::splitDriveStrings(std::wstring(L"C:\\\0D:\\\0Z:\\\0\0", 13)),
              (std::vector<std::wstring>{L"C:\\", L"D:\\", L"Z:\\"}));
    EXPECT_EQ(detail::splitDriveStrings(std::wstring(L"C:\\\0", 4)),
              std::vector<std::wstring>{L"C:\\"});
    EXPECT_TRUE(detail::splitDriveStrings(std::wstring(L"\0\0", 2)).empty());
    EXPECT_TRUE(detail::splitDriveStrings(L"").empty());
}

TEST(GetFixedDrives, ReturnsFixedRootsOfThisSystemInItsOrder) {
    const auto all = logicalDrives();
    const auto fixed = getFixedDrives();
    std::size_t from = 0;
    for (const std::wstring& root : fixed) {
        ASSERT_EQ(root.size(), 3u);
        EXPECT_EQ(root.substr(1), L":\\");
        EXPECT_EQ(GetDriveTypeW(root.c_str()), UINT{DRIVE_FIXED}) << root.c_str();
        bool found = false;
        while (!found && from < all.size()) found = all[from++] == root;
        EXPECT_TRUE(found) << "not listed by the system, or out of order";
    }
    if (detail::probeHotplug(L"C:\\") == HotplugProbe::kQueryFailed) {
        GTEST_SKIP() << "this system (Wine) does not answer the storage hot-plug query, so its "
                        "fixed drives are left out; the selection rule is tested above";
    }
    if (detail::probeHotplug(L"C:\\") == HotplugProbe::kFixed &&
        GetDriveTypeW(L"C:\\") == DRIVE_FIXED) {
        EXPECT_NE(std::find(fixed.begin(), fixed.end(), L"C:\\"), fixed.end());
    }
}

TEST(InstallFreeSpaceRule, OnlyKnownOtherFileSystemsCountAsNoSpace) {
    const std::uint64_t free = 20480ull * 1048576;  // 20 GiB
    // The root "E:\" of an exFAT volume answers with its file system: no space for the install.
    EXPECT_EQ(detail::installFreeSpaceMB(free, L"exFAT"), 0.0);
    // A folder below that root gets no volume answer: the real free space counts.
    EXPECT_EQ(detail::installFreeSpaceMB(free, std::nullopt), 20480.0);
    EXPECT_EQ(detail::installFreeSpaceMB(free, L"NTFS"), 20480.0);
    EXPECT_EQ(detail::installFreeSpaceMB(free, L"FAT32"), 20480.0);
    EXPECT_EQ(detail::installFreeSpaceMB(free, L"ntfs"), 0.0);  // exact comparison
    EXPECT_EQ(detail::installFreeSpaceMB(free, L"FAT"), 0.0);
    EXPECT_EQ(detail::installFreeSpaceMB(free, L""), 0.0);
    EXPECT_EQ(detail::installFreeSpaceMB(std::nullopt, L"NTFS"), 0.0);
    EXPECT_EQ(detail::installFreeSpaceMB(std::uint64_t{1572864}, std::nullopt), 1.5);
}

TEST(FreeSpace, LiveVolumesAnswerAndMissingOnesGiveZero) {
    testing_support::TempDir dir;
    EXPECT_GT(getFreeSpaceMB(dir.path()), 0.0);
    // Only the first three characters name the volume: a missing folder on it still counts.
    EXPECT_GT(getFreeSpaceMB(dir.path() + L"not\\there"), 0.0);
    const std::wstring drive = unusedDrive();
    ASSERT_FALSE(drive.empty());
    EXPECT_EQ(getFreeSpaceMB(drive + L"\\"), 0.0);
    EXPECT_EQ(getInstallFreeSpaceMB(drive + L"\\"), 0.0);
}

TEST(FreeSpace, InstallSpaceFollowsTheVolumesFileSystem) {
    const std::wstring root = L"C:\\";
    const auto fileSystem = detail::queryFileSystem(root);
    ASSERT_TRUE(fileSystem) << "a volume root always answers";
    const double space = getInstallFreeSpaceMB(root);
    if (*fileSystem == L"NTFS" || *fileSystem == L"FAT32") {
        EXPECT_GT(space, 0.0);
    } else {
        EXPECT_EQ(space, 0.0);
    }
}

TEST(IsSsdDrive, AMissingVolumeIsNoSsdAndLiveAnswersAreUsed) {
    const std::wstring drive = unusedDrive();
    ASSERT_FALSE(drive.empty());
    EXPECT_FALSE(detail::queryTrim(drive).has_value());
    EXPECT_FALSE(isSsdDrive(drive));
    const std::optional<bool> trim = detail::queryTrim(L"C:");
    if (!trim) {
        GTEST_SKIP() << "this system (Wine) does not answer the TRIM property query";
    }
    EXPECT_EQ(isSsdDrive(L"C:"), *trim);
}

namespace {

struct LinkContent {
    std::wstring target, arguments, workingDir, icon;
    int iconIndex = -1;
};

std::wstring desktopDir() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Reads a link file back through the shell; needs COM on the calling thread.
std::optional<LinkContent> readLink(const std::wstring& path) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return std::nullopt;
    }
    IPersistFile* file = nullptr;
    std::optional<LinkContent> content;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        wchar_t text[4][MAX_PATH] = {};
        LinkContent read;
        link->GetPath(text[0], MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(text[1], MAX_PATH);
        link->GetWorkingDirectory(text[2], MAX_PATH);
        link->GetIconLocation(text[3], MAX_PATH, &read.iconIndex);
        read.target = text[0];
        read.arguments = text[1];
        read.workingDir = text[2];
        read.icon = text[3];
        content = read;
    }
    if (file) file->Release();
    link->Release();
    return content;
}

// Runs the work on a new thread in a single-threaded COM apartment, as the installer's
// shortcut step does.
template <typename Work>
void onComThread(Work work) {
    std::thread([&] {
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        work();
        if (com) CoUninitialize();
    }).join();
}

}  // namespace

TEST(CreateShortcut, WritesTheDesktopLinkAndReplacesAnExistingOne) {
    testing_support::TempDir dir;
    const std::wstring name = L"Tamrix Test " + std::to_wstring(GetCurrentProcessId());
    const std::wstring link = desktopDir() + L"\\" + name + L".lnk";
    const std::wstring target = dir.path() + L"gxplayer.exe";
    const std::wstring icon = dir.path() + L"game.ico";
    const std::wstring workDir = dir.path().substr(0, dir.path().size() - 1);
    std::optional<LinkContent> first, second;
    onComThread([&] {
        createShortcut(name, icon, workDir, target, L"package=com.example.game");
        first = readLink(link);
        createShortcut(name, icon, workDir, target, L"");
        second = readLink(link);
        DeleteFileW(link.c_str());
    });
    ASSERT_TRUE(first) << "no readable link at the desktop";
    EXPECT_EQ(first->target, target);
    EXPECT_EQ(first->arguments, L"package=com.example.game");
    EXPECT_EQ(first->workingDir, workDir);
    EXPECT_EQ(first->icon, icon);
    EXPECT_EQ(first->iconIndex, 0);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->arguments, L"");  // replaced, not merged
    EXPECT_EQ(second->target, target);
}

TEST(CreateShortcut, ThreadWithoutComLogsStepThreeAndWritesNothing) {
    const std::wstring name = L"Tamrix NoCom " + std::to_wstring(GetCurrentProcessId());
    const std::wstring link = desktopDir() + L"\\" + name + L".lnk";
    LogCapture& log = LogCapture::instance();
    log.newLines();
    std::thread([&] {
        createShortcut(name, L"C:\\icon.ico", L"C:\\", L"C:\\gxplayer.exe", L"");
    }).join();
    EXPECT_FALSE(utility::ufile::exists(link));
    EXPECT_EQ(messagesOf(log.newLines(), "helper::disk::createShortcut"),
              std::vector<std::string>{"install 3 of create shortcut failed!"});
}
