#include "ui/folder_advice.h"

#include <cstdint>
#include <utility>

#include "engine/downloader_model.h"
#include "engine/install_location.h"
#include "toolkit/text_table.h"
#include "ui/message_box.h"
#include "utility/disk.h"
#include "utility/log.h"

namespace folder_advice {

namespace {

constexpr char kTag[] = "CMainFrame::changePathClac";
constexpr std::size_t kMaxAdviceLength = 255;

std::wstring driveOf(const std::wstring& folder) {
    return folder.substr(0, 2);
}

std::wstring driveLetter(const std::wstring& folder) {
    return folder.substr(0, 1);
}

void showSsdAdvice(HWND parent, const std::wstring& candidate, const std::wstring& best,
                   const Hooks& hooks) {
    const msg::Action keep = [parent, candidate, hooks] {
        changePathClac(parent, false, candidate, hooks);
    };
    const msg::Action change = [best, hooks] { hooks.setInstallPath(best); };
    const std::wstring text =
        formatAdvice(tk::lookupText("path_ssd"), driveLetter(candidate), driveLetter(best));
    msg::showMessageBoxWithIcon(parent, {}, tk::lookupText("path_noice"), text,
                                {tk::lookupText("path_not"), keep, false},
                                {tk::lookupText("path_ok"), change, true}, keep);
}

void showSpaceAdvice(HWND parent, const std::wstring& advised, const Hooks& hooks) {
    // With neither a best nor a previous folder there is nothing to change to.
    const msg::Action change = [advised, hooks] {
        if (!advised.empty()) hooks.setInstallPath(advised);
    };
    const std::wstring text = formatAdvice(tk::lookupText("path_more"), driveLetter(advised));
    msg::showMessageBoxWithIcon(parent, {}, tk::lookupText("path_noice"), text,
                                {tk::lookupText("path_not"), {}, false},
                                {tk::lookupText("path_ok"), change, true}, {});
}

bool belowAdvisedSpace(double freeMB) {
    return freeMB < install_location::kSsdPreferredFreeMB;
}

}  // namespace

Hooks modelHooks(const DownloaderModel& model,
                 std::function<void(const std::wstring& folder)> setInstallPath) {
    const DownloaderModel* state = &model;
    return {[state] { return state->installFolder(); },
            [state] { return state->bestFolder(); },
            [state] { return state->bestDriveSsd(); },
            std::move(setInstallPath),
            [](const std::wstring& drive) { return helper::disk::isSsdDrive(drive); },
            [](const std::wstring& folder) { return helper::disk::getInstallFreeSpaceMB(folder); }};
}

void changePathClac(HWND parent, bool checkSsd, const std::wstring& candidate, const Hooks& hooks) {
    const std::wstring previous = hooks.installFolder();
    // A folder chosen again needs no advice; but the SSD advice's "path_not" comes back here
    // (without the SSD check) for the space check of the folder it has just stored.
    if (candidate == previous && checkSsd) return;
    hooks.setInstallPath(candidate);
    const std::wstring best = hooks.bestFolder();
    const bool bestSsd = hooks.bestDriveSsd();

    if (best.size() > 2 && driveOf(candidate) == driveOf(best)) {
        LOG_AT(kTag, L"same best path");
        return;
    }
    if (checkSsd && bestSsd && !best.empty() && !hooks.isSsdDrive(driveOf(candidate))) {
        showSsdAdvice(parent, candidate, best, hooks);
        return;
    }
    if (!belowAdvisedSpace(hooks.installFreeSpaceMB(candidate))) return;
    LOG_AT(kTag, L"left 17G");
    const std::wstring advised = best.empty() ? previous : best;
    // The space may have grown since the first measure.
    const auto again = static_cast<std::int64_t>(hooks.installFreeSpaceMB(candidate));
    if (!belowAdvisedSpace(static_cast<double>(again))) {
        LOG_AT(kTag, L"all left 24G");
        return;
    }
    showSpaceAdvice(parent, advised, hooks);
}

std::wstring formatAdvice(const std::wstring& text, const std::wstring& first,
                          const std::wstring& second) {
    const std::wstring* arguments[] = {&first, &second};
    std::size_t next = 0;
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() &&
            (text[i + 1] == L's' || text[i + 1] == L'%')) {
            if (text[i + 1] == L'%') {
                out += L'%';
            } else if (next < std::size(arguments)) {
                out += *arguments[next++];
            }
            ++i;
        } else {
            out += text[i];
        }
    }
    if (out.size() > kMaxAdviceLength) out.resize(kMaxAdviceLength);
    return out;
}

}  // namespace folder_advice
