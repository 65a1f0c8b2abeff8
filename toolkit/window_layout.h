// Loading a window's layout into its paint manager: the tree, the fonts, and the window's own
// settings (size, minimum size, caption strip, rounded corners, layered presentation). Shared by
// the window base and by tools that render a layout off screen. UI thread only.
#pragma once

#include <optional>
#include <string>

#include "toolkit/control_factory.h"
#include "toolkit/geometry.h"
#include "toolkit/layout_diagnostics.h"
#include "toolkit/paint_manager.h"

namespace tk {

struct WindowSettings {
    Size size;  // 96-DPI units; 0 when the layout gives none
    Size minimum;
    Rect caption;  // left, top, inset from the right edge, bottom
    int roundCorner = 0;
    bool layered = false;
    // The window grows beyond its size when its content needs more room (a longer text).
    bool fitContent = false;
};

// The client size a window shows its tree at, in device pixels: the size it has from its layout,
// or, when the layout lets it fit its content, as much more as the tree needs (first the width its
// content needs, then the height at that width), never beyond the limit (0: none). Never less
// than the layout's size.
Size fittedSize(const WindowSettings& settings, Control* root, Size size, Size limit = {});

// Reads folder + file from the skin store, builds its tree into the manager (replacing the old
// one) and declares its fonts. Nothing when the layout is missing or does not parse; the
// manager then has no tree. What is wrong with the layout is added to the diagnostics when a
// list is given; font ids are known when the layout declares them or the manager already has
// them (shared fonts of windows made before).
std::optional<WindowSettings> loadWindowLayout(PaintManager& manager, const std::wstring& folder,
                                               const std::wstring& file,
                                               const ControlCreator& custom,
                                               Diagnostics* diagnostics = nullptr);

}  // namespace tk
