#include "toolkit/text_renderer.h"

#include <windows.h>

#include <malloc.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

#include "toolkit/font_fallback.h"
#include "toolkit/font_table.h"
#include "utility/text.h"

namespace tk {
namespace {

constexpr Argb kBlack = 0xFF000000;

// A cleared surface; ink is any pixel with alpha.
class Picture {
public:
    Picture(int width, int height) {
        EXPECT_TRUE(surface_.resize(width, height));
        std::fill_n(surface_.pixels(), static_cast<std::size_t>(width) * height, 0u);
    }
    Surface& surface() { return surface_; }
    Rect all() const { return {0, 0, surface_.width(), surface_.height()}; }
    std::uint32_t pixel(int x, int y) const { return surface_.pixels()[y * surface_.width() + x]; }
    bool inked(int x, int y, int threshold = 0) const {
        return static_cast<int>(pixel(x, y) >> 24) > threshold;
    }
    Rect ink() const {
        Rect bounds;
        for (int y = 0; y < all().bottom; ++y) {
            for (int x = 0; x < all().right; ++x) {
                if (inked(x, y)) bounds = bounds.unite({x, y, x + 1, y + 1});
            }
        }
        return bounds;
    }
    int inkCount(const Rect& area) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) count += inked(x, y);
        }
        return count;
    }
    int inkOutside(const Rect& box) const { return inkCount(all()) - inkCount(box); }
    // Longest run of strongly inked pixels in one row, and that row.
    std::pair<int, int> longestRow() const {
        std::pair<int, int> best{0, -1};
        for (int y = 0; y < all().bottom; ++y) {
            for (int x = 0, run = 0; x < all().right; ++x) {
                run = inked(x, y, 160) ? run + 1 : 0;
                if (run > best.first) best = {run, y};
            }
        }
        return best;
    }
    // Mean unpremultiplied colour of the strongly inked pixels.
    std::array<int, 3> inkColour(const Rect& area) const {
        long long sums[3] = {}, count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const std::uint32_t p = pixel(x, y);
                if ((p >> 24) < 200) continue;
                for (int c = 0; c < 3; ++c)
                    sums[c] += ((p >> (16 - 8 * c)) & 0xFF) * 255 / (p >> 24);
                ++count;
            }
        }
        if (count == 0) return {-1, -1, -1};
        return {int(sums[0] / count), int(sums[1] / count), int(sums[2] / count)};
    }

private:
    Surface surface_;
};

// Of the pixels inked in either picture inside the area, the share inked in both; b may move up
// or down by up to shift rows (a line mixing faces takes the tallest face's metrics).
double agreement(const Picture& a, const Picture& b, const Rect& area, int shift = 0) {
    double best = 0.0;
    for (int dy = -shift; dy <= shift; ++dy) {
        int either = 0, both = 0;
        for (int y = std::max(area.top, -dy); y < std::min(area.bottom, a.all().bottom - dy); ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const bool inA = a.inked(x, y + dy, 64), inB = b.inked(x, y, 64);
                either += inA || inB;
                both += inA && inB;
            }
        }
        if (either > 0) best = std::max(best, double(both) / either);
    }
    return best;
}

FontSpec font(const wchar_t* face, int size = 14) {
    return FontSpec{face, size};
}

TextFormat format(unsigned align = kAlignLeft | kAlignVCenter, bool multiline = false) {
    TextFormat f;
    f.align = align;
    f.multiline = multiline;
    return f;
}

TextFormat with(TextFormat f, const wchar_t* language, bool markup = false, bool ellipsis = false) {
    f.language = language;
    f.markup = markup;
    f.endEllipsis = ellipsis;
    return f;
}

std::unique_ptr<Picture> draw(const std::wstring& text, const FontSpec& f, const TextFormat& tf,
                              const Rect& box, Size size, TextMetrics* metrics = nullptr,
                              Argb colour = kBlack) {
    auto picture = std::make_unique<Picture>(size.cx, size.cy);
    Canvas canvas(picture->surface());
    const TextMetrics m = drawText(canvas, text, f, 96, tf, box, colour);
    if (metrics) *metrics = m;
    return picture;
}

int lineHeight(const FontSpec& f, const wchar_t* sample = L"Hg") {
    return measureText(sample, f, 96, format(), {}).size.cy;
}

// The pictures stacked on white, as a PNG in the working folder (the build's tests folder).
void savePng(const wchar_t* name, const std::vector<std::unique_ptr<Picture>>& pictures) {
    const int width = pictures[0]->all().width(), height = pictures[0]->all().height();
    std::vector<std::uint32_t> rows;
    for (const auto& p : pictures) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t s = p->pixel(x, y), keep = 255 - (s >> 24);
                std::uint32_t out = 0xFF000000;
                for (int shift = 0; shift < 24; shift += 8) {
                    out |= std::min<std::uint32_t>(255, ((s >> shift) & 0xFF) + keep) << shift;
                }
                rows.push_back(out);
            }
        }
    }
    using Microsoft::WRL::ComPtr;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat32bppBGRA;
    const int total = height * static_cast<int>(pictures.size());
    const bool written =
        SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(name, GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) &&
        SUCCEEDED(frame->Initialize(options.Get())) && SUCCEEDED(frame->SetSize(width, total)) &&
        SUCCEEDED(frame->SetPixelFormat(&pixelFormat)) &&
        SUCCEEDED(frame->WritePixels(total, width * 4, width * total * 4,
                                     reinterpret_cast<BYTE*>(rows.data()))) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    EXPECT_TRUE(written);
}

// Straight from GDI, apart from the code under test: the face selected for a name and which
// characters it has.
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

bool anyInstalledFaceHas(wchar_t c) {
    std::pair<wchar_t, bool> search{c, false};
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    GdiFace probe(L"");
    EnumFontFamiliesExW(
        probe.dc, &all,
        [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
            auto* s = reinterpret_cast<std::pair<wchar_t, bool>*>(data);
            s->second = GdiFace(lf->lfFaceName).has(s->first);
            return !s->second;
        },
        reinterpret_cast<LPARAM>(&search), 0);
    return search.second;
}

// ---------------------------------------------------------------------------------------------

TEST(FontTable, LooksUpOwnThenSharedThenDefault) {
    FontTable window, other;
    const FontSpec own{L"Roboto", 20}, shared{L"Noto Sans", 16, true}, fallback{L"DejaVu Sans", 13};
    window.addFont(9101, own, false);
    window.addFont(9102, shared, true);
    window.setDefaultFont(fallback, false);
    EXPECT_EQ(window.font(9101), own);
    EXPECT_EQ(window.font(9102), shared);
    EXPECT_EQ(window.font(9103), fallback);
    EXPECT_EQ(other.font(9102), shared);
    EXPECT_NE(other.font(9101), own);
    EXPECT_NE(other.font(9103), fallback);
    // Replacing as shared drops the window's own font of that id, not other windows' own.
    other.addFont(9104, {L"Roboto", 30}, false);
    window.addFont(9104, {L"Roboto", 12}, false);
    window.addFont(9104, {L"Noto Sans", 18}, true);
    EXPECT_EQ(window.font(9104), (FontSpec{L"Noto Sans", 18}));
    EXPECT_EQ(other.font(9104), (FontSpec{L"Roboto", 30}));
    // A shared default reaches windows without a default of their own.
    FontTable third;
    third.setDefaultFont({L"Roboto", 11}, false);
    window.setDefaultFont({L"Noto Sans", 17, false, true}, true);
    EXPECT_EQ(other.font(9105), (FontSpec{L"Noto Sans", 17, false, true}));
    EXPECT_EQ(window.font(9105), other.font(9105));
    EXPECT_EQ(third.font(9105), (FontSpec{L"Roboto", 11}));
}

TEST(FontTable, ClearingTheSharedFontsLeavesOwnFontsAndDefaults) {
    FontTable window, other;
    window.addFont(9201, {L"Roboto", 20}, false);
    window.setDefaultFont({L"Roboto", 11}, false);
    other.addFont(9202, {L"Noto Sans", 16}, true);
    other.setDefaultFont({L"Noto Sans", 17}, true);
    ASSERT_EQ(other.font(9202), (FontSpec{L"Noto Sans", 16}));
    FontTable::clearShared();
    EXPECT_EQ(window.font(9201), (FontSpec{L"Roboto", 20}));
    EXPECT_EQ(window.font(9202), (FontSpec{L"Roboto", 11}));
    EXPECT_EQ(other.font(9202), FontTable::builtInDefault());
    EXPECT_EQ(other.defaultFont(), FontTable::builtInDefault());
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
    EXPECT_EQ(lf.lfHeight, -18);  // 12 units at 150 %
    EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_EQ(lf.lfWeight, FW_NORMAL);
    window.addFont(9401, {L"Roboto", 12, true}, false);
    EXPECT_NE(window.handle(9401, 96), at96);
}

// ---------------------------------------------------------------------------------------------

TEST(FontFallback, SeesThroughFacesThatAreNotInstalled) {
    EXPECT_TRUE(faceInstalled(L"noto sans"));
    EXPECT_FALSE(faceInstalled(L"Tamrix No Such Face"));
    EXPECT_EQ(resolvedFace(L"Tamrix No Such Face"), GdiFace(L"Tamrix No Such Face").selected());
    EXPECT_EQ(splitByFace(L"abc", L"Tamrix No Such Face"),
              (std::vector<FaceRun>{{0, 3, resolvedFace(L"Tamrix No Such Face"), false}}));
}

TEST(FontFallback, KeepsTheRequestedFaceAndSwitchesOnlyWhereNeeded) {
    EXPECT_TRUE(splitByFace(L"", L"Roboto").empty());
    EXPECT_EQ(splitByFace(L"Hello, world", L"Roboto"),
              (std::vector<FaceRun>{{0, 12, L"Roboto", false}}));
    // A CJK face asked for keeps Han text even when the language prefers another form.
    EXPECT_EQ(splitByFace(L"中文字体", L"Noto Sans CJK JP", HanForm::Simplified),
              (std::vector<FaceRun>{{0, 4, L"Noto Sans CJK JP", false}}));
    const std::vector<FaceRun> runs = splitByFace(L"Hello 中文 world", L"Roboto");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], (FaceRun{0, 6, L"Roboto", false}));
    EXPECT_EQ(runs[1], (FaceRun{6, 3, runs[1].face, false}));  // the space stays in the Han run
    EXPECT_TRUE(GdiFace(runs[1].face).has(L'中'));
    EXPECT_EQ(runs[2], (FaceRun{9, 5, L"Roboto", false}));
    EXPECT_EQ(splitByFace(L"中文 中文。", L"Roboto").size(), 1u);
    // Marks stay with their base, even decomposed ones.
    EXPECT_EQ(splitByFace(L"กี่ Vie\u0323\u0302t", L"Arial").size(), 2u);
}

TEST(FontFallback, HanFaceFollowsTheLanguage) {
    const auto faceFor = [](const wchar_t* text, HanForm han) {
        return splitByFace(text, L"Roboto", han)[0].face;
    };
    const std::wstring simplified = faceFor(L"骨", HanForm::Simplified);
    const std::wstring traditional = faceFor(L"骨", HanForm::Traditional);
    const std::wstring japanese = faceFor(L"骨", HanForm::Japanese);
    EXPECT_NE(simplified, traditional);
    EXPECT_NE(simplified, japanese);
    EXPECT_NE(traditional, japanese);
    EXPECT_EQ(faceFor(L"骨です", HanForm::Unspecified), japanese);  // kana make it Japanese
    const std::pair<const wchar_t*, HanForm> locales[] = {
        {L"zh_CN", HanForm::Simplified},    {L"zh-SG", HanForm::Simplified},
        {L"zh_TW", HanForm::Traditional},   {L"zh-HK", HanForm::Traditional},
        {L"zh_Hant", HanForm::Traditional}, {L"ja_JP", HanForm::Japanese},
        {L"ko_KR", HanForm::Korean},        {L"en_US", HanForm::Unspecified},
        {L"", HanForm::Unspecified}};
    for (const auto& [locale, form] : locales) {
        EXPECT_EQ(hanFormForLocale(locale), form) << utility::wideToUtf8(locale);
    }
}

TEST(FontFallback, MarksCharactersNoFaceHas) {
    ASSERT_FALSE(anyInstalledFaceHas(L'\u0378'));  // unassigned
    const std::vector<FaceRun> runs = splitByFace(L"ab\u0378cd", L"Roboto");
    EXPECT_EQ(runs,
              (std::vector<FaceRun>{
                  {0, 2, L"Roboto", false}, {2, 1, L"Roboto", true}, {3, 2, L"Roboto", false}}));
    EXPECT_TRUE(measureText(L"ab\u0378cd", font(L"Roboto"), 96, format(), {}).missingGlyph);
    EXPECT_FALSE(measureText(L"abcd", font(L"Roboto"), 96, format(), {}).missingGlyph);
}

// Characters past the Basic Multilingual Plane are one code point in two UTF-16 units: a face
// is judged by its own map of them, and the run holds the pair whole.
TEST(FontFallback, CharactersBeyondTheBasicPlaneFindAFaceThatHasThem) {
    const struct {
        const char* name;
        std::wstring before;
        std::wstring character;
        const wchar_t* language;
        const wchar_t* face;  // a face known to have it
    } cases[] = {
        {"emoji in a game's name", L"Sky Kingdoms ", L"\U0001F600", L"en_US", L"DejaVu Sans"},
        {"a globe", L"World ", L"\U0001F30D", L"en_US", L"Noto Sans Symbols2"},
        {"rare Han in a Japanese name", L"\u91CE\u5BB6 ", L"\U00020BB7", L"ja_JP",
         L"Noto Sans CJK JP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(faceHasGlyphs(c.face, c.character));
        EXPECT_FALSE(faceHasGlyphs(L"Roboto", c.character));
        const std::wstring text = c.before + c.character;
        const std::vector<FaceRun> runs =
            splitByFace(text, L"Roboto", hanFormForLocale(c.language));
        ASSERT_FALSE(runs.empty());
        const FaceRun& last = runs.back();
        EXPECT_EQ(last.start + last.length, int(text.size()));
        EXPECT_LE(last.start, int(c.before.size())) << "the pair is split";
        EXPECT_FALSE(last.missing);
        EXPECT_TRUE(faceHasGlyphs(last.face, c.character)) << utility::wideToUtf8(last.face);

        // Drawn in the requested face, the character comes out as the face that has it draws
        // it, not as the requested face's empty box.
        const TextMetrics m =
            measureText(c.character, font(L"Roboto", 28), 96, with(format(), c.language), {});
        EXPECT_FALSE(m.missingGlyph);
        const Rect box{4, 4, 92, 60};
        const auto fallback =
            draw(c.character, font(L"Roboto", 28), with(format(), c.language), box, {96, 64});
        const auto own =
            draw(c.character, font(c.face, 28), with(format(), c.language), box, {96, 64});
        EXPECT_GT(own->inkCount(box), 40);
        EXPECT_GT(agreement(*fallback, *own, box, 8), 0.9);
    }
}

// ---------------------------------------------------------------------------------------------

struct Sample {
    const char* name;
    std::wstring text;
    const wchar_t* face;  // the face the language's windows ask for
    const wchar_t* language;
    bool faceLacksScript;  // so a fallback face must draw it
};

const Sample kSamples[] = {
    {"Arabic", L"مرحبا بكم في برنامج التثبيت", L"Roboto", L"ar_IL", true},
    {"Persian", L"آیا می‌خواهید برنامه را نصب کنید؟", L"Roboto",
     L"fa_IR", true},
    {"Thai", L"ยินดีต้อนรับสู่โปรแกรมติดตั้ง กรุณารอสักครู่", L"Arial", L"th_TH", true},
    {"Korean", L"설치 프로그램에 오신 것을 환영합니다", L"Noto Sans", L"ko_KR", true},
    {"Japanese", L"インストールを開始します。しばらくお待ちください", L"Noto Sans", L"ja_JP", true},
    {"SimplifiedChinese", L"欢迎使用安装程序，请稍候。", L"Roboto", L"zh_CN", true},
    {"TraditionalChinese", L"歡迎使用安裝程式，請稍候。", L"Noto Sans", L"zh_TW", true},
    {"Russian", L"Добро пожаловать в программу установки", L"Roboto", L"ru_RU", false},
    {"Vietnamese", L"Chào mừng bạn đến với trình cài đặt", L"Roboto", L"vi_VN", false},
};

class Languages : public testing::TestWithParam<Sample> {};

TEST_P(Languages, EveryCharacterHasAFaceThatReallyHasIt) {
    const Sample& s = GetParam();
    const TextMetrics metrics =
        measureText(s.text, font(s.face), 96, with(format(), s.language), {});
    EXPECT_FALSE(metrics.missingGlyph);
    ASSERT_FALSE(metrics.facesUsed.empty());
    for (const std::wstring& face : metrics.facesUsed) {
        EXPECT_EQ(utility::lowerCased(GdiFace(face).selected()), utility::lowerCased(face));
    }
    bool askedLacksSome = false;
    for (wchar_t c : s.text) {
        if (c == 0x200C) continue;  // zero-width non-joiner
        askedLacksSome |= !GdiFace(s.face).has(c);
        EXPECT_TRUE(std::any_of(metrics.facesUsed.begin(), metrics.facesUsed.end(),
                                [&](const std::wstring& f) { return GdiFace(f).has(c); }))
            << "U+" << std::hex << int(c);
    }
    EXPECT_EQ(askedLacksSome, s.faceLacksScript);
}

TEST_P(Languages, DrawsInsideItsBox) {
    const Sample& s = GetParam();
    TextMetrics metrics;
    const Rect box{10, 8, 550, 52};
    const auto p =
        draw(s.text, font(s.face, 18), with(format(kAlignCenter | kAlignVCenter), s.language), box,
             {560, 60}, &metrics);
    EXPECT_TRUE(metrics.fits);
    EXPECT_GT(p->inkCount(box), metrics.size.cx * 2);
    EXPECT_EQ(p->inkOutside(box), 0);
}

INSTANTIATE_TEST_SUITE_P(Sentences, Languages, testing::ValuesIn(kSamples),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Languages, SamplesToPng) {
    std::vector<std::unique_ptr<Picture>> pictures;
    for (const Sample& s : kSamples) {
        pictures.push_back(
            draw(s.text, font(s.face, 28), with(format(), s.language), {8, 0, 852, 56}, {860, 56}));
    }
    savePng(L"text_samples.png", pictures);
}

std::unique_ptr<Picture> drawWide(const std::wstring& text, unsigned align, bool rtl = false) {
    TextFormat f = format(align | kAlignVCenter);
    f.rightToLeft = rtl;
    return draw(text, font(L"Roboto", 20), f, {10, 0, 590, 50}, {600, 50});
}

TEST(Languages, ReadingOrderFollowsTheScript) {
    // Arabic starts on the right: its first word, right-aligned alone, is where it is in the line.
    const auto sentence = drawWide(L"مرحبا بكم في برنامج التثبيت", kAlignRight);
    const auto arabic = drawWide(L"مرحبا", kAlignRight);
    EXPECT_GE(agreement(*sentence, *arabic, arabic->ink()), 0.9);
    EXPECT_LT(sentence->ink().left, arabic->ink().left - 50);
    const auto russian = drawWide(L"Добро", kAlignLeft);
    EXPECT_GE(agreement(*drawWide(L"Добро пожаловать", kAlignLeft), *russian, russian->ink()), 0.9);
    // The paragraph direction comes from the first strong character: right to left, the Latin
    // word that ends the sentence stands at its left end; left to right, the Arabic one at the
    // right end.
    const auto latin = drawWide(L"Tamrix", kAlignLeft);
    EXPECT_GE(agreement(*drawWide(L"مرحبا Tamrix", kAlignLeft), *latin, latin->ink(), 8), 0.9);
    EXPECT_GE(agreement(*drawWide(L"مرحبا Tamrix", kAlignRight), *arabic, arabic->ink(), 8), 0.9);
    EXPECT_GE(agreement(*drawWide(L"Tamrix مرحبا", kAlignRight), *arabic, arabic->ink(), 8), 0.9);
    // Asked for, a Latin paragraph runs right to left too: its full stop ends it on the left.
    const auto turned = drawWide(L"Tamrix.", kAlignLeft, true);
    const auto expected = drawWide(L".Tamrix", kAlignLeft);
    EXPECT_GE(agreement(*turned, *expected, expected->ink()), 0.95);
    EXPECT_LT(agreement(*turned, *drawWide(L"Tamrix.", kAlignLeft), expected->ink()), 0.8);
}

// Right-to-left runs that end in a ligature of several characters (lam-alef), of every length:
// measuring them leaves the C runtime's heap intact.
// A number with its percent or currency sign reads left to right inside a right-to-left
// paragraph: "99%" is drawn as it is in a left-to-right one, whatever stands around it.
TEST(Languages, NumbersKeepTheirSignsInRightToLeftParagraphs) {
    const std::wstring texts[] = {L"99%", L"\u062C\u0627\u0631 30% \u062C\u0627\u0631", L"(45%)",
                                  L"$12", L"\u062C\u0627\u0631 $12 \u062C\u0627\u0631"};
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(utility::wideToUtf8(text));
        const std::wstring number =
            text.substr(text.find_first_of(L"$0123456789"),
                        text.find_last_of(L"%0123456789") + 1 - text.find_first_of(L"$0123456789"));
        TextFormat rtl = format(kAlignLeft | kAlignVCenter);
        rtl.rightToLeft = true;
        const Rect box{4, 0, 396, 40};
        const auto shown = draw(text, font(L"Noto Sans Arabic", 20), rtl, box, {400, 40});
        const auto alone = draw(number, font(L"Noto Sans Arabic", 20), rtl, box, {400, 40});
        const auto ltr = draw(number, font(L"Noto Sans Arabic", 20), format(), box, {400, 40});
        // Alone, the number is the left-to-right drawing; inside the sentence its ink is the
        // same shape somewhere along the line.
        EXPECT_GT(agreement(*alone, *ltr, box), 0.95);
        const Rect ink = ltr->ink();
        int best = 0;
        for (int dx = -box.width(); dx <= box.width(); ++dx) {
            int both = 0;
            for (int y = ink.top; y < ink.bottom; ++y)
                for (int x = ink.left; x < ink.right; ++x)
                    if (x + dx >= 0 && x + dx < 400)
                        both += ltr->inked(x, y, 64) && shown->inked(x + dx, y, 64);
            best = std::max(best, both);
        }
        int own = 0;
        for (int y = ink.top; y < ink.bottom; ++y)
            for (int x = ink.left; x < ink.right; ++x) own += ltr->inked(x, y, 64);
        EXPECT_GT(best, own * 9 / 10);
    }
}

TEST(Languages, ArabicRunsEndingInALigatureKeepTheHeapIntact) {
    for (int letters = 0; letters < 64; ++letters) {
        const std::wstring text = std::wstring(letters, L'\u0628') + L"\u0644\u0627";
        const TextMetrics m = measureText(text, font(L"Noto Sans Arabic", 14), 96, format(), {});
        EXPECT_GT(m.size.cx, 0);
        ASSERT_TRUE(HeapValidate(reinterpret_cast<HANDLE>(_get_heap_handle()), 0, nullptr))
            << letters << " letters before the ligature";
    }
}

TEST(Languages, HanGlyphsTakeTheFormOfTheLanguage) {
    const auto drawIn = [](const wchar_t* language) {
        return draw(L"骨直", font(L"Roboto", 40), with(format(), language), {0, 0, 200, 60},
                    {200, 60});
    };
    const auto simplified = drawIn(L"zh_CN"), traditional = drawIn(L"zh_TW");
    const Rect area = simplified->ink().unite(traditional->ink());
    EXPECT_LT(agreement(*simplified, *traditional, area), 0.95);
    EXPECT_GT(agreement(*simplified, *drawIn(L"zh_CN"), area), 0.999);
}

// ---------------------------------------------------------------------------------------------

class Alignment : public testing::TestWithParam<unsigned> {};

TEST_P(Alignment, PutsTheInkWhereAsked) {
    const unsigned align = GetParam();
    const Rect box{40, 20, 280, 100};
    TextMetrics metrics;
    const auto p = draw(L"Hello, world", font(L"Roboto"), format(align), box, {320, 120}, &metrics);
    EXPECT_TRUE(metrics.fits);
    const Rect ink = p->ink();
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(p->inkOutside(box), 0);
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
                         testing::Values(kAlignLeft | kAlignTop, kAlignCenter | kAlignTop,
                                         kAlignRight | kAlignTop, kAlignLeft | kAlignVCenter,
                                         kAlignCenter | kAlignVCenter, kAlignRight | kAlignVCenter,
                                         kAlignLeft | kAlignBottom, kAlignCenter | kAlignBottom,
                                         kAlignRight | kAlignBottom));

TEST(TextPlacement, ClipEmptyTextAndDpi) {
    Picture clipped(300, 60);
    Canvas canvas(clipped.surface());
    canvas.pushClip({0, 0, 100, 60});
    EXPECT_TRUE(drawText(canvas, L"Clipped by the canvas", font(L"Roboto", 16), 96, format(),
                         {10, 0, 290, 60}, kBlack)
                    .fits);  // it fits its box; only the canvas cuts it
    EXPECT_GT(clipped.inkCount({0, 0, 100, 60}), 50);
    EXPECT_EQ(clipped.inkOutside({0, 0, 100, 60}), 0);

    TextMetrics empty;
    EXPECT_EQ(draw(L"", font(L"Roboto"), format(), {0, 0, 100, 40}, {100, 40}, &empty)->ink(),
              Rect{});
    EXPECT_EQ(empty.size, (Size{0, 0}));
    EXPECT_TRUE(empty.fits && empty.facesUsed.empty());

    const Size at96 = measureText(L"Install now", font(L"Roboto"), 96, format(), {}).size;
    const Size at192 = measureText(L"Install now", font(L"Roboto"), 192, format(), {}).size;
    EXPECT_GT(at96.cx, 40);
    EXPECT_LE(std::abs(at192.cx - 2 * at96.cx), 4);
    EXPECT_LE(std::abs(at192.cy - 2 * at96.cy), 2);
}

// ---------------------------------------------------------------------------------------------

const std::wstring kLong = L"This sentence is far too long for the little box it has";

TEST(Ellipsis, EndsTheLineWithinTheBox) {
    const TextFormat f = with(format(kAlignRight | kAlignVCenter), L"", false, true);
    const Rect box{20, 0, 160, 40};
    TextMetrics metrics;
    const auto p = draw(kLong, font(L"Roboto"), f, box, {300, 40}, &metrics);
    EXPECT_FALSE(metrics.fits);
    EXPECT_GT(metrics.size.cx, box.width());  // what the whole text would need
    EXPECT_EQ(p->inkOutside(box), 0);
    EXPECT_LE(p->ink().left - box.left, 14);  // cut where the box is full, not earlier
    const auto dots = draw(L"\u2026", font(L"Roboto"), f, box, {300, 40});
    EXPECT_GE(agreement(*p, *dots, dots->ink()), 0.9);  // ends in the ellipsis character
    // Without the ellipsis the text runs on to the edge, clipped.
    const auto clipped = draw(kLong, font(L"Roboto"), format(), box, {300, 40}, &metrics);
    EXPECT_FALSE(metrics.fits);
    EXPECT_EQ(clipped->inkOutside(box), 0);
    EXPECT_GE(clipped->ink().right, box.right - 5);
    // A text that fits is left alone.
    const auto shortText = draw(L"Short", font(L"Roboto"), with(format(), L"", false, true),
                                {0, 0, 300, 40}, {300, 40}, &metrics);
    EXPECT_TRUE(metrics.fits);
    const auto plain = draw(L"Short", font(L"Roboto"), format(), {0, 0, 300, 40}, {300, 40});
    EXPECT_EQ(agreement(*shortText, *plain, plain->all()), 1.0);
}

class EllipsisInTinyBoxes : public testing::TestWithParam<std::pair<std::wstring, int>> {};

TEST_P(EllipsisInTinyBoxes, NeverDrawOutside) {
    const Rect box{10, 5, 10 + GetParam().second, 25};
    TextMetrics metrics;
    const auto p = draw(GetParam().first, font(L"Roboto"), with(format(), L"", false, true), box,
                        {120, 30}, &metrics);
    EXPECT_FALSE(metrics.fits);
    EXPECT_EQ(p->inkOutside(box), 0);
}

INSTANTIATE_TEST_SUITE_P(Boxes, EllipsisInTinyBoxes,
                         testing::Values(std::pair{kLong, 1}, std::pair{kLong, 6},
                                         std::pair{kLong, 20}, std::pair{std::wstring(L"Wide"), 8},
                                         std::pair{std::wstring(L"مرحبا بكم في برنامج"), 60},
                                         std::pair{std::wstring(L"ยินดีต้อนรับสู่โปรแกรม"), 50},
                                         std::pair{std::wstring(L"a     b"), 9}));

// ---------------------------------------------------------------------------------------------

TEST(MultiLine, WrapsIntoTallerTextInsideTheBox) {
    const FontSpec f = font(L"Roboto");
    const int two = measureText(L"aaa aaa", f, 96, format(), {}).size.cx;
    const TextMetrics wrapped =
        measureText(L"aaa aaa aaa aaa", f, 96, format(0, true), {two + 1, 0});
    EXPECT_TRUE(wrapped.fits);
    EXPECT_EQ(wrapped.size.cy, 2 * lineHeight(f));
    EXPECT_LE(wrapped.size.cx, two + 1);
    const TextMetrics single = measureText(L"aaa aaa aaa aaa", f, 96, format(), {two + 1, 0});
    EXPECT_EQ(single.size.cy, lineHeight(f));
    EXPECT_FALSE(single.fits);

    const Rect box{20, 10, 140, 190};
    TextMetrics metrics;
    const auto p = draw(L"The quick brown fox jumps over the lazy dog", f, format(kAlignTop, true),
                        box, {200, 200}, &metrics);
    EXPECT_TRUE(metrics.fits);
    EXPECT_GE(metrics.size.cy, 3 * lineHeight(f));
    EXPECT_EQ(p->inkOutside(box), 0);
    EXPECT_GT(p->ink().height(), 2 * lineHeight(f));

    const Rect shortBox{20, 10, 140, 40};  // too short: clipped, from the top
    const auto cut = draw(kLong, f, format(kAlignVCenter, true), shortBox, {200, 100}, &metrics);
    EXPECT_FALSE(metrics.fits);
    EXPECT_EQ(cut->inkOutside(shortBox), 0);
    EXPECT_LE(cut->ink().top - shortBox.top, 6);
}

struct WrapCase {
    const char* name;
    std::wstring text;
    const wchar_t* face;
    int widthFrom;  // the box is as wide as the first widthFrom characters, plus one pixel
    int lines;      // at least
};

class Wrapping : public testing::TestWithParam<WrapCase> {};

TEST_P(Wrapping, BreaksInsideRunsOfLetters) {
    const WrapCase& c = GetParam();
    const FontSpec f = font(c.face);
    const int width = measureText(c.text.substr(0, c.widthFrom), f, 96, format(), {}).size.cx + 1;
    const TextMetrics metrics = measureText(c.text, f, 96, format(0, true), {width, 0});
    EXPECT_GE(metrics.size.cy, c.lines * lineHeight(f, c.text.substr(0, 2).c_str()));
    EXPECT_LE(metrics.size.cx, width);
    EXPECT_FALSE(metrics.missingGlyph);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Wrapping,
    testing::Values(WrapCase{"Han", L"欢迎使用安装程序请稍候", L"Roboto", 4, 3},  // 4, 4, 3
                    WrapCase{"Thai", L"ยินดีต้อนรับสู่โปรแกรมติดตั้ง", L"Arial", 12, 2},
                    WrapCase{"LongWord", L"Supercalifragilisticexpialidocious", L"Roboto", 8, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Each line, shaped again on its own once the paragraph is broken, stays inside the box: a line
// whose joining forms or marks come out wider than the paragraph's widths said is broken again.
TEST(MultiLine, LinesShapedOnTheirOwnStayInsideTheBox) {
    const struct {
        std::wstring text;
        FontSpec font;
    } cases[] = {
        {L"\u0627\u0644\u062a\u062b\u0628\u064a\u062a \u0646\u0627\u0645\u0648\u0641\u0642 "
         L"\u0628\u0648\u062f. \u0644\u0637\u0641\u0627\u064b \u0645\u0633\u06cc\u0631 "
         L"\u0646\u0635\u0628 \u0631\u0627 \u062a\u063a\u06cc\u06cc\u0631 "
         L"\u062f\u0647\u06cc\u062f \u06cc\u0627 \u0622\u0646\u062a\u06cc\u200c"
         L"\u0648\u06cc\u0631\u0648\u0633 \u0631\u0627 \u0645\u0648\u0642\u062a\u0627\u064b "
         L"\u063a\u06cc\u0631\u0641\u0639\u0627\u0644 \u06a9\u0646\u06cc\u062f",
         font(L"Roboto", 12)},
        {L"\u0e01\u0e32\u0e23\u0e15\u0e34\u0e14\u0e15\u0e31\u0e49\u0e07\u0e25\u0e49\u0e21"
         L"\u0e40\u0e2b\u0e25\u0e27 \u0e42\u0e1b\u0e23\u0e14\u0e25\u0e2d\u0e07\u0e40\u0e1b"
         L"\u0e25\u0e35\u0e48\u0e22\u0e19\u0e40\u0e2a\u0e49\u0e19\u0e17\u0e32\u0e07 "
         L"\u0e2b\u0e23\u0e37\u0e2d\u0e1b\u0e34\u0e14\u0e42\u0e1b\u0e23\u0e41\u0e01\u0e23"
         L"\u0e21\u0e1b\u0e49\u0e2d\u0e07\u0e01\u0e31\u0e19\u0e44\u0e27\u0e23\u0e31\u0e2a",
         font(L"Arial", 13)},
    };
    for (const auto& c : cases) {
        for (int width = 120; width <= 420; width += 2) {
            const TextMetrics m = measureText(c.text, c.font, 96, format(0, true), {width, 0});
            EXPECT_LE(m.size.cx, width) << utility::wideToUtf8(c.text) << " in " << width;
            EXPECT_TRUE(m.fits) << utility::wideToUtf8(c.text) << " in " << width;
        }
    }
}

struct BreakCase {
    std::wstring text;
    bool markup;
    int lines;
};

class ExplicitBreaks : public testing::TestWithParam<BreakCase> {};

TEST_P(ExplicitBreaks, StartNewLinesOnlyWhenMultiLine) {
    const FontSpec f = font(L"Roboto");
    TextFormat tf = with(format(kAlignTop, true), L"", GetParam().markup);
    EXPECT_EQ(measureText(GetParam().text, f, 96, tf, {400, 0}).size.cy,
              GetParam().lines * lineHeight(f));
    tf.multiline = false;
    EXPECT_EQ(measureText(GetParam().text, f, 96, tf, {400, 0}).size.cy, lineHeight(f));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ExplicitBreaks,
    testing::Values(BreakCase{L"a\nb\nc", false, 3}, BreakCase{L"a\r\nb", false, 2},
                    BreakCase{L"a\n\nb", false, 3}, BreakCase{L"a<br>b", true, 2},
                    BreakCase{L"a<br>b", false, 1}, BreakCase{L"a\n", false, 2}));

// ---------------------------------------------------------------------------------------------

std::unique_ptr<Picture> drawMarkup(const std::wstring& text, bool underlineFont = false) {
    FontSpec f = font(L"Roboto", 20);
    f.underline = underlineFont;
    return draw(text, f, with(format(), L"", true), {10, 0, 290, 50}, {300, 50});
}

TEST(Markup, ColouredRunsDrawInTheirColour) {
    const auto p = drawMarkup(L"<c #ff0000>RRRR</c> plain <c #0000ff>BBBB</c>");
    const Rect ink = p->ink();
    const int third = ink.width() / 3;
    const auto left = p->inkColour({ink.left, 0, ink.left + third, 50});
    const auto middle = p->inkColour({ink.left + third + 4, 0, ink.right - third - 4, 50});
    const auto right = p->inkColour({ink.right - third, 0, ink.right, 50});
    EXPECT_TRUE(left[0] > 200 && left[2] < 60) << left[0] << " " << left[2];
    EXPECT_TRUE(middle[0] < 60 && middle[2] < 60) << middle[0] << " " << middle[2];
    EXPECT_TRUE(right[2] > 200 && right[0] < 60) << right[0] << " " << right[2];
}

TEST(Markup, UnderlinesInTheirColourUnderTheLetters) {
    const auto bare = drawMarkup(L"underlined");
    const auto underlined = drawMarkup(L"<u>underlined</u>");
    const int width = underlined->ink().width();
    const auto [run, row] = underlined->longestRow();
    EXPECT_GE(run, width * 9 / 10);
    EXPECT_LT(bare->longestRow().first, width / 2);
    EXPECT_GE(row, bare->ink().bottom - 1);  // under the letters, not through them
    EXPECT_GE(drawMarkup(L"underlined", true)->longestRow().first, width * 9 / 10);

    const auto green = drawMarkup(L"<u #00ff00>green line</u>");
    const int greenRow = green->longestRow().second;
    const auto line = green->inkColour({0, greenRow, 300, greenRow + 1});
    const auto letters = green->inkColour({0, 0, 300, greenRow - 2});
    EXPECT_TRUE(line[1] > 200 && line[0] < 60) << line[0] << " " << line[1];
    EXPECT_LT(letters[1], 60);  // the letters keep the text colour
}

TEST(Markup, TagsAreNotDrawnButMalformedOnesAre) {
    const FontSpec f = font(L"Roboto");
    const TextFormat markup = with(format(), L"", true);
    EXPECT_EQ(measureText(L"<u>abc</u>", f, 96, markup, {}).size.cx,
              measureText(L"abc", f, 96, format(), {}).size.cx);
    EXPECT_EQ(measureText(L"<b>abc</b>", f, 96, markup, {}).size.cx,
              measureText(L"<b>abc</b>", f, 96, format(), {}).size.cx);
}

}  // namespace
}  // namespace tk
