// Turns a parsed layout into controls: element names map to control classes (a window may add
// its own first), attributes are applied in document order by each class's attribute table.
// Unknown elements (with their children), children of controls that hold none, unknown
// attributes, malformed values, images the skin lacks and font ids the window does not have
// are told as diagnostics and otherwise ignored. UI thread only; the caller owns the controls
// returned.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/layout_diagnostics.h"
#include "toolkit/layout_tree.h"

namespace tk {

using ControlCreator = std::function<std::unique_ptr<Control>(std::wstring_view element)>;

// What values are checked against while a layout is built; an empty check passes everything.
struct ValueChecks {
    std::function<bool(int id)> fontKnown;
    std::function<bool(const std::wstring& file)> imageFound;
};

// A control of a standard element (Control, Label, Button, Option, Edit, Combo, Progress,
// RichEdit, Container, VerticalLayout, HorizontalLayout, TabLayout), or nothing.
std::unique_ptr<Control> createStandardControl(std::wstring_view element);

// Applies every attribute; returns how many the control did not know.
int applyAttributes(Control& control, const Attributes& attributes);
// Applies the element's attributes, telling what is wrong with them.
void applyAttributes(Control& control, const LayoutNode& node, const ValueChecks& checks,
                     Diagnostics& diagnostics);

// Builds the tree of the layout's roots: one root as it is, several inside a plain container.
// Nothing when no element could be built.
std::unique_ptr<Control> buildControls(const std::vector<LayoutNode>& roots,
                                       const ControlCreator& custom,
                                       Diagnostics* diagnostics = nullptr,
                                       const ValueChecks& checks = {});

}  // namespace tk
