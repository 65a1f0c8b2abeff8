#include "toolkit/accessible_name.h"

#include "toolkit/control.h"

namespace tk {

namespace {

const Control& rootOf(const Control& control) {
    const Control* c = &control;
    while (c->parent()) c = c->parent();
    return *c;
}

void collectLabels(const Control& node, const std::wstring& target, std::wstring& out) {
    if (node.labelFor() == target) {
        const std::wstring text = node.accessible().name;
        if (!text.empty()) out += (out.empty() ? L"" : L" ") + text;
    }
    for (int i = 0; i < node.childCount(); ++i)
        if (const Control* child = node.childAt(i)) collectLabels(*child, target, out);
}

}  // namespace

std::wstring accessibleName(const Control& control) {
    if (!control.accName().empty()) return control.accName();
    if (!control.name().empty()) {
        std::wstring labels;
        collectLabels(rootOf(control), control.name(), labels);
        if (!labels.empty()) return labels;
    }
    return control.accessible().name;
}

bool isReachable(const Control& control) {
    return control.isFocusable() || control.isInteractive() ||
           !control.accessible().defaultAction.empty();
}

}  // namespace tk
