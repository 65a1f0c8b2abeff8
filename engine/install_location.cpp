#include "engine/install_location.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cmath>

#include "app/config_imp.h"
#include "utility/disk.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/text.h"

namespace install_location {
namespace {

constexpr char kCalcTag[] = "DownloaderModel::_calcInstallPath";

void replaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    // Repeated until nothing is left, so "\\\\" collapses fully.
    for (auto at = text.find(from); at != std::wstring::npos; at = text.find(from)) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::wstring readInstallDir(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return {};
    }
    // 2,048 bytes for the value, plus a zero the value cannot overwrite.
    wchar_t buffer[1024 + 1] = {};
    DWORD size = 2048;
    const LONG result = RegQueryValueExW(key, L"InstallDir", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return {};
    return std::wstring(buffer);
}

std::vector<DriveAnswer> probeFixedDrives() {
    std::vector<DriveAnswer> answers;
    for (const auto& root : helper::disk::getFixedDrives()) {
        DriveAnswer answer;
        answer.root = root;
        answer.freeMB = helper::disk::getInstallFreeSpaceMB(root);
        answer.ssd = helper::disk::isSsdDrive(root.substr(0, 2));
        answers.push_back(answer);
    }
    return answers;
}

double driveScore(const DriveAnswer& drive) {
    if (drive.ssd && std::floor(drive.freeMB) > kSsdPreferredFreeMB) return drive.freeMB * 1000.0;
    return drive.freeMB;
}

std::optional<DriveAnswer> chooseBestDrive(const std::vector<DriveAnswer>& drives) {
    std::optional<DriveAnswer> best;
    double bestScore = -1;
    for (const auto& drive : drives) {
        const double score = driveScore(drive);
        if (score > bestScore) {
            bestScore = score;
            best = drive;
        }
    }
    return best;
}

Probes systemProbes() {
    return Probes{readInstallDir, utility::ufile::exists, probeFixedDrives};
}

DefaultFolder calcInstallPath(const ConfigImp& config, const Probes& probes) {
    DefaultFolder result;
    if (!config.isPlayer4() && !config.isPlayer64()) {
        if (config.getLanguage() == L"tw") {
            result.installFolder = probes.readInstallDir(kTaiwanKey);
        } else if (config.getLanguage() == L"kr") {
            result.installFolder = probes.readInstallDir(kKoreaKey);
        }
    }
    if (result.installFolder.empty()) {
        result.installFolder = probes.readInstallDir(config.getRegistryKey());
    }
    LOG_AT(kCalcTag, L"read from reg: path is %s", result.installFolder.c_str());
    if (!result.installFolder.empty()) {
        if (probes.fileExists(result.installFolder + L"\\" + kPlayerExe)) {
            LOG_AT(kCalcTag, L"player exist");
            result.emulatorPresent = true;
        }
        return result;
    }
    const auto best = chooseBestDrive(probes.fixedDrives());
    const std::wstring root = best ? best->root : std::wstring();
    result.bestDriveSsd = best && best->ssd;
    result.installFolder = root + config.getDefaultInstallSubPath();
    result.bestFolder = result.installFolder;
    LOG_AT(kCalcTag, L"get install path from MaxFreeSpace: %s", result.installFolder.c_str());
    return result;
}

std::wstring completeInstallPath(std::wstring folder, const ConfigImp& config) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    if (PathIsRootW(folder.c_str())) return folder + config.getDefaultInstallSubPath();
    const std::wstring native = L"sarvel\\";
    const auto first = utility::lowerCased(folder).find(native);
    if (first != std::wstring::npos && first + native.size() == folder.size()) {
        return folder + config.getInstallFolderName();
    }
    const bool namesProduct = folder.find(config.getProductName(), 1) != std::wstring::npos;
    const bool namesPlayer = folder.find(L"gxplayer", 1) != std::wstring::npos;
    if (!namesProduct && !namesPlayer) folder += config.getDefaultInstallSubPath();
    return folder;
}

std::wstring normalizeSeparators(std::wstring folder) {
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    std::wstring single;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        single += folder[i];
        if (folder[i] == L'\\' && i + 1 < folder.size() && folder[i + 1] == L'\\') ++i;
    }
    single = utility::trimmedSpaces(single);
    if (single.empty() || single.back() != L'\\') single += L'\\';
    return single;
}

std::wstring normalizePath(const std::wstring& folder) {
    std::wstring path = utility::lowerCased(folder);
    replaceAll(path, L"/", L"\\");
    replaceAll(path, L"\\\\", L"\\");
    const auto first = path.find_first_not_of(L'\\');
    if (first == std::wstring::npos) return {};
    return path.substr(first, path.find_last_not_of(L'\\') - first + 1);
}

bool isValidInstallPath(const std::wstring& folder) {
    return isValidInstallPath(folder, helper::disk::detail::queryFreeBytes);
}

bool isValidInstallPath(
    const std::wstring& folder,
    const std::function<std::optional<std::uint64_t>(const std::wstring&)>& freeBytesOfVolume) {
    const std::wstring path = utility::trimmedSpaces(normalizePath(folder));
    if (path.size() < 3) return false;
    const auto freeBytes = freeBytesOfVolume(path.substr(0, 3));
    if (!freeBytes || *freeBytes == 0) return false;
    const std::wstring rest = utility::trimmedSpaces(path.substr(3));
    if (rest.find_first_of(L"/:*?\"<>|") != std::wstring::npos) return false;
    std::size_t start = 0;
    for (auto slash = rest.find(L'\\'); slash != std::wstring::npos;
         slash = rest.find(L'\\', start)) {
        if (utility::trimmedSpaces(rest.substr(start, slash - start)).empty()) return false;
        start = slash + 1;
    }
    return true;
}

bool hasSpaceForInstall(const std::wstring& installFolder) {
    const double freeMB = helper::disk::getFreeSpaceMB(installFolder);
    if (freeMB >= kInstallMinimumFreeMB) return true;
    return enoughSpace(freeMB, utility::ufile::exists(installFolder + L"\\" + kPlayerExe));
}

bool enoughSpace(double freeMB, bool playerExists) {
    return freeMB >= kInstallMinimumFreeMB || playerExists;
}

}  // namespace install_location
