#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/geometry_print.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/control_factory.h"
#include "toolkit/edit.h"
#include "toolkit/layout_tree.h"
#include "toolkit/paint_manager.h"
#include "toolkit/text_renderer.h"
#include "toolkit/window_base.h"

namespace {

std::unique_ptr<tk::Control> build(const std::string& xml,
                                   const tk::ControlCreator& custom = nullptr) {
    const std::vector<unsigned char> bytes(xml.begin(), xml.end());
    auto layout = tk::parseLayout(bytes, nullptr);
    if (!layout) return nullptr;
    return tk::buildControls(layout->roots, custom);
}

// A tree in a paint manager without a window, recording the notifications it sends.
struct Tree {
    tk::PaintManager manager;
    std::vector<std::wstring> sent;
    explicit Tree(const std::string& xml, const tk::ControlCreator& custom = nullptr) {
        manager.attachWindow(
            nullptr,
            [this](tk::Notification& n) {
                sent.push_back(n.type + L":" + n.senderName() +
                               (n.index >= 0 ? L":" + std::to_wstring(n.index) : L""));
            },
            nullptr);
        manager.setDpi(96);
        manager.setRoot(build(xml, custom));
        manager.resize({400, 300});
        manager.ensureLayout();
    }
    template <class T>
    T* find(const wchar_t* name) {
        return dynamic_cast<T*>(manager.findControl(name));
    }
};

// The message box's button subclass answers "Selection".
class SelectionButton : public tk::Button {
public:
    void* getInterface(std::wstring_view name) override {
        return name == L"Selection" ? this : tk::Button::getInterface(name);
    }
};

TEST(ControlFactory, BuildsEveryStandardElementAndSkipsUnknownOnes) {
    Tree tree(R"(<Window><VerticalLayout name="root">
        <Control name="c"/><Label name="l"/><Button name="b"/><Option name="o"/><Edit name="e"/>
        <Combo name="combo"><ListLabelElement text="One"/><ListLabelElement text="Two"/></Combo>
        <Progress name="p"/><RichEdit name="r"/><HorizontalLayout name="h"/>
        <TabLayout name="t"/><Gadget name="g"><Button name="inside"/></Gadget>
        <Button name="odd" sparkle="yes" width="40"/></VerticalLayout></Window>)");
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {{L"root", L"VerticalLayout"},
                                                                  {L"c", L"Control"},
                                                                  {L"l", L"Label"},
                                                                  {L"b", L"Button"},
                                                                  {L"o", L"Option"},
                                                                  {L"e", L"Edit"},
                                                                  {L"combo", L"Combo"},
                                                                  {L"p", L"Progress"},
                                                                  {L"r", L"RichEdit"},
                                                                  {L"h", L"HorizontalLayout"},
                                                                  {L"t", L"TabLayout"},
                                                                  {L"odd", L"Button"}};
    for (const auto& [name, kind] : expected) {
        tk::Control* c = tree.manager.findControl(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->className(), kind);
    }
    EXPECT_EQ(tree.manager.findControl(L"g"), nullptr);
    EXPECT_EQ(tree.manager.findControl(L"inside"), nullptr);  // skipped with its unknown parent
    EXPECT_EQ(tree.manager.findControl(L"nobody"), nullptr);
    EXPECT_EQ(tree.manager.findControl(L""), nullptr);
    EXPECT_EQ(tree.find<tk::Button>(L"odd")->fixedWidth(), 40);  // known attributes still apply
    EXPECT_EQ(tree.find<tk::Combo>(L"combo")->itemCount(), 2);
    EXPECT_EQ(tree.find<tk::Combo>(L"combo")->itemAt(1)->text(), L"Two");

    tk::Button plain;
    EXPECT_EQ(tk::applyAttributes(plain, {{L"text", L"x"}, {L"bogus", L"1"}, {L"zap", L""}}), 2);
    EXPECT_EQ(build("<Window/>"), nullptr);
    EXPECT_EQ(build("<Window><Nothing/></Window>"), nullptr);
}

TEST(ControlFactory, WindowClassesComeFirstAndAnswerTheirInterface) {
    Tree tree(R"(<Window><HorizontalLayout><Button name="yes"/><Button name="plain"/>
        </HorizontalLayout></Window>)",
              [](std::wstring_view element) -> std::unique_ptr<tk::Control> {
                  static int made = 0;
                  // Only the first Button becomes the window's own class.
                  if (element == L"Button" && made++ == 0)
                      return std::make_unique<SelectionButton>();
                  return nullptr;
              });
    EXPECT_NE(tree.manager.findControl(L"yes")->getInterface(L"Selection"), nullptr);
    EXPECT_EQ(tree.manager.findControl(L"plain")->getInterface(L"Selection"), nullptr);
    EXPECT_NE(tree.manager.findControl(L"plain")->getInterface(L"Button"), nullptr);
}

TEST(ControlTree, WrappedTextStartsAtTheTopUnlessAskedOtherwise) {
    const std::pair<tk::Attributes, unsigned> cases[] = {
        {{{L"multiline", L"true"}}, tk::kAlignTop},
        {{{L"valign", L"center"}, {L"multiline", L"true"}}, tk::kAlignVCenter},
        {{{L"multiline", L"true"}, {L"valign", L"bottom"}}, tk::kAlignBottom},
        {{}, tk::kAlignVCenter},
    };
    for (const auto& [attributes, vertical] : cases) {
        tk::Label label;
        tk::applyAttributes(label, attributes);
        EXPECT_EQ(label.textFormat().align & (tk::kAlignVCenter | tk::kAlignBottom), vertical);
    }
}

// What a tree's content needs at a width: wrapped text at the width its box gives it, fixed
// sizes, insets, margins and gaps, the children that show; measured in device pixels.
TEST(ControlTree, ContainersMeasureTheRoomTheirContentNeeds) {
    const tk::FontSpec font{L"Noto Sans", 12};
    const std::string plain =
        "A longer translation of the message wraps onto more lines than the layout's author "
        "planned for, and its box grows to show all of them.";
    const std::wstring sentence(plain.begin(), plain.end());
    auto wrapped = [&](int width) {
        tk::TextFormat format;
        format.multiline = true;
        return tk::measureText(sentence, font, 96, format, {width, 0}).size.cy;
    };
    const tk::Size retry = tk::measureText(L"Retry", font, 96, {}, {}).size;
    const std::string text = "text=\"" + plain + "\"";
    const struct {
        const char* what;
        std::string xml;
        int width;
        tk::Size expected;
        int dpi = 96;
    } cases[] = {
        {"a wrapped label in a column: the column's width less inset and margins",
         R"(<VerticalLayout inset="10,5,10,5" childpadding="8"><Control height="20"/>
            <Label multiline="true" padding="4,0,6,0" )" +
             text + "/></VerticalLayout>",
         300,
         {30, 5 + 20 + 8 + wrapped(300 - 20 - 10) + 5}},
        {"a stretching wrapped label takes the rest of the row",
         R"(<HorizontalLayout childpadding="10"><Control width="50"/><Label multiline="true" )" +
             text + "/></HorizontalLayout>",
         300,
         {60, wrapped(240)}},
        {"a column of its own width wraps its text there, whatever its parent offers",
         "<VerticalLayout width=\"150\"><Label multiline=\"true\" " + text + "/></VerticalLayout>",
         300,
         {150, wrapped(150)}},
        {"hidden children and floats need nothing, a line its text",
         R"(<VerticalLayout><Label text="Retry"/><Label visible="false" multiline="true" )" + text +
             R"(/><Control float="true" pos="0,0,500,500"/></VerticalLayout>)",
         300, retry},
        {"a text that may end in an ellipsis needs no width, an auto-width one its text",
         R"(<HorizontalLayout><Label text="Retry" endellipsis="true"/><Button text="Retry"
            autocalcwidth="true" textpadding="20,0,20,0"/></HorizontalLayout>)",
         300,
         {retry.cx + 40, retry.cy}},
        {"lengths in 96-DPI units scale",
         R"(<VerticalLayout inset="0,10,0,10"><Control height="20" width="30"/></VerticalLayout>)",
         300,
         {60, 80},
         192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree("<Window>" + c.xml + "</Window>");
        tree.manager.setDpi(c.dpi);
        tree.manager.fonts().setDefaultFont(font, false);
        ASSERT_NE(tree.manager.root(), nullptr);
        EXPECT_EQ(tree.manager.root()->contentSize(c.width), c.expected);
    }
}

TEST(ControlTree, VisibilityIsInheritedAndTabsShowOnePage) {
    Tree tree(R"(<Window><VerticalLayout><TabLayout name="tab" selectedid="1">
        <VerticalLayout name="page0"><Button name="b0"/></VerticalLayout>
        <VerticalLayout name="page1"><Button name="b1"/></VerticalLayout>
        </TabLayout><HorizontalLayout name="row" visible="false"><Label name="inner"/>
        </HorizontalLayout></VerticalLayout></Window>)");
    auto* tab = tree.find<tk::TabLayout>(L"tab");
    EXPECT_EQ(tab->selectedIndex(), 1);
    EXPECT_FALSE(tree.manager.findControl(L"b0")->isVisible());
    EXPECT_TRUE(tree.manager.findControl(L"b1")->isVisible());
    EXPECT_TRUE(tree.manager.findControl(L"inner")->ownVisible());
    EXPECT_FALSE(tree.manager.findControl(L"inner")->isVisible());
    EXPECT_FALSE(tab->selectPage(2));
    EXPECT_FALSE(tab->selectPage(-1));
    EXPECT_EQ(tab->selectedIndex(), 1);
    EXPECT_TRUE(tab->selectPage(0));
    tree.manager.ensureLayout();
    EXPECT_TRUE(tree.manager.findControl(L"b0")->isVisible());
    EXPECT_FALSE(tree.manager.findControl(L"b1")->isVisible());
    EXPECT_FALSE(tree.manager.findControl(L"b0")->rect().empty());
    tree.manager.findControl(L"row")->setVisible(true);
    EXPECT_TRUE(tree.manager.findControl(L"inner")->isVisible());
}

// The reached part of a bar is drawn whole, so its end is rounded like its start: the corner
// pixels at both ends stay clear, the middle of the end is filled.
TEST(ControlTree, ProgressFillEndsRounded) {
    Tree tree(R"(<Window><VerticalLayout><HorizontalLayout height="8"><Progress name="bar"
        width="200" height="8" forecolor="#FF268FD6" foreround="4" value="50"/><Control/>
        </HorizontalLayout><Control/></VerticalLayout></Window>)");
    tree.manager.paintAll();
    const tk::Surface& s = tree.manager.surface();
    auto alpha = [&](int x, int y) { return s.pixels()[y * s.width() + x] >> 24; };
    EXPECT_EQ(alpha(0, 0), 0u);
    EXPECT_EQ(alpha(99, 0), 0u) << "the end of the fill is square";
    EXPECT_EQ(alpha(99, 7), 0u);
    EXPECT_EQ(alpha(97, 4), 255u);
    EXPECT_EQ(alpha(50, 0), 255u);
    EXPECT_EQ(alpha(101, 4), 0u) << "the fill runs past its value";
}

TEST(ControlTree, ButtonsOptionsAndCombosNotifyAndKeepTheirState) {
    Tree tree(R"(<Window><VerticalLayout>
        <Button name="go" text="Go"/><Button name="off" enabled="false"/>
        <Option name="licence" selected="true"/>
        <Option name="a" group="g" selected="true"/><Option name="b" group="g"/>
        <Progress name="bar" min="0" max="100" value="5"/>
        <Combo name="lang"><Label text="English" userdata="en_US"/><Label text="ไทย" userdata="th_TH"/></Combo>
        </VerticalLayout></Window>)");
    EXPECT_TRUE(tree.find<tk::Button>(L"go")->activate());
    EXPECT_FALSE(tree.find<tk::Button>(L"off")->activate());
    EXPECT_TRUE(tree.find<tk::Button>(L"go")->onKeyDown(VK_SPACE));
    EXPECT_FALSE(tree.find<tk::Button>(L"go")->onKeyDown(VK_RETURN));  // Enter is not handled

    auto* licence = tree.find<tk::Option>(L"licence");
    licence->activate();
    EXPECT_FALSE(licence->isSelected());
    licence->activate();
    EXPECT_TRUE(licence->isSelected());

    auto* a = tree.find<tk::Option>(L"a");
    auto* b = tree.find<tk::Option>(L"b");
    b->activate();
    EXPECT_TRUE(b->isSelected());
    EXPECT_FALSE(a->isSelected());
    b->activate();  // a selected radio option stays selected
    EXPECT_TRUE(b->isSelected());

    auto* bar = tree.find<tk::Progress>(L"bar");
    EXPECT_EQ(bar->value(), 5);
    bar->setValue(250);
    EXPECT_EQ(bar->value(), 100);
    bar->setValue(-3);
    EXPECT_EQ(bar->value(), 0);

    auto* combo = tree.find<tk::Combo>(L"lang");
    EXPECT_FALSE(combo->selectItem(2));
    EXPECT_TRUE(combo->selectItem(1));
    EXPECT_EQ(combo->itemAt(combo->selectedIndex())->userData(), L"th_TH");

    const std::vector<std::wstring> expected = {L"click:go",
                                                L"click:go",
                                                L"selectchanged:licence",
                                                L"click:licence",
                                                L"selectchanged:licence",
                                                L"click:licence",
                                                L"selectchanged:a",
                                                L"selectchanged:b",
                                                L"click:b",
                                                L"click:b",
                                                L"itemselect:lang:1"};
    EXPECT_EQ(tree.sent, expected);
}

// Three classes deep: the most-derived table answers first; the base table only when no
// derived entry matched.
int derivedClose = 0, derivedAny = 0;
class RoutingWindow : public tk::WindowBase {
public:
    void onCloseClick(tk::Notification&) { ++derivedClose; }
    void onAnySelect(tk::Notification&) { ++derivedAny; }
    const tk::MessageMap* map() const { return messageMap(); }

protected:
    std::wstring windowClassName() const override { return L"routing"; }
    std::wstring skinFile() const override { return L"none.xml"; }
    const tk::MessageMap* messageMap() const override {
        static const tk::MessageMapEntry entries[] = {
            tk::onNotify<&RoutingWindow::onCloseClick>(L"click", L"closebtn"),
            tk::onNotify<&RoutingWindow::onAnySelect>(L"selectchanged", L""),
        };
        static const tk::MessageMap map{baseMessageMap(), std::begin(entries), std::end(entries)};
        return &map;
    }
};

TEST(MessageMap, MostDerivedEntryWinsAndClicksFallThroughToTheDefault) {
    RoutingWindow window;
    tk::Button close, minimise, other;
    close.setAttribute(L"name", L"closebtn");
    minimise.setAttribute(L"name", L"minbtn");
    other.setAttribute(L"name", L"other");
    auto send = [&](const wchar_t* type, tk::Control* sender) {
        tk::Notification n{type, sender, -1, &window};
        return tk::dispatchNotification(window.map(), window, n);
    };
    EXPECT_TRUE(send(L"click", &close));
    EXPECT_EQ(derivedClose, 1);
    EXPECT_TRUE(send(L"click", &minimise));  // handled by the base table's default click
    EXPECT_TRUE(send(L"click", &other));
    EXPECT_EQ(derivedClose, 1);
    EXPECT_TRUE(send(L"selectchanged", &other));
    EXPECT_TRUE(send(L"selectchanged", nullptr));
    EXPECT_EQ(derivedAny, 2);
    EXPECT_FALSE(send(L"killfocus", &other));
    EXPECT_FALSE(send(L"", &close));
}

}  // namespace
