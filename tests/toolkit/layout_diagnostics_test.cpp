// What a broken layout is told as, one case per kind of fault: each layout is put into a skin
// folder and loaded as a window loads it (skin store, parser, factory, attribute tables), and
// gives exactly the diagnostics listed, with the file and line of the element at fault.
#include "toolkit/layout_diagnostics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_store.h"
#include "toolkit/window_layout.h"

namespace {

using testing_support::narrow;

struct Case {
    const char* what;
    std::map<std::wstring, std::string> files;  // the skin folder; the window's layout is main.xml
    bool built;                                 // whether the window gets its tree
    std::vector<tk::Diagnostic> expected;       // message: the start of the message
};

const std::string kOpen = "<Window size=\"10,10\">\n  <Font id=\"0\" size=\"12\"/>\n";
std::string windowWith(const std::string& line) {
    return kOpen + "  " + line + "\n</Window>";
}
// A diagnostic of main.xml's line 3, where windowWith puts its element.
tk::Diagnostic at3(const wchar_t* element, const wchar_t* attribute, const wchar_t* value,
                   const wchar_t* message) {
    return {L"main.xml", 3, element, attribute, value, message};
}

const Case kCases[] = {
    {"a clean layout",
     {{L"main.xml",
       windowWith("<VerticalLayout><Label font=\"0\" textcolor=\"#FF000000\" "
                  "bkimage=\"ok.png\"/><Include source=\"row.xml\"/></VerticalLayout>")},
      {L"row.xml", "<Row><Button normalimage=\"file='ok.png' source='0,0,1,1'\"/></Row>"}},
     true,
     {}},
    {"no layout file", {}, false, {{L"main.xml", 0, L"", L"", L"", L"layout not found"}}},
    {"XML that does not parse",
     {{L"main.xml", "<Window>\n<Label>\n</Window>"}},
     false,
     {{L"main.xml", 3, L"", L"", L"", L"XML does not parse: Start-end tags mismatch"}}},
    {"a root that is not Window",
     {{L"main.xml", "<?xml version=\"1.0\"?>\n<Dialog/>"}},
     false,
     {{L"main.xml", 2, L"Dialog", L"", L"", L"the root element is not Window"}}},
    {"an unknown element",
     {{L"main.xml", windowWith("<Slider name=\"s\"/>")}},
     false,
     {at3(L"Slider", L"", L"", L"unknown element")}},
    {"children of a control that holds none",
     {{L"main.xml", windowWith("<Label><Button/></Label>")}},
     true,
     {at3(L"Label", L"", L"", L"holds no children")}},
    {"an unknown attribute",
     {{L"main.xml", windowWith("<Label colour=\"#fff\"/>")}},
     true,
     {at3(L"Label", L"colour", L"#fff", L"unknown attribute of Label")}},
    {"a malformed colour",
     {{L"main.xml", windowWith("<Label textcolor=\"#12345\"/>")}},
     true,
     {at3(L"Label", L"textcolor", L"#12345", L"malformed value, expected a colour")}},
    {"a malformed number",
     {{L"main.xml", windowWith("<Control width=\"wide\"/>")}},
     true,
     {at3(L"Control", L"width", L"wide", L"malformed value, expected a whole number")}},
    {"a malformed rectangle",
     {{L"main.xml", windowWith("<Control float=\"true\" pos=\"1,2,3\"/>")}},
     true,
     {at3(L"Control", L"pos", L"1,2,3", L"malformed value, expected four whole numbers")}},
    {"a malformed boolean",
     {{L"main.xml", windowWith("<Control visible=\"yes\"/>")}},
     true,
     {at3(L"Control", L"visible", L"yes", L"malformed value, expected true or false")}},
    {"a malformed alignment",
     {{L"main.xml", windowWith("<Label align=\"middle\"/>")}},
     true,
     {at3(L"Label", L"align", L"middle", L"malformed value, expected left, center or right")}},
    {"an unknown font id",
     {{L"main.xml", windowWith("<Label font=\"7\"/>")}},
     true,
     {at3(L"Label", L"font", L"7", L"unknown font id")}},
    {"a Font that does not read",
     {{L"main.xml", "<Window>\n  <Font id=\"zero\" size=\"12\"/>\n  <Control/>\n</Window>"}},
     true,
     {{L"main.xml", 2, L"Font", L"id", L"zero", L"malformed value"}}},
    {"an image the skin lacks",
     {{L"main.xml", windowWith("<Control bkimage=\"missing.png\"/>")}},
     true,
     {at3(L"Control", L"bkimage", L"missing.png", L"image not found")}},
    {"an image string that does not read",
     {{L"main.xml", windowWith("<Control bkimage=\"file='ok.png\"/>")}},
     true,
     {at3(L"Control", L"bkimage", L"file='ok.png", L"malformed value, expected an image")}},
    {"an include of a missing file",
     {{L"main.xml", windowWith("<VerticalLayout><Include source=\"row.xml\"/></VerticalLayout>")}},
     true,
     {at3(L"Include", L"source", L"row.xml", L"included file not found")}},
    {"an include without a source",
     {{L"main.xml", windowWith("<VerticalLayout><Include/></VerticalLayout>")}},
     true,
     {at3(L"Include", L"source", L"", L"Include names no source")}},
    {"an include that does not parse",
     {{L"main.xml", windowWith("<VerticalLayout><Include source=\"row.xml\"/></VerticalLayout>")},
      {L"row.xml", "<Row>\n<Label></Row>"}},
     true,
     {{L"row.xml", 2, L"", L"", L"", L"XML does not parse"},
      at3(L"Include", L"source", L"row.xml", L"included file does not parse")}},
    {"includes that nest too deep",
     {{L"main.xml", windowWith("<VerticalLayout><Include source=\"self.xml\"/></VerticalLayout>")},
      {L"self.xml", "<Any>\n<Control/><Include source=\"self.xml\"/></Any>"}},
     true,
     {{L"self.xml", 2, L"Include", L"source", L"self.xml", L"includes nest deeper than 8"}}},
    {"a fault inside an included file",
     {{L"main.xml", windowWith("<VerticalLayout><Include source=\"row.xml\"/></VerticalLayout>")},
      {L"row.xml", "<Row>\n\n  <Label wrong=\"1\"/></Row>"}},
     true,
     {{L"row.xml", 3, L"Label", L"wrong", L"1", L"unknown attribute of Label"}}},
    {"a malformed window size",
     {{L"main.xml", "<Window size=\"640x400\">\n  <Control/>\n</Window>"}},
     true,
     {{L"main.xml", 1, L"Window", L"size", L"640x400", L"malformed value, expected two whole"}}},
    {"an unknown window attribute",
     {{L"main.xml", "<Window\n  title=\"x\">\n  <Control/>\n</Window>"}},
     true,
     {{L"main.xml", 1, L"Window", L"title", L"x", L"unknown attribute of Window"}}},
};

std::string text(const tk::Diagnostics& diagnostics) {
    std::string out;
    for (const tk::Diagnostic& d : diagnostics) out += "\n  " + narrow(tk::describe(d));
    return out;
}

TEST(LayoutDiagnostics, EachKindOfFaultIsToldWithItsFileAndLine) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        testing_support::TempDir skin;
        ASSERT_TRUE(testing_support::writeFileBytes(skin.path() + L"ok.png", "not empty"));
        for (const auto& [name, content] : c.files)
            ASSERT_TRUE(testing_support::writeFileBytes(skin.path() + name, content));
        tk::skinStore().setResourcePath(skin.path());
        tk::PaintManager manager;
        manager.attachWindow(nullptr, {}, nullptr);
        tk::Diagnostics diagnostics;
        const auto settings =
            tk::loadWindowLayout(manager, L"", L"main.xml", nullptr, &diagnostics);
        EXPECT_EQ(settings.has_value() && manager.root(), c.built);
        ASSERT_EQ(diagnostics.size(), c.expected.size()) << text(diagnostics);
        for (std::size_t i = 0; i < diagnostics.size(); ++i) {
            const tk::Diagnostic& got = diagnostics[i];
            const tk::Diagnostic& want = c.expected[i];
            EXPECT_EQ(narrow(got.file), narrow(want.file)) << text(diagnostics);
            EXPECT_EQ(got.line, want.line) << text(diagnostics);
            EXPECT_EQ(narrow(got.element), narrow(want.element));
            EXPECT_EQ(narrow(got.attribute), narrow(want.attribute));
            EXPECT_EQ(narrow(got.value), narrow(want.value));
            EXPECT_TRUE(got.message.starts_with(want.message)) << narrow(got.message);
        }
    }
}

// A malformed value keeps what the control had; a good one after it still applies.
TEST(LayoutDiagnostics, AMalformedValueLeavesTheControlAsItWas) {
    tk::Label label;
    EXPECT_EQ(label.applyAttribute(L"textpadding", L"1,2,3,4"), tk::AttributeResult::kApplied);
    EXPECT_EQ(label.applyAttribute(L"textpadding", L"1,2"), tk::AttributeResult::kMalformed);
    EXPECT_EQ(label.textPadding(), (tk::Insets{1, 2, 3, 4}));
    EXPECT_EQ(label.applyAttribute(L"padding", L"x"), tk::AttributeResult::kMalformed);
    EXPECT_EQ(label.applyAttribute(L"nosuch", L"1"), tk::AttributeResult::kUnknown);
    EXPECT_FALSE(label.setAttribute(L"width", L"ten"));
    EXPECT_EQ(label.fixedWidth(), 0);
    EXPECT_TRUE(label.setAttribute(L"width", L"10"));
    EXPECT_EQ(label.fixedWidth(), 10);
}

// Every class knows its own attributes and those of its bases, each once.
TEST(LayoutDiagnostics, TheTablesListTheKnownAttributes) {
    const auto names = tk::Option::classAttributes().names();
    for (const wchar_t* name :
         {L"selected", L"normalimage", L"textcolor", L"bkcolor", L"name", L"accname", L"labelfor"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << narrow(name);
    std::set<std::wstring_view> once(names.begin(), names.end());
    EXPECT_EQ(once.size(), names.size());
    const auto labels = tk::Label::classAttributes().names();
    EXPECT_EQ(std::find(labels.begin(), labels.end(), L"selected"), labels.end());
}

}  // namespace
