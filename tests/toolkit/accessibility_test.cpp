// The demo window's accessibility tree, read from this process as a screen reader reads it:
// names without markup (or the tooltip), roles, states, values, default actions, and locations
// that match where the skin viewer lays the same controls out. Default actions act as a click
// would; controls of a hidden page or hidden themselves are not in the tree.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "tests/toolkit/demo_window.h"

using demo::DemoPeer;
using demo::ReportedControl;
using testing_support::AccessibleElement;
using testing_support::childVariant;
using testing_support::narrow;
using testing_support::TempDir;

namespace {

struct Expected {
    const wchar_t* name;     // accessible name
    const wchar_t* control;  // name in the layout
    long role;
    const wchar_t* value;
    const wchar_t* defaultAction;
    long stateOn;
    long stateOff;
};

constexpr long kFocusable = STATE_SYSTEM_FOCUSABLE;
constexpr long kUnavailable = STATE_SYSTEM_UNAVAILABLE;
constexpr long kChecked = STATE_SYSTEM_CHECKED;

// Every element the demo window shows on its first page, in tree order.
const Expected kFirstPage[] = {
    {L"Tamrix demo", L"title", ROLE_SYSTEM_STATICTEXT, L"", L"", 0, kFocusable},
    {L"Minimise", L"minbtn", ROLE_SYSTEM_PUSHBUTTON, L"", L"Press", kFocusable, kUnavailable},
    {L"Close", L"closebtn", ROLE_SYSTEM_PUSHBUTTON, L"", L"Press", kFocusable, kUnavailable},
    {L"Your name", L"nameedit", ROLE_SYSTEM_TEXT, L"initial", L"", kFocusable,
     STATE_SYSTEM_READONLY},
    {L"Edition", L"combo", ROLE_SYSTEM_COMBOBOX, L"Alpha", L"Open",
     kFocusable | STATE_SYSTEM_COLLAPSED, STATE_SYSTEM_EXPANDED},
    {L"Own", L"own", ROLE_SYSTEM_PUSHBUTTON, L"", L"Press", kFocusable, kUnavailable},
    {L"Second", L"second", ROLE_SYSTEM_PUSHBUTTON, L"", L"Press", kFocusable, kUnavailable},
    {L"Disabled", L"disabledbtn", ROLE_SYSTEM_PUSHBUTTON, L"", L"Press", kUnavailable, kFocusable},
    {L"Remember me", L"check", ROLE_SYSTEM_CHECKBUTTON, L"", L"Check", kFocusable, kChecked},
    {L"Small", L"radio1", ROLE_SYSTEM_RADIOBUTTON, L"", L"Select", kFocusable | kChecked, 0},
    {L"Large", L"radio2", ROLE_SYSTEM_RADIOBUTTON, L"", L"Select", kFocusable, kChecked},
    {L"Download progress", L"progress", ROLE_SYSTEM_PROGRESSBAR, L"40%", L"", 0, kFocusable},
    {L"Pages", L"tabs", ROLE_SYSTEM_PAGETABLIST, L"0", L"", 0, 0},
    {L"Licence", L"richedit", ROLE_SYSTEM_TEXT, nullptr, L"", kFocusable | STATE_SYSTEM_READONLY,
     0},
    {L"This sentence is far too long for its box", L"longlabel", ROLE_SYSTEM_STATICTEXT, L"", L"",
     0, 0},
    {L"Boxed text", L"boxlabel", ROLE_SYSTEM_STATICTEXT, L"", L"", 0, 0},
    {L"Read the licence", L"markuplabel", ROLE_SYSTEM_STATICTEXT, L"", L"", 0, 0},
};

std::string describe(const AccessibleElement& e) {
    return narrow(e.name) + " (id " + std::to_string(e.id) + ", role " + std::to_string(e.role) +
           ", state 0x" +
           [&] {
               char hex[16];
               wsprintfA(hex, "%lX", e.state);
               return std::string(hex);
           }() +
           ")";
}

RECT onScreen(const RECT& client, POINT origin) {
    return RECT{client.left + origin.x, client.top + origin.y, client.right + origin.x,
                client.bottom + origin.y};
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string rectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

long hitTest(IAccessible* object, POINT p) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(object->accHitTest(p.x, p.y, &v))) return -1;
    const long id = v.vt == VT_I4 ? v.lVal : -1;
    VariantClear(&v);
    return id;
}

// Events a screen reader hears about (out of context: delivered through this thread's messages).
struct WinEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};
std::vector<WinEvent>& heard() {
    static std::vector<WinEvent> events;
    return events;
}
void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
    heard().push_back({event, window, object, child});
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        ASSERT_TRUE(window.ready()) << "the window peer did not show the demo window";
    }
    HRESULT doDefault(const AccessibleElement& e) {
        return window.accessible()->accDoDefaultAction(childVariant(e.id));
    }
    // Waits, handling this thread's messages, until the window announced the event for the
    // child.
    bool announced(DWORD event, long child) {
        return testing_support::waitUntil([&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            for (const auto& e : heard())
                if (e.event == event && e.window == window.hwnd() && e.object == OBJID_CLIENT &&
                    e.child == child)
                    return true;
            return false;
        });
    }
    void expectLines(std::initializer_list<const char*> lines) {
        for (const char* line : lines) EXPECT_EQ(window.nextLine().value_or("(nothing)"), line);
    }

    demo::ComScope com;
    TempDir temp;
    DemoPeer window;
};

TEST_F(AccessibilityTest, TreeTellsNamesRolesStatesValuesAndWhereEachControlIs) {
    const auto report = demo::viewerReport(L"demo.xml", L"", temp.path() + L"first-page.json");
    ASSERT_FALSE(report.empty());
    const POINT origin = window.origin();

    // The window's own object: its title, the client role.
    const AccessibleElement self = testing_support::readElement(window.accessible(), CHILDID_SELF);
    EXPECT_EQ(self.name, window.title());
    EXPECT_EQ(self.role, ROLE_SYSTEM_CLIENT);

    const auto elements = window.elements();
    std::vector<std::wstring> names;
    std::set<long> ids;
    for (const auto& e : elements) {
        names.push_back(e.name);
        EXPECT_GT(e.id, 0) << describe(e);
        EXPECT_TRUE(ids.insert(e.id).second) << "id used twice: " << describe(e);
        EXPECT_FALSE(e.has(STATE_SYSTEM_INVISIBLE)) << describe(e);
    }
    // Exactly the shown controls, in layout order: the hidden button and the second page's
    // controls are not there, nor are the plain layout boxes.
    std::vector<std::wstring> expectedNames;
    for (const auto& x : kFirstPage) expectedNames.push_back(x.name);
    EXPECT_EQ(names, expectedNames);

    for (const auto& x : kFirstPage) {
        SCOPED_TRACE(narrow(x.name));
        const auto e = testing_support::findElement(elements, x.name);
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->role, x.role);
        if (x.value) {
            EXPECT_EQ(e->value, x.value);
        }
        EXPECT_EQ(e->defaultAction, x.defaultAction);
        EXPECT_TRUE(e->has(x.stateOn)) << describe(*e);
        EXPECT_EQ(e->state & x.stateOff, 0) << describe(*e);
        const auto r = demo::reported(report, x.control);
        ASSERT_TRUE(r.has_value()) << "the viewer does not report " << narrow(x.control);
        const RECT expected = onScreen(r->rect, origin);
        EXPECT_TRUE(sameRect(e->location, expected))
            << "at " << rectText(e->location) << ", laid out at " << rectText(expected);
        // At its centre a control is hit, except the tab layout, whose page's rich edit fills it.
        const auto hit = x.control == std::wstring(L"tabs")
                             ? testing_support::findElement(elements, L"Licence")
                             : e;
        ASSERT_TRUE(hit.has_value());
        EXPECT_EQ(hitTest(window.accessible(), e->centre()), hit->id) << "hit test at the centre";
    }
    // The rich edit's value is its whole text; a tooltip describes a control named by its text.
    EXPECT_TRUE(window.element(L"Licence").value.starts_with(L"The licence text is long"));
    EXPECT_EQ(window.element(L"Own").description, L"Switches the page");
    EXPECT_EQ(window.element(L"Close").description, L"");
    // Outside every control but inside the window the hit is the window itself; outside it
    // nothing.
    const RECT frame = window.windowRect();
    EXPECT_EQ(hitTest(window.accessible(), {frame.left + 2, frame.bottom - 3}), CHILDID_SELF);
    EXPECT_EQ(hitTest(window.accessible(), {frame.right + 5, frame.bottom + 5}), -1);
}

TEST_F(AccessibilityTest, DefaultActionsActLikeTheUserAndTheTreeFollows) {
    // The button's own handler shows the other page: its controls come into the tree where
    // the viewer lays that page out, the first page's go.
    EXPECT_EQ(doDefault(window.element(L"Own")), S_OK);
    expectLines({"click own", "handled own 1"});
    const auto secondPage =
        demo::viewerReport(L"demo.xml", L"--select tabs=1", temp.path() + L"second-page.json");
    const auto elements = window.elements();
    EXPECT_FALSE(testing_support::findElement(elements, L"Licence").has_value());
    const auto pageButton = testing_support::findElement(elements, L"On page two");
    ASSERT_TRUE(pageButton.has_value());
    const auto laidOut = demo::reported(secondPage, L"pagebtn");
    ASSERT_TRUE(laidOut.has_value());
    EXPECT_TRUE(sameRect(pageButton->location, onScreen(laidOut->rect, window.origin())))
        << rectText(pageButton->location);
    // A layout text whose key the text table lacks is shown as written.
    EXPECT_TRUE(testing_support::findElement(elements, L"@no_such_key").has_value());
    EXPECT_EQ(window.element(L"Pages").value, L"1");

    // The check option toggles both ways, and says what its next action does.
    const AccessibleElement check = window.element(L"Remember me");
    EXPECT_EQ(doDefault(check), S_OK);
    expectLines({"selectchanged check 1", "click check"});
    EXPECT_TRUE(window.reread(check).has(kChecked));
    EXPECT_EQ(window.reread(check).defaultAction, L"Uncheck");
    EXPECT_EQ(doDefault(check), S_OK);
    expectLines({"selectchanged check 0", "click check"});
    EXPECT_FALSE(window.reread(check).has(kChecked));

    // Choosing the other radio button clears the first one of its group.
    const AccessibleElement small = window.element(L"Small");
    const AccessibleElement large = window.element(L"Large");
    EXPECT_EQ(doDefault(large), S_OK);
    expectLines({"selectchanged radio1 0", "selectchanged radio2 1", "click radio2"});
    EXPECT_FALSE(window.reread(small).has(kChecked));
    EXPECT_TRUE(window.reread(large).has(kChecked));

    // A disabled button refuses, and nothing is sent: the next line is the next click's.
    EXPECT_TRUE(FAILED(doDefault(window.element(L"Disabled"))));
    EXPECT_EQ(doDefault(window.element(L"Second")), S_OK);
    expectLines({"click second"});

    // Taking the focus into the edit and then to a button: the edit tells it lost the focus.
    const AccessibleElement edit = window.element(L"Your name");
    EXPECT_EQ(window.accessible()->accSelect(SELFLAG_TAKEFOCUS, childVariant(edit.id)), S_OK);
    EXPECT_EQ(window.focusId(), edit.id);
    EXPECT_TRUE(window.reread(edit).has(STATE_SYSTEM_FOCUSED));
    const AccessibleElement second = window.element(L"Second");
    EXPECT_EQ(window.accessible()->accSelect(SELFLAG_TAKEFOCUS, childVariant(second.id)), S_OK);
    expectLines({"killfocus nameedit initial"});
    EXPECT_EQ(window.focusId(), second.id);
    EXPECT_FALSE(window.reread(edit).has(STATE_SYSTEM_FOCUSED));

    // The combo's action opens its list, a window of its own, and closes it again.
    const AccessibleElement combo = window.element(L"Edition");
    auto listWindow = [&] {
        for (HWND w : testing_support::visibleThreadWindows(window.threadId()))
            if (w != window.hwnd() && testing_support::windowClass(w) == L"tk.ComboList") return w;
        return HWND{};
    };
    EXPECT_EQ(doDefault(combo), S_OK);
    EXPECT_TRUE(testing_support::waitUntil([&] { return listWindow() != nullptr; }));
    EXPECT_TRUE(window.reread(combo).has(STATE_SYSTEM_EXPANDED));
    EXPECT_EQ(doDefault(combo), S_OK);
    EXPECT_TRUE(testing_support::waitUntil([&] { return listWindow() == nullptr; }));
    EXPECT_TRUE(window.reread(combo).has(STATE_SYSTEM_COLLAPSED));

    // The close button's action closes the window; the tree is gone with it.
    EXPECT_EQ(doDefault(window.element(L"Close")), S_OK);
    expectLines({"click closebtn", "closed"});
    EXPECT_EQ(window.peer().wait(), 0);
    long count = 0;
    EXPECT_TRUE(FAILED(window.accessible()->get_accChildCount(&count)));
}

TEST_F(AccessibilityTest, ChangesAreAnnouncedToScreenReaders) {
    DWORD process = 0;
    GetWindowThreadProcessId(window.hwnd(), &process);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr,
                                         onWinEvent, process, 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    heard().clear();

    // The focus going to a control, an option's state, the tab layout's page.
    const AccessibleElement second = window.element(L"Second");
    EXPECT_EQ(window.accessible()->accSelect(SELFLAG_TAKEFOCUS, childVariant(second.id)), S_OK);
    EXPECT_TRUE(announced(EVENT_OBJECT_FOCUS, second.id));
    const AccessibleElement check = window.element(L"Remember me");
    EXPECT_EQ(doDefault(check), S_OK);
    expectLines({"selectchanged check 1", "click check"});
    EXPECT_TRUE(announced(EVENT_OBJECT_STATECHANGE, check.id));
    const AccessibleElement tabs = window.element(L"Pages");
    EXPECT_EQ(doDefault(window.element(L"Own")), S_OK);
    expectLines({"click own", "handled own 1"});
    EXPECT_TRUE(announced(EVENT_OBJECT_SELECTION, tabs.id));
    UnhookWinEvent(hook);
}

}  // namespace
