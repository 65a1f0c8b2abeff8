// The named controls a window's code uses, found once right after its tree is built, each into
// a typed slot of the window. A required control that the layout lacks, or has of another kind,
// keeps the window from being created, so code after creation never meets a missing control;
// an optional one stays null (the code checks it) and is only logged. UI thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolkit/paint_manager.h"

namespace tk {

class ControlBinder {
public:
    ControlBinder(const PaintManager& manager, std::wstring layout)
        : manager_(manager), layout_(std::move(layout)) {}

    template <class T>
    void require(T*& slot, std::wstring_view name) {
        slot = find<T>(name, true);
    }
    template <class T>
    void optional(T*& slot, std::wstring_view name) {
        slot = find<T>(name, false);
    }
    // The required controls that were not found, as "name" or "name (a Kind)".
    const std::vector<std::wstring>& missing() const { return missing_; }

private:
    template <class T>
    T* find(std::wstring_view name, bool required) {
        Control* control = manager_.findControl(name);
        T* typed = dynamic_cast<T*>(control);
        if (!typed) miss(name, control, required);
        return typed;
    }
    // Logs the miss; a required one is kept for the window's verdict.
    void miss(std::wstring_view name, const Control* found, bool required);

    const PaintManager& manager_;
    std::wstring layout_;
    std::vector<std::wstring> missing_;
};

}  // namespace tk
