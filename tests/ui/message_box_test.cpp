// The message boxes as real windows built from the skin folder: one box per text, the layouts
// and icons, the buttons' look and place, and every way of closing a box with what it runs and
// what it does to the owner window.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ui/ui_harness.h"
#include "toolkit/container.h"
#include "toolkit/control.h"
#include "ui/message_box.h"

namespace {

using msg::MessageBoxWindow;
using ui_test::AccessibleWindow;
using ui_test::pumpUntil;

std::vector<HWND> openBoxes() {
    return ui_test::windowsOfClass(L"MessageBoxWindow");
}

bool gone(HWND hwnd) {
    return IsWindow(hwnd) == FALSE;
}

int scaled(HWND hwnd, int length) {
    return MulDiv(length, tk::windowDpi(hwnd), 96);
}

RECT windowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { ui_test::setUpToolkit(); }
    void TearDown() override {
        for (HWND box : openBoxes()) PostMessageW(box, WM_CLOSE, 0, 0);
        EXPECT_TRUE(pumpUntil([] { return openBoxes().empty(); }));
    }

    ui_test::OwnerWindow owner_;
};

TEST_F(MessageBoxTest, ATextAlreadyShownOpensNoSecondBoxUntilItsBoxHasClosed) {
    int first = 0, dropped = 0;
    MessageBoxWindow* box = msg::showMessageBox(owner_.hwnd(), 0, L"Prompt", L"one text",
                                                {L"OK", [&] { ++first; }, true});
    ASSERT_NE(box, nullptr);
    const HWND hwnd = box->hwnd();
    EXPECT_EQ(msg::showMessageBox(owner_.hwnd(), 0, L"Other", L"one text",
                                  {L"Again", [&] { ++dropped; }, true}),
              nullptr);
    EXPECT_EQ(msg::showMessageBoxWithIcon(owner_.hwnd(), L"", L"t", L"one text", {L"a"}, {L"b"},
                                          [&] { ++dropped; }),
              nullptr);
    EXPECT_EQ(openBoxes(), std::vector<HWND>{hwnd});

    // A box with another text opens beside it; its end leaves the owner to the first box.
    MessageBoxWindow* other = msg::showMessageBox(owner_.hwnd(), 0, L"t", L"another", {L"OK"});
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(openBoxes().size(), 2u);
    other->close(1);
    ASSERT_TRUE(pumpUntil([&] { return openBoxes().size() == 1; }));
    EXPECT_FALSE(owner_.enabled());

    ASSERT_TRUE(AccessibleWindow(hwnd).press(L"OK"));
    ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(dropped, 0) << "the dropped requests' actions never run";
    EXPECT_NE(msg::showMessageBox(owner_.hwnd(), 0, L"Prompt", L"one text", {L"OK"}), nullptr);
}

TEST_F(MessageBoxTest, IconsChooseTheLayoutAndARefusalShowsItsTitleAndTheConfirmCaption) {
    EXPECT_EQ(msg::iconImage(0), L"common/msg_noice48.png");
    EXPECT_EQ(msg::iconImage(1), L"common/msg_noice48.png");
    EXPECT_EQ(msg::iconImage(3), L"common/msg_ok48.png");
    EXPECT_EQ(msg::iconImage(4), L"");
    EXPECT_EQ(msg::iconImage(-1), L"");
    const msg::MessageBoxButton confirm = msg::confirmButton();
    EXPECT_EQ(confirm.text, L"OK");
    EXPECT_TRUE(confirm.primary);
    EXPECT_FALSE(confirm.action);

    struct Case {
        int kind;  // -1: showMessageBoxWithIcon with the image
        const wchar_t* image;
        int height;
        bool iconShown;
        int textWidth;  // fixed width of the text label; 0: none
    };
    const Case cases[] = {
        {2, nullptr, 336, true, 0},    {3, nullptr, 336, true, 0},
        {9, nullptr, 266, false, 340},  // a kind without image: the layout for no image
        {-1, L"", 266, false, 340},    {-1, L"common/msg_ok48.png", 336, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind);
        const std::wstring title = tk::lookupText("MsgBox_error");
        const std::wstring text = tk::lookupText("MsgBox_accept_protocol");
        MessageBoxWindow* box =
            c.kind >= 0
                ? msg::showMessageBox(owner_.hwnd(), c.kind, title, text, msg::confirmButton())
                : msg::showMessageBoxWithIcon(owner_.hwnd(), c.image, title, text, {L"No"},
                                              {L"Yes"});
        ASSERT_NE(box, nullptr);
        const HWND hwnd = box->hwnd();
        const RECT r = windowRect(hwnd);
        EXPECT_EQ(r.right - r.left, scaled(hwnd, 436));
        EXPECT_EQ(r.bottom - r.top, scaled(hwnd, c.height));
        EXPECT_EQ(box->findControl(L"msgiconimage")->ownVisible(), c.iconShown);
        EXPECT_EQ(box->findControl(L"descriptlabel")->fixedWidth(), c.textWidth);
        EXPECT_TRUE(IsWindowVisible(hwnd));
        EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner_.hwnd());
        EXPECT_EQ(GetClassLongPtrW(hwnd, GCL_STYLE), 3);
        EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & 0x88, 0x88);
        EXPECT_EQ(box->manager().font(1).size, 14);
        EXPECT_EQ(box->manager().font(3).size, 18);

        AccessibleWindow view(hwnd);
        EXPECT_NE(view.find(L"Error", ROLE_SYSTEM_STATICTEXT).childId, 0);
        EXPECT_NE(view.find(L"Please accept protocol", ROLE_SYSTEM_STATICTEXT).childId, 0);
        EXPECT_NE(view.find(c.kind >= 0 ? L"OK" : L"Yes", ROLE_SYSTEM_PUSHBUTTON).childId, 0);
        box->close(1);
        ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
    }
}

// A text longer than the layout's room grows the box (a bordered window) about its centre, as
// wide as the layout, until every line has its room; a short text keeps the layout's size.
// Both layouts.
TEST_F(MessageBoxTest, ALongTextGrowsTheBoxInsteadOfBeingCut) {
    std::wstring longText;
    for (int i = 0; i < 12; ++i) longText += L"A sentence that a translation made much longer. ";
    const struct {
        const wchar_t* icon;
        int height;
    } layouts[] = {{L"", 266}, {L"common/msg_ok48.png", 336}};
    for (const auto& layout : layouts) {
        for (const bool isLong : {false, true}) {
            SCOPED_TRACE(testing::Message() << layout.height << (isLong ? " long" : " short"));
            const std::wstring text = isLong ? longText : L"Short.";
            MessageBoxWindow* box = msg::showMessageBoxWithIcon(owner_.hwnd(), layout.icon,
                                                                L"Prompt", text, {L"No"}, {L"Yes"});
            ASSERT_NE(box, nullptr);
            const HWND hwnd = box->hwnd();
            const RECT before = windowRect(hwnd);
            UpdateWindow(hwnd);  // laid out as painted
            const RECT after = windowRect(hwnd);
            EXPECT_EQ(after.right - after.left, scaled(hwnd, 436));
            if (isLong) {
                EXPECT_GT(after.bottom - after.top, scaled(hwnd, layout.height));
            } else {
                EXPECT_EQ(after.bottom - after.top, scaled(hwnd, layout.height));
            }
            EXPECT_LE(std::abs((after.top + after.bottom) - (before.top + before.bottom)), 1)
                << "about the same centre";

            const auto room = ui_test::textRoom(*box->find<tk::Label>(L"descriptlabel"));
            EXPECT_LE(room.need, room.room) << "every line has its room";
            box->close(1);
            ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
        }
    }
}

TEST_F(MessageBoxTest, TheOwnerIsDisabledWhileABoxIsOpenAndEnabledAfterEveryWayOfClosing) {
    enum class Way { kButton, kCloseButton, kPostedEscape, kTranslatedEscape };
    struct Case {
        Way way;
        int lefts, rights, closes;  // runs of the two buttons' actions and the close action
    };
    const Case cases[] = {
        {Way::kButton, 1, 0, 0},
        {Way::kCloseButton, 0, 0, 1},
        {Way::kPostedEscape, 0, 0, 0},
        {Way::kTranslatedEscape, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "way " << static_cast<int>(c.way));
        int lefts = 0, rights = 0, closes = 0;
        bool enabledInAction = false;
        MessageBoxWindow* box = msg::showMessageBoxWithIcon(
            owner_.hwnd(), L"", L"t", L"ways of closing",
            {L"No", [&] { ++lefts, enabledInAction = owner_.enabled(); }},
            {L"Yes", [&] { ++rights; }, true},
            [&] { ++closes, enabledInAction = owner_.enabled(); });
        ASSERT_NE(box, nullptr);
        const HWND hwnd = box->hwnd();
        EXPECT_FALSE(owner_.enabled());
        switch (c.way) {
            case Way::kButton:
                ASSERT_TRUE(AccessibleWindow(hwnd).press(L"No"));
                break;
            case Way::kCloseButton:
                ASSERT_TRUE(box->find<tk::Button>(L"closebtn")->activate());
                break;
            case Way::kPostedEscape:
                PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
                break;
            case Way::kTranslatedEscape:
                EXPECT_TRUE(tk::WindowBase::preTranslateMessage(
                    MSG{hwnd, WM_KEYDOWN, VK_ESCAPE, 0, GetTickCount(), {}}));
                break;
        }
        ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
        EXPECT_TRUE(owner_.enabled());
        EXPECT_EQ(lefts, c.lefts);
        EXPECT_EQ(rights, c.rights);
        EXPECT_EQ(closes, c.closes);
        EXPECT_EQ(enabledInAction, c.lefts + c.closes > 0) << "enabled before an action runs";
    }
}

TEST_F(MessageBoxTest, AButtonHidesTheBoxBeforeItsActionWhichMayOpenAnotherBox) {
    HWND first = nullptr;
    bool visibleInAction = true, ownerEnabledInAction = false;
    int secondClosed = 0;
    MessageBoxWindow* second = nullptr;
    MessageBoxWindow* box = msg::showMessageBox(
        owner_.hwnd(), 0, L"t", L"first box",
        {L"Go on",
         [&] {
             visibleInAction = IsWindowVisible(first) != FALSE;
             ownerEnabledInAction = owner_.enabled();
             second = msg::showMessageBoxWithIcon(owner_.hwnd(), L"", L"t", L"second box", {L"No"},
                                                  {L"Yes"}, [&] { ++secondClosed; });
         },
         true});
    ASSERT_NE(box, nullptr);
    first = box->hwnd();
    ASSERT_TRUE(AccessibleWindow(first).press(L"Go on"));
    ASSERT_TRUE(pumpUntil([&] { return gone(first); }));
    EXPECT_FALSE(visibleInAction);
    EXPECT_TRUE(ownerEnabledInAction);
    ASSERT_NE(second, nullptr);
    const HWND hwnd = second->hwnd();
    EXPECT_EQ(openBoxes(), std::vector<HWND>{hwnd});
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner_.hwnd());
    EXPECT_FALSE(owner_.enabled()) << "the first box's end leaves the owner to the second box";

    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
    EXPECT_EQ(secondClosed, 0);
    EXPECT_TRUE(owner_.enabled());
}

TEST_F(MessageBoxTest, ButtonsSitCentredBeforeTheLastSpacerLeftBeforeRight) {
    for (int count : {1, 2}) {
        SCOPED_TRACE(testing::Message() << count << " buttons");
        const msg::MessageBoxButton leave{L"Leave", {}, false};
        const msg::MessageBoxButton browser{L"Download by browser", {}, true};
        MessageBoxWindow* box =
            count == 1 ? msg::showMessageBox(owner_.hwnd(), 0, L"t", L"buttons", leave)
                       : msg::showMessageBox(owner_.hwnd(), 0, L"t", L"buttons", leave, browser);
        ASSERT_NE(box, nullptr);
        const HWND hwnd = box->hwnd();
        auto* bar = box->find<tk::Container>(L"bottombar");
        ASSERT_EQ(bar->childCount(), 2 + count);
        EXPECT_EQ(bar->childAt(0)->getInterface(L"Selection"), nullptr);
        EXPECT_EQ(bar->childAt(count + 1)->getInterface(L"Selection"), nullptr);
        std::vector<msg::CSelectionUI*> buttons;
        for (int i = 1; i <= count; ++i) {
            buttons.push_back(
                static_cast<msg::CSelectionUI*>(bar->childAt(i)->getInterface(L"Selection")));
            ASSERT_NE(buttons.back(), nullptr);
        }
        EXPECT_EQ(buttons[0]->caption(), L"Leave");
        EXPECT_FALSE(buttons[0]->primary());
        EXPECT_EQ(buttons[0]->getInterface(L"Button"), static_cast<tk::Control*>(buttons[0]));
        if (count == 2) {
            EXPECT_EQ(buttons[1]->caption(), L"Download by browser");
            EXPECT_TRUE(buttons[1]->primary());
        }
        for (msg::CSelectionUI* button : buttons) {
            EXPECT_EQ(button->fixedHeight(), 30);
            EXPECT_EQ(button->textPadding(), (tk::Insets{20, 0, 20, 0}));
            EXPECT_EQ(button->padding(), (tk::Insets{10, 0, 10, 0}));
            EXPECT_EQ(button->minWidth(), 90);
            EXPECT_EQ(button->fontId(), 1);
            EXPECT_TRUE(button->wantsHandCursor());
            EXPECT_TRUE(button->textFormat().markup);
            EXPECT_EQ(button->textFormat().align & tk::kAlignVCenter, tk::kAlignVCenter);
        }

        UpdateWindow(hwnd);  // laid out as painted
        const RECT window = windowRect(hwnd);
        const AccessibleWindow view(hwnd);
        const RECT l = view.find(L"Leave", ROLE_SYSTEM_PUSHBUTTON).rect;
        const RECT r = count == 1 ? l : view.find(L"Download by browser").rect;
        EXPECT_EQ(l.right - l.left, scaled(hwnd, 100)) << "a short caption is 100 wide";
        EXPECT_EQ(l.bottom - l.top, scaled(hwnd, 30));
        EXPECT_LE(std::abs((l.left - window.left) - (window.right - r.right)), 1) << "centred";
        if (count == 2) {
            EXPECT_EQ(r.left - l.right, scaled(hwnd, 20)) << "the two buttons' paddings";
            EXPECT_GT(r.right - r.left, l.right - l.left);
        }

        // A remote-style button answers as a box button too and goes before the last spacer.
        box->addRemoteButton({L"Remote", {}, true});
        ASSERT_EQ(bar->childCount(), 3 + count);
        EXPECT_NE(bar->childAt(count + 1)->getInterface(L"Selection"), nullptr);
        EXPECT_EQ(bar->childAt(count + 2)->getInterface(L"Selection"), nullptr);
        box->close(1);
        ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
    }
}

}  // namespace
