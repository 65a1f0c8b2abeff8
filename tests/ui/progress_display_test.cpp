// The progress page's formulas as the main window applies them to every report of the model:
// the stage text with its percent, the size text, the overall bar and the recorded percent; the
// simulated install progress and the rotating tips.
#include "ui/progress_display.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using progress_display::Shown;

const progress_display::Texts kTexts{L"Downloading", L"Getting version"};

struct Report {
    const char* what;
    bool withSizes;  // the system client's report; else libcurl's
    int percent, received, total;
    bool arabic;
    std::optional<std::wstring> stage;
    bool sizesVisible;
    std::optional<std::wstring> sizes;
    std::optional<int> bar, recorded;
};

TEST(ProgressDisplay, EveryReportShowsItsStageSizesBarAndPercent) {
    const Report reports[] = {
        {"0 %", false, 0, 0, 0, false, L"Downloading(0%)", false, {}, 3, 1},
        {"1 %", false, 1, 0, 0, false, L"Downloading(1%)", false, {}, 3, 1},
        {"50 %", false, 50, 0, 0, false, L"Downloading(50%)", false, {}, 31, 50},
        {"Arabic 50 %", false, 50, 0, 0, true, L"Downloading(", false, {}, 31, 50},
        {"Arabic 1 %: no floor", false, 1, 0, 0, true, L"Downloading(", false, {}, 1, 1},
        {"100 % before the end", false, 100, 0, 0, false, L"Downloading(99%)", false, {}, 62, 99},
        {"version lookup", true, -1, 5, 9, false, L"Getting version", true, L"", {}, {}},
        {"no bytes yet", true, 3, 0, 1048576, false, {}, true, {}, {}, {}},
        {"no total", true, 3, 1024, 0, false, {}, true, {}, {}, {}},
        {"half a MiB at 0 %", true, 0, 524288, 1048576, false, L"Downloading(0.5%)", true,
         L"512.00KB/1.00M", 3, 1},
        {"a sliver at 0 %", true, 0, 1024, 1048576000, false, L"Downloading(0%)", true,
         L"1.00KB/1000.00M", 3, 1},
        {"bytes only", true, 0, 500, 1048576, false, L"Downloading(0%)", true, L"B/1.00M", 3, 1},
        {"30 %", true, 30, 3145728, 10485760, false, L"Downloading(30%)", true, L"3.00M/10.00M", 18,
         30},
        {"Arabic 30 %", true, 30, 3145728, 10485760, true, L"Downloading(", true, L"3.00M/10.00M",
         18, 30},
        {"100 % clamped", true, 100, 10485760, 10485760, false, L"Downloading(99%)", true,
         L"10.00M/10.00M", 62, 99},
    };
    for (const Report& r : reports) {
        SCOPED_TRACE(r.what);
        const Shown shown = r.withSizes ? progress_display::forProgress(r.percent, r.received,
                                                                        r.total, r.arabic, kTexts)
                                        : progress_display::forPercent(r.percent, r.arabic, kTexts);
        EXPECT_EQ(shown.stage, r.stage);
        EXPECT_EQ(shown.sizesVisible, r.sizesVisible);
        EXPECT_EQ(shown.sizes, r.sizes);
        EXPECT_EQ(shown.bar, r.bar);
        EXPECT_EQ(shown.percent, r.recorded);
    }
}

// 64, 66, ... every 1.5 s after the download: 100 on the nineteenth tick, and there it stays.
TEST(ProgressDisplay, TheInstallAnimationReaches100OnItsNineteenthTickAndStays) {
    int step = 0;
    std::vector<int> bars;
    for (int tick = 1; tick <= 25; ++tick)
        bars.push_back(progress_display::installAnimationTick(step));
    EXPECT_EQ(bars[0], 64);
    EXPECT_EQ(bars[1], 66);
    EXPECT_EQ(bars[17], 98);
    for (std::size_t i = 18; i < bars.size(); ++i) EXPECT_EQ(bars[i], 100) << "tick " << i + 1;
}

TEST(ProgressDisplay, SixTipsInTurnThenTheFirstAgain) {
    std::vector<std::string> shown;
    unsigned index = 0;
    for (int i = 0; i < 8; ++i) {
        shown.push_back(progress_display::tipKey(index));
        index = progress_display::nextTip(index);
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{"turn_tip_1", "turn_tip_2", "turn_tip_3", "turn_tip_4",
                                        "turn_tip_5", "turn_tip_6", "turn_tip_1", "turn_tip_2"}));
}

}  // namespace
