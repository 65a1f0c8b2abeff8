#include "toolkit/accessible.h"

#include <algorithm>
#include <utility>

#include "toolkit/accessible_name.h"
#include "toolkit/control.h"
#include "toolkit/window_base.h"

namespace tk {

namespace {

// The interface id from the header's declaration, not the IID_IAccessible symbol: liboleacc.a
// defines that symbol as a code thunk, and the link order that would take libuuid's data
// instead is not kept once the libraries are merged into a program's link line.
const IID kIidAccessible = __uuidof(IAccessible);

HRESULT putText(const std::wstring& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void putId(VARIANT* out, long id) {
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = id;
}

std::wstring windowTitle(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring title(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd, title.data(), length + 1);
    title.resize(static_cast<size_t>(length));
    return title;
}

}  // namespace

bool isAccessibleElement(const Control& control) {
    if (!control.isVisible()) return false;
    return !(control.accessible().role == ROLE_SYSTEM_GROUPING && accessibleName(control).empty());
}

bool isActionable(const Control& control) {
    const PaintManager* manager = control.manager();
    return control.isVisible() && control.isEnabled() && manager &&
           IsWindowEnabled(manager->hwnd());
}

UINT WindowAccessible::defaultActionMessage() {
    static const UINT message = RegisterWindowMessageW(L"tk.accessible.defaultAction");
    return message;
}

WindowAccessible::WindowAccessible(WindowLiveness window) : live_(std::move(window)) {}
WindowAccessible::~WindowAccessible() = default;

LRESULT WindowAccessible::answer(WPARAM wParam) {
    return LresultFromObject(kIidAccessible, wParam, static_cast<IAccessible*>(this));
}

void WindowAccessible::disconnect() {
    CoDisconnectObject(static_cast<IAccessible*>(this), 0);
    Release();
}

std::vector<Control*> WindowAccessible::children() const {
    std::vector<Control*> out;
    if (!window()) return out;
    for (Control* c : window()->manager().accessibleControls())
        if (isAccessibleElement(*c)) out.push_back(c);
    return out;
}

Control* WindowAccessible::control(const VARIANT& child, bool& ok) const {
    ok = false;
    if (!window() || child.vt != VT_I4) return nullptr;
    if (child.lVal == CHILDID_SELF) return ok = true, nullptr;
    Control* c = window()->manager().controlById(child.lVal);
    ok = c != nullptr;
    return c;
}

HRESULT WindowAccessible::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidAccessible)
        *object = static_cast<IAccessible*>(this);
    else if (riid == IID_IEnumVARIANT)
        *object = static_cast<IEnumVARIANT*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG WindowAccessible::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG WindowAccessible::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT WindowAccessible::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}
HRESULT WindowAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT WindowAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT WindowAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                 UINT*) {
    return E_NOTIMPL;
}

HRESULT WindowAccessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_INVALIDARG;
    *parent = nullptr;
    if (!window()) return CO_E_OBJNOTCONNECTED;
    return AccessibleObjectFromWindow(window()->hwnd(), static_cast<DWORD>(OBJID_WINDOW),
                                      IID_IDispatch, reinterpret_cast<void**>(parent));
}

HRESULT WindowAccessible::get_accChildCount(long* count) {
    if (!count) return E_INVALIDARG;
    if (!window()) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(children().size());
    return S_OK;
}

HRESULT WindowAccessible::get_accChild(VARIANT child, IDispatch** object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    bool ok = false;
    control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    return ok ? S_FALSE : E_INVALIDARG;  // children are simple elements
}

HRESULT WindowAccessible::get_accName(VARIANT child, BSTR* name) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    return putText(c ? accessibleName(*c) : windowTitle(window()->hwnd()), name);
}

HRESULT WindowAccessible::get_accValue(VARIANT child, BSTR* value) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    return putText(c ? c->accessible().value : std::wstring(), value);
}

HRESULT WindowAccessible::get_accDescription(VARIANT child, BSTR* text) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    // The tooltip describes a control whose name comes from its text.
    std::wstring description;
    if (c && accessibleName(*c) != c->tooltip()) description = c->tooltip();
    return putText(description, text);
}

HRESULT WindowAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) return E_INVALIDARG;
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    putId(role, c ? c->accessible().role : ROLE_SYSTEM_CLIENT);
    return S_OK;
}

HRESULT WindowAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) return E_INVALIDARG;
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    long value = 0;
    if (c)
        value = static_cast<long>(c->accessibleState());
    else {
        value = STATE_SYSTEM_FOCUSABLE;
        if (!IsWindowVisible(window()->hwnd())) value |= STATE_SYSTEM_INVISIBLE;
        if (GetFocus() == window()->hwnd()) value |= STATE_SYSTEM_FOCUSED;
    }
    putId(state, value);
    return S_OK;
}

HRESULT WindowAccessible::get_accHelp(VARIANT, BSTR* text) {
    if (text) *text = nullptr;
    return window() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT WindowAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return window() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT WindowAccessible::get_accKeyboardShortcut(VARIANT, BSTR* text) {
    if (text) *text = nullptr;
    return window() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT WindowAccessible::get_accFocus(VARIANT* child) {
    if (!child) return E_INVALIDARG;
    VariantInit(child);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (Control* focus = window()->manager().focus())
        return putId(child, focus->accessibleId()), S_OK;
    if (GetFocus() == window()->hwnd()) return putId(child, CHILDID_SELF), S_OK;
    return S_FALSE;
}

HRESULT WindowAccessible::get_accSelection(VARIANT* children) {
    if (children) VariantInit(children);
    return window() ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT WindowAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    return putText(c ? c->accessible().defaultAction : std::wstring(), action);
}

HRESULT WindowAccessible::accSelect(long flags, VARIANT child) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok || !c) return E_INVALIDARG;
    if (!isActionable(*c)) return S_FALSE;
    if ((flags & SELFLAG_TAKEFOCUS) && c->isFocusable()) {
        window()->manager().setFocus(c);
        return S_OK;
    }
    return S_FALSE;
}

HRESULT WindowAccessible::accLocation(long* left, long* top, long* width, long* height,
                                      VARIANT child) {
    if (!left || !top || !width || !height) return E_INVALIDARG;
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    RECT r{};
    if (c)
        r = RECT{c->rect().left, c->rect().top, c->rect().right, c->rect().bottom};
    else
        GetClientRect(window()->hwnd(), &r);
    MapWindowPoints(window()->hwnd(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT WindowAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (!end) return E_INVALIDARG;
    VariantInit(end);
    bool ok = false;
    Control* from = control(start, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok) return E_INVALIDARG;
    const auto all = children();
    if (all.empty()) return S_FALSE;
    if (!from) {
        if (direction == NAVDIR_FIRSTCHILD) return putId(end, all.front()->accessibleId()), S_OK;
        if (direction == NAVDIR_LASTCHILD) return putId(end, all.back()->accessibleId()), S_OK;
        return S_FALSE;
    }
    auto it = std::find(all.begin(), all.end(), from);
    if (it == all.end()) return S_FALSE;
    if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
        if (++it == all.end()) return S_FALSE;
        return putId(end, (*it)->accessibleId()), S_OK;
    }
    if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
        if (it == all.begin()) return S_FALSE;
        return putId(end, (*--it)->accessibleId()), S_OK;
    }
    return S_FALSE;
}

HRESULT WindowAccessible::accHitTest(long left, long top, VARIANT* child) {
    if (!child) return E_INVALIDARG;
    VariantInit(child);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    POINT p{left, top};
    ScreenToClient(window()->hwnd(), &p);
    RECT client;
    GetClientRect(window()->hwnd(), &client);
    if (!PtInRect(&client, p)) return S_FALSE;
    Control* root = window()->manager().root();
    Control* hit = root ? root->hitTest({p.x, p.y}) : nullptr;
    while (hit && !isAccessibleElement(*hit)) hit = hit->parent();
    putId(child, hit ? hit->accessibleId() : CHILDID_SELF);
    return S_OK;
}

HRESULT WindowAccessible::accDoDefaultAction(VARIANT child) {
    bool ok = false;
    Control* c = control(child, ok);
    if (!window()) return CO_E_OBJNOTCONNECTED;
    if (!ok || !c) return E_INVALIDARG;
    if (!isActionable(*c)) return E_FAIL;
    if (c->accessible().defaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
    PostMessageW(window()->hwnd(), defaultActionMessage(), static_cast<WPARAM>(c->accessibleId()),
                 0);
    return S_OK;
}

HRESULT WindowAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}
HRESULT WindowAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT WindowAccessible::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (!items) return E_INVALIDARG;
    if (!window()) return CO_E_OBJNOTCONNECTED;
    const auto all = children();
    ULONG n = 0;
    for (; n < count && cursor_ < all.size(); ++n, ++cursor_)
        putId(&items[n], all[cursor_]->accessibleId());
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT WindowAccessible::Skip(ULONG count) {
    const size_t total = children().size();
    cursor_ = std::min(total, cursor_ + count);
    return cursor_ < total ? S_OK : S_FALSE;
}

HRESULT WindowAccessible::Reset() {
    cursor_ = 0;
    return S_OK;
}

HRESULT WindowAccessible::Clone(IEnumVARIANT** copy) {
    if (!copy) return E_INVALIDARG;
    *copy = nullptr;
    if (!window()) return CO_E_OBJNOTCONNECTED;
    auto* clone = new WindowAccessible(live_);
    clone->cursor_ = cursor_;
    *copy = static_cast<IEnumVARIANT*>(clone);
    return S_OK;
}

}  // namespace tk
