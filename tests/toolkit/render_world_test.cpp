// The skin viewer renders the demo layout at the scale the system is set to (LogPixels of this
// world's own Wine prefix, 96, 144 and 192), without being told a DPI, and the pixels show what a
// person would see: the whole window at its scaled size with rounded corners, the nine-grid
// button with its transparent corners and, from 150 % up, its double-size art, flat colours and
// borders where the layout puts them, text inside its box only, and an ellipsis where a label is
// too short. A line of text in each of nine languages renders with no missing glyph. The PNGs
// and reports are kept in <build>/tests/renders.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "tests/toolkit/demo_window.h"
#include "toolkit/geometry.h"

using demo::ReportedControl;
using testing_support::alphaOf;
using testing_support::colourDistance;
using testing_support::colourText;
using testing_support::narrow;
using testing_support::Pixels;
using testing_support::rgbOf;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBorder = 0xE1E5EB;        // window and secondary button border
constexpr std::uint32_t kSurface = 0xF3F5F8;       // secondary button fill
constexpr std::uint32_t kButtonBorder = 0x1A6DA8;  // demo/button.png border
constexpr std::uint32_t kButtonFill1x = 0x268FD6;  // demo/button.png normal cell
constexpr std::uint32_t kButtonFill2x = 0x3399DD;  // demoEnalarge/button.png normal cell

// A pixel counts as ink when it is this far from the white background.
constexpr int kInk = 96;

bool setSystemDpi(DWORD dpi) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD,
                           &dpi, sizeof(dpi)) == ERROR_SUCCESS;
}

struct Render {
    Pixels pixels;
    std::vector<ReportedControl> report;
};

// The viewer on a layout of the test skin, PNG and report kept under the name.
Render render(const std::wstring& name, const std::wstring& layout, const std::wstring& options) {
    const std::wstring png = demo::renderDir() + name + L".png";
    DeleteFileW(png.c_str());
    Render r;
    r.report = demo::viewerReport(layout, options + L" --out \"" + png + L"\"",
                                  demo::renderDir() + name + L".json");
    r.pixels = testing_support::readPng(png);
    return r;
}

ReportedControl control(const Render& r, const wchar_t* name) {
    auto found = demo::reported(r.report, name);
    EXPECT_TRUE(found.has_value()) << "not in the report: " << narrow(name);
    return found.value_or(ReportedControl{});
}

bool isInk(std::uint32_t pixel) {
    return colourDistance(rgbOf(pixel), kWhite) > kInk;
}

// Ink pixels in the rectangle (clipped to the image).
int inkIn(const Pixels& p, RECT r) {
    r.left = std::max(0L, r.left), r.top = std::max(0L, r.top);
    r.right = std::min<long>(p.width, r.right), r.bottom = std::min<long>(p.height, r.bottom);
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) count += isInk(p.at(x, y));
    return count;
}

// Pixels of the rectangle that are not exactly the opaque background.
int notBackgroundIn(const Pixels& p, const RECT& r) {
    int count = 0;
    for (int y = std::max(0L, r.top); y < std::min<long>(p.height, r.bottom); ++y)
        for (int x = std::max(0L, r.left); x < std::min<long>(p.width, r.right); ++x)
            count += p.at(x, y) != (0xFF000000u | kWhite);
    return count;
}

// Columns of ink in the rectangle, as runs [first, last] with the rows their ink spans.
struct InkRun {
    int first = 0, last = 0, top = 0, bottom = 0;
};
std::vector<InkRun> inkRuns(const Pixels& p, const RECT& r) {
    std::vector<InkRun> runs;
    bool inRun = false;
    for (int x = r.left; x < r.right; ++x) {
        int top = -1, bottom = -1;
        for (int y = r.top; y < r.bottom; ++y)
            if (isInk(p.at(x, y))) {
                if (top < 0) top = y;
                bottom = y;
            }
        if (top < 0) {
            inRun = false;
            continue;
        }
        if (!inRun) runs.push_back({x, x, top, bottom});
        InkRun& run = runs.back();
        run.last = x;
        run.top = std::min(run.top, top);
        run.bottom = std::max(run.bottom, bottom);
        inRun = true;
    }
    return runs;
}

RECT grow(const RECT& r, int by) {
    return RECT{r.left - by, r.top - by, r.right + by, r.bottom + by};
}

// Checks of one render of the demo layout at the DPI.
void checkDemo(const Render& r, int dpi) {
    auto s = [dpi](int units) { return tk::scaleLength(units, dpi); };
    const Pixels& p = r.pixels;
    ASSERT_FALSE(p.empty()) << "no PNG";
    ASSERT_EQ(p.width, s(480));
    ASSERT_EQ(p.height, s(320));

    // The window's rounded corner is cut out; its border runs along the edges.
    EXPECT_EQ(alphaOf(p.at(0, 0)), 0);
    EXPECT_EQ(alphaOf(p.at(1, 1)), 0);
    EXPECT_EQ(alphaOf(p.at(p.width - 1, p.height - 1)), 0);
    EXPECT_EQ(alphaOf(p.at(s(3), s(3))), 255);
    EXPECT_EQ(colourDistance(p.at(0, p.height / 2), kBorder), 0)
        << colourText(p.at(0, p.height / 2));
    EXPECT_EQ(alphaOf(p.at(0, p.height / 2)), 255);
    EXPECT_EQ(colourDistance(p.at(p.width / 2, p.height - 1), kBorder), 0);

    // The nine-grid button: the fill of the art drawn (the double-size art from 150 % up), its
    // border on the edge, and the background through its transparent corner.
    const ReportedControl own = control(r, L"own");
    const int middle = (own.rect.top + own.rect.bottom) / 2;
    const std::uint32_t fill = p.at(own.rect.left + s(4), middle);
    EXPECT_EQ(colourDistance(fill, dpi >= 144 ? kButtonFill2x : kButtonFill1x), 0)
        << colourText(fill);
    EXPECT_EQ(colourDistance(p.at(own.rect.right - s(4), middle), rgbOf(fill)), 0);
    EXPECT_LE(colourDistance(p.at(own.rect.left, middle), kButtonBorder), 8)
        << colourText(p.at(own.rect.left, middle));
    EXPECT_LE(colourDistance(p.at(own.rect.right - 1, middle), kButtonBorder), 8);
    EXPECT_EQ(p.at(own.rect.left, own.rect.top), 0xFF000000u | kWhite)
        << colourText(p.at(own.rect.left, own.rect.top));
    EXPECT_EQ(p.at(own.rect.right - 1, own.rect.bottom - 1), 0xFF000000u | kWhite);
    // Its white text is in the middle.
    const RECT ownText{own.rect.left + s(30), own.rect.top + s(6), own.rect.right - s(30),
                       own.rect.bottom - s(6)};
    int white = 0;
    for (int y = ownText.top; y < ownText.bottom; ++y)
        for (int x = ownText.left; x < ownText.right; ++x)
            white += colourDistance(p.at(x, y), kWhite) < 40;
    EXPECT_GT(white, s(10)) << "no text on the button";

    // The secondary button: flat fill, 1 unit of border colour.
    const ReportedControl second = control(r, L"second");
    const int secondMiddle = (second.rect.top + second.rect.bottom) / 2;
    EXPECT_EQ(colourDistance(p.at(second.rect.left + s(4), secondMiddle), kSurface), 0)
        << colourText(p.at(second.rect.left + s(4), secondMiddle));
    EXPECT_EQ(colourDistance(p.at(second.rect.left, secondMiddle), kBorder), 0)
        << colourText(p.at(second.rect.left, secondMiddle));

    // Text inside the label's box, and nothing at all in the band around it.
    const ReportedControl box = control(r, L"boxlabel");
    EXPECT_TRUE(box.fits);
    EXPECT_GT(inkIn(p, box.rect), s(20));
    const RECT band = grow(box.rect, s(6));
    const RECT bands[] = {{band.left, band.top, band.right, box.rect.top},
                          {band.left, box.rect.bottom, band.right, band.bottom},
                          {band.left, box.rect.top, box.rect.left, box.rect.bottom},
                          {box.rect.right, box.rect.top, band.right, box.rect.bottom}};
    for (const RECT& around : bands) EXPECT_EQ(notBackgroundIn(p, around), 0);

    // The label that is too short: the report says so, its ink runs up to near the end of its
    // box and never past it, and ends in three dots on the baseline.
    const ReportedControl longLabel = control(r, L"longlabel");
    EXPECT_FALSE(longLabel.fits);
    EXPECT_GT(longLabel.need.cx, longLabel.box.cx);
    const auto runs = inkRuns(p, longLabel.rect);
    ASSERT_GE(runs.size(), 4u);
    EXPECT_GE(runs.back().last, longLabel.rect.right - s(10));
    EXPECT_LT(runs.back().last, longLabel.rect.right);
    EXPECT_EQ(notBackgroundIn(p, {longLabel.rect.right, longLabel.rect.top,
                                  longLabel.rect.right + s(12), longLabel.rect.bottom}),
              0);
    int textTop = longLabel.rect.bottom, textBottom = longLabel.rect.top;
    for (const auto& run : runs) {
        textTop = std::min(textTop, run.top);
        textBottom = std::max(textBottom, run.bottom);
    }
    for (size_t i = runs.size() - 3; i < runs.size(); ++i) {
        SCOPED_TRACE("dot " + std::to_string(i - (runs.size() - 3)));
        EXPECT_LE(runs[i].bottom - runs[i].top, s(3)) << "ink too tall for a dot";
        EXPECT_LE(runs[i].last - runs[i].first, s(3)) << "ink too wide for a dot";
        EXPECT_GE(runs[i].top, textTop + (textBottom - textTop) / 2) << "not on the baseline";
    }
}

std::wstring dpiName(int dpi) {
    return std::to_wstring(dpi);
}

// The faces named cover every character of the text but blanks: each one has a glyph in one of
// them. The faces are looked up here the way the viewer found them.
std::string uncoveredCharacters(const std::wstring& text, const std::vector<std::wstring>& faces) {
    std::vector<bool> covered(text.size(), false);
    HDC dc = CreateCompatibleDC(nullptr);
    std::string problems;
    for (const auto& face : faces) {
        HFONT font = CreateFontW(-32, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH, face.c_str());
        HGDIOBJ old = SelectObject(dc, font);
        wchar_t chosen[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, chosen);
        if (face != chosen) problems += "face " + narrow(face) + " is " + narrow(chosen) + "; ";
        std::vector<WORD> glyphs(text.size());
        GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS);
        for (size_t i = 0; i < text.size(); ++i) covered[i] = covered[i] || glyphs[i] != 0xFFFF;
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
    for (size_t i = 0; i < text.size(); ++i) {
        if (covered[i] || text[i] == L' ') continue;
        char code[16];
        wsprintfA(code, "U+%04X ", text[i]);
        problems += code;
    }
    return problems;
}

class RenderWorldTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(com.ok()); }
    void TearDown() override { setSystemDpi(96); }
    demo::ComScope com;
};

TEST_F(RenderWorldTest, DemoLayoutAtTheSystemScale) {
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE("LogPixels " + std::to_string(dpi));
        ASSERT_TRUE(setSystemDpi(static_cast<DWORD>(dpi)));
        const Render r = render(L"demo-" + dpiName(dpi), L"demo.xml", L"");
        checkDemo(r, dpi);
    }
}

TEST_F(RenderWorldTest, NineGridCornersAreTransparent) {
    ASSERT_TRUE(setSystemDpi(96));
    // Without the window's background only the controls are drawn: the button's corner pixels
    // are alpha 0, its inside opaque.
    const Render r = render(L"demo-no-background", L"demo.xml",
                            L"--attr root.bkcolor=#00000000 --attr root.bordersize=0");
    ASSERT_FALSE(r.pixels.empty());
    const ReportedControl own = control(r, L"own");
    EXPECT_EQ(alphaOf(r.pixels.at(own.rect.left, own.rect.top)), 0);
    EXPECT_EQ(alphaOf(r.pixels.at(own.rect.right - 1, own.rect.top)), 0);
    EXPECT_EQ(alphaOf(r.pixels.at(own.rect.left, own.rect.bottom - 1)), 0);
    EXPECT_EQ(alphaOf(r.pixels.at(own.rect.right - 1, own.rect.bottom - 1)), 0);
    EXPECT_EQ(alphaOf(r.pixels.at(own.rect.left + 4, own.rect.top + 12)), 255);
    EXPECT_EQ(alphaOf(r.pixels.at(0, r.pixels.height / 2)), 0);
}

TEST_F(RenderWorldTest, EveryScriptRendersWithoutMissingGlyphs) {
    ASSERT_TRUE(setSystemDpi(96));
    const wchar_t* const languages[] = {L"ar_SA", L"fa_IR", L"th_TH", L"ko_KR", L"ja_JP",
                                        L"zh_CN", L"zh_TW", L"ru_RU", L"vi_VN"};
    std::map<std::wstring, std::vector<std::wstring>> facesOf;
    for (const wchar_t* language : languages) {
        SCOPED_TRACE(narrow(language));
        const Render r = render(L"scripts-" + std::wstring(language), L"scripts.xml",
                                L"--lang " + std::wstring(language));
        const ReportedControl sample = control(r, L"sample");
        ASSERT_TRUE(sample.hasText);
        EXPECT_FALSE(sample.text.starts_with(L"@")) << "the text table has no sample";
        EXPECT_NE(sample.text, L"Install Tamrix now") << "the English column was used";
        EXPECT_FALSE(sample.missingGlyph);
        EXPECT_TRUE(sample.fits);
        ASSERT_FALSE(sample.faces.empty());
        EXPECT_EQ(uncoveredCharacters(sample.text, sample.faces), "");
        facesOf[language] = sample.faces;
        ASSERT_FALSE(r.pixels.empty());
        EXPECT_GT(inkIn(r.pixels, sample.rect), 40) << "no text drawn";
    }
    // Han characters take the regional forms of the language: each of the four languages
    // draws with faces of its own.
    const wchar_t* const han[] = {L"ja_JP", L"ko_KR", L"zh_CN", L"zh_TW"};
    for (size_t a = 0; a < std::size(han); ++a)
        for (size_t b = a + 1; b < std::size(han); ++b)
            EXPECT_NE(facesOf[han[a]], facesOf[han[b]]) << narrow(han[a]) << ", " << narrow(han[b]);
}

TEST_F(RenderWorldTest, WindowAtTwiceTheScaleShowsWhatTheViewerRenders) {
    ASSERT_TRUE(setSystemDpi(192));
    const Render r = render(L"demo-192-window", L"demo.xml", L"");
    ASSERT_FALSE(r.pixels.empty());
    demo::DemoPeer window;
    ASSERT_TRUE(window.ready());
    // The window takes the system's scale: twice the layout's size, and every control where the
    // viewer lays it out.
    const RECT frame = window.windowRect();
    EXPECT_EQ(frame.right - frame.left, 960);
    EXPECT_EQ(frame.bottom - frame.top, 640);
    const POINT origin = window.origin();
    const std::pair<const wchar_t*, const wchar_t*> controls[] = {{L"Own", L"own"},
                                                                  {L"Your name", L"nameedit"},
                                                                  {L"Edition", L"combo"},
                                                                  {L"Remember me", L"check"},
                                                                  {L"Licence", L"richedit"}};
    for (const auto& [name, layoutName] : controls) {
        SCOPED_TRACE(narrow(name));
        const auto e = window.element(name);
        const RECT laid = control(r, layoutName).rect;
        const RECT expected{laid.left + origin.x, laid.top + origin.y, laid.right + origin.x,
                            laid.bottom + origin.y};
        EXPECT_TRUE(EqualRect(&expected, &e.location));
    }
    // On screen the window shows the double-size art, like the viewer's image.
    const ReportedControl own = control(r, L"own");
    const POINT fill{origin.x + own.rect.left + 8, origin.y + (own.rect.top + own.rect.bottom) / 2};
    const auto shown = testing_support::captureScreen(RECT{fill.x, fill.y, fill.x + 1, fill.y + 1});
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(colourDistance(shown.at(0, 0), kButtonFill2x), 0) << colourText(shown.at(0, 0));
}

}  // namespace
