// The pure parts of the game package flow: which way a game is handed to the emulator, the
// emulator's argument texts, the game's files in the install folder, the console tool's install
// parameters, and the progress display's texts and values. Any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/downloader_model.h"

namespace game_packages {

// The native timer of the install display and its period.
constexpr unsigned kInstallTimerId = 800;
constexpr unsigned kInstallTimerMs = 500;
// Longest wait for one console tool command.
constexpr unsigned kConsoleWaitMs = 120000;

// How the first game of the list reaches the emulator after the install.
enum class HandOver { kAppStore, kGameId, kDownloadHere, kPackage };
HandOver handOverOf(const GameRecord& game);

// Why the game's texts cannot go onto the console tool's or the emulator's command line: a
// package name that is neither empty nor an Android package name, or a resolution that is
// neither empty nor "<digits>x<digits>". Nothing when they can.
std::optional<std::wstring> refusalOf(const GameRecord& game);
// The games that can, in their order; every other one is logged under the tag and left out.
std::vector<GameRecord> acceptedGames(std::vector<GameRecord> games, const char* tag);

// The emulator's start parameters for the three hand-overs that need no download here.
std::wstring appStoreArguments(const GameRecord& game);
std::wstring gameIdArguments(const GameRecord& game);
std::wstring packageArguments(const GameRecord& game);

// A game's files in the install folder. The game and package names come from the command line
// and the package document, so each is used only as one safe file-name component.
struct GameFiles {
    std::wstring shortcutName;  // the game's name as the desktop shortcut's file name
    std::wstring package;       // folder\<game>.apk or .xapk
    std::wstring packageTmp;    // the same + ".tmp"
    std::wstring obb;           // folder\<package>.obb
    std::wstring obbTmp;
    std::wstring icon;  // folder\<package>.ico
};
// Nothing when a name cannot be made safe (the game is then skipped).
std::optional<GameFiles> gameFiles(const std::wstring& folder, const GameRecord& game);

// "installapk --index 0 --filename "…" [--packagename P --fileobb "…"] --wait --hide".
std::wstring installParameters(const GameFiles& files, const GameRecord& game);

// The progress label of a download: stage text, " ", display name, the game's place in the list
// ("：" for a single game, " (i/n)：" otherwise), received and total sizes and the percent in the
// accent colour.
std::wstring progressLabel(const std::wstring& stage, const std::wstring& name, int index,
                           int count, std::int64_t received, std::int64_t total);
int progressPercent(std::int64_t received, std::int64_t total);
// The bar's value for a percent: 3 for 1 and 2, 99 from 100 on.
int progressBar(int percent);

// Whether a download's progress is shown now: at most once a second, and once more for the last
// chunk of a download whose total is known; an unknown or zero total is shown by time alone.
bool progressDue(DWORD now, DWORD lastShown, std::int64_t received, std::int64_t total);

// One tick of the install display's step counter; false when the counter has reached its end
// (the timer then stops).
bool nextInstallStep(int& step);

}  // namespace game_packages
