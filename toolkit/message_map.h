// Message maps: each window class has a static table of (notification type, control name,
// handler) entries and a link to its base class's table. A notification goes to the first entry
// of the most-derived table whose type matches and whose control name matches the sender's (an
// empty name matches any sender); only when that table has none is the base's searched.
// UI thread only; the tables are static and immutable.
#pragma once

#include <string_view>

#include "toolkit/paint_manager.h"

namespace tk {

class WindowBase;
using NotifyHandler = void (*)(WindowBase& window, Notification& notification);

struct MessageMapEntry {
    std::wstring_view type;
    std::wstring_view control;
    NotifyHandler handler;
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* begin;
    const MessageMapEntry* end;
};

template <class T>
struct NotifyMemberClass;
template <class W>
struct NotifyMemberClass<void (W::*)(Notification&)> {
    using type = W;
};

// One entry whose handler is a member function of the window class, e.g.
//   tk::onNotify<&CMainFrame::onInstallClick>(L"click", L"installnowbtn")
template <auto Member>
constexpr MessageMapEntry onNotify(std::wstring_view type, std::wstring_view control) {
    using W = typename NotifyMemberClass<decltype(Member)>::type;
    return {type, control,
            [](WindowBase& window, Notification& n) { (static_cast<W&>(window).*Member)(n); }};
}

// Calls the first matching handler, most-derived table first; false when no entry matched.
bool dispatchNotification(const MessageMap* map, WindowBase& window, Notification& notification);

}  // namespace tk
