#include "toolkit/layout_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

std::vector<unsigned char> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// A loader over an in-memory set of files that counts its calls.
struct Files {
    std::map<std::wstring, std::string> files;
    int calls = 0;
    tk::LayoutFileLoader loader() {
        return [this](const std::wstring& name) -> std::optional<std::vector<unsigned char>> {
            ++calls;
            auto it = files.find(name);
            if (it == files.end()) return std::nullopt;
            return bytes(it->second);
        };
    }
};

std::wstring elements(const std::vector<tk::LayoutNode>& nodes) {
    std::wstring out;
    for (const auto& n : nodes) {
        out += n.element;
        if (!n.children.empty()) out += L"(" + elements(n.children) + L")";
        out += L" ";
    }
    return out;
}

TEST(LayoutTree, WindowFontsAndTreeAreCollectedInOrder) {
    Files files;
    const auto layout = tk::parseLayout(bytes(R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="640,400" mininfo="600,400" caption="0,0,220,180">
  <Font id="0" name="微软雅黑" size="12" default="true"/>
  <Font id="10" name="微软雅黑" size="16" bold="true" shared="true"/>
  <VerticalLayout name="root">
    <Label name="title" text="@titlename"/>
    <HorizontalLayout><Button name="ok"/><Font id="3" size="18"/></HorizontalLayout>
  </VerticalLayout>
</Window>)"),
                                        files.loader());
    ASSERT_TRUE(layout);
    EXPECT_EQ(*tk::findAttribute(layout->window, L"size"), L"640,400");
    EXPECT_EQ(*tk::findAttribute(layout->window, L"caption"), L"0,0,220,180");
    EXPECT_EQ(tk::findAttribute(layout->window, L"missing"), nullptr);
    ASSERT_EQ(layout->fonts.size(), 3u);
    EXPECT_EQ(layout->fonts[0].spec.face, L"微软雅黑");
    EXPECT_TRUE(layout->fonts[0].isDefault);
    EXPECT_EQ(layout->fonts[1].id, 10);
    EXPECT_TRUE(layout->fonts[1].spec.bold);
    EXPECT_TRUE(layout->fonts[1].shared);
    EXPECT_EQ(layout->fonts[2].spec.size, 18);  // fonts anywhere in the tree are collected
    EXPECT_EQ(elements(layout->roots), L"VerticalLayout(Label HorizontalLayout(Button ) ) ");
    EXPECT_EQ(*tk::findAttribute(layout->roots[0].children[0].attributes, L"text"), L"@titlename");
    EXPECT_EQ(files.calls, 0);
}

TEST(LayoutTree, IncludesInsertTheirChildrenAndEndCyclesAndMissingFiles) {
    Files files;
    files.files[L"row.xml"] =
        R"(<Wrapper><Label name="a"/><Include source="inner.xml"/></Wrapper>)";
    files.files[L"inner.xml"] = R"(<Any><Button name="b"/></Any>)";
    files.files[L"self.xml"] = R"(<Any><Control/><Include source="self.xml"/></Any>)";
    files.files[L"broken.xml"] = R"(<Any><Control></Any>)";
    const auto layout = tk::parseLayout(bytes(R"(<Window><VerticalLayout>
        <Include source="row.xml"/><Include source="missing.xml"/><Include source="broken.xml"/>
        <Include/><Include source="self.xml"/><Option/></VerticalLayout></Window>)"),
                                        files.loader());
    ASSERT_TRUE(layout);
    const auto& children = layout->roots[0].children;
    // row.xml gives Label and, through inner.xml, Button; self.xml nests until the depth bound.
    ASSERT_GE(children.size(), 3u + tk::kMaxIncludeDepth);
    EXPECT_EQ(children[0].element, L"Label");
    EXPECT_EQ(children[1].element, L"Button");
    int controls = 0;
    for (const auto& c : children) controls += c.element == L"Control";
    EXPECT_EQ(controls, tk::kMaxIncludeDepth);
    EXPECT_EQ(children.back().element, L"Option");
}

TEST(LayoutTree, LayoutsThatDoNotParseOrHaveNoWindowGiveNothing) {
    Files files;
    for (const char* text : {"", "<Window><Label></Window>", "<Dialog/>", "not xml", "<?xml?>"})
        EXPECT_FALSE(tk::parseLayout(bytes(text), files.loader())) << text;
    EXPECT_TRUE(tk::parseLayout(bytes("<Window/>"), nullptr));
}

}  // namespace

// Nesting and size are bounded with includes in place: a layout at a bound still parses, one
// past it gives nothing (an include counts as an element of its own).
TEST(LayoutTree, DepthAndElementBoundsHoldAcrossIncludes) {
    const auto nested = [](int levels) {
        std::string xml;
        for (int i = 0; i < levels; ++i) xml += "<VerticalLayout>";
        for (int i = 0; i < levels; ++i) xml += "</VerticalLayout>";
        return xml;
    };
    const auto repeated = [](int count, const std::string& element) {
        std::string xml;
        for (int i = 0; i < count; ++i) xml += element;
        return xml;
    };
    struct Case {
        const char* what;
        std::string window;
        std::string included;  // "inc.xml"
        bool parses;
    };
    const int depth = tk::kMaxLayoutDepth;
    const int most = tk::kMaxLayoutElements;
    const Case cases[] = {
        {"nested to the bound", nested(depth), "", true},
        {"nested past the bound", nested(depth + 1), "", false},
        {"nested past the bound through an include",
         "<HorizontalLayout><Include source=\"inc.xml\"/></HorizontalLayout>",
         "<Window>" + nested(depth) + "</Window>", false},
        {"as many elements as allowed", repeated(most, "<Control/>"), "", true},
        {"one element too many", repeated(most + 1, "<Control/>"), "", false},
        {"includes that multiply", repeated(8, "<Include source=\"inc.xml\"/>"),
         "<Window>" + repeated(8, "<Include source=\"inc.xml\"/>") + "</Window>", false},
    };
    for (const Case& c : cases) {
        Files files;
        if (!c.included.empty()) files.files[L"inc.xml"] = c.included;
        const auto layout =
            tk::parseLayout(bytes("<Window>" + c.window + "</Window>"), files.loader());
        EXPECT_EQ(layout.has_value(), c.parses) << c.what;
        EXPECT_LE(files.calls, tk::kMaxLayoutElements) << c.what;
    }
}
