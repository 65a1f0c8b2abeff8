#include "toolkit/text_renderer.h"

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "toolkit/font_fallback.h"
#include "toolkit/font_table.h"
#include "utility/text.h"

namespace tk {
namespace {

using Microsoft::WRL::ComPtr;

constexpr Argb kBlack = 0xFF000000;

// A cleared surface and what the tests read from it: ink is any pixel with alpha.
class Picture {
public:
    Picture(int width, int height) {
        EXPECT_TRUE(surface_.resize(width, height));
        std::fill_n(surface_.pixels(), static_cast<std::size_t>(width) * height, 0u);
    }
    Surface& surface() { return surface_; }
    std::uint32_t pixel(int x, int y) const { return surface_.pixels()[y * surface_.width() + x]; }
    int alpha(int x, int y) const { return static_cast<int>(pixel(x, y) >> 24); }
    bool inked(int x, int y, int threshold = 0) const { return alpha(x, y) > threshold; }
    Rect all() const { return {0, 0, surface_.width(), surface_.height()}; }

    Rect ink(int threshold = 0) const {
        Rect bounds;
        for (int y = 0; y < surface_.height(); ++y) {
            for (int x = 0; x < surface_.width(); ++x) {
                if (inked(x, y, threshold)) bounds = bounds.unite({x, y, x + 1, y + 1});
            }
        }
        return bounds;
    }
    int inkCount(const Rect& area) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) count += inked(x, y) ? 1 : 0;
        }
        return count;
    }
    int inkOutside(const Rect& box) const { return inkCount(all()) - inkCount(box); }
    // Longest run of strongly inked pixels in one row, and that row.
    std::pair<int, int> longestRow() const {
        std::pair<int, int> best{0, -1};
        for (int y = 0; y < surface_.height(); ++y) {
            int run = 0;
            for (int x = 0; x < surface_.width(); ++x) {
                run = inked(x, y, 160) ? run + 1 : 0;
                if (run > best.first) best = {run, y};
            }
        }
        return best;
    }

private:
    Surface surface_;
};

// Of the pixels inked in either picture inside the area, the share inked in both.
double inkAgreement(const Picture& a, const Picture& b, const Rect& area) {
    int either = 0, both = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const bool inA = a.inked(x, y, 64), inB = b.inked(x, y, 64);
            either += inA || inB;
            both += inA && inB;
        }
    }
    return either == 0 ? 0.0 : static_cast<double>(both) / either;
}

// The best agreement of b moved up or down by a few rows: a line that mixes faces takes the
// tallest face's metrics, which moves its baseline.
double inkAgreementShifted(const Picture& a, const Picture& b, const Rect& area) {
    double best = 0.0;
    for (int dy = -8; dy <= 8; ++dy) {
        int either = 0, both = 0;
        for (int y = std::max(area.top, 0); y < area.bottom; ++y) {
            const int from = y + dy;
            if (from < 0 || from >= b.all().height()) continue;
            for (int x = area.left; x < area.right; ++x) {
                const bool inA = a.inked(x, from, 64), inB = b.inked(x, y, 64);
                either += inA || inB;
                both += inA && inB;
            }
        }
        if (either > 0) best = std::max(best, static_cast<double>(both) / either);
    }
    return best;
}

// The pictures stacked on white, as a PNG in the working folder (the build's tests folder).
void savePng(const std::wstring& name, const std::vector<const Picture*>& pictures) {
    int width = 0, height = 0;
    for (const Picture* p : pictures) {
        width = std::max(width, p->all().width());
        height += p->all().height();
    }
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(width) * height, 0xFFFFFFFF);
    int top = 0;
    for (const Picture* p : pictures) {
        for (int y = 0; y < p->all().height(); ++y) {
            for (int x = 0; x < p->all().width(); ++x) {
                const std::uint32_t s = p->pixel(x, y);
                const std::uint32_t keep = 255 - (s >> 24);
                std::uint32_t out = 0xFF000000;
                for (int shift = 0; shift < 24; shift += 8) {
                    out |= std::min<std::uint32_t>(255, ((s >> shift) & 0xFF) + keep) << shift;
                }
                rows[static_cast<std::size_t>(top + y) * width + x] = out;
            }
        }
        top += p->all().height();
    }
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&factory))));
    ASSERT_TRUE(SUCCEEDED(factory->CreateStream(&stream)));
    ASSERT_TRUE(SUCCEEDED(stream->InitializeFromFilename(name.c_str(), GENERIC_WRITE)));
    ASSERT_TRUE(SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)));
    ASSERT_TRUE(SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)));
    ASSERT_TRUE(SUCCEEDED(encoder->CreateNewFrame(&frame, &options)));
    ASSERT_TRUE(SUCCEEDED(frame->Initialize(options.Get())));
    ASSERT_TRUE(SUCCEEDED(frame->SetSize(width, height)));
    ASSERT_TRUE(SUCCEEDED(frame->SetPixelFormat(&format)));
    ASSERT_TRUE(SUCCEEDED(frame->WritePixels(height, width * 4, width * height * 4,
                                             reinterpret_cast<BYTE*>(rows.data()))));
    ASSERT_TRUE(SUCCEEDED(frame->Commit()));
    ASSERT_TRUE(SUCCEEDED(encoder->Commit()));
}

// Straight from GDI, apart from the code under test: the face selected for a name, and which
// characters of a text it has.
struct GdiFace {
    explicit GdiFace(const std::wstring& face) {
        LOGFONTW lf{};
        lf.lfHeight = -24;
        lf.lfCharSet = DEFAULT_CHARSET;
        face.copy(lf.lfFaceName, LF_FACESIZE - 1);
        font = CreateFontIndirectW(&lf);
        previous = SelectObject(dc, font);
    }
    ~GdiFace() {
        SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
    }
    std::wstring selected() const {
        wchar_t name[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, name);
        return name;
    }
    bool has(wchar_t c) const {
        WORD index = 0;
        return GetGlyphIndicesW(dc, &c, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
               index != 0xFFFF;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = nullptr;
    HGDIOBJ previous = nullptr;
};

bool zeroWidth(wchar_t c) {
    return c == 0x200C || c == 0x200D;
}

bool sameFace(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

FontSpec font(const wchar_t* face, int size = 14) {
    return FontSpec{face, size};
}

TextFormat singleLine(unsigned align = kAlignLeft | kAlignVCenter) {
    TextFormat format;
    format.align = align;
    return format;
}

TextFormat multiLine(unsigned align = kAlignLeft | kAlignTop) {
    TextFormat format = singleLine(align);
    format.multiline = true;
    return format;
}

int lineHeight(const FontSpec& f, const wchar_t* sample = L"Hg") {
    return measureText(sample, f, 96, singleLine(), {}).size.cy;
}

// ---------------------------------------------------------------------------------------------
// Fonts by id.

TEST(FontTable, LooksUpOwnThenSharedThenDefault) {
    FontTable window, other;
    const FontSpec own{L"Roboto", 20}, shared{L"Noto Sans", 16, true}, fallback{L"DejaVu Sans", 13};
    window.addFont(9101, own, false);
    window.addFont(9102, shared, true);
    window.setDefaultFont(fallback, false);
    EXPECT_EQ(window.font(9101), own);
    EXPECT_EQ(window.font(9102), shared);
    EXPECT_EQ(window.font(9103), fallback);
    EXPECT_EQ(other.font(9102), shared);  // shared fonts reach every window
    EXPECT_NE(other.font(9101), own);     // a window's own font stays its own
    EXPECT_NE(other.font(9103), fallback);
}

TEST(FontTable, SharedReplacementWinsOverTheWindowsOwn) {
    FontTable window, other;
    window.addFont(9201, {L"Roboto", 12}, false);
    other.addFont(9201, {L"Roboto", 30}, false);
    window.addFont(9201, {L"Noto Sans", 18}, true);
    EXPECT_EQ(window.font(9201), (FontSpec{L"Noto Sans", 18}));
    EXPECT_EQ(other.font(9201), (FontSpec{L"Roboto", 30}));  // its own font still comes first
    window.addFont(9201, {L"Noto Sans", 22}, true);
    EXPECT_EQ(window.font(9201).size, 22);
}

TEST(FontTable, SharedDefaultReachesWindowsWithoutTheirOwn) {
    FontTable window, other, third;
    third.setDefaultFont({L"Roboto", 11}, false);
    window.setDefaultFont({L"Noto Sans", 17, false, true}, true);
    EXPECT_EQ(other.font(9301), (FontSpec{L"Noto Sans", 17, false, true}));
    EXPECT_EQ(other.defaultFont(), window.defaultFont());
    EXPECT_EQ(third.font(9301), (FontSpec{L"Roboto", 11}));
}

TEST(FontTable, HandlesAreCachedPerSpecAndDpi) {
    FontTable window;
    window.addFont(9401, {L"Roboto", 12}, false);
    window.addFont(9402, {L"roboto", 12}, false);
    HFONT at96 = window.handle(9401, 96);
    ASSERT_NE(at96, nullptr);
    EXPECT_EQ(window.handle(9401, 96), at96);
    EXPECT_EQ(window.handle(9402, 96), at96);  // faces match without regard to case
    HFONT at144 = window.handle(9401, 144);
    EXPECT_NE(at144, at96);
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(at144, sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_EQ(lf.lfHeight, -18);
    EXPECT_EQ(std::wstring(lf.lfFaceName), L"Roboto");
    window.addFont(9401, {L"Roboto", 12, true}, false);
    EXPECT_NE(window.handle(9401, 96), at96);
}

struct LogFontCase {
    FontSpec spec;
    int dpi;
    LONG height;
    LONG weight;
};

class LogFontFor : public testing::TestWithParam<LogFontCase> {};

TEST_P(LogFontFor, ScalesTheEmHeight) {
    const LOGFONTW lf = logFontFor(GetParam().spec, GetParam().dpi);
    EXPECT_EQ(lf.lfHeight, GetParam().height);
    EXPECT_EQ(lf.lfWeight, GetParam().weight);
    EXPECT_EQ(lf.lfItalic != 0, GetParam().spec.italic);
    EXPECT_EQ(lf.lfUnderline != 0, GetParam().spec.underline);
    EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_EQ(std::wstring(lf.lfFaceName), GetParam().spec.face.substr(0, LF_FACESIZE - 1));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LogFontFor,
    testing::Values(LogFontCase{{L"Roboto", 12}, 96, -12, FW_NORMAL},
                    LogFontCase{{L"Roboto", 12}, 144, -18, FW_NORMAL},
                    LogFontCase{{L"Roboto", 13, true}, 120, -16, FW_BOLD},
                    LogFontCase{{L"Roboto", 1, false, true, true}, 144, -2, FW_NORMAL},
                    LogFontCase{{L"Roboto", 16}, 192, -32, FW_NORMAL},
                    LogFontCase{{std::wstring(40, L'x'), 12}, 96, -12, FW_NORMAL}));

// ---------------------------------------------------------------------------------------------
// Face fallback.

TEST(FontFallback, SeesThroughFacesThatAreNotInstalled) {
    EXPECT_TRUE(faceInstalled(L"Noto Sans"));
    EXPECT_TRUE(faceInstalled(L"noto sans"));
    EXPECT_FALSE(faceInstalled(L"Tamrix No Such Face"));
    EXPECT_EQ(resolvedFace(L"Tamrix No Such Face"), GdiFace(L"Tamrix No Such Face").selected());
    EXPECT_NE(resolvedFace(L"Tamrix No Such Face"), L"Tamrix No Such Face");
    const std::vector<FaceRun> runs = splitByFace(L"abc", L"Tamrix No Such Face");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].face, resolvedFace(L"Tamrix No Such Face"));
}

TEST(FontFallback, KeepsTheRequestedFaceWhereItHasTheGlyphs) {
    EXPECT_EQ(splitByFace(L"Hello, world", L"Roboto"),
              (std::vector<FaceRun>{{0, 12, L"Roboto", false}}));
    // A CJK face asked for keeps Han text even when the language prefers another form.
    EXPECT_EQ(splitByFace(L"中文字体", L"Noto Sans CJK JP", HanForm::Simplified),
              (std::vector<FaceRun>{{0, 4, L"Noto Sans CJK JP", false}}));
    EXPECT_TRUE(splitByFace(L"", L"Roboto").empty());
}

TEST(FontFallback, SwitchesFaceOnlyWhereNeeded) {
    const std::vector<FaceRun> runs = splitByFace(L"Hello 中文 world", L"Roboto");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], (FaceRun{0, 6, L"Roboto", false}));
    EXPECT_EQ(runs[1].start, 6);
    EXPECT_EQ(runs[1].length, 3);  // the space after the Han text stays in its run
    EXPECT_TRUE(GdiFace(runs[1].face).has(L'中'));
    EXPECT_EQ(runs[2], (FaceRun{9, 5, L"Roboto", false}));
    // Spaces and punctuation between Han characters do not split the run.
    EXPECT_EQ(splitByFace(L"中文 中文。", L"Roboto").size(), 1u);
}

TEST(FontFallback, HanFaceFollowsTheLanguage) {
    const std::wstring simplified = splitByFace(L"骨", L"Roboto", HanForm::Simplified)[0].face;
    const std::wstring traditional = splitByFace(L"骨", L"Roboto", HanForm::Traditional)[0].face;
    const std::wstring japanese = splitByFace(L"骨", L"Roboto", HanForm::Japanese)[0].face;
    EXPECT_NE(simplified, traditional);
    EXPECT_NE(simplified, japanese);
    EXPECT_NE(traditional, japanese);
    // Kana in the text make its Han characters Japanese when no language is given.
    EXPECT_EQ(splitByFace(L"骨です", L"Roboto")[0].face, japanese);
}

struct LocaleCase {
    std::wstring locale;
    HanForm form;
};

class HanFormForLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(HanFormForLocale, ReadsTheRegion) {
    EXPECT_EQ(hanFormForLocale(GetParam().locale), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(Locales, HanFormForLocale,
                         testing::Values(LocaleCase{L"zh_CN", HanForm::Simplified},
                                         LocaleCase{L"zh-SG", HanForm::Simplified},
                                         LocaleCase{L"zh", HanForm::Simplified},
                                         LocaleCase{L"zh_TW", HanForm::Traditional},
                                         LocaleCase{L"zh-HK", HanForm::Traditional},
                                         LocaleCase{L"zh_Hant", HanForm::Traditional},
                                         LocaleCase{L"ja_JP", HanForm::Japanese},
                                         LocaleCase{L"ko_KR", HanForm::Korean},
                                         LocaleCase{L"en_US", HanForm::Unspecified},
                                         LocaleCase{L"", HanForm::Unspecified}));

bool anyInstalledFaceHas(wchar_t c) {
    struct Search {
        wchar_t c;
        bool found = false;
    } search{c};
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    HDC dc = CreateCompatibleDC(nullptr);
    EnumFontFamiliesExW(
        dc, &all,
        [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
            auto* s = reinterpret_cast<Search*>(data);
            s->found = GdiFace(lf->lfFaceName).has(s->c);
            return s->found ? 0 : 1;
        },
        reinterpret_cast<LPARAM>(&search), 0);
    DeleteDC(dc);
    return search.found;
}

TEST(FontFallback, MarksCharactersNoFaceHas) {
    // Unassigned, so no face can have it.
    ASSERT_FALSE(anyInstalledFaceHas(L'\u0378'));
    const std::vector<FaceRun> runs = splitByFace(L"ab\u0378cd", L"Roboto");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1], (FaceRun{2, 1, L"Roboto", true}));
    EXPECT_FALSE(runs[0].missing);
    EXPECT_FALSE(runs[2].missing);
    EXPECT_TRUE(measureText(L"ab\u0378cd", font(L"Roboto"), 96, singleLine(), {}).missingGlyph);
    EXPECT_FALSE(measureText(L"abcd", font(L"Roboto"), 96, singleLine(), {}).missingGlyph);
}

// ---------------------------------------------------------------------------------------------
// Languages.

struct Sample {
    const char* name;
    std::wstring text;
    const wchar_t* face;  // the face the language's windows ask for
    const wchar_t* language;
    bool faceLacksScript;  // the asked face cannot draw the script: a fallback must
};

std::vector<Sample> samples() {
    return {
        {"Arabic", L"مرحبا بكم في برنامج التثبيت", L"Roboto", L"ar_IL", true},
        {"Persian", L"آیا می‌خواهید برنامه را نصب کنید؟", L"Roboto",
         L"fa_IR", true},
        {"Thai", L"ยินดีต้อนรับสู่โปรแกรมติดตั้ง กรุณารอสักครู่", L"Arial", L"th_TH", true},
        {"Korean", L"설치 프로그램에 오신 것을 환영합니다", L"Noto Sans", L"ko_KR", true},
        {"Japanese", L"インストールを開始します。しばらくお待ちください", L"Noto Sans", L"ja_JP",
         true},
        {"SimplifiedChinese", L"欢迎使用安装程序，请稍候。", L"Roboto", L"zh_CN", true},
        {"TraditionalChinese", L"歡迎使用安裝程式，請稍候。", L"Noto Sans", L"zh_TW", true},
        {"Russian", L"Добро пожаловать в программу установки", L"Roboto", L"ru_RU", false},
        {"Vietnamese", L"Chào mừng bạn đến với trình cài đặt", L"Roboto", L"vi_VN", false},
    };
}

class Languages : public testing::TestWithParam<Sample> {};

TEST_P(Languages, EveryCharacterHasAFaceThatReallyHasIt) {
    const Sample& s = GetParam();
    TextFormat format = singleLine();
    format.language = s.language;
    const TextMetrics metrics = measureText(s.text, font(s.face), 96, format, {});
    EXPECT_FALSE(metrics.missingGlyph);
    EXPECT_TRUE(metrics.fits);
    ASSERT_FALSE(metrics.facesUsed.empty());
    for (const std::wstring& face : metrics.facesUsed) {
        EXPECT_TRUE(sameFace(GdiFace(face).selected(), face)) << utility::wideToUtf8(face);
    }
    const GdiFace asked(s.face);
    bool askedLacksSome = false;
    for (wchar_t c : s.text) {
        if (zeroWidth(c)) continue;
        askedLacksSome |= !asked.has(c);
        const bool drawn = std::any_of(metrics.facesUsed.begin(), metrics.facesUsed.end(),
                                       [&](const std::wstring& f) { return GdiFace(f).has(c); });
        EXPECT_TRUE(drawn) << "U+" << std::hex << static_cast<int>(c);
    }
    EXPECT_EQ(askedLacksSome, s.faceLacksScript);
}

TEST_P(Languages, DrawsInsideItsBox) {
    const Sample& s = GetParam();
    TextFormat format = singleLine(kAlignCenter | kAlignVCenter);
    format.language = s.language;
    Picture picture(560, 60);
    Canvas canvas(picture.surface());
    const Rect box{10, 8, 550, 52};
    const TextMetrics metrics = drawText(canvas, s.text, font(s.face, 18), 96, format, box, kBlack);
    EXPECT_TRUE(metrics.fits);
    EXPECT_GT(picture.inkCount(box), metrics.size.cx * 2);
    EXPECT_EQ(picture.inkOutside(box), 0);
}

INSTANTIATE_TEST_SUITE_P(Sentences, Languages, testing::ValuesIn(samples()),
                         [](const testing::TestParamInfo<Sample>& info) {
                             return std::string(info.param.name);
                         });

TEST(Languages, SamplesToPng) {
    std::vector<std::unique_ptr<Picture>> pictures;
    for (const Sample& s : samples()) {
        TextFormat format = singleLine(kAlignLeft | kAlignVCenter);
        format.language = s.language;
        auto& picture = pictures.emplace_back(std::make_unique<Picture>(860, 56));
        Canvas canvas(picture->surface());
        drawText(canvas, s.text, font(s.face, 28), 96, format, {8, 0, 852, 56}, kBlack);
        EXPECT_GT(picture->inkCount(picture->all()), 200) << s.name;
    }
    std::vector<const Picture*> stack;
    for (const auto& p : pictures) stack.push_back(p.get());
    savePng(L"text_samples.png", stack);
}

// Draws text right- or left-aligned in a wide box.
std::unique_ptr<Picture> drawAligned(const std::wstring& text, unsigned align) {
    auto picture = std::make_unique<Picture>(600, 50);
    Canvas canvas(picture->surface());
    drawText(canvas, text, font(L"Roboto", 20), 96, singleLine(align | kAlignVCenter),
             {10, 0, 590, 50}, kBlack);
    return picture;
}

TEST(Languages, ArabicReadsFromTheRight) {
    const auto sentence = drawAligned(L"مرحبا بكم في برنامج التثبيت", kAlignRight);
    const auto firstWord = drawAligned(L"مرحبا", kAlignRight);
    const Rect word = firstWord->ink();
    ASSERT_FALSE(word.empty());
    EXPECT_GE(inkAgreement(*sentence, *firstWord, word), 0.9);
    // The first word sits at the right end of the sentence: the sentence has ink beyond it.
    EXPECT_LT(sentence->ink().left, word.left - 50);
}

TEST(Languages, RussianReadsFromTheLeft) {
    const auto sentence = drawAligned(L"Добро пожаловать", kAlignLeft);
    const auto firstWord = drawAligned(L"Добро", kAlignLeft);
    EXPECT_GE(inkAgreement(*sentence, *firstWord, firstWord->ink()), 0.9);
}

TEST(Languages, ParagraphDirectionComesFromTheFirstStrongCharacter) {
    // Right to left, the Latin word that ends the sentence stands at its left end.
    const auto mixed = drawAligned(L"مرحبا Tamrix", kAlignLeft);
    const auto latin = drawAligned(L"Tamrix", kAlignLeft);
    EXPECT_GE(inkAgreementShifted(*mixed, *latin, latin->ink()), 0.9);
    const auto arabic = drawAligned(L"مرحبا", kAlignRight);
    const auto mixedRight = drawAligned(L"مرحبا Tamrix", kAlignRight);
    EXPECT_GE(inkAgreementShifted(*mixedRight, *arabic, arabic->ink()), 0.9);
    // Left to right, the Arabic word that ends the sentence stands at its right end.
    const auto leftToRight = drawAligned(L"Tamrix مرحبا", kAlignRight);
    EXPECT_GE(inkAgreementShifted(*leftToRight, *arabic, arabic->ink()), 0.9);
}

TEST(Languages, RightToLeftFormatTurnsALatinParagraph) {
    auto draw = [](const wchar_t* text, bool rightToLeft) {
        auto picture = std::make_unique<Picture>(300, 40);
        Canvas canvas(picture->surface());
        TextFormat format = singleLine();
        format.rightToLeft = rightToLeft;
        drawText(canvas, text, font(L"Roboto", 20), 96, format, {10, 0, 290, 40}, kBlack);
        return picture;
    };
    // The full stop of a right-to-left paragraph ends it on the left.
    const auto turned = draw(L"Tamrix.", true);
    const auto expected = draw(L".Tamrix", false);
    const auto unturned = draw(L"Tamrix.", false);
    EXPECT_GE(inkAgreement(*turned, *expected, expected->ink()), 0.95);
    EXPECT_LT(inkAgreement(*turned, *unturned, unturned->ink()), 0.8);
}

TEST(Languages, HanGlyphsTakeTheFormOfTheLanguage) {
    auto drawIn = [](const wchar_t* language) {
        auto picture = std::make_unique<Picture>(200, 60);
        Canvas canvas(picture->surface());
        TextFormat format = singleLine();
        format.language = language;
        drawText(canvas, L"骨直", font(L"Roboto", 40), 96, format, {0, 0, 200, 60}, kBlack);
        return picture;
    };
    const auto simplified = drawIn(L"zh_CN");
    const auto traditional = drawIn(L"zh_TW");
    const Rect area = simplified->ink().unite(traditional->ink());
    EXPECT_LT(inkAgreement(*simplified, *traditional, area), 0.95);
    EXPECT_GT(inkAgreement(*simplified, *drawIn(L"zh_CN"), area), 0.999);
}

// ---------------------------------------------------------------------------------------------
// Placement in the box.

struct AlignCase {
    unsigned align;
    const char* name;
};

class Alignment : public testing::TestWithParam<AlignCase> {};

TEST_P(Alignment, PutsTheInkWhereAsked) {
    const unsigned align = GetParam().align;
    Picture picture(320, 120);
    Canvas canvas(picture.surface());
    const Rect box{40, 20, 280, 100};
    const TextMetrics metrics =
        drawText(canvas, L"Hello, world", font(L"Roboto"), 96, singleLine(align), box, kBlack);
    EXPECT_TRUE(metrics.fits);
    const Rect ink = picture.ink();
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(picture.inkOutside(box), 0);
    EXPECT_LE(std::abs(ink.width() - metrics.size.cx), 3);
    if (align & kAlignRight) {
        EXPECT_LE(box.right - ink.right, 3);
    } else if (align & kAlignCenter) {
        EXPECT_LE(std::abs((ink.left + ink.right) - (box.left + box.right)), 4);
    } else {
        EXPECT_LE(ink.left - box.left, 3);
    }
    if (align & kAlignBottom) {
        EXPECT_LE(box.bottom - ink.bottom, 6);
    } else if (align & kAlignVCenter) {
        EXPECT_LE(std::abs((ink.top + ink.bottom) - (box.top + box.bottom)), 6);
    } else {
        EXPECT_LE(ink.top - box.top, 6);
    }
}

INSTANTIATE_TEST_SUITE_P(Corners, Alignment,
                         testing::Values(AlignCase{kAlignLeft | kAlignTop, "LeftTop"},
                                         AlignCase{kAlignCenter | kAlignTop, "CenterTop"},
                                         AlignCase{kAlignRight | kAlignTop, "RightTop"},
                                         AlignCase{kAlignLeft | kAlignVCenter, "LeftMiddle"},
                                         AlignCase{kAlignCenter | kAlignVCenter, "CenterMiddle"},
                                         AlignCase{kAlignRight | kAlignVCenter, "RightMiddle"},
                                         AlignCase{kAlignLeft | kAlignBottom, "LeftBottom"},
                                         AlignCase{kAlignCenter | kAlignBottom, "CenterBottom"},
                                         AlignCase{kAlignRight | kAlignBottom, "RightBottom"}),
                         [](const testing::TestParamInfo<AlignCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(TextPlacement, StaysInsideTheCanvasClip) {
    Picture picture(300, 60);
    Canvas canvas(picture.surface());
    canvas.pushClip({0, 0, 100, 60});
    const TextMetrics metrics = drawText(canvas, L"Clipped by the canvas", font(L"Roboto", 16), 96,
                                         singleLine(), {10, 0, 290, 60}, kBlack);
    EXPECT_TRUE(metrics.fits);  // it fits its box; only the canvas cuts it
    EXPECT_GT(picture.inkCount({0, 0, 100, 60}), 50);
    EXPECT_EQ(picture.inkOutside({0, 0, 100, 60}), 0);
}

TEST(TextPlacement, EmptyTextNeedsNothingAndDrawsNothing) {
    Picture picture(100, 40);
    Canvas canvas(picture.surface());
    const TextMetrics metrics =
        drawText(canvas, L"", font(L"Roboto"), 96, multiLine(), {0, 0, 100, 40}, kBlack);
    EXPECT_EQ(metrics.size, (Size{0, 0}));
    EXPECT_TRUE(metrics.fits);
    EXPECT_TRUE(metrics.facesUsed.empty());
    EXPECT_EQ(picture.inkCount(picture.all()), 0);
}

TEST(TextPlacement, ScalesWithTheDpi) {
    const TextMetrics at96 = measureText(L"Install now", font(L"Roboto"), 96, singleLine(), {});
    const TextMetrics at192 = measureText(L"Install now", font(L"Roboto"), 192, singleLine(), {});
    EXPECT_LE(std::abs(at192.size.cx - 2 * at96.size.cx), 4);
    EXPECT_LE(std::abs(at192.size.cy - 2 * at96.size.cy), 2);
    EXPECT_GT(at96.size.cx, 40);
}

// ---------------------------------------------------------------------------------------------
// Too long for one line.

const std::wstring kLong = L"This sentence is far too long for the little box it has";

TEST(Ellipsis, EndsTheLineWithinTheBox) {
    Picture picture(300, 40);
    Canvas canvas(picture.surface());
    TextFormat format = singleLine(kAlignRight | kAlignVCenter);
    format.endEllipsis = true;
    const Rect box{20, 0, 160, 40};
    const TextMetrics metrics = drawText(canvas, kLong, font(L"Roboto"), 96, format, box, kBlack);
    EXPECT_FALSE(metrics.fits);
    EXPECT_GT(metrics.size.cx, box.width());  // what the whole text would need
    EXPECT_EQ(picture.inkOutside(box), 0);
    EXPECT_GE(picture.ink().left, box.left);
    EXPECT_LE(picture.ink().left - box.left, 14);  // cut where the box is full, not earlier
    // The line ends in the ellipsis character, drawn as it would be alone.
    Picture dots(300, 40);
    Canvas dotsCanvas(dots.surface());
    drawText(dotsCanvas, L"\u2026", font(L"Roboto"), 96, format, box, kBlack);
    EXPECT_GE(inkAgreement(picture, dots, dots.ink()), 0.9);
}

TEST(Ellipsis, OnlyWhenTheTextDoesNotFit) {
    TextFormat format = singleLine();
    format.endEllipsis = true;
    Picture with(300, 40), without(300, 40);
    Canvas a(with.surface()), b(without.surface());
    const Rect box{0, 0, 300, 40};
    EXPECT_TRUE(drawText(a, L"Short", font(L"Roboto"), 96, format, box, kBlack).fits);
    drawText(b, L"Short", font(L"Roboto"), 96, singleLine(), box, kBlack);
    EXPECT_EQ(inkAgreement(with, without, with.all()), 1.0);
}

TEST(Ellipsis, ClippedWithoutItStillInsideTheBox) {
    Picture picture(300, 40);
    Canvas canvas(picture.surface());
    const Rect box{20, 0, 160, 40};
    const TextMetrics metrics =
        drawText(canvas, kLong, font(L"Roboto"), 96, singleLine(), box, kBlack);
    EXPECT_FALSE(metrics.fits);
    EXPECT_EQ(picture.inkOutside(box), 0);
    EXPECT_GE(picture.ink().right, box.right - 5);  // the text runs on to the edge
}

struct TinyCase {
    std::wstring text;
    int width;
};

class EllipsisInTinyBoxes : public testing::TestWithParam<TinyCase> {};

TEST_P(EllipsisInTinyBoxes, NeverDrawsOutside) {
    Picture picture(120, 30);
    Canvas canvas(picture.surface());
    TextFormat format = singleLine();
    format.endEllipsis = true;
    const Rect box{10, 5, 10 + GetParam().width, 25};
    const TextMetrics metrics =
        drawText(canvas, GetParam().text, font(L"Roboto"), 96, format, box, kBlack);
    EXPECT_FALSE(metrics.fits);
    EXPECT_EQ(picture.inkOutside(box), 0);
}

INSTANTIATE_TEST_SUITE_P(Boxes, EllipsisInTinyBoxes,
                         testing::Values(TinyCase{kLong, 1}, TinyCase{kLong, 6},
                                         TinyCase{kLong, 20}, TinyCase{L"Wide", 8},
                                         TinyCase{L"مرحبا بكم في برنامج التثبيت", 60},
                                         TinyCase{L"ยินดีต้อนรับสู่โปรแกรมติดตั้ง", 50},
                                         TinyCase{L"a     b", 9}));

// ---------------------------------------------------------------------------------------------
// Several lines.

TEST(MultiLine, WrapsAtSpacesIntoTallerText) {
    const FontSpec f = font(L"Roboto");
    const int two = measureText(L"aaa aaa", f, 96, singleLine(), {}).size.cx;
    const TextMetrics wrapped = measureText(L"aaa aaa aaa aaa", f, 96, multiLine(), {two + 1, 0});
    EXPECT_TRUE(wrapped.fits);
    EXPECT_EQ(wrapped.size.cy, 2 * lineHeight(f));
    EXPECT_LE(wrapped.size.cx, two + 1);
    const TextMetrics single = measureText(L"aaa aaa aaa aaa", f, 96, singleLine(), {two + 1, 0});
    EXPECT_EQ(single.size.cy, lineHeight(f));
    EXPECT_FALSE(single.fits);
}

TEST(MultiLine, DrawsEveryLineInsideTheBox) {
    Picture picture(200, 200);
    Canvas canvas(picture.surface());
    const Rect box{20, 10, 140, 190};
    const TextMetrics metrics = drawText(canvas, L"The quick brown fox jumps over the lazy dog",
                                         font(L"Roboto"), 96, multiLine(), box, kBlack);
    EXPECT_TRUE(metrics.fits);
    EXPECT_GE(metrics.size.cy, 3 * lineHeight(font(L"Roboto")));
    EXPECT_EQ(picture.inkOutside(box), 0);
    EXPECT_GT(picture.ink().height(), 2 * lineHeight(font(L"Roboto")));
}

TEST(MultiLine, TooTallForTheBoxIsClipped) {
    Picture picture(200, 100);
    Canvas canvas(picture.surface());
    const Rect box{20, 10, 140, 40};
    const TextMetrics metrics = drawText(canvas, kLong, font(L"Roboto"), 96,
                                         multiLine(kAlignLeft | kAlignVCenter), box, kBlack);
    EXPECT_FALSE(metrics.fits);
    EXPECT_GT(metrics.size.cy, box.height());
    EXPECT_EQ(picture.inkOutside(box), 0);
    EXPECT_LE(picture.ink().top - box.top, 6);  // an overflowing text starts at the top
}

struct BreakCase {
    const char* name;
    std::wstring text;
    bool markup;
    int lines;
};

class ExplicitBreaks : public testing::TestWithParam<BreakCase> {};

TEST_P(ExplicitBreaks, StartNewLines) {
    const FontSpec f = font(L"Roboto");
    TextFormat format = multiLine();
    format.markup = GetParam().markup;
    const TextMetrics metrics = measureText(GetParam().text, f, 96, format, {400, 0});
    EXPECT_EQ(metrics.size.cy, GetParam().lines * lineHeight(f));
    format.multiline = false;
    EXPECT_EQ(measureText(GetParam().text, f, 96, format, {400, 0}).size.cy, lineHeight(f));
}

INSTANTIATE_TEST_SUITE_P(Forms, ExplicitBreaks,
                         testing::Values(BreakCase{"NewLines", L"a\nb\nc", false, 3},
                                         BreakCase{"CrLf", L"a\r\nb", false, 2},
                                         BreakCase{"EmptyLine", L"a\n\nb", false, 3},
                                         BreakCase{"BrTag", L"a<br>b", true, 2},
                                         BreakCase{"BrTagNotMarkup", L"a<br>b", false, 1},
                                         BreakCase{"TrailingBreak", L"a\n", false, 2}),
                         [](const testing::TestParamInfo<BreakCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(MultiLine, HanBreaksBetweenCharacters) {
    const FontSpec f = font(L"Roboto");
    const int four = measureText(L"欢迎使用", f, 96, singleLine(), {}).size.cx;
    const TextMetrics metrics =
        measureText(L"欢迎使用安装程序请稍候", f, 96, multiLine(), {four + 1, 0});
    EXPECT_EQ(metrics.size.cy, 3 * lineHeight(f, L"欢"));
    EXPECT_LE(metrics.size.cx, four + 1);
}

TEST(MultiLine, ThaiWithoutSpacesStillWraps) {
    const FontSpec f = font(L"Arial");
    const std::wstring thai = L"ยินดีต้อนรับสู่โปรแกรมติดตั้ง";
    const int whole = measureText(thai, f, 96, singleLine(), {}).size.cx;
    const TextMetrics metrics = measureText(thai, f, 96, multiLine(), {whole / 2, 0});
    EXPECT_GE(metrics.size.cy, 2 * lineHeight(f, L"ยิ"));
    EXPECT_LE(metrics.size.cx, whole / 2);
    EXPECT_FALSE(metrics.missingGlyph);
}

TEST(MultiLine, WordLongerThanTheLineBreaksInside) {
    const TextMetrics metrics = measureText(L"Supercalifragilisticexpialidocious", font(L"Roboto"),
                                            96, multiLine(), {60, 0});
    EXPECT_GE(metrics.size.cy, 3 * lineHeight(font(L"Roboto")));
    EXPECT_LE(metrics.size.cx, 60);
}

// ---------------------------------------------------------------------------------------------
// Markup.

std::unique_ptr<Picture> drawMarkup(const std::wstring& text, Argb colour = kBlack,
                                    bool underlineFont = false) {
    auto picture = std::make_unique<Picture>(300, 50);
    Canvas canvas(picture->surface());
    TextFormat format = singleLine();
    format.markup = true;
    FontSpec f = font(L"Roboto", 20);
    f.underline = underlineFont;
    drawText(canvas, text, f, 96, format, {10, 0, 290, 50}, colour);
    return picture;
}

// Mean unpremultiplied colour of the strongly inked pixels in the area.
std::array<int, 3> inkColour(const Picture& p, const Rect& area) {
    long long sums[3] = {}, count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const std::uint32_t px = p.pixel(x, y);
            const int a = static_cast<int>(px >> 24);
            if (a < 200) continue;
            for (int c = 0; c < 3; ++c) sums[c] += ((px >> (16 - 8 * c)) & 0xFF) * 255 / a;
            ++count;
        }
    }
    if (count == 0) return {-1, -1, -1};
    return {static_cast<int>(sums[0] / count), static_cast<int>(sums[1] / count),
            static_cast<int>(sums[2] / count)};
}

TEST(Markup, ColouredRunsDrawInTheirColour) {
    const auto picture = drawMarkup(L"<c #ff0000>RRRR</c> plain <c #0000ff>BBBB</c>");
    const Picture& p = *picture;
    const Rect ink = p.ink();
    const int third = ink.width() / 3;
    const auto left = inkColour(p, {ink.left, 0, ink.left + third, 50});
    const auto middle = inkColour(p, {ink.left + third + 4, 0, ink.right - third - 4, 50});
    const auto right = inkColour(p, {ink.right - third, 0, ink.right, 50});
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[2], 60);
    EXPECT_LT(middle[0], 60);
    EXPECT_LT(middle[2], 60);
    EXPECT_GT(right[2], 200);
    EXPECT_LT(right[0], 60);
}

TEST(Markup, UnderlineDrawsALineUnderTheRun) {
    const auto bare = drawMarkup(L"underlined");
    const auto underlined = drawMarkup(L"<u>underlined</u>");
    const int width = underlined->ink().width();
    const auto [run, row] = underlined->longestRow();
    EXPECT_GE(run, width * 9 / 10);
    EXPECT_LT(bare->longestRow().first, width / 2);
    EXPECT_GE(row, bare->ink().bottom - 1);  // under the letters, not through them
    EXPECT_GE(drawMarkup(L"underlined", kBlack, true)->longestRow().first, width * 9 / 10);
}

TEST(Markup, UnderlineTakesItsOwnColour) {
    const auto picture = drawMarkup(L"<u #00ff00>green line</u>");
    const Picture& p = *picture;
    const auto [run, row] = p.longestRow();
    ASSERT_GT(run, 40);
    const auto line = inkColour(p, {0, row, 300, row + 1});
    EXPECT_GT(line[1], 200);
    EXPECT_LT(line[0], 60);
    const auto letters = inkColour(p, {0, 0, 300, row - 2});
    EXPECT_LT(letters[1], 60);  // the letters keep the text colour
}

TEST(Markup, TagsAreNotDrawnButMalformedOnesAre) {
    TextFormat format = singleLine();
    format.markup = true;
    const FontSpec f = font(L"Roboto");
    EXPECT_EQ(measureText(L"<u>abc</u>", f, 96, format, {}).size.cx,
              measureText(L"abc", f, 96, singleLine(), {}).size.cx);
    EXPECT_EQ(measureText(L"<b>abc</b>", f, 96, format, {}).size.cx,
              measureText(L"<b>abc</b>", f, 96, singleLine(), {}).size.cx);
}

TEST(TextLayouts, ToPng) {
    Picture aligned(320, 120), wrapped(320, 120), marked(320, 50), rtl(320, 50), thai(320, 150);
    {
        Canvas canvas(aligned.surface());
        for (unsigned align :
             {kAlignLeft | kAlignTop, kAlignCenter | kAlignVCenter, kAlignRight | kAlignBottom}) {
            drawText(canvas, L"Aligned text", font(L"Roboto"), 96, singleLine(align),
                     {10, 10, 310, 110}, kBlack);
        }
    }
    {
        Canvas canvas(wrapped.surface());
        TextFormat format = multiLine(kAlignCenter | kAlignVCenter);
        format.markup = true;
        drawText(canvas,
                 L"I accept the <u #666666>licence agreement</u> and the <c #268fd6>privacy "
                 L"policy</c> of Tamrix.<br>Second paragraph.",
                 font(L"Roboto"), 96, format, {10, 10, 200, 110}, 0xFF17171A);
        TextFormat ellipsis = singleLine();
        ellipsis.endEllipsis = true;
        drawText(canvas, kLong, font(L"Roboto"), 96, ellipsis, {210, 10, 310, 40}, kBlack);
    }
    {
        Canvas canvas(marked.surface());
        TextFormat format = singleLine();
        format.markup = true;
        drawText(canvas, L"Downloading 12M / 80M (<c #268fd6>15%</c>)", font(L"Noto Sans"), 96,
                 format, {10, 0, 310, 50}, 0xFF17171A);
    }
    {
        Canvas canvas(rtl.surface());
        TextFormat format = singleLine();
        format.endEllipsis = true;
        drawText(canvas, L"مرحبا بكم في برنامج التثبيت الخاص بنا", font(L"Roboto", 16), 96, format,
                 {10, 0, 200, 50}, kBlack);
    }
    {
        Canvas canvas(thai.surface());
        drawText(canvas, L"ยินดีต้อนรับสู่โปรแกรมติดตั้งของเรา กรุณารอสักครู่ขณะที่เรากำลังเตรียมไฟล์",
                 font(L"Arial", 16), 96, multiLine(), {10, 5, 170, 145}, kBlack);
        drawText(canvas, L"欢迎使用安装程序，请稍候。我们正在准备文件。", font(L"Roboto", 16), 96,
                 multiLine(), {180, 5, 310, 145}, kBlack);
    }
    savePng(L"text_layouts.png", {&aligned, &wrapped, &marked, &rtl, &thai});
}

}  // namespace
}  // namespace tk
