// Layout files read into a plain tree of elements and attributes, apart from building controls:
// the parser knows nothing of controls (the factory does). Include elements are replaced by the
// children of the file they name; Font elements and the Window element's attributes are
// collected. Every element keeps its file and line, and what cannot be read is told as
// diagnostics. Pure; any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/layout_diagnostics.h"
#include "toolkit/text_renderer.h"

namespace tk {

using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;

// The attribute's value, or nothing when the list lacks it. Names compare exactly.
const std::wstring* findAttribute(const Attributes& attributes, std::wstring_view name);

struct LayoutNode {
    std::wstring element;
    Attributes attributes;
    std::vector<LayoutNode> children;
    std::wstring file;  // the file the element is written in (an included one for its own)
    int line = 0;
};

struct FontDeclaration {
    int id = -1;
    FontSpec spec;
    bool isDefault = false;
    bool shared = false;
};

struct LayoutDocument {
    Attributes window;  // attributes of the root Window element
    std::wstring file;
    int windowLine = 0;
    std::vector<FontDeclaration> fonts;
    std::vector<LayoutNode> roots;  // the Window's control elements, in order
};

// Returns a file's bytes by name, or nothing (the skin store in the product).
using LayoutFileLoader =
    std::function<std::optional<std::vector<unsigned char>>(const std::wstring& name)>;

// Parses a layout (UTF-8 XML whose root is Window) read from the named file. Nothing when it
// does not parse or has no Window root. An Include whose file is missing or does not parse adds
// nothing; includes nest at most kMaxIncludeDepth deep, which also ends include cycles. Each of
// these, and a Font attribute that does not read, adds a diagnostic when a list is given. A
// layout whose elements, with its includes in place, nest deeper than kMaxLayoutDepth below the
// Window or number more than kMaxLayoutElements does not parse either (with a diagnostic): the
// tree and every pass over it stay bounded.
constexpr int kMaxIncludeDepth = 8;
constexpr int kMaxLayoutDepth = 32;
constexpr int kMaxLayoutElements = 4096;
std::optional<LayoutDocument> parseLayout(const std::vector<unsigned char>& xml,
                                          const LayoutFileLoader& loader,
                                          const std::wstring& file = {},
                                          Diagnostics* diagnostics = nullptr);

}  // namespace tk
