// skin_viewer: renders a layout of the skin, the way a window of the installer would show it.
//
//   skin_viewer --layout mainframe.xml [--skin-dir DIR | --archive FILE.7z | --exe FILE.exe]
//               [--lang zh_CN] [--dpi 192 (default: the system's)] [--direction ltr|rtl]
//               [--font FACE] [--font-file FILE]
//               [--select NAME=INDEX] [--text NAME=TEXT] [--visible NAME=0|1]
//               [--enabled NAME=0|1] [--attr NAME.ATTRIBUTE=VALUE]
//               [--box-font FACE] [--box-icon IMAGE] [--box-text TEXT]
//               [--button primary=TEXT | --button secondary=TEXT]
//               [--out FILE.png] [--report FILE.json] [--live]
//   skin_viewer [sources] [--font-file FILE] --batch FILE
//
// A window reads in the direction of its language; --direction lays it out left to right or
// right to left whatever the language. Options apply in the order given. --font sets the default
// font and ids 0-8 to the face, as the main window does at start (one point larger for Thai). The
// --box options do what a message box does to its layout: --box-font its fonts (default and ids
// 0-3, sizes 12 to 18), --box-icon its icon (an empty name hides the icon and widens the text),
// --box-text its text, --button inserts one of its buttons into "bottombar". --font and
// --box-font set their fonts before the layout is built, as the windows that opened before this
// one have, so that its font ids are judged against them. --report writes every visible control
// with its rectangle and depth in the tree, what a screen reader calls it and whether a person
// can reach it, and for texts whether they fit their box; and what is wrong with the layout
// (file, line, element, attribute, value and message of each diagnostic), also when the layout
// cannot be built. The diagnostics go to stderr too. Without --live no window is shown: the
// layout is laid out and painted off screen at the DPI, in the window's size (larger where the
// layout lets the window fit a content that needs more).
//
// --batch renders many layouts in one process: the file (UTF-8) holds one render per line,
// its options and values separated by TABs (so a value may hold spaces; a value may be empty;
// a backslash is written "\\" and a line break "\n"); empty lines and lines starting with "#"
// are skipped. The sources and font files of the
// command line serve every line. Each render starts afresh: no shared fonts, the text table of
// its language. A line that fails is reported on stderr with its number, and the viewer then
// exits with 1 after the last line.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "toolkit/accessible_name.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/font_table.h"
#include "toolkit/image_cache.h"
#include "toolkit/markup.h"
#include "toolkit/png_writer.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "toolkit/toolkit_setup.h"
#include "toolkit/window_base.h"
#include "toolkit/window_layout.h"
#include "ui/message_box.h"
#include "utility/text.h"

namespace {

struct Options {
    std::wstring layout;
    std::wstring language = L"en_US";
    std::wstring out;
    std::wstring report;
    std::wstring batch;
    int dpi = 0;             // 0: the system's
    std::wstring direction;  // empty: the language's
    bool live = false;
    std::vector<std::pair<std::wstring, std::wstring>> edits;  // option name, value, in order
};

int fail(const wchar_t* message, const std::wstring& detail = {}) {
    fwprintf(stderr, L"skin_viewer: %ls %ls\n", message, detail.c_str());
    return 2;
}

std::optional<std::vector<unsigned char>> readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool loadSkinSource(const std::wstring& kind, const std::wstring& value) {
    tk::SkinStore& store = tk::skinStore();
    if (kind == L"--skin-dir") {
        // The folder plays both the skin folder and the executable's folder (its text table).
        store.setInstanceFolder(value);
        store.setResourcePath(value);
        return true;
    }
    if (kind == L"--archive") {
        const auto bytes = readFile(value);
        return bytes && store.registerArchiveBytes(bytes->data(), bytes->size());
    }
    if (kind == L"--exe") {
        HMODULE module = LoadLibraryExW(value.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        return module && store.registerArchive(module);
    }
    return false;
}

// A font file registered for this process, as the installer registers its language's font.
// Each file once: the registrations last until the process ends.
void registerFontFile(const std::wstring& path) {
    static std::set<std::wstring> registered;
    if (registered.insert(path).second) AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
}

void applyFonts(tk::PaintManager& manager, const std::wstring& face, const std::wstring& language) {
    const int base = language == L"th_TH" ? 13 : 12;
    const int sizes[] = {0, 2, 4, 6, 8, 10, 12, 16, 20};
    manager.fonts().setDefaultFont({face, base}, true);
    for (int id = 0; id < 9; ++id) manager.fonts().addFont(id, {face, base + sizes[id]}, true);
}

// The fonts a message box sets when it opens: the default and ids 0-3, sizes 12 to 18.
void applyBoxFonts(tk::PaintManager& manager, const std::wstring& face) {
    manager.fonts().setDefaultFont({face, 12}, true);
    for (int id = 0; id < 4; ++id) manager.fonts().addFont(id, {face, 12 + 2 * id}, true);
}

// What a message box does with its icon: a name becomes the icon's background; an empty one
// hides the icon and gives the text its room.
bool applyBoxIcon(tk::PaintManager& manager, const std::wstring& image) {
    tk::Control* icon = manager.findControl(L"msgiconimage");
    if (!image.empty()) return icon && (icon->setBackgroundImage(image), true);
    if (icon) icon->setVisible(false);
    tk::Control* label = manager.findControl(L"descriptlabel");
    return label && label->setAttribute(L"width", L"340");
}

// What a message box does with its text.
bool applyBoxText(tk::PaintManager& manager, const std::wstring& text) {
    auto* label = dynamic_cast<tk::Label*>(manager.findControl(L"descriptlabel"));
    if (!label) return false;
    label->setAttribute(L"align", L"center");
    label->setAttribute(L"valign", L"vcenter");
    label->setAttribute(L"multiline", L"true");
    label->setShowHtml(true);
    label->setText(text);
    return true;
}

// A message box's button, inserted into the button row before its last child.
bool addBoxButton(tk::PaintManager& manager, const std::wstring& style, const std::wstring& text) {
    auto* bar = dynamic_cast<tk::Container*>(manager.findControl(L"bottombar"));
    if (!bar || (style != L"primary" && style != L"secondary")) return false;
    const msg::MessageBoxButton button{text, {}, style == L"primary"};
    bar->insertAt(std::max(0, bar->childCount() - 1), std::make_unique<msg::CSelectionUI>(button));
    return true;
}

// NAME=VALUE split at the first "=".
bool splitAssignment(const std::wstring& text, std::wstring& name, std::wstring& value) {
    const size_t eq = text.find(L'=');
    if (eq == std::wstring::npos) return false;
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

bool applyEdit(tk::PaintManager& manager, const std::wstring& option, const std::wstring& arg,
               const std::wstring& language) {
    if (option == L"--font") return applyFonts(manager, arg, language), true;
    if (option == L"--box-font") return applyBoxFonts(manager, arg), true;
    if (option == L"--box-icon") return applyBoxIcon(manager, arg);
    if (option == L"--box-text") return applyBoxText(manager, arg);
    std::wstring name, value;
    if (!splitAssignment(arg, name, value)) return false;
    if (option == L"--button") return addBoxButton(manager, name, value);
    std::wstring attribute;
    if (option == L"--attr") {
        const size_t dot = name.find(L'.');
        if (dot == std::wstring::npos) return false;
        attribute = name.substr(dot + 1);
        name = name.substr(0, dot);
    }
    tk::Control* control = manager.findControl(name);
    if (!control) return false;
    if (option == L"--text")
        control->setText(tk::resolveLayoutText(value));
    else if (option == L"--visible")
        control->setVisible(value != L"0");
    else if (option == L"--enabled")
        control->setEnabled(value != L"0");
    else if (option == L"--attr")
        return control->setAttribute(attribute, value);
    else if (option == L"--select") {
        const int index = _wtoi(value.c_str());
        if (auto* tab = dynamic_cast<tk::TabLayout*>(control)) return tab->selectPage(index);
        if (auto* combo = dynamic_cast<tk::Combo*>(control)) return combo->selectItem(index, false);
        if (auto* option = dynamic_cast<tk::Option*>(control))
            return option->setSelected(index != 0, false), true;
        if (auto* bar = dynamic_cast<tk::Progress*>(control)) return bar->setValue(index), true;
        return false;
    }
    return true;
}

std::wstring jsonText(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\')
            out += L'\\', out += c;
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else if (c == L'\t')
            out += L"\\t";
        else if (c < 0x20) {
            wchar_t buffer[8];
            swprintf(buffer, 8, L"\\u%04x", c);
            out += buffer;
        } else
            out += c;
    }
    return out + L"\"";
}

const wchar_t* jsonBool(bool value) {
    return value ? L"true" : L"false";
}

void reportControl(tk::Control& c, int depth, std::wstring& out, tk::PaintManager& manager) {
    if (!c.isVisible()) return;
    const tk::Rect r = c.rect();
    out += L"{\"name\":" + jsonText(c.name()) + L",\"class\":" +
           jsonText(std::wstring(c.className())) + L",\"depth\":" + std::to_wstring(depth) +
           L",\"rect\":[" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
           std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom) + L"]";
    out += L",\"accessible\":{\"name\":" + jsonText(tk::accessibleName(c)) + L",\"role\":" +
           std::to_wstring(c.accessible().role) + L",\"reachable\":" +
           jsonBool(tk::isReachable(c)) + L"}";
    if (auto* label = dynamic_cast<tk::Label*>(&c); label && !label->text().empty()) {
        const tk::Rect box = r.deflate(tk::scaleInsets(label->textPadding(), manager.dpi()));
        tk::TextFormat format = label->textFormat();
        const bool ellipsis = format.endEllipsis;
        format.endEllipsis = false;
        const auto m = tk::measureText(label->text(), label->fontSpec(), manager.dpi(), format,
                                       {box.width(), format.multiline ? 0 : box.height()});
        // As the toolkit judges it: a single line by its width (the line box of a tall face may
        // be higher than a snug box while its letters are not), lines by their height too.
        const bool fits =
            m.size.cx <= box.width() && (!format.multiline || m.size.cy <= box.height());
        out += L",\"text\":" + jsonText(label->text()) + L",\"multiline\":" +
               jsonBool(format.multiline) + L",\"ellipsis\":" + jsonBool(ellipsis) + L",\"fits\":" +
               jsonBool(fits) + L",\"need\":[" + std::to_wstring(m.size.cx) + L"," +
               std::to_wstring(m.size.cy) + L"],\"box\":[" + std::to_wstring(box.width()) + L"," +
               std::to_wstring(box.height()) + L"],\"missingGlyph\":" + jsonBool(m.missingGlyph) +
               L",\"faces\":[";
        for (size_t i = 0; i < m.facesUsed.size(); ++i)
            out += (i ? L"," : L"") + jsonText(m.facesUsed[i]);
        out += L"]";
    }
    out += L"},\n";
    for (int i = 0; i < c.childCount(); ++i)
        if (tk::Control* child = c.childAt(i)) reportControl(*child, depth + 1, out, manager);
}

std::wstring reportDiagnostics(const tk::Diagnostics& diagnostics) {
    std::wstring out;
    for (const tk::Diagnostic& d : diagnostics)
        out += std::wstring(out.empty() ? L"" : L",\n") + L"{\"file\":" + jsonText(d.file) +
               L",\"line\":" + std::to_wstring(d.line) + L",\"element\":" + jsonText(d.element) +
               L",\"attribute\":" + jsonText(d.attribute) + L",\"value\":" + jsonText(d.value) +
               L",\"message\":" + jsonText(d.message) + L"}";
    return out;
}

bool writeReport(const std::wstring& path, tk::PaintManager& manager,
                 const tk::Diagnostics& diagnostics) {
    std::wstring out = L"{\"controls\":[\n";
    if (manager.root()) reportControl(*manager.root(), 0, out, manager);
    if (out.ends_with(L",\n")) out.erase(out.size() - 2, 1);  // the last comma
    out += L"],\n\"diagnostics\":[\n" + reportDiagnostics(diagnostics) + L"]}\n";
    std::ofstream file(path.c_str(), std::ios::binary);
    const std::string utf8 = utility::wideToUtf8(out);
    file.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    return static_cast<bool>(file);
}

// The live window: the layout shown as a window of its own.
class ViewerWindow : public tk::WindowBase {
public:
    ViewerWindow(std::wstring layout, const Options& options)
        : layout_(std::move(layout)), options_(options) {}

protected:
    std::wstring windowClassName() const override { return L"tk.SkinViewer"; }
    std::wstring skinFile() const override { return layout_; }
    void initWindow() override {
        if (!options_.direction.empty()) manager().setRightToLeft(options_.direction == L"rtl");
        for (const auto& [option, value] : options_.edits)
            applyEdit(manager(), option, value, options_.language);
    }
    void onFinalMessage(HWND) override { PostQuitMessage(0); }

private:
    std::wstring layout_;
    const Options& options_;
};

int runLive(const Options& options) {
    ViewerWindow window(options.layout, options);
    if (!window.create(nullptr, WS_MINIMIZEBOX | WS_SYSMENU))
        return fail(L"no window for", options.layout);
    window.centerWindow();
    window.showWindow();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (tk::WindowBase::preTranslateMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// The text table of the language, loaded afresh when the language changes.
void useLanguage(const std::wstring& language) {
    static std::optional<std::wstring> loaded;
    if (loaded == language) return;
    loaded = language;
    tk::setTableLanguage(language);
    tk::textTable().clear();
    tk::textTable().loadForProcess(tk::skinStore().instanceFolder(), tk::skinStore());
}

// Renders off screen; false (with the reason on stderr) when something was not applied or not
// written.
bool isFontEdit(const std::wstring& option) {
    return option == L"--font" || option == L"--box-font";
}

bool renderOffScreen(const Options& options) {
    useLanguage(options.language);
    tk::FontTable::clearShared();
    tk::PaintManager manager;
    manager.attachWindow(nullptr, {}, nullptr);
    manager.setDpi(options.dpi > 0 ? options.dpi : tk::windowDpi(nullptr));
    if (!options.direction.empty()) manager.setRightToLeft(options.direction == L"rtl");
    for (const auto& [option, value] : options.edits)
        if (isFontEdit(option)) applyEdit(manager, option, value, options.language);
    tk::Diagnostics diagnostics;
    const auto settings = tk::loadWindowLayout(manager, L"", options.layout, nullptr, &diagnostics);
    for (const tk::Diagnostic& d : diagnostics)
        fwprintf(stderr, L"skin_viewer: %ls\n", tk::describe(d).c_str());
    if (!settings || !manager.root()) {
        if (!options.report.empty()) writeReport(options.report, manager, diagnostics);
        return fail(L"cannot load layout", options.layout), false;
    }
    bool ok = true;
    for (const auto& [option, value] : options.edits)
        if (!isFontEdit(option) && !applyEdit(manager, option, value, options.language)) {
            fwprintf(stderr, L"skin_viewer: %ls %ls not applied\n", option.c_str(), value.c_str());
            ok = false;
        }
    // The DPI the manager lays out at: the given one, or the system's when none was given.
    const int dpi = manager.dpi();
    const tk::Size size{tk::scaleLength(settings->size.cx > 0 ? settings->size.cx : 640, dpi),
                        tk::scaleLength(settings->size.cy > 0 ? settings->size.cy : 400, dpi)};
    // A window that fits its content grows here as it does on screen.
    manager.resize(tk::fittedSize(*settings, manager.root(), size));
    manager.paintAll();
    if (!options.out.empty() && !tk::writePng(options.out, manager.surface()))
        return fail(L"cannot write", options.out), false;
    if (!options.report.empty() && !writeReport(options.report, manager, diagnostics))
        return fail(L"cannot write", options.report), false;
    return ok;
}

bool isEdit(const std::wstring& option) {
    return option == L"--font" || option == L"--select" || option == L"--text" ||
           option == L"--visible" || option == L"--enabled" || option == L"--attr" ||
           option == L"--box-font" || option == L"--box-icon" || option == L"--box-text" ||
           option == L"--button";
}

// One option with its value into the options of a render; false for an unknown option.
bool takeOption(Options& options, const std::wstring& option, const std::wstring& value) {
    if (option == L"--layout")
        options.layout = value;
    else if (option == L"--lang")
        options.language = value;
    else if (option == L"--dpi")
        options.dpi = _wtoi(value.c_str());
    else if (option == L"--direction" && (value == L"ltr" || value == L"rtl"))
        options.direction = value;
    else if (option == L"--out")
        options.out = value;
    else if (option == L"--report")
        options.report = value;
    else if (option == L"--font-file")
        registerFontFile(value);
    else if (isEdit(option))
        options.edits.emplace_back(option, value);
    else
        return false;
    return true;
}

// A batch field as written ("\\" a backslash, "\n" a line break) back to its value.
std::wstring unescapeField(const std::wstring& field) {
    std::wstring value;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == L'\\' && i + 1 < field.size() &&
            (field[i + 1] == L'\\' || field[i + 1] == L'n'))
            value += field[++i] == L'n' ? L'\n' : L'\\';
        else
            value += field[i];
    }
    return value;
}

std::vector<std::wstring> splitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(unescapeField(line.substr(start, tab - start)));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

// Every line of the batch file rendered with the command line's options as its base; 0 when
// all went well, 1 when some line failed, 2 when the file cannot be read.
int runBatch(const Options& base) {
    const auto bytes = readFile(base.batch);
    if (!bytes) return fail(L"cannot read", base.batch);
    const std::wstring text = utility::utf8ToWide(std::string(bytes->begin(), bytes->end()));
    int failed = 0, number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line[0] == L'#') continue;
        Options options = base;
        const auto fields = splitTabs(line);
        bool ok = fields.size() % 2 == 0;
        for (size_t i = 0; ok && i + 1 < fields.size(); i += 2)
            ok = takeOption(options, fields[i], fields[i + 1]);
        if (ok && options.layout.empty()) ok = false;
        if (!ok || !renderOffScreen(options)) {
            fwprintf(stderr, L"skin_viewer: line %d failed\n", number);
            ++failed;
        }
    }
    return failed ? 1 : 0;
}

// A crash ends the viewer at once, its address and call stack (module and offset) on stderr,
// instead of waiting for a debugger.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    fwprintf(stderr, L"skin_viewer: exception %08lx\n",
             static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    CONTEXT context = *info->ContextRecord;
    for (int frame = 0; frame < 32 && context.Rip; ++frame) {
        HMODULE module = nullptr;
        GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(context.Rip), &module);
        wchar_t name[MAX_PATH] = L"?";
        if (module) GetModuleFileNameW(module, name, MAX_PATH);
        fwprintf(stderr, L"  at %ls+0x%llx (0x%llx)\n", name,
                 static_cast<unsigned long long>(context.Rip - reinterpret_cast<DWORD64>(module)),
                 static_cast<unsigned long long>(context.Rip));
        DWORD64 base = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (!function) {
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += 8;
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData,
                         &establisher, nullptr);
    }
    fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(reportCrash);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return fail(L"no COM");
    Options options;
    tk::skinStore().setInstance(nullptr);
    tk::imageCache().setLoader([](const std::wstring& name) { return tk::skinStore().load(name); });
    std::vector<std::pair<std::wstring, std::wstring>> sources;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--live") {
            options.live = true;
            continue;
        }
        if (i + 1 >= argc) return fail(L"missing value for", option);
        const std::wstring value = argv[++i];
        if (option == L"--skin-dir" || option == L"--archive" || option == L"--exe")
            sources.emplace_back(option, value);
        else if (option == L"--batch")
            options.batch = value;
        else if (!takeOption(options, option, value))
            return fail(L"unknown option", option);
    }
    if (options.layout.empty() && options.batch.empty()) return fail(L"no --layout given");
    for (const auto& [kind, value] : sources)
        if (!loadSkinSource(kind, value)) return fail(L"cannot read skin", value);
    int result = 0;
    if (!options.batch.empty()) {
        result = runBatch(options);
    } else if (options.live) {
        tk::setTableLanguage(options.language);
        tk::textTable().loadForProcess(tk::skinStore().instanceFolder(), tk::skinStore());
        result = runLive(options);
    } else {
        result = renderOffScreen(options) ? 0 : 2;
    }
    CoUninitialize();
    return result;
}
