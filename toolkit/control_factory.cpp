#include "toolkit/control_factory.h"

#include <string>

#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/image_string.h"

namespace tk {

namespace {

void report(Diagnostics& out, const LayoutNode& node, const std::wstring& attribute,
            const std::wstring& value, const std::wstring& message) {
    out.push_back({node.file, node.line, node.element, attribute, value, message});
}

// What the checks say of a value that was applied; empty when nothing is wrong.
std::wstring checkValue(ValueKind kind, const std::wstring& value, const ValueChecks& checks) {
    if (kind == ValueKind::kFont && checks.fontKnown && !checks.fontKnown(*parseInt(value)))
        return L"unknown font id";
    if (kind != ValueKind::kImage || value.empty()) return {};
    const auto image = parseImageString(value);
    if (!image) return L"malformed value, expected " + std::wstring(expectedForm(kind));
    if (checks.imageFound && !checks.imageFound(image->file)) return L"image not found";
    return {};
}

class Builder {
public:
    Builder(const ControlCreator& custom, const ValueChecks& checks, Diagnostics& out)
        : custom_(custom), checks_(checks), out_(out) {}

    std::unique_ptr<Control> build(const LayoutNode& node) {
        std::unique_ptr<Control> control = custom_ ? custom_(node.element) : nullptr;
        if (!control) control = createStandardControl(node.element);
        if (!control) {
            report(out_, node, {}, {}, L"unknown element");
            return nullptr;
        }
        applyAttributes(*control, node, checks_, out_);
        auto* container = dynamic_cast<Container*>(control.get());
        if (!container && !node.children.empty())
            report(out_, node, {}, {}, L"holds no children; its children are ignored");
        if (container)
            for (const auto& child : node.children)
                if (auto built = build(child)) container->add(std::move(built));
        return control;
    }

private:
    const ControlCreator& custom_;
    const ValueChecks& checks_;
    Diagnostics& out_;
};

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
    for (const auto& [name, value] : attributes)
        unknown += control.applyAttribute(name, value) == AttributeResult::kUnknown;
    return unknown;
}

void applyAttributes(Control& control, const LayoutNode& node, const ValueChecks& checks,
                     Diagnostics& out) {
    for (const auto& [name, value] : node.attributes) {
        const AttributeEntry* entry = control.attributeTable().find(name);
        if (!entry) {
            report(out, node, name, value,
                   L"unknown attribute of " + std::wstring(control.className()));
            continue;
        }
        if (!entry->apply(control, value)) {
            report(out, node, name, value,
                   L"malformed value, expected " + std::wstring(expectedForm(entry->kind)));
            continue;
        }
        if (const std::wstring problem = checkValue(entry->kind, value, checks); !problem.empty())
            report(out, node, name, value, problem);
    }
}

std::unique_ptr<Control> buildControls(const std::vector<LayoutNode>& roots,
                                       const ControlCreator& custom, Diagnostics* diagnostics,
                                       const ValueChecks& checks) {
    Diagnostics ignored;
    Builder builder(custom, checks, diagnostics ? *diagnostics : ignored);
    std::vector<std::unique_ptr<Control>> built;
    for (const auto& node : roots)
        if (auto control = builder.build(node)) built.push_back(std::move(control));
    if (built.empty()) return nullptr;
    if (built.size() == 1) return std::move(built.front());
    auto holder = std::make_unique<Container>();
    for (auto& control : built) holder->add(std::move(control));
    return holder;
}

}  // namespace tk
