#include "engine/game_packages.h"

#include "engine/post_install.h"
#include "engine/run_parameters.h"
#include "utility/log.h"

namespace game_packages {

namespace {

std::wstring quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring baseArguments(const GameRecord& game) {
    return L"apk=|show=true|package=" + game.packageName;
}

}  // namespace

std::optional<std::wstring> refusalOf(const GameRecord& game) {
    if (!game.packageName.empty() && !run_parameters::isAndroidPackageName(game.packageName))
        return L"package name not accepted: " + game.packageName;
    if (!game.resolution.empty() && !run_parameters::isResolution(game.resolution))
        return L"resolution not accepted: " + game.resolution;
    return std::nullopt;
}

std::vector<GameRecord> acceptedGames(std::vector<GameRecord> games, const char* tag) {
    std::vector<GameRecord> accepted;
    for (GameRecord& game : games) {
        if (const auto refusal = refusalOf(game)) {
            LOG_AT(tag, L"skip game %s: %s", game.gameName.c_str(), refusal->c_str());
            continue;
        }
        accepted.push_back(std::move(game));
    }
    return accepted;
}

HandOver handOverOf(const GameRecord& game) {
    if (game.fromAppStore) return HandOver::kAppStore;
    if (!game.gameId.empty()) return HandOver::kGameId;
    if (game.packageName.empty() || !game.downloadUrl.empty()) return HandOver::kDownloadHere;
    return HandOver::kPackage;
}

std::wstring appStoreArguments(const GameRecord& game) {
    return baseArguments(game) + L"|downloadapkurl=" + game.downloadUrl + L";S.package=" +
           game.packageName + L";S.appname=" + game.gameName + L";S.appicon=" + game.screenshotUrl +
           L";S.appsize=96";
}

std::wstring gameIdArguments(const GameRecord& game) {
    return baseArguments(game) + L"|downloadgameid=" + game.gameId;
}

std::wstring packageArguments(const GameRecord& game) {
    return baseArguments(game) + L"|downloadpackage=" + game.packageName;
}

std::optional<GameFiles> gameFiles(const std::wstring& folder, const GameRecord& game) {
    const auto name = post_install::safeFileName(game.gameName);
    if (!name) return std::nullopt;
    // A game without a package name keeps no data or icon files; one with an unsafe name is
    // refused.
    std::optional<std::wstring> package;
    if (!game.packageName.empty() && !(package = post_install::safeFileName(game.packageName)))
        return std::nullopt;
    GameFiles files;
    files.shortcutName = *name;
    files.package = folder + L"\\" + *name + (game.xapk ? L".xapk" : L".apk");
    files.packageTmp = files.package + L".tmp";
    if (package) {
        files.obb = folder + L"\\" + *package + L".obb";
        files.obbTmp = files.obb + L".tmp";
        files.icon = folder + L"\\" + *package + L".ico";
    }
    return files;
}

std::wstring installParameters(const GameFiles& files, const GameRecord& game) {
    std::wstring parameters = L"installapk --index 0 --filename " + quoted(files.package);
    if (!game.obbUrl.empty() && !files.obb.empty())
        parameters += L" --packagename " + game.packageName + L" --fileobb " + quoted(files.obb);
    return parameters + L" --wait --hide";
}

int progressPercent(std::int64_t received, std::int64_t total) {
    if (total <= 0) return 0;
    return static_cast<int>(static_cast<double>(received) / static_cast<double>(total) * 100.0);
}

std::wstring progressLabel(const std::wstring& stage, const std::wstring& name, int index,
                           int count, std::int64_t received, std::int64_t total) {
    std::wstring label = stage + L" " + name;
    if (count == 1)
        label += L"\xFF1A";
    else
        label += L" (" + std::to_wstring(index) + L"/" + std::to_wstring(count) + L")\xFF1A";
    if (received >= 1048576)
        label += std::to_wstring(received / 1048576) + L"M / ";
    else
        label += std::to_wstring(received / 1024) + L"KB / ";
    label += std::to_wstring(total / 1048576) + L"M (<c #268fd6>" +
             std::to_wstring(progressPercent(received, total)) + L"%</c>)";
    return label;
}

int progressBar(int percent) {
    if (percent == 1 || percent == 2) return 3;
    if (percent >= 100) return 99;
    return percent;
}

bool progressDue(DWORD now, DWORD lastShown, std::int64_t received, std::int64_t total) {
    return now - lastShown >= 1000 || (total > 0 && received == total);
}

bool nextInstallStep(int& step) {
    step = step < 2 ? 3 : step + 1;
    if (step > 97) {
        step = 98;
        return false;
    }
    return true;
}

}  // namespace game_packages
