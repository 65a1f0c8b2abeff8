// What is wrong with a layout, said where it is: the file and line of the element, the element,
// the attribute and its value as written, and what is wrong with it. Parsing a layout and
// building its controls collect these instead of logging as they go; the window logs each once,
// the skin viewer prints them, the skin checks expect none. Pure values; logging is for the UI
// thread.
#pragma once

#include <string>
#include <vector>

namespace tk {

struct Diagnostic {
    std::wstring file;  // the layout file (an included one for its own elements)
    int line = 0;       // 1-based; 0 when the file has no line to point at
    std::wstring element;
    std::wstring attribute;
    std::wstring value;
    std::wstring message;
    friend bool operator==(const Diagnostic&, const Diagnostic&) = default;
};

using Diagnostics = std::vector<Diagnostic>;

// "file(line): element attribute="value": message", leaving out the parts that are empty.
std::wstring describe(const Diagnostic& diagnostic);

// Logs every diagnostic under the tag, each the first time the process meets it.
void logDiagnostics(const char* tag, const Diagnostics& diagnostics);

}  // namespace tk
