// What the main window's progress page shows for each report of the model: the stage text, the
// size text, the overall bar (the download in its first 63 points, the install in the rest) and
// the percent the window records; the simulated install progress and the rotating tips. Pure
// functions of their arguments; the window applies the results. Any thread.
#pragma once

#include <optional>
#include <string>

namespace progress_display {

// The change one report makes to the page; an absent field stays as it is.
struct Shown {
    std::optional<std::wstring> stage;  // `loadingprogresslabel`
    bool sizesVisible = false;          // `downloadProgressLabel` shown or hidden
    std::optional<std::wstring> sizes;  // its text
    std::optional<int> bar;             // `installprogressbar`
    std::optional<int> percent;         // the percent the window records
};

// Texts the reports use, looked up by the window.
struct Texts {
    std::wstring downloading;    // "Label_downloading"
    std::wstring versionLookup;  // "Label_getversion_info"
};

// The libcurl client's report: the stage with the percent (none in Arabic), no sizes. Until
// the download has finished the stage never reads 100 % or more.
Shown forPercent(int percent, bool arabic, const Texts& texts);
// The system client's report with the sizes; −1 asks for the version-lookup text.
Shown forProgress(int percent, int received, int total, bool arabic, const Texts& texts);

// The bar for a download percent: 63 % of it, the percent itself below 1, at least 3 when asked.
int downloadBar(int percent, bool floorAtThree);
// The percent the window records: at least 1 once the download reported.
int recordedPercent(int percent);

// One 1.5-second tick of the simulated install: the bar's value; the step advances by 2 and
// the bar stays at 100 from the nineteenth tick on.
int installAnimationTick(int& step);

// The text key of the tip at the index, and the index of the tip after it (after the sixth,
// the first again).
const char* tipKey(unsigned index);
unsigned nextTip(unsigned index);

}  // namespace progress_display
