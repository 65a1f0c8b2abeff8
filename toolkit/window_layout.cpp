#include "toolkit/window_layout.h"

#include "toolkit/attribute_values.h"
#include "toolkit/layout_tree.h"
#include "toolkit/skin_store.h"
#include "utility/log.h"

namespace tk {

namespace {

WindowSettings readSettings(const Attributes& w) {
    WindowSettings s;
    if (auto v = findAttribute(w, L"size")) s.size = parseSize(*v).value_or(s.size);
    if (auto v = findAttribute(w, L"mininfo")) s.minimum = parseSize(*v).value_or(s.minimum);
    if (auto v = findAttribute(w, L"caption")) s.caption = parseRect(*v).value_or(s.caption);
    if (auto v = findAttribute(w, L"roundcorner")) {
        if (auto size = parseSize(*v))
            s.roundCorner = size->cx;
        else
            s.roundCorner = parseInt(*v).value_or(0);
    }
    if (auto v = findAttribute(w, L"layered")) s.layered = parseBool(*v).value_or(false);
    return s;
}

}  // namespace

std::optional<WindowSettings> loadWindowLayout(PaintManager& manager, const std::wstring& folder,
                                               const std::wstring& file,
                                               const ControlCreator& custom) {
    manager.setRoot(nullptr);
    const auto bytes = skinStore().load(folder + file);
    if (!bytes) {
        LOG_AT("tk::loadWindowLayout", L"layout %s not found", file.c_str());
        return std::nullopt;
    }
    auto layout = parseLayout(
        *bytes, [&folder](const std::wstring& name) { return skinStore().load(folder + name); });
    if (!layout) return std::nullopt;
    for (const auto& f : layout->fonts) {
        if (f.id >= 0) manager.fonts().addFont(f.id, f.spec, f.shared);
        if (f.isDefault) manager.fonts().setDefaultFont(f.spec, f.shared);
    }
    manager.setRoot(buildControls(layout->roots, custom));
    return readSettings(layout->window);
}

}  // namespace tk
