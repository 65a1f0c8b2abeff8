#include "toolkit/layout_tree.h"

#include <pugixml.hpp>

#include "toolkit/attribute_values.h"
#include "utility/log.h"
#include "utility/text.h"

namespace tk {

namespace {

bool parseXml(pugi::xml_document& document, const std::vector<unsigned char>& bytes) {
    const auto result =
        document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8);
    return static_cast<bool>(result);
}

Attributes readAttributes(const pugi::xml_node& node) {
    Attributes attributes;
    for (const auto& a : node.attributes())
        attributes.emplace_back(utility::utf8ToWide(a.name()), utility::utf8ToWide(a.value()));
    return attributes;
}

FontDeclaration readFont(const Attributes& a) {
    FontDeclaration font;
    if (auto v = findAttribute(a, L"id")) font.id = parseInt(*v).value_or(-1);
    if (auto v = findAttribute(a, L"name")) font.spec.face = *v;
    if (auto v = findAttribute(a, L"size")) font.spec.size = parseInt(*v).value_or(12);
    if (auto v = findAttribute(a, L"bold")) font.spec.bold = parseBool(*v).value_or(false);
    if (auto v = findAttribute(a, L"underline"))
        font.spec.underline = parseBool(*v).value_or(false);
    if (auto v = findAttribute(a, L"italic")) font.spec.italic = parseBool(*v).value_or(false);
    if (auto v = findAttribute(a, L"default")) font.isDefault = parseBool(*v).value_or(false);
    if (auto v = findAttribute(a, L"shared")) font.shared = parseBool(*v).value_or(false);
    return font;
}

class TreeReader {
public:
    TreeReader(const LayoutFileLoader& loader, LayoutDocument& document)
        : loader_(loader), document_(document) {}

    // Appends the element children of node to out, expanding includes and collecting fonts.
    void readChildren(const pugi::xml_node& node, std::vector<LayoutNode>& out, int depth) {
        for (const auto& child : node.children()) {
            if (tooLarge_) return;
            if (child.type() != pugi::node_element) continue;
            const std::string_view element = child.name();
            if (element == "Font") {
                document_.fonts.push_back(readFont(readAttributes(child)));
            } else if (element == "Include") {
                // Counted as an element: includes of includes multiply without one.
                if (count()) include(child, out, depth);
            } else if (enter()) {
                LayoutNode n{utility::utf8ToWide(child.name()), readAttributes(child), {}};
                readChildren(child, n.children, depth);
                --nesting_;
                out.push_back(std::move(n));
            }
        }
    }

    bool tooLarge() const { return tooLarge_; }

private:
    void include(const pugi::xml_node& node, std::vector<LayoutNode>& out, int depth) {
        const std::wstring source = utility::utf8ToWide(node.attribute("source").value());
        if (source.empty() || depth >= kMaxIncludeDepth) {
            LOG_AT("tk::parseLayout", L"include skipped: %s", source.c_str());
            return;
        }
        auto bytes = loader_ ? loader_(source) : std::nullopt;
        pugi::xml_document included;
        if (!bytes || !parseXml(included, *bytes)) {
            LOG_AT("tk::parseLayout", L"include not loaded: %s", source.c_str());
            return;
        }
        // The included file's root element is only a wrapper; its children are inserted.
        readChildren(included.document_element(), out, depth + 1);
    }

    // One element more; false (and the whole read ends) past the bound.
    bool count() {
        if (elements_ >= kMaxLayoutElements) tooLarge_ = true;
        if (tooLarge_) return false;
        ++elements_;
        return true;
    }
    // One element more, one level deeper.
    bool enter() {
        if (nesting_ >= kMaxLayoutDepth) tooLarge_ = true;
        if (!count()) return false;
        ++nesting_;
        return true;
    }

    const LayoutFileLoader& loader_;
    LayoutDocument& document_;
    int nesting_ = 0;
    int elements_ = 0;
    bool tooLarge_ = false;
};

}  // namespace

const std::wstring* findAttribute(const Attributes& attributes, std::wstring_view name) {
    for (const auto& [key, value] : attributes)
        if (key == name) return &value;
    return nullptr;
}

std::optional<LayoutDocument> parseLayout(const std::vector<unsigned char>& xml,
                                          const LayoutFileLoader& loader) {
    pugi::xml_document document;
    if (!parseXml(document, xml)) {
        LOG_AT("tk::parseLayout", L"layout does not parse");
        return std::nullopt;
    }
    const auto root = document.document_element();
    if (std::string_view(root.name()) != "Window") {
        LOG_AT("tk::parseLayout", L"layout has no Window root");
        return std::nullopt;
    }
    LayoutDocument layout;
    layout.window = readAttributes(root);
    TreeReader reader(loader, layout);
    reader.readChildren(root, layout.roots, 0);
    if (reader.tooLarge()) {
        LOG_AT("tk::parseLayout", L"layout nests too deep or has too many elements");
        return std::nullopt;
    }
    return layout;
}

}  // namespace tk
