#include "toolkit/control_factory.h"

#include <set>
#include <string>

#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "utility/log.h"

namespace tk {

namespace {

// Logs a message the first time this key is seen in the process.
void logOnce(const std::wstring& key, const wchar_t* format, const std::wstring& a,
             const std::wstring& b = {}) {
    static std::set<std::wstring> seen;
    if (seen.insert(key).second) LOG_AT("tk::buildControls", format, a.c_str(), b.c_str());
}

std::unique_ptr<Control> build(const LayoutNode& node, const ControlCreator& custom) {
    std::unique_ptr<Control> control = custom ? custom(node.element) : nullptr;
    if (!control) control = createStandardControl(node.element);
    if (!control) {
        logOnce(L"element " + node.element, L"unknown element %s ignored", node.element);
        return nullptr;
    }
    applyAttributes(*control, node.attributes);
    auto* container = dynamic_cast<Container*>(control.get());
    for (const auto& child : node.children) {
        if (!container) {
            logOnce(L"children " + node.element, L"children of %s ignored", node.element);
            break;
        }
        if (auto built = build(child, custom)) container->add(std::move(built));
    }
    return control;
}

}  // namespace

std::unique_ptr<Control> createStandardControl(std::wstring_view element) {
    if (element == L"Control") return std::make_unique<Control>();
    if (element == L"Label" || element == L"Text" || element == L"ListLabelElement")
        return std::make_unique<Label>();
    if (element == L"Button") return std::make_unique<Button>();
    if (element == L"Option") return std::make_unique<Option>();
    if (element == L"Edit") return std::make_unique<Edit>();
    if (element == L"Combo") return std::make_unique<Combo>();
    if (element == L"Progress") return std::make_unique<Progress>();
    if (element == L"RichEdit") return std::make_unique<RichEdit>();
    if (element == L"Container") return std::make_unique<Container>();
    if (element == L"VerticalLayout") return std::make_unique<VerticalLayout>();
    if (element == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
    if (element == L"TabLayout") return std::make_unique<TabLayout>();
    return nullptr;
}

int applyAttributes(Control& control, const Attributes& attributes) {
    int unknown = 0;
    for (const auto& [name, value] : attributes) {
        if (control.setAttribute(name, value)) continue;
        ++unknown;
        const std::wstring element(control.className());
        logOnce(L"attribute " + element + L"." + name, L"unknown attribute %s.%s ignored", element,
                name);
    }
    return unknown;
}

std::unique_ptr<Control> buildControls(const std::vector<LayoutNode>& roots,
                                       const ControlCreator& custom) {
    std::vector<std::unique_ptr<Control>> built;
    for (const auto& node : roots)
        if (auto control = build(node, custom)) built.push_back(std::move(control));
    if (built.empty()) return nullptr;
    if (built.size() == 1) return std::move(built.front());
    auto holder = std::make_unique<Container>();
    for (auto& control : built) holder->add(std::move(control));
    return holder;
}

}  // namespace tk
