// The skin viewer's --report read back: every control on show (name, class, depth, rectangle;
// for texts whether they fit, what they need and which faces drew them; what a screen reader is
// told of it) and every diagnostic of the layout.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/layout_diagnostics.h"

namespace testing_support {

struct ReportedControl {
    std::wstring name;
    std::wstring className;
    int depth = 0;
    RECT rect{};  // client coordinates, device pixels
    bool hasText = false;
    std::wstring text;
    bool multiline = false;
    bool fits = true;
    bool missingGlyph = false;
    SIZE need{};
    SIZE box{};
    std::vector<std::wstring> faces;
    std::wstring accessibleName;
    long role = 0;
    bool reachable = false;  // focusable or actionable: a person can reach it
};

struct ViewerReport {
    bool read = false;  // false: no report, or not one the viewer writes
    std::vector<ReportedControl> controls;
    tk::Diagnostics diagnostics;
};

ViewerReport readViewerReport(const std::wstring& path);

}  // namespace testing_support
