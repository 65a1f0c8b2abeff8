#include "toolkit/window_layout.h"

#include <algorithm>

#include "toolkit/attribute_values.h"
#include "toolkit/layout_tree.h"
#include "toolkit/skin_store.h"

namespace tk {

namespace {

// The Window element's attributes: each reads its value into the settings, or says it cannot.
struct WindowAttribute {
    std::wstring_view name;
    ValueKind kind;
    bool (*apply)(WindowSettings& settings, const std::wstring& value);
};

const WindowAttribute kWindowAttributes[] = {
    {L"size", ValueKind::kSize,
     [](WindowSettings& s, const std::wstring& v) {
         const auto size = parseSize(v);
         return size && (s.size = *size, true);
     }},
    {L"mininfo", ValueKind::kSize,
     [](WindowSettings& s, const std::wstring& v) {
         const auto size = parseSize(v);
         return size && (s.minimum = *size, true);
     }},
    {L"caption", ValueKind::kRect,
     [](WindowSettings& s, const std::wstring& v) {
         const auto rect = parseRect(v);
         return rect && (s.caption = *rect, true);
     }},
    {L"roundcorner", ValueKind::kSize,
     [](WindowSettings& s, const std::wstring& v) {
         // "r" or "rx,ry": the corners are circular.
         const auto size = parseSize(v);
         const auto radius = size ? std::optional<int>(size->cx) : parseInt(v);
         return radius && (s.roundCorner = *radius, true);
     }},
    {L"layered", ValueKind::kBool,
     [](WindowSettings& s, const std::wstring& v) {
         const auto on = parseBool(v);
         return on && (s.layered = *on, true);
     }},
    {L"fitcontent", ValueKind::kBool,
     [](WindowSettings& s, const std::wstring& v) {
         const auto on = parseBool(v);
         return on && (s.fitContent = *on, true);
     }},
};

WindowSettings readSettings(const LayoutDocument& layout, Diagnostics& out) {
    WindowSettings s;
    for (const auto& [name, value] : layout.window) {
        const WindowAttribute* known = nullptr;
        for (const WindowAttribute& a : kWindowAttributes)
            if (a.name == name) known = &a;
        if (!known)
            out.push_back({layout.file, layout.windowLine, L"Window", name, value,
                           L"unknown attribute of Window"});
        else if (!known->apply(s, value))
            out.push_back(
                {layout.file, layout.windowLine, L"Window", name, value,
                 L"malformed value, expected " + std::wstring(expectedForm(known->kind))});
    }
    return s;
}

int bounded(int value, int limit) {
    return limit > 0 ? std::min(value, limit) : value;
}

}  // namespace

Size fittedSize(const WindowSettings& settings, Control* root, Size size, Size limit) {
    if (!settings.fitContent || !root) return size;
    Size fitted;
    fitted.cx = std::max(size.cx, bounded(root->contentSize(size.cx).cx, limit.cx));
    fitted.cy = std::max(size.cy, bounded(root->contentSize(fitted.cx).cy, limit.cy));
    return fitted;
}

std::optional<WindowSettings> loadWindowLayout(PaintManager& manager, const std::wstring& folder,
                                               const std::wstring& file,
                                               const ControlCreator& custom,
                                               Diagnostics* diagnostics) {
    Diagnostics ignored;
    Diagnostics& out = diagnostics ? *diagnostics : ignored;
    manager.setRoot(nullptr);
    const auto bytes = skinStore().load(folder + file);
    if (!bytes) {
        out.push_back({file, 0, {}, {}, {}, L"layout not found"});
        return std::nullopt;
    }
    auto layout = parseLayout(
        *bytes, [&folder](const std::wstring& name) { return skinStore().load(folder + name); },
        file, &out);
    if (!layout) return std::nullopt;
    for (const auto& f : layout->fonts) {
        if (f.id >= 0) manager.fonts().addFont(f.id, f.spec, f.shared);
        if (f.isDefault) manager.fonts().setDefaultFont(f.spec, f.shared);
    }
    ValueChecks checks;
    checks.fontKnown = [&manager](int id) { return manager.fonts().hasFont(id); };
    checks.imageFound = [&folder](const std::wstring& image) {
        return skinStore().exists(folder + image);
    };
    manager.setRoot(buildControls(layout->roots, custom, &out, checks));
    return readSettings(*layout, out);
}

}  // namespace tk
