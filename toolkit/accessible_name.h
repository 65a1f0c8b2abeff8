// What a screen reader calls a control: the layout's "accname" when it gives one; else the texts
// of the controls that name it with "labelfor" (in tree order, joined by a blank), as a native
// dialog's label names the edit after it; else the control's own (its text, or its tooltip).
// And whether a person can reach the control (it takes the focus or has an action), which is
// what must have a name. UI thread only.
#pragma once

#include <string>

namespace tk {

class Control;

std::wstring accessibleName(const Control& control);

bool isReachable(const Control& control);

}  // namespace tk
