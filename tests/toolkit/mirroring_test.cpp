// Right-to-left windows: the layout is the reflection of the left-to-right one (rows from the
// right, margins and insets traded, floats reflected in their parent), hit tests and the
// accessibility places follow it while the Tab order stays the logical one, a change of
// direction lays the window out again, and painting follows: text starts on the right, bars
// fill from the right, frames are reflected and pictures keep their orientation.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/control_factory.h"
#include "toolkit/image_cache.h"
#include "toolkit/layout_tree.h"
#include "toolkit/paint_manager.h"
#include "toolkit/png_writer.h"
#include "utility/text.h"

namespace {

using tk::Rect;

constexpr int kWidth = 400;
constexpr int kHeight = 120;
const Rect kWindow{0, 0, kWidth, kHeight};

// A layout in a paint manager without a window, laid out in the given direction.
struct Tree {
    tk::PaintManager manager;
    Tree(const std::string& xml, bool rightToLeft) {
        const std::vector<unsigned char> bytes(xml.begin(), xml.end());
        auto layout = tk::parseLayout(bytes, nullptr);
        EXPECT_TRUE(layout.has_value());
        manager.attachWindow(nullptr, {}, nullptr);
        manager.setDpi(96);
        manager.setRightToLeft(rightToLeft);
        if (layout) manager.setRoot(tk::buildControls(layout->roots, nullptr));
        manager.resize({kWidth, kHeight});
        manager.ensureLayout();
    }
    tk::Control* find(const wchar_t* name) const { return manager.findControl(name); }
    std::uint32_t pixel(int x, int y) {
        return manager.surface().pixels()[y * manager.surface().width() + x];
    }
};

// Every named control on show, by name.
std::map<std::wstring, tk::Control*> named(tk::Control* control) {
    std::map<std::wstring, tk::Control*> out;
    std::function<void(tk::Control*)> walk = [&](tk::Control* c) {
        if (!c || !c->isVisible()) return;
        if (!c->name().empty()) out[c->name()] = c;
        for (int i = 0; i < c->childCount(); ++i) walk(c->childAt(i));
    };
    walk(control);
    return out;
}

std::string show(const Rect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

struct LayoutCase {
    const char* name;
    std::string xml;
    const wchar_t* anchor;  // a control whose right-to-left place is known
    Rect anchorRect;
};

const LayoutCase kLayouts[] = {
    {"a row with inset, gap and margins starts at the right",
     R"(<Window><HorizontalLayout name="row" inset="10,5,30,5" childpadding="4">
        <Control name="a" width="50" padding="6,0,2,0"/><Control name="b" width="20"/>
        <Control name="rest"/></HorizontalLayout></Window>)",
     L"a",
     {334, 5, 384, 115}},
    {"a float keeps its place reflected in its parent",
     R"(<Window><VerticalLayout name="outer" inset="20,0,0,0">
        <HorizontalLayout name="inner" height="100" inset="0,0,100,0">
        <Control name="float" float="true" pos="10,10,60,30"/><Control name="fill"/>
        </HorizontalLayout></VerticalLayout></Window>)",
     L"float",
     {320, 10, 370, 30}},
    {"a page of a tab with a check box before its sentence",
     R"(<Window><TabLayout name="tab" selectedid="1"><VerticalLayout name="p0"/>
        <VerticalLayout name="p1" inset="8,8,8,8"><HorizontalLayout name="licence" height="24">
        <Control/><Option name="check" width="16" height="16" padding="0,4,8,4"/>
        <Label name="sentence" width="120"/><Control/></HorizontalLayout>
        <Control name="space"/></VerticalLayout></TabLayout></Window>)",
     L"check",
     {256, 12, 272, 28}},
};

TEST(Mirroring, EveryControlTakesTheReflectionOfItsLeftToRightPlace) {
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.name);
        Tree ltr(c.xml, false), rtl(c.xml, true);
        const auto before = named(ltr.manager.root());
        const auto after = named(rtl.manager.root());
        ASSERT_EQ(before.size(), after.size());
        for (const auto& [name, control] : before) {
            ASSERT_TRUE(after.count(name)) << utility::wideToUtf8(name);
            EXPECT_EQ(show(after.at(name)->rect()), show(control->rect().mirroredIn(kWindow)))
                << utility::wideToUtf8(name);
        }
        EXPECT_EQ(show(rtl.find(c.anchor)->rect()), show(c.anchorRect));
    }
}

// The licence row: the check box sits right of its sentence, a click at its place hits it, and
// the Tab order is the order of the layout, whatever the direction.
TEST(Mirroring, HitTestsFollowThePlacesTabOrderStaysLogicalAndADirectionChangeRelaysOut) {
    const std::string xml =
        R"(<Window><HorizontalLayout inset="8,8,8,8" childpadding="8">
        <Button name="first" width="60"/><Option name="check" width="16" height="16"/>
        <Label name="sentence" width="100"/><Button name="last" width="60"/><Control/>
        </HorizontalLayout></Window>)";
    Tree tree(xml, true);
    tk::Control* check = tree.find(L"check");
    tk::Control* sentence = tree.find(L"sentence");
    EXPECT_GE(sentence->rect().left, 0);
    EXPECT_LE(sentence->rect().right, check->rect().left) << "the check box is left of its text";
    const Rect r = check->rect();
    EXPECT_EQ(tree.manager.root()->hitTest({(r.left + r.right) / 2, (r.top + r.bottom) / 2}),
              check);
    std::vector<std::wstring> order;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(tree.manager.moveFocus(true));
        order.push_back(tree.manager.focus()->name());
    }
    EXPECT_EQ(order, (std::vector<std::wstring>{L"first", L"check", L"last"}));

    // Back to left to right and once more: each change lays the window out at once.
    const Tree ltr(xml, false);
    tree.manager.setRightToLeft(false);
    tree.manager.ensureLayout();
    EXPECT_EQ(show(check->rect()), show(ltr.find(L"check")->rect()));
    tree.manager.setRightToLeft(true);
    tree.manager.ensureLayout();
    EXPECT_EQ(show(check->rect()), show(r));
}

// An image 8 pixels wide: its left half red, its right half blue.
std::vector<unsigned char> halvesPng() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<std::uint32_t> pixels(8 * 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) pixels[y * 8 + x] = x < 4 ? 0xFFFF0000 : 0xFF0000FF;
        testing_support::TempDir folder;
        const std::wstring path = folder.path() + L"halves.png";
        EXPECT_TRUE(tk::writePng(path, pixels.data(), 8, 8));
        const std::string file = testing_support::readFileBytes(path);
        return std::vector<unsigned char>(file.begin(), file.end());
    }();
    return bytes;
}

bool reddish(std::uint32_t p) {
    return ((p >> 16) & 0xFF) > 200 && (p & 0xFF) < 60;
}
bool bluish(std::uint32_t p) {
    return (p & 0xFF) > 200 && ((p >> 16) & 0xFF) < 60;
}

TEST(Mirroring, PaintingReadsFromTheRight) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    tk::imageCache().setLoader([](const std::wstring& name) {
        return name == L"halves.png" ? std::optional(halvesPng()) : std::nullopt;
    });
    const std::string xml =
        R"(<Window><VerticalLayout>
        <Progress name="bar" height="10" forecolor="#FF268FD6" value="25"/>
        <Control name="frame" height="20" bkimage="file='halves.png' corner='2,2,2,2'"/>
        <Control name="picture" height="20" bkimage="file='halves.png' dest='0,0,40,20'"/>
        <Control/></VerticalLayout></Window>)";
    for (bool rtl : {false, true}) {
        SCOPED_TRACE(rtl ? "right to left" : "left to right");
        Tree tree(xml, rtl);
        tree.manager.paintAll();
        // The quarter the bar has reached is at its start.
        const int reached = rtl ? kWidth - 50 : 50;
        const int open = rtl ? 50 : kWidth - 50;
        EXPECT_EQ(tree.pixel(reached, 5) >> 24, 255u);
        EXPECT_EQ(tree.pixel(open, 5) >> 24, 0u);
        // A frame stretched over the row is reflected: its red half at the end it starts.
        EXPECT_TRUE(reddish(tree.pixel(rtl ? kWidth - 1 : 0, 20)));
        EXPECT_TRUE(bluish(tree.pixel(rtl ? 0 : kWidth - 1, 20)));
        // A picture at a place within its control: the place is reflected, the picture is not.
        const int start = rtl ? kWidth - 40 : 0;
        EXPECT_TRUE(reddish(tree.pixel(start + 2, 40)));
        EXPECT_TRUE(bluish(tree.pixel(start + 37, 40)));
        EXPECT_EQ(tree.pixel(rtl ? 2 : kWidth - 3, 40) >> 24, 0u);
    }
    tk::imageCache().setLoader({});
    CoUninitialize();
}

}  // namespace
