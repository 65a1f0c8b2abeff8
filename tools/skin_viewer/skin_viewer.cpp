// skin_viewer: renders a layout of the skin, the way a window of the installer would show it.
//
//   skin_viewer --layout mainframe.xml [--skin-dir DIR | --archive FILE.7z | --exe FILE.exe]
//               [--lang zh_CN] [--dpi 192 (default: the system's)] [--font FACE] [--font-file FILE]
//               [--select NAME=INDEX] [--text NAME=TEXT] [--visible NAME=0|1]
//               [--attr NAME.ATTRIBUTE=VALUE] [--out FILE.png] [--report FILE.json] [--live]
//
// Options apply in the order given. --font sets the default font and ids 0-8 to the face, as
// the main window does at start (one point larger for Thai). --report writes every visible
// control with its rectangle, and for texts whether they fit their box. Without --live no
// window is shown: the layout is laid out and painted off screen at the DPI.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/image_cache.h"
#include "toolkit/markup.h"
#include "toolkit/png_writer.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "toolkit/toolkit_setup.h"
#include "toolkit/window_base.h"
#include "toolkit/window_layout.h"
#include "utility/text.h"

namespace {

struct Options {
    std::wstring layout;
    std::wstring language = L"en_US";
    std::wstring out;
    std::wstring report;
    int dpi = 0;  // 0: the system's
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

void applyFonts(tk::PaintManager& manager, const std::wstring& face, const std::wstring& language) {
    const int base = language == L"th_TH" ? 13 : 12;
    const int sizes[] = {0, 2, 4, 6, 8, 10, 12, 16, 20};
    manager.fonts().setDefaultFont({face, base}, true);
    for (int id = 0; id < 9; ++id) manager.fonts().addFont(id, {face, base + sizes[id]}, true);
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
    std::wstring name, value;
    if (!splitAssignment(arg, name, value)) return false;
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
    else if (option == L"--attr")
        control->setAttribute(attribute, value);
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

void reportControl(tk::Control& c, std::wstring& out, tk::PaintManager& manager) {
    if (!c.isVisible()) return;
    const tk::Rect r = c.rect();
    out += L"{\"name\":" + jsonText(c.name()) + L",\"class\":" +
           jsonText(std::wstring(c.className())) + L",\"rect\":[" + std::to_wstring(r.left) + L"," +
           std::to_wstring(r.top) + L"," + std::to_wstring(r.right) + L"," +
           std::to_wstring(r.bottom) + L"]";
    if (auto* label = dynamic_cast<tk::Label*>(&c); label && !label->text().empty()) {
        const tk::Rect box = r.deflate(tk::scaleInsets(label->textPadding(), manager.dpi()));
        tk::TextFormat format = label->textFormat();
        format.endEllipsis = false;
        const auto m = tk::measureText(label->text(), label->fontSpec(), manager.dpi(), format,
                                       {box.width(), format.multiline ? 0 : box.height()});
        const bool fits = m.size.cx <= box.width() && m.size.cy <= box.height();
        out += L",\"text\":" + jsonText(label->text()) + L",\"fits\":" +
               (fits ? L"true" : L"false") + L",\"need\":[" + std::to_wstring(m.size.cx) + L"," +
               std::to_wstring(m.size.cy) + L"],\"box\":[" + std::to_wstring(box.width()) + L"," +
               std::to_wstring(box.height()) + L"],\"missingGlyph\":" +
               (m.missingGlyph ? L"true" : L"false") + L",\"faces\":[";
        for (size_t i = 0; i < m.facesUsed.size(); ++i)
            out += (i ? L"," : L"") + jsonText(m.facesUsed[i]);
        out += L"]";
    }
    out += L"},\n";
    for (int i = 0; i < c.childCount(); ++i)
        if (tk::Control* child = c.childAt(i)) reportControl(*child, out, manager);
}

bool writeReport(const std::wstring& path, tk::PaintManager& manager) {
    std::wstring out = L"[\n";
    if (manager.root()) reportControl(*manager.root(), out, manager);
    if (out.size() > 2) out.erase(out.size() - 2, 1);  // the last comma
    out += L"]\n";
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

int renderOffScreen(const Options& options) {
    tk::PaintManager manager;
    manager.attachWindow(nullptr, {}, nullptr);
    manager.setDpi(options.dpi > 0 ? options.dpi : tk::windowDpi(nullptr));
    const auto settings = tk::loadWindowLayout(manager, L"", options.layout, nullptr);
    if (!settings || !manager.root()) return fail(L"cannot load layout", options.layout);
    for (const auto& [option, value] : options.edits)
        if (!applyEdit(manager, option, value, options.language))
            fwprintf(stderr, L"skin_viewer: %ls %ls not applied\n", option.c_str(), value.c_str());
    // The DPI the manager lays out at: the given one, or the system's when none was given.
    const int dpi = manager.dpi();
    const int width = tk::scaleLength(settings->size.cx > 0 ? settings->size.cx : 640, dpi);
    const int height = tk::scaleLength(settings->size.cy > 0 ? settings->size.cy : 400, dpi);
    manager.resize({width, height});
    manager.paintAll();
    if (!options.out.empty() && !tk::writePng(options.out, manager.surface()))
        return fail(L"cannot write", options.out);
    if (!options.report.empty() && !writeReport(options.report, manager))
        return fail(L"cannot write", options.report);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
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
        if (option == L"--layout")
            options.layout = value;
        else if (option == L"--lang")
            options.language = value;
        else if (option == L"--dpi")
            options.dpi = _wtoi(value.c_str());
        else if (option == L"--out")
            options.out = value;
        else if (option == L"--report")
            options.report = value;
        else if (option == L"--font-file")
            AddFontResourceExW(value.c_str(), FR_PRIVATE, nullptr);
        else if (option == L"--skin-dir" || option == L"--archive" || option == L"--exe")
            sources.emplace_back(option, value);
        else if (option == L"--font" || option == L"--select" || option == L"--text" ||
                 option == L"--visible" || option == L"--attr")
            options.edits.emplace_back(option, value);
        else
            return fail(L"unknown option", option);
    }
    if (options.layout.empty()) return fail(L"no --layout given");
    tk::setTableLanguage(options.language);
    for (const auto& [kind, value] : sources)
        if (!loadSkinSource(kind, value)) return fail(L"cannot read skin", value);
    tk::textTable().loadForProcess(tk::skinStore().instanceFolder(), tk::skinStore());
    const int result = options.live ? runLive(options) : renderOffScreen(options);
    CoUninitialize();
    return result;
}
