// Turns a parsed layout into controls: element names map to control classes (a window may add
// its own first), attributes are applied in document order. Unknown elements and attributes are
// logged once per process and ignored (an unknown element's children with it). UI thread only;
// the caller owns the controls returned.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/layout_tree.h"

namespace tk {

using ControlCreator = std::function<std::unique_ptr<Control>(std::wstring_view element)>;

// A control of a standard element (Control, Label, Button, Option, Edit, Combo, Progress,
// RichEdit, Container, VerticalLayout, HorizontalLayout, TabLayout), or nothing.
std::unique_ptr<Control> createStandardControl(std::wstring_view element);

// Applies every attribute; returns how many the control did not know.
int applyAttributes(Control& control, const Attributes& attributes);

// Builds the tree of the layout's roots: one root as it is, several inside a plain container.
// Nothing when no element could be built.
std::unique_ptr<Control> buildControls(const std::vector<LayoutNode>& roots,
                                       const ControlCreator& custom);

}  // namespace tk
