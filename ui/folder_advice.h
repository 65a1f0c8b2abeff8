// Advice about the drive of an install folder the user chose: the drive of the computed best
// folder is preferred when it is a solid-state drive and the chosen one is not, and a chosen
// drive with less than 17,408 MiB free gets a warning. Both advices are message boxes over the
// main window. UI thread only; the drive probes are synchronous.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class DownloaderModel;

namespace folder_advice {

// What the advice reads and changes.
struct Hooks {
    // The install-location state.
    std::function<std::wstring()> installFolder;
    std::function<std::wstring()> bestFolder;
    std::function<bool()> bestDriveSsd;
    // Stores a folder (the main window's: it also refreshes its start page).
    std::function<void(const std::wstring& folder)> setInstallPath;
    // The drive probes: the drive is given as "D:"; free MiB as the install rule counts them.
    std::function<bool(const std::wstring& drive)> isSsdDrive;
    std::function<double(const std::wstring& folder)> installFreeSpaceMB;
};

// The hooks of the run: the model's state, the given setInstallPath and the disk queries.
Hooks modelHooks(const DownloaderModel& model,
                 std::function<void(const std::wstring& folder)> setInstallPath);

// Stores the candidate folder and gives the advice its drive calls for (the SSD advice only when
// checkSsd is set). The boxes are owned by the parent.
void changePathClac(HWND parent, bool checkSsd, const std::wstring& candidate, const Hooks& hooks);

// The text with each "%s" replaced by the next argument ("%%" gives "%"), cut to 255 characters.
std::wstring formatAdvice(const std::wstring& text, const std::wstring& first,
                          const std::wstring& second = {});

}  // namespace folder_advice
