#include "ui/progress_display.h"

#include <algorithm>
#include <cstdio>

namespace progress_display {

namespace {

constexpr const char* kTips[] = {"turn_tip_1", "turn_tip_2", "turn_tip_3",
                                 "turn_tip_4", "turn_tip_5", "turn_tip_6"};

std::wstring formatFloat(const wchar_t* pattern, float value) {
    wchar_t buffer[64];
    swprintf(buffer, 64, pattern, static_cast<double>(value));
    return buffer;
}

// "12.50M/356.79M": the received size in B, KB or M, and the total in M.
std::wstring sizesText(int received, int total) {
    std::wstring size;
    if (received < 1024)
        size = L"B";
    else if (received < 1048576)
        size = formatFloat(L"%0.2f", static_cast<float>(received) / 1024.0f) + L"KB";
    else
        size = formatFloat(L"%0.2f", static_cast<float>(received) / 1048576.0f) + L"M";
    return size + L"/" + formatFloat(L"%0.2f", static_cast<float>(total) / 1048576.0f) + L"M";
}

// The percent as the stage shows it: a report of 0 shows the fraction itself with one decimal.
std::wstring percentText(int percent, int received, int total) {
    if (percent != 0) return std::to_wstring(percent);
    const float share = static_cast<float>(received) / static_cast<float>(total);
    return share > 0.0099999f ? formatFloat(L"%0.1f", share) : L"0";
}

}  // namespace

int downloadBar(int percent, bool floorAtThree) {
    float v = static_cast<float>(percent) * 0.63f;
    if (v < 1) v = static_cast<float>(percent);
    if (floorAtThree && v < 3) v = 3;
    return static_cast<int>(v);
}

int recordedPercent(int percent) {
    return percent < 2 ? 1 : percent;
}

Shown forPercent(int percent, bool arabic, const Texts& texts) {
    percent = std::min(percent, 99);
    Shown shown;
    shown.stage = texts.downloading + L"(";
    if (!arabic) *shown.stage += std::to_wstring(percent) + L"%)";
    shown.bar = downloadBar(percent, !arabic);
    shown.percent = recordedPercent(percent);
    return shown;
}

Shown forProgress(int percent, int received, int total, bool arabic, const Texts& texts) {
    Shown shown;
    shown.sizesVisible = true;
    if (percent == -1) {
        shown.stage = texts.versionLookup;
        shown.sizes = L"";
        return shown;
    }
    if (received == 0 || total == 0) return shown;
    percent = std::min(percent, 99);
    shown.sizes = sizesText(received, total);
    shown.stage = texts.downloading + L"(";
    if (!arabic) *shown.stage += percentText(percent, received, total) + L"%)";
    shown.bar = downloadBar(percent, !arabic);
    shown.percent = recordedPercent(percent);
    return shown;
}

int installAnimationTick(int& step) {
    if (step >= 36) step = 36;
    const int bar = step + 64;
    step += 2;
    return bar;
}

const char* tipKey(unsigned index) {
    return kTips[index % 6];
}

unsigned nextTip(unsigned index) {
    return (index + 1) % 6;
}

}  // namespace progress_display
