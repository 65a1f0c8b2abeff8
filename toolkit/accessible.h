// The accessibility object of a skinned window: answers WM_GETOBJECT with an IAccessible whose
// children are the window's visible controls (simple elements with stable child ids), each with
// its name, role, state, screen location, value and default action. Default actions are posted
// to the window and run from its message loop, so a client never waits on a dialog the action
// opens. Created on the UI thread by its window; COM references (copies made by Clone among them)
// may outlive the window: each object holds the window's liveness token, and once the window is
// going every call fails with CO_E_OBJNOTCONNECTED. Selection and default actions act only on
// visible, enabled controls of an enabled window. UI thread only (calls arrive through COM on it).
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <vector>

#include "toolkit/window_base.h"

namespace tk {

class Control;

class WindowAccessible : public IAccessible, public IEnumVARIANT {
public:
    explicit WindowAccessible(WindowLiveness window);
    WindowAccessible(const WindowAccessible&) = delete;
    WindowAccessible& operator=(const WindowAccessible&) = delete;

    // The reply to WM_GETOBJECT for OBJID_CLIENT.
    LRESULT answer(WPARAM wParam);
    // The window is going: later calls fail; the owner's reference is released.
    void disconnect();
    // Message the window receives with a child id when a default action was asked for.
    static UINT defaultActionMessage();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch (not supported: clients use the IAccessible members)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;
    // IEnumVARIANT over the children's ids
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    virtual ~WindowAccessible();
    // The control of a child id, or nothing (CHILDID_SELF and unknown ids); ok is false when
    // the id names nothing at all.
    Control* control(const VARIANT& child, bool& ok) const;
    std::vector<Control*> children() const;
    WindowBase* window() const { return live_.window(); }

    WindowLiveness live_;
    LONG references_ = 1;  // the window's own
    size_t cursor_ = 0;    // enumeration position
};

// Whether the control appears in the accessibility tree: everything visible except plain
// layout boxes with nothing to say.
bool isAccessibleElement(const Control& control);

// Whether a control may be selected or pressed on a client's request now: it is visible and
// enabled, and so is its window.
bool isActionable(const Control& control);

}  // namespace tk
