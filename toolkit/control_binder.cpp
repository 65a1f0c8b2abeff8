#include "toolkit/control_binder.h"

#include "utility/log.h"

namespace tk {

void ControlBinder::miss(std::wstring_view name, const Control* found, bool required) {
    std::wstring what(name);
    if (found) what += L" (a " + std::wstring(found->className()) + L" of another kind)";
    LOG_AT("tk::WindowBase::create", L"layout %s lacks %s; %s", layout_.c_str(), what.c_str(),
           required ? L"the window cannot work without it" : L"the window works without it");
    if (required) missing_.push_back(std::move(what));
}

}  // namespace tk
