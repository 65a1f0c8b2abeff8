// The demo window driven as a person drives it: the pointer and the keys come from xdotool on
// the display, the controls are found through the window's accessibility tree, what the window
// shows is read from the screen, and what it does comes from the peer's lines of events.
// Screenshots are kept in <build>/tests/renders.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "tests/toolkit/demo_window.h"

using demo::DemoPeer;
using testing_support::AccessibleElement;
using testing_support::captureScreen;
using testing_support::colourDistance;
using testing_support::colourText;
using testing_support::narrow;
using testing_support::Pixels;
using testing_support::waitUntil;
using testing_support::xdotool;

namespace {

// Colours of the test skin.
constexpr std::uint32_t kAccent = 0x268FD6;        // focus ring, checked box
constexpr std::uint32_t kButtonNormal = 0x268FD6;  // demo/button.png cells
constexpr std::uint32_t kButtonHot = 0x1F7FC2;
constexpr std::uint32_t kButtonPushed = 0x1A6DA8;
constexpr std::uint32_t kWhite = 0xFFFFFF;

std::string xy(POINT p) {
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

POINT offset(POINT p, int dx, int dy) {
    return {p.x + dx, p.y + dy};
}

std::uint32_t screenPixel(POINT p) {
    const Pixels one = captureScreen(RECT{p.x, p.y, p.x + 1, p.y + 1});
    return one.empty() ? 0 : testing_support::rgbOf(one.at(0, 0));
}

// Waits until the screen shows the colour there (within a small tolerance).
bool showsColour(POINT p, std::uint32_t colour, int tolerance = 8) {
    return waitUntil([&] { return colourDistance(screenPixel(p), colour) <= tolerance; });
}

// The pixels just outside the middle of each edge: a focus ring covers all four.
bool hasFocusRing(const AccessibleElement& e) {
    const RECT& r = e.location;
    const POINT c = e.centre();
    const POINT around[] = {{c.x, r.top - 1}, {c.x, r.bottom}, {r.left - 1, c.y}, {r.right, c.y}};
    for (const POINT& p : around)
        if (colourDistance(screenPixel(p), kAccent) > 8) return false;
    return true;
}
bool hasNoFocusRing(const AccessibleElement& e) {
    const RECT& r = e.location;
    const POINT c = e.centre();
    return colourDistance(screenPixel({c.x, r.top - 1}), kAccent) > 40 &&
           colourDistance(screenPixel({r.left - 1, c.y}), kAccent) > 40;
}

class WindowInputTest : public ::testing::Test {
protected:
    void start(const std::wstring& options = {}) {
        ASSERT_TRUE(com.ok());
        window = std::make_unique<DemoPeer>(options);
        ASSERT_TRUE(window->ready()) << "the window peer did not show the demo window";
        // The pointer starts off the window, so that nothing is hot before the test moves it.
        ASSERT_TRUE(xdotool("mousemove 2 2"));
        const auto found =
            testing_support::runUnix("xdotool search --name '^" + narrow(window->title()) + "$'");
        ASSERT_EQ(found.code, 0) << found.output;
        xwindow = found.output.substr(0, found.output.find('\n'));
        ASSERT_FALSE(xwindow.empty());
    }
    void focusKeyboard() { ASSERT_TRUE(xdotool("windowfocus --sync " + xwindow)); }
    void click(POINT p) { ASSERT_TRUE(xdotool("mousemove " + xy(p) + " click 1")); }
    void key(const std::string& keys) { ASSERT_TRUE(xdotool("key " + keys)); }
    void expectLines(std::initializer_list<const char*> lines) {
        for (const char* line : lines) EXPECT_EQ(window->nextLine().value_or("(nothing)"), line);
    }
    void screenshot(const std::wstring& name) {
        const RECT r = window->windowRect();
        EXPECT_TRUE(testing_support::writePng(demo::renderDir() + name, captureScreen(r)));
    }
    // The windows of the peer's thread other than its main window that are of the class.
    HWND popupOfClass(const std::wstring& className) {
        for (HWND w : testing_support::visibleThreadWindows(window->threadId()))
            if (w != window->hwnd() && testing_support::windowClass(w) == className) return w;
        return nullptr;
    }
    // Ends the window with Escape: its final line, and exit code 0.
    void closeWithEscape() {
        focusKeyboard();
        key("Escape");
        expectLines({"closed"});
        EXPECT_EQ(window->peer().wait(), 0);
    }

    demo::ComScope com;
    std::unique_ptr<DemoPeer> window;
    std::string xwindow;
};

TEST_F(WindowInputTest, PointerHoversPressesDragsAndMinimises) {
    start();
    const AccessibleElement own = window->element(L"Own");
    const POINT fill = {own.location.left + 4, own.centre().y};  // clear of the button's text
    EXPECT_TRUE(showsColour(fill, kButtonNormal, 0)) << colourText(screenPixel(fill));

    // Hover: the button is hot in the tree and shows its hot image; its tooltip shows.
    ASSERT_TRUE(xdotool("mousemove " + xy(own.centre())));
    EXPECT_TRUE(waitUntil([&] { return window->reread(own).has(STATE_SYSTEM_HOTTRACKED); }));
    EXPECT_TRUE(showsColour(fill, kButtonHot)) << colourText(screenPixel(fill));
    screenshot(L"input-hover.png");
    HWND tip = nullptr;
    EXPECT_TRUE(waitUntil([&] {
        tip = popupOfClass(L"tooltips_class32");
        return tip && testing_support::windowTextOf(tip) == L"Switches the page";
    })) << "no tooltip with the button's text";

    // Press shows the pushed image; release inside clicks.
    ASSERT_TRUE(xdotool("mousedown 1"));
    EXPECT_TRUE(showsColour(fill, kButtonPushed)) << colourText(screenPixel(fill));
    EXPECT_TRUE(window->reread(own).has(STATE_SYSTEM_PRESSED));
    ASSERT_TRUE(xdotool("mouseup 1"));
    expectLines({"click own", "handled own 1"});

    // On to the next button: it is hot and the tooltip tells its text; the first one shows its
    // normal image again. A disabled button is never hot, and has no tooltip to show.
    const AccessibleElement second = window->element(L"Second");
    const AccessibleElement disabled = window->element(L"Disabled");
    ASSERT_TRUE(xdotool("mousemove " + xy(second.centre())));
    EXPECT_TRUE(waitUntil([&] { return window->reread(second).has(STATE_SYSTEM_HOTTRACKED); }));
    EXPECT_FALSE(window->reread(own).has(STATE_SYSTEM_HOTTRACKED));
    EXPECT_TRUE(showsColour(fill, kButtonNormal));
    EXPECT_TRUE(waitUntil([&] {
        return tip && IsWindowVisible(tip) &&
               testing_support::windowTextOf(tip) == L"The second button";
    })) << "the tooltip does not follow the pointer";
    ASSERT_TRUE(xdotool("mousemove " + xy(disabled.centre())));
    EXPECT_TRUE(waitUntil([&] { return !window->reread(second).has(STATE_SYSTEM_HOTTRACKED); }));
    EXPECT_FALSE(window->reread(disabled).has(STATE_SYSTEM_HOTTRACKED));
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(tip); })) << "the tooltip stays";

    // The window's rounded corner shows what lies behind the window.
    const RECT frame = window->windowRect();
    const POINT blank = {frame.left + 240, frame.bottom - 8};  // below every control
    ASSERT_TRUE(xdotool("mousemove " + xy(blank)));
    const std::uint32_t behind = screenPixel({frame.left - 2, frame.top + 40});
    EXPECT_EQ(screenPixel({frame.left, frame.top}), behind);
    EXPECT_EQ(screenPixel({frame.right - 1, frame.bottom - 1}), behind);
    EXPECT_NE(screenPixel({frame.left + 8, frame.top + 8}), behind);

    // Pressed inside and released outside: no click. Held over the close button of the caption
    // strip and dragged away: neither a click nor a move of the window. A disabled button does
    // nothing at all. The next line is therefore the click on "Second".
    ASSERT_TRUE(xdotool("mousemove " + xy(second.centre()) + " mousedown 1 mousemove " + xy(blank) +
                        " mouseup 1"));
    const AccessibleElement close = window->element(L"Close");
    ASSERT_TRUE(xdotool("mousemove " + xy(close.centre()) + " mousedown 1 mousemove " +
                        xy(offset(close.centre(), -40, 30)) + " mouseup 1"));
    click(window->element(L"Disabled").centre());
    click(second.centre());
    expectLines({"click second"});
    const RECT stayed = window->windowRect();
    EXPECT_EQ(stayed.left, frame.left);
    EXPECT_EQ(stayed.top, frame.top);

    // Dragging the caption strip (on the title, which takes no clicks) moves the window by the
    // distance dragged.
    const POINT title = window->element(L"Tamrix demo").centre();
    ASSERT_TRUE(xdotool("mousemove " + xy(title) + " mousedown 1 mousemove " +
                        xy(offset(title, 10, 5)) + " mousemove " + xy(offset(title, 40, 30)) +
                        " mouseup 1"));
    EXPECT_TRUE(waitUntil([&] {
        const RECT r = window->windowRect();
        return r.left == frame.left + 40 && r.top == frame.top + 30;
    })) << "window at "
        << window->windowRect().left << "," << window->windowRect().top << ", was at " << frame.left
        << "," << frame.top;
    const RECT moved = window->windowRect();
    EXPECT_EQ(moved.right - moved.left, frame.right - frame.left);
    EXPECT_EQ(moved.bottom - moved.top, frame.bottom - frame.top);
    // The tree follows the window.
    EXPECT_EQ(window->element(L"Own").location.left, own.location.left + 40);

    // The minimise button goes through the base class's default handling.
    click(window->element(L"Minimise").centre());
    expectLines({"click minbtn"});
    EXPECT_TRUE(waitUntil([&] { return IsIconic(window->hwnd()) != FALSE; }));
    ShowWindow(window->hwnd(), SW_RESTORE);
    EXPECT_TRUE(waitUntil([&] { return !IsIconic(window->hwnd()); }));

    closeWithEscape();
}

TEST_F(WindowInputTest, KeysMoveTheFocusActivateTypeAndChoose) {
    start();
    focusKeyboard();

    // Tab walks the enabled, visible, focusable controls in layout order and around; the
    // focused one has the focus ring, the one before loses it. Space clicks a button and
    // toggles the check option; a selected radio button stays selected.
    const wchar_t* const order[] = {L"Minimise", L"Close",  L"Your name",   L"Edition",
                                    L"Own",      L"Second", L"Remember me", L"Small",
                                    L"Large",    L"Licence"};
    std::vector<AccessibleElement> stops;
    for (const wchar_t* name : order) stops.push_back(window->element(name));
    for (size_t i = 0; i <= stops.size(); ++i) {
        const AccessibleElement& now = stops[i % stops.size()];
        SCOPED_TRACE(narrow(now.name));
        key("Tab");
        EXPECT_TRUE(waitUntil([&] { return window->focusId() == now.id; }))
            << "focus on " << window->focusId();
        EXPECT_TRUE(waitUntil([&] { return hasFocusRing(now); })) << "no focus ring";
        if (i > 0) {
            EXPECT_TRUE(waitUntil([&] { return hasNoFocusRing(stops[i - 1]); }));
        }
        if (i == 0) screenshot(L"input-focus-first.png");
        if (now.name == L"Edition") expectLines({"killfocus nameedit initial"});
        if (now.name == L"Second") {
            // Enter is not the window's key; Space clicks.
            key("Return space");
            expectLines({"click second"});
        }
        if (now.name == L"Remember me") {
            screenshot(L"input-focus-check.png");
            // Inside the check box's cell, clear of its tick.
            const POINT box = {now.location.left + 8, now.location.top + 8};
            EXPECT_EQ(colourDistance(screenPixel(box), kWhite), 0);
            key("space");
            expectLines({"selectchanged check 1", "click check"});
            EXPECT_TRUE(window->reread(now).has(STATE_SYSTEM_CHECKED));
            EXPECT_TRUE(showsColour(box, kAccent)) << colourText(screenPixel(box));
        }
        if (now.name == L"Small") {
            key("space");
            expectLines({"click radio1"});
        }
        if (now.name == L"Licence") {
            // The focused rich edit scrolls with End and Home, and with the wheel under the
            // pointer.
            const RECT inside{now.location.left + 4, now.location.top + 4, now.location.right - 4,
                              now.location.bottom - 4};
            const Pixels top = captureScreen(inside);
            auto showsTop = [&] { return captureScreen(inside).data == top.data; };
            key("End");
            EXPECT_TRUE(waitUntil([&] { return !showsTop(); })) << "End did not scroll";
            screenshot(L"input-richedit-end.png");
            key("Home");
            EXPECT_TRUE(waitUntil(showsTop)) << "Home did not scroll back";
            ASSERT_TRUE(xdotool("mousemove " + xy(now.centre()) + " click 5"));
            EXPECT_TRUE(waitUntil([&] { return !showsTop(); })) << "the wheel did not scroll";
            ASSERT_TRUE(xdotool("click 4 mousemove 2 2"));
            EXPECT_TRUE(waitUntil(showsTop)) << "the wheel did not scroll back";
        }
    }
    // Shift+Tab goes back: from the first stop round to the last, then the one before it.
    key("shift+Tab");
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == stops.back().id; }));
    key("shift+Tab");
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == stops[stops.size() - 2].id; }));
    EXPECT_TRUE(waitUntil([&] { return hasFocusRing(stops[stops.size() - 2]); }));

    // Typed text replaces the edit's text; leaving the edit tells what it holds.
    const AccessibleElement edit = window->element(L"Your name");
    click(edit.centre());
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == edit.id; }));
    focusKeyboard();
    ASSERT_TRUE(xdotool("type --delay 20 'hello tk'"));
    EXPECT_TRUE(waitUntil([&] { return window->reread(edit).value == L"hello tk"; }))
        << narrow(window->reread(edit).value);
    key("Tab");
    expectLines({"killfocus nameedit hello tk"});
    EXPECT_EQ(window->reread(edit).value, L"hello tk");
    // Typing again replaces the whole text; a click on a button ends the typing, then clicks.
    click(edit.centre());
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == edit.id; }));
    ASSERT_TRUE(xdotool("type --delay 20 'Tamrix'"));
    EXPECT_TRUE(waitUntil([&] { return window->reread(edit).value == L"Tamrix"; }));
    click(window->element(L"Second").centre());
    expectLines({"killfocus nameedit Tamrix", "click second"});
    // Back to the combo for the keys.
    click(edit.centre());
    key("Tab");
    expectLines({"killfocus nameedit Tamrix"});

    // The combo has the focus now: Space opens its list, Escape closes only the list; the
    // arrows move in the list and Enter chooses.
    const AccessibleElement combo = window->element(L"Edition");
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == combo.id; }));
    key("space");
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") != nullptr; }));
    key("Escape");
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") == nullptr; }));
    EXPECT_TRUE(IsWindowVisible(window->hwnd()));
    // Tab while the list is open closes it without a choice and moves on.
    key("space");
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") != nullptr; }));
    key("Tab");
    const long own = window->element(L"Own").id;
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == own; }));
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") == nullptr; }));
    key("shift+Tab");
    EXPECT_TRUE(waitUntil([&] { return window->focusId() == combo.id; }));
    key("space");
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") != nullptr; }));
    key("Down Down Up Return");
    expectLines({"itemselect combo 1 beta"});
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") == nullptr; }));
    EXPECT_EQ(window->reread(combo).value, L"Beta");

    // A click on the combo opens its list as a window of its own right below it; a click on an
    // item chooses that item.
    click(combo.centre());
    HWND list = nullptr;
    EXPECT_TRUE(waitUntil([&] { return (list = popupOfClass(L"tk.ComboList")) != nullptr; }));
    ASSERT_NE(list, nullptr);
    RECT r{};
    GetWindowRect(list, &r);
    EXPECT_EQ(r.left, combo.location.left);
    EXPECT_EQ(r.right - r.left, combo.location.right - combo.location.left);
    EXPECT_GE(r.top, combo.location.bottom);
    EXPECT_LE(r.top, combo.location.bottom + 4);
    screenshot(L"input-combo-open.png");
    const int itemHeight = (r.bottom - r.top - 2) / 3;
    EXPECT_EQ(itemHeight, 28);
    click({(r.left + r.right) / 2, r.top + 1 + 2 * itemHeight + itemHeight / 2});
    expectLines({"itemselect combo 2 gamma"});
    EXPECT_TRUE(waitUntil([&] { return popupOfClass(L"tk.ComboList") == nullptr; }));
    EXPECT_EQ(window->reread(combo).value, L"Gamma");

    closeWithEscape();
}

TEST_F(WindowInputTest, OwnCloseEntryOfTheRoutingWindowKeepsItOpen) {
    start(L"--routing");
    // The class's own entry gets the close button's click, and the window stays.
    click(window->element(L"Close").centre());
    expectLines({"click closebtn", "handled closebtn"});
    // "own" has no entry of this class: the base class ignores it, so the next line is the
    // next click's.
    click(window->element(L"Own").centre());
    click(window->element(L"Second").centre());
    expectLines({"click own", "click second"});
    EXPECT_TRUE(IsWindow(window->hwnd()));
    EXPECT_TRUE(IsWindowVisible(window->hwnd()));
    // Clicks without an entry of the class still reach the base class's default handling.
    click(window->element(L"Minimise").centre());
    expectLines({"click minbtn"});
    EXPECT_TRUE(waitUntil([&] { return IsIconic(window->hwnd()) != FALSE; }));
    ShowWindow(window->hwnd(), SW_RESTORE);
    EXPECT_TRUE(waitUntil([&] { return !IsIconic(window->hwnd()); }));

    closeWithEscape();
}

}  // namespace
