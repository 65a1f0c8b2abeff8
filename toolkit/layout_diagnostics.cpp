#include "toolkit/layout_diagnostics.h"

#include <set>

#include "utility/log.h"

namespace tk {

std::wstring describe(const Diagnostic& d) {
    std::wstring text = d.file;
    if (d.line > 0) text += L"(" + std::to_wstring(d.line) + L")";
    text += L":";
    if (!d.element.empty()) text += L" " + d.element;
    if (!d.attribute.empty()) text += L" " + d.attribute + L"=\"" + d.value + L"\"";
    if (!d.element.empty() || !d.attribute.empty()) text += L":";
    return text + L" " + d.message;
}

void logDiagnostics(const char* tag, const Diagnostics& diagnostics) {
    static std::set<std::wstring> logged;
    for (const Diagnostic& d : diagnostics) {
        const std::wstring text = describe(d);
        if (logged.insert(text).second) writeLog(tag, __LINE__, L"layout: %s", text.c_str());
    }
}

}  // namespace tk
