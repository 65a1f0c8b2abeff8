#include "toolkit/layout_tree.h"

#include <pugixml.hpp>

#include <algorithm>

#include "toolkit/attribute_table.h"
#include "utility/text.h"

namespace tk {

namespace {

pugi::xml_parse_result parseXml(pugi::xml_document& document,
                                const std::vector<unsigned char>& bytes) {
    return document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default,
                                pugi::encoding_utf8);
}

Attributes readAttributes(const pugi::xml_node& node) {
    Attributes attributes;
    for (const auto& a : node.attributes())
        attributes.emplace_back(utility::utf8ToWide(a.name()), utility::utf8ToWide(a.value()));
    return attributes;
}

// One file being read: its bytes for line numbers, its name, and where diagnostics go.
class Source {
public:
    Source(const std::vector<unsigned char>& bytes, std::wstring file, Diagnostics* out)
        : file_(std::move(file)), out_(out) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\n') breaks_.push_back(static_cast<std::ptrdiff_t>(i));
    }

    const std::wstring& file() const { return file_; }
    int line(const pugi::xml_node& node) const { return lineAt(node.offset_debug()); }
    // 1-based line of a byte offset; 0 when the offset is unknown.
    int lineAt(std::ptrdiff_t offset) const {
        if (offset < 0) return 0;
        return 1 + static_cast<int>(std::lower_bound(breaks_.begin(), breaks_.end(), offset) -
                                    breaks_.begin());
    }
    void report(int line, const std::wstring& element, const std::wstring& attribute,
                const std::wstring& value, const std::wstring& message) const {
        if (out_) out_->push_back({file_, line, element, attribute, value, message});
    }
    Diagnostics* out() const { return out_; }

private:
    std::vector<std::ptrdiff_t> breaks_;  // offsets of the line feeds
    std::wstring file_;
    Diagnostics* out_;
};

// The Font element's attributes, each by the parser of its kind.
FontDeclaration readFont(const Attributes& attributes, const Source& source, int line) {
    FontDeclaration font;
    for (const auto& [name, value] : attributes) {
        bool ok = true;
        auto take = [&](auto parsed, auto& target) {
            if (parsed)
                target = *parsed;
            else
                ok = false;
        };
        if (name == L"id")
            take(parseInt(value), font.id);
        else if (name == L"name")
            font.spec.face = value;
        else if (name == L"size")
            take(parseInt(value), font.spec.size);
        else if (name == L"bold")
            take(parseBool(value), font.spec.bold);
        else if (name == L"underline")
            take(parseBool(value), font.spec.underline);
        else if (name == L"italic")
            take(parseBool(value), font.spec.italic);
        else if (name == L"default")
            take(parseBool(value), font.isDefault);
        else if (name == L"shared")
            take(parseBool(value), font.shared);
        else
            source.report(line, L"Font", name, value, L"unknown attribute of Font");
        if (!ok) source.report(line, L"Font", name, value, L"malformed value");
    }
    return font;
}

class TreeReader {
public:
    TreeReader(const LayoutFileLoader& loader, LayoutDocument& document)
        : loader_(loader), document_(document) {}

    // Appends the element children of node to out, expanding includes and collecting fonts.
    void readChildren(const pugi::xml_node& node, std::vector<LayoutNode>& out, int depth,
                      const Source& source) {
        for (const auto& child : node.children()) {
            if (tooLarge_) return;
            if (child.type() != pugi::node_element) continue;
            const std::string_view element = child.name();
            const int line = source.line(child);
            if (element == "Font") {
                document_.fonts.push_back(readFont(readAttributes(child), source, line));
            } else if (element == "Include") {
                // Counted as an element: includes of includes multiply without one.
                if (count()) include(child, out, depth, source, line);
            } else if (enter()) {
                LayoutNode n{utility::utf8ToWide(child.name()),
                             readAttributes(child),
                             {},
                             source.file(),
                             line};
                readChildren(child, n.children, depth, source);
                --nesting_;
                out.push_back(std::move(n));
            }
        }
    }

    bool tooLarge() const { return tooLarge_; }

private:
    void include(const pugi::xml_node& node, std::vector<LayoutNode>& out, int depth,
                 const Source& source, int line) {
        const std::wstring name = utility::utf8ToWide(node.attribute("source").value());
        auto report = [&](const std::wstring& message) {
            source.report(line, L"Include", L"source", name, message);
        };
        if (name.empty()) return report(L"Include names no source");
        if (depth >= kMaxIncludeDepth)
            return report(L"includes nest deeper than " + std::to_wstring(kMaxIncludeDepth));
        auto bytes = loader_ ? loader_(name) : std::nullopt;
        if (!bytes) return report(L"included file not found");
        pugi::xml_document included;
        const auto parsed = parseXml(included, *bytes);
        const Source inner(*bytes, name, source.out());
        if (!parsed) {
            inner.report(inner.lineAt(parsed.offset), {}, {}, {},
                         L"XML does not parse: " + utility::utf8ToWide(parsed.description()));
            return report(L"included file does not parse");
        }
        // The included file's root element is only a wrapper; its children are inserted.
        readChildren(included.document_element(), out, depth + 1, inner);
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
                                          const LayoutFileLoader& loader, const std::wstring& file,
                                          Diagnostics* diagnostics) {
    const Source source(xml, file, diagnostics);
    pugi::xml_document document;
    if (const auto parsed = parseXml(document, xml); !parsed) {
        source.report(source.lineAt(parsed.offset), {}, {}, {},
                      L"XML does not parse: " + utility::utf8ToWide(parsed.description()));
        return std::nullopt;
    }
    const auto root = document.document_element();
    if (std::string_view(root.name()) != "Window") {
        source.report(root ? source.line(root) : 0, utility::utf8ToWide(root.name()), {}, {},
                      L"the root element is not Window");
        return std::nullopt;
    }
    LayoutDocument layout;
    layout.window = readAttributes(root);
    layout.file = file;
    layout.windowLine = source.line(root);
    TreeReader reader(loader, layout);
    reader.readChildren(root, layout.roots, 0, source);
    if (reader.tooLarge()) {
        source.report(layout.windowLine, L"Window", {}, {},
                      L"the elements nest too deep or are too many, includes in place");
        return std::nullopt;
    }
    return layout;
}

}  // namespace tk
