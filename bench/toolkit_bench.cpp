// The toolkit on the demo layout of the test skin, its largest: building the tree and painting it
// the first time off screen, one full repaint at 100 % and at 200 %, and the time from creating
// a window on the layout to the end of its first WM_PAINT (painted and presented on screen).
#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "toolkit/toolkit_setup.h"
#include "toolkit/window_base.h"
#include "toolkit/window_layout.h"

namespace {

constexpr wchar_t kLayout[] = L"demo.xml";

double now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1e3 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Figures {
    double median = 0, p90 = 0, best = 0;
};

Figures measure(int runs, const std::function<double()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(run());
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 9 / 10], times.front()};
}

void print(const char* what, int runs, const Figures& f) {
    std::printf("  %-44s median %8.3f ms  p90 %8.3f ms  best %8.3f ms  (%d runs)\n", what, f.median,
                f.p90, f.best, runs);
}

// Builds the layout into a manager at the DPI, lays it out and paints it all once.
double buildAndPaint(int dpi) {
    const double start = now();
    tk::PaintManager manager;
    manager.attachWindow(nullptr, {}, nullptr);
    manager.setDpi(dpi);
    const auto settings = tk::loadWindowLayout(manager, L"", kLayout, nullptr);
    if (!settings) return -1;
    manager.resize(
        {tk::scaleLength(settings->size.cx, dpi), tk::scaleLength(settings->size.cy, dpi)});
    manager.paintAll();
    return now() - start;
}

// The time of one full repaint of a laid-out tree.
Figures repaint(int dpi, int runs) {
    tk::PaintManager manager;
    manager.attachWindow(nullptr, {}, nullptr);
    manager.setDpi(dpi);
    const auto settings = tk::loadWindowLayout(manager, L"", kLayout, nullptr);
    if (!settings) return {};
    manager.resize(
        {tk::scaleLength(settings->size.cx, dpi), tk::scaleLength(settings->size.cy, dpi)});
    manager.paintAll();
    return measure(runs, [&] {
        const double start = now();
        manager.paintAll();
        return now() - start;
    });
}

// A window on the layout that notes when its first WM_PAINT has been handled.
class BenchWindow : public tk::WindowBase {
public:
    double firstPaintDone = 0;

protected:
    std::wstring windowClassName() const override { return L"tk.Bench"; }
    std::wstring skinFile() const override { return kLayout; }
    LRESULT handleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                bool& handled) override {
        if (message == WM_PAINT && firstPaintDone == 0 && !inPaint_) {
            inPaint_ = true;
            const LRESULT r = handleMessage(message, wParam, lParam);
            inPaint_ = false;
            firstPaintDone = now();
            handled = true;
            return r;
        }
        return tk::WindowBase::handleCustomMessage(message, wParam, lParam, handled);
    }

private:
    bool inPaint_ = false;
};

double windowToFirstPaint() {
    BenchWindow window;
    const double start = now();
    if (!window.create(nullptr)) return -1;
    window.centerWindow();
    window.showWindow(true, false);
    MSG msg;
    while (window.firstPaintDone == 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const double took = window.firstPaintDone - start;
    DestroyWindow(window.hwnd());
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return took;
}

}  // namespace

int wmain() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const std::wstring skin = testing_support::dataDir() + L"toolkit-skin";
    tk::setInstance(nullptr);
    tk::setTableLanguage(L"en_US");
    tk::skinStore().setInstanceFolder(skin);
    tk::skinStore().setResourcePath(skin);
    tk::registerSkinArchive();
    if (!tk::skinStore().exists(kLayout)) {
        std::fprintf(stderr, "toolkit_bench: no %ls in %ls (build toolkit_test_skin)\n", kLayout,
                     skin.c_str());
        return 2;
    }

    std::printf("toolkit on %ls (480 x 320 units, %d-DPI system)\n", kLayout,
                tk::windowDpi(nullptr));
    // The first run also decodes the images and creates the fonts; it is shown on its own.
    const double cold = buildAndPaint(96);
    std::printf("  %-44s %8.3f ms\n", "first build + first paint, cold caches", cold);
    print("build + first paint at 100 %", 30, measure(30, [] { return buildAndPaint(96); }));
    print("build + first paint at 200 %", 30, measure(30, [] { return buildAndPaint(192); }));
    print("full repaint at 100 % (480 x 320 px)", 100, repaint(96, 100));
    print("full repaint at 200 % (960 x 640 px)", 100, repaint(192, 100));
    print("window creation to first WM_PAINT presented", 20, measure(20, windowToFirstPaint));
    CoUninitialize();
    return 0;
}
