// Fuzz targets of the toolkit's parsers: layouts all the way to a paint, the text table, markup,
// image strings and attribute values.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "tests/support/fuzz/fuzz_targets.h"
#include "tests/support/test_support.h"
#include "toolkit/attribute_values.h"
#include "toolkit/control_factory.h"
#include "toolkit/font_table.h"
#include "toolkit/image_string.h"
#include "toolkit/layout_tree.h"
#include "toolkit/markup.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"

namespace fuzz {
namespace {

using tk::Rect;
using tk::Size;

// The skin store and the text table of the process, from the installer's skin archive, for the
// includes, images and "@" texts of layouts.
void prepareSkin(const SeedSources& sources) {
    static const bool ready = [&] {
        const Bytes archive = testing_support::readFileBytes(sources.skinArchive);
        tk::skinStore().registerArchiveBytes(archive.data(), archive.size());
        tk::textTable().setLanguage(L"en_US");
        if (const tk::Bytes* table = tk::skinStore().archiveEntry(tk::TextTable::kFileName))
            tk::textTable().loadFromBytes(
                std::string_view(reinterpret_cast<const char*>(table->data()), table->size()));
        return true;
    }();
    (void)ready;
}

// ---- Layouts -----------------------------------------------------------------------------------

// A layout that includes itself, to reach include cycles and depth from the first input on.
constexpr char kSelfIncluding[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Window size=\"640,400\" caption=\"0,0,0,32\">\n"
    "  <Font id=\"0\" name=\"Noto Sans\" size=\"12\" default=\"true\"/>\n"
    "  <VerticalLayout bkcolor=\"#FFF0F0F0\" inset=\"8,8,8,8\" childpadding=\"4\">\n"
    "    <Include source=\"self.xml\"/>\n"
    "    <HorizontalLayout height=\"32\"><Label text=\"@sure\" width=\"80\"/>"
    "<Button name=\"b\" text=\"@cancel\" float=\"true\" pos=\"10,10,90,40\"/></HorizontalLayout>\n"
    "    <TabLayout selectedid=\"1\"><Control/><Progress min=\"0\" max=\"100\" value=\"50\"/>"
    "</TabLayout>\n"
    "  </VerticalLayout>\n"
    "</Window>\n";

const std::vector<std::string> kLayoutWords = {"<Include source=\"self.xml\"/>",
                                               "<Include source=\"common/xml_messagebox.xml\"/>",
                                               "<VerticalLayout>",
                                               "</VerticalLayout>",
                                               "<HorizontalLayout>",
                                               "</HorizontalLayout>",
                                               "<TabLayout>",
                                               "</TabLayout>",
                                               "<Label ",
                                               "<Button ",
                                               "<Edit ",
                                               "<Option ",
                                               "<Combo ",
                                               "<Progress ",
                                               "<RichEdit ",
                                               "<Control ",
                                               "<Font ",
                                               "/>",
                                               "<![CDATA[",
                                               "]]>",
                                               "&amp;",
                                               "&#x0;",
                                               "&#xD800;",
                                               "<!DOCTYPE x [<!ENTITY a \"aaaa\">]>",
                                               " float=\"true\" pos=\"",
                                               " width=\"",
                                               " height=\"",
                                               " padding=\"",
                                               " inset=\"",
                                               " childpadding=\"",
                                               " minwidth=\"",
                                               " maxwidth=\"",
                                               " text=\"@",
                                               " showhtml=\"true\"",
                                               " multiline=\"true\"",
                                               " normalimage=\"file='",
                                               " bkimage=\"",
                                               " corner='",
                                               " source='",
                                               " font=\"",
                                               " size=\"",
                                               " align=\"",
                                               " valign=\"",
                                               " visible=\"false\"",
                                               " selected=\"true\"",
                                               " value=\"",
                                               " max=\"",
                                               " min=\"",
                                               "<u>",
                                               "<c #268fd6>",
                                               "<br>",
                                               "\"",
                                               "'",
                                               ",",
                                               "-"};

std::optional<Size> windowSize(const tk::LayoutDocument& layout) {
    const std::wstring* value = tk::findAttribute(layout.window, L"size");
    return value ? tk::parseSize(*value) : std::nullopt;
}

std::string describe(const tk::Control& control) {
    const Rect& r = control.rect();
    const std::wstring_view name = control.className();
    return std::string(name.begin(), name.end()) + " " + std::to_string(r.left) + "," +
           std::to_string(r.top) + "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

// Visible children of containers lie inside their container (floats place themselves).
std::string placementProblem(const tk::Control& root, const Rect& window) {
    const auto inside = [](const Rect& inner, const Rect& outer) {
        return inner.empty() || (inner.left >= outer.left && inner.top >= outer.top &&
                                 inner.right <= outer.right && inner.bottom <= outer.bottom);
    };
    if (!inside(root.rect(), window)) return "the root is placed outside the window";
    std::vector<const tk::Control*> pending{&root};
    while (!pending.empty()) {
        const tk::Control* parent = pending.back();
        pending.pop_back();
        for (int i = 0; i < parent->childCount(); ++i) {
            const tk::Control* child = parent->childAt(i);
            if (!child) continue;
            if (!child->isFloat() && parent->showsChild(*child) &&
                !inside(child->rect(), parent->rect()))
                return "a control is placed outside its container: " + describe(*child) + " in " +
                       describe(*parent);
            pending.push_back(child);
        }
    }
    return {};
}

std::string paintAt(const tk::LayoutDocument& layout, int dpi) {
    tk::FontTable::clearShared();
    tk::PaintManager manager;
    manager.attachWindow(nullptr, {}, nullptr);
    manager.setDpi(dpi);
    for (const auto& f : layout.fonts) {
        if (f.id >= 0) manager.fonts().addFont(f.id, f.spec, f.shared);
        if (f.isDefault) manager.fonts().setDefaultFont(f.spec, f.shared);
    }
    manager.setRoot(tk::buildControls(layout.roots, nullptr));
    if (!manager.root()) return {};
    // The window's own size, within what a screen can show.
    const Size size = windowSize(layout).value_or(Size{640, 400});
    const Size pixels{tk::scaleLength(std::clamp(size.cx, 1, 1600), dpi),
                      tk::scaleLength(std::clamp(size.cy, 1, 1200), dpi)};
    manager.resize(pixels);
    manager.paintAll();
    return placementProblem(*manager.root(), Rect{0, 0, pixels.cx, pixels.cy});
}

// The tree's depth below the Window and its number of elements.
std::pair<int, int> treeExtent(const std::vector<tk::LayoutNode>& roots) {
    int depth = 0, elements = 0;
    std::vector<std::pair<const tk::LayoutNode*, int>> pending;
    for (const auto& r : roots) pending.emplace_back(&r, 1);
    while (!pending.empty()) {
        const auto [node, level] = pending.back();
        pending.pop_back();
        depth = std::max(depth, level);
        ++elements;
        for (const auto& c : node->children) pending.emplace_back(&c, level + 1);
    }
    return {depth, elements};
}

std::string checkLayout(const Bytes& input) {
    const std::vector<unsigned char> xml(input.begin(), input.end());
    const auto loader = [&xml](const std::wstring& name) -> std::optional<tk::Bytes> {
        if (name == L"self.xml") return xml;
        return tk::skinStore().load(name);
    };
    const auto layout = tk::parseLayout(xml, loader);
    if (!layout) return {};  // refused cleanly
    const auto [depth, elements] = treeExtent(layout->roots);
    if (depth > tk::kMaxLayoutDepth) return "the layout tree is deeper than its bound";
    if (elements > tk::kMaxLayoutElements)
        return "the layout tree has more elements than its bound";
    for (const int dpi : {96, 192})
        if (std::string problem = paintAt(*layout, dpi); !problem.empty()) return problem;
    return {};
}

// ---- Text table --------------------------------------------------------------------------------

// The keys the input's rows would set (the second field of each line), as the table reads them.
std::vector<std::wstring> rowKeys(const Bytes& input) {
    std::vector<std::wstring> keys;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find_first_of("\r\n", start);
        if (end == Bytes::npos) end = input.size();
        const Bytes line = input.substr(start, end - start);
        const std::size_t tab = line.find('\t');
        if (tab != Bytes::npos) {
            const Bytes key = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
            keys.push_back(std::wstring(key.begin(), key.end()));
        }
        start = end + 1;
    }
    return keys;
}

std::string checkTextTable(const Bytes& input) {
    for (const wchar_t* language : {L"en_US", L"th_TH", L"", L"hi_IN"}) {
        tk::TextTable table;
        table.setLanguage(language);
        const bool loaded = table.loadFromBytes(input);
        if (!loaded && table.size() != 0) return "a refused table still added texts";
        // ASCII keys read the same in both forms; every text stays within a cell's buffer.
        for (const std::wstring& key : rowKeys(input)) {
            const auto text = table.find(key);
            if (text && text->size() > tk::TextTable::kMaxFieldLength)
                return "a text is longer than a cell may be";
            const std::wstring looked = table.lookup(L"@" + key);
            if (looked.size() > tk::TextTable::kMaxFieldLength + tk::TextTable::kMaxKeyLength + 1)
                return "a looked-up text is longer than its buffer";
            (void)table.resolveLayoutText(L"@" + key);
        }
    }
    return {};
}

// ---- Markup ------------------------------------------------------------------------------------

std::string checkMarkup(const Bytes& input) {
    const std::wstring markup = wideOf(input);
    const std::vector<tk::TextRun> runs = tk::parseMarkup(markup);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].text.empty()) return "an empty run";
        if (i > 0 && runs[i].style == runs[i - 1].style)
            return "two neighbouring runs share a style";
        characters += runs[i].text.size();
    }
    if (characters > markup.size()) return "the runs hold more text than the markup";
    if (tk::plainText(markup).size() != characters) return "the plain text differs from the runs";
    const auto plain = tk::plainRuns(markup);
    if (plain.size() > 1 || (plain.size() == 1 && plain[0].text.size() > markup.size()))
        return "plain runs of the text grew";
    return {};
}

// ---- Image strings -----------------------------------------------------------------------------

bool doubled(const std::optional<Rect>& original, const std::optional<Rect>& enlarged) {
    if (!original || !enlarged) return original.has_value() == enlarged.has_value();
    const auto twice = [](int v) { return std::int64_t{v} * 2; };
    return enlarged->left == twice(original->left) && enlarged->top == twice(original->top) &&
           enlarged->right == twice(original->right) && enlarged->bottom == twice(original->bottom);
}

std::string checkImageString(const Bytes& input) {
    const std::wstring text = wideOf(input);
    (void)tk::enlargedImageName(text);
    const auto image = tk::parseImageString(text);
    if (!image) return {};
    if (image->file.empty()) return "an image without a file name was accepted";
    const auto enlarged = tk::enlargedImage(*image);
    if (!enlarged) return {};
    if (enlarged->file != tk::enlargedImageName(image->file))
        return "the double-size variant has another name";
    if (!doubled(image->source, enlarged->source)) return "the double-size source is not doubled";
    return {};
}

// ---- Attribute values --------------------------------------------------------------------------

// Lines "name=value" applied to a control of every standard element, which is then laid out.
std::string checkAttributes(const Bytes& input) {
    const std::wstring text = wideOf(input);
    (void)tk::parseColor(text), (void)tk::parseBool(text), (void)tk::parseRect(text);
    (void)tk::parseInsets(text), (void)tk::parseSize(text), (void)tk::parseHorizontalAlign(text);
    (void)tk::parseVerticalAlign(text), (void)tk::parseTextAlign(text, 0);
    (void)tk::parseInt(text);
    tk::Attributes attributes;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        const std::size_t equals = line.find(L'=');
        if (equals != std::wstring::npos)
            attributes.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    tk::LayoutDocument layout;
    for (const wchar_t* element :
         {L"Control", L"Label", L"Button", L"Option", L"Edit", L"Combo", L"Progress", L"RichEdit",
          L"Container", L"VerticalLayout", L"HorizontalLayout", L"TabLayout"}) {
        tk::LayoutNode node{element, attributes, {}, {}, 0};
        node.children.push_back({L"Label", attributes, {}, {}, 0});
        layout.roots.push_back(std::move(node));
    }
    return paintAt(layout, 96);
}

const std::vector<std::string> kAttributeWords = {"\nwidth=",
                                                  "\nheight=",
                                                  "\npos=",
                                                  "\nfloat=true",
                                                  "\npadding=",
                                                  "\ninset=",
                                                  "\nchildpadding=",
                                                  "\nminwidth=",
                                                  "\nmaxwidth=",
                                                  "\nminheight=",
                                                  "\nmaxheight=",
                                                  "\ntext=",
                                                  "\nfont=",
                                                  "\nbkcolor=#",
                                                  "\ntextcolor=0x",
                                                  "\nnormalimage=",
                                                  "\nbkimage=file='",
                                                  "\nalign=",
                                                  "\nvalign=",
                                                  "\ntextpadding=",
                                                  "\nselectedid=",
                                                  "\nvalue=",
                                                  "\nmin=",
                                                  "\nmax=",
                                                  "\nshowhtml=true",
                                                  "\nmultiline=true",
                                                  "\nvisible=false",
                                                  "\nborderround=",
                                                  "\nbordersize=",
                                                  ",",
                                                  " ",
                                                  "-",
                                                  "#",
                                                  "0x"};

std::vector<Bytes> wideSeeds(std::initializer_list<const wchar_t*> texts) {
    std::vector<Bytes> seeds;
    for (const wchar_t* t : texts) seeds.push_back(utf16Bytes(t));
    return seeds;
}

}  // namespace

std::vector<Target> toolkitTargets(const SeedSources& sources) {
    prepareSkin(sources);
    std::vector<Target> targets;

    Target layout{"layout",     Encoding::kUtf8, skinEntries(sources, L"", L".xml"),
                  kLayoutWords, 48 * 1024,       checkLayout,
                  nullptr};
    std::erase_if(layout.seeds,
                  [](const Bytes& s) { return s.find("StringBundle") != Bytes::npos; });
    layout.seeds.push_back(kSelfIncluding);
    targets.push_back(std::move(layout));

    targets.push_back({"text_table",
                       Encoding::kUtf8,
                       skinEntries(sources, L"multi_language", L".tsv"),
                       {"\t", "\r\n", "\n", "\r", "Code\tlanguage_code\t",
                        "Language\tlanguage_name\t", "Label\t", "en_US", "th_TH"},
                       256 * 1024,
                       checkTextTable,
                       nullptr});

    targets.push_back({"markup",
                       Encoding::kUtf16,
                       wideSeeds({L"<u>Licensing Protocol</u>", L"<c #268fd6>42%</c> installed",
                                  L"Read <u #666666>and agree</u> to<br>Tamrix\r\nnow",
                                  L"<c #80268fd6><u>nested</u> run</c></u><c>", L"plain text"}),
                       {"<u>", "</u>", "<c #", "</c>", "<br>", "<u #", "\r\n", "\n", "<", ">", "#"},
                       16 * 1024,
                       checkMarkup,
                       nullptr});

    targets.push_back({"image_string",
                       Encoding::kUtf16,
                       wideSeeds({L"file='common/btn_bg.png' source='0,0,96,32' corner='4,4,4,4'",
                                  L"file=\"logo9.png\" dest='10,10,90,40' mask='0xffff00ff'",
                                  L"common\\close.png", L"C:\\skin\\x.png",
                                  L"source='0,0,1,1' file='a' file='b' corner='1,2,3,4'"}),
                       {"file='", "source='", "corner='", "mask='0x", "dest='", "'", "\"", ",", "=",
                        "Enalarge", "common/", "\\"},
                       16 * 1024,
                       checkImageString,
                       nullptr});

    targets.push_back({"attribute_values", Encoding::kUtf16,
                       wideSeeds({L"width=120\nheight=32\npadding=4,4,4,4\ntext=@sure",
                                  L"float=true\npos=10,10,200,60\nbkcolor=#FF268FD6\nalign=center",
                                  L"inset=8,8,8,8\nchildpadding=6\nminwidth=50\nmaxwidth=20",
                                  L"textcolor=0xFF333333\nvalign=vcenter\ntextpadding=2,0,2,0\n"
                                  L"showhtml=true\nmultiline=true\ntext=<u>x</u><br>y",
                                  L"selectedid=1\nvalue=150\nmin=0\nmax=100\nvisible=true"}),
                       kAttributeWords, 8 * 1024, checkAttributes, nullptr});
    return targets;
}

}  // namespace fuzz
