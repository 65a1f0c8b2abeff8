// The images and fonts the installer carries: every image of the skin archive at its size and in
// its enlarged folder at double size, state strips cut into exact cells whose nine-grid corners
// hold the rounded corners and whose edges stretch invisibly, the colours of the visual brief;
// and the font archive's seven files, each a font GDI registers, with the family names, weights
// and characters the notice and the shipped texts ask for. The archives are the ones the build
// packs into the executable (app/CMakeLists.txt).
#include <windows.h>
#include <wincodec.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "toolkit/image_string.h"
#include "utility/archive.h"

using testing_support::readFileBytes;
using testing_support::TempDir;

namespace {

// Colours of the visual brief (ARGB).
constexpr std::uint32_t kClear = 0x00000000;  // matches any fully transparent pixel
constexpr std::uint32_t kAccent = 0xFF268FD6;
constexpr std::uint32_t kAccentHot = 0xFF1F7FC2;
constexpr std::uint32_t kAccentPushed = 0xFF1A6DA8;
constexpr std::uint32_t kText = 0xFF17171A;
constexpr std::uint32_t kSecondaryText = 0xFF666666;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kSurface = 0xFFF3F5F8;
constexpr std::uint32_t kBorder = 0xFFE1E5EB;
constexpr std::uint32_t kError = 0xFFD93F3F;
constexpr std::uint32_t kErrorPushed = 0xFFBF3535;
constexpr std::uint32_t kDisabledText = 0xFFA3A8B0;
constexpr std::uint32_t kDisabledFill = 0xFFE9ECF0;

std::wstring windowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c; ++c) path.push_back(*c == '/' ? L'\\' : wchar_t(*c));
    return path;
}

using Entries = std::map<std::wstring, std::string>;

Entries archiveEntries(const char* unixPath) {
    const std::string archive = readFileBytes(windowsPath(unixPath));
    Entries entries;
    EXPECT_FALSE(archive.empty()) << unixPath;
    const int result = utility::forEachArchiveFile(
        archive.data(), archive.size(),
        [&](const std::wstring& name, const unsigned char* data, std::size_t size) {
            entries[name].assign(reinterpret_cast<const char*>(data), size);
        });
    EXPECT_EQ(result, utility::kArchiveOk) << unixPath;
    return entries;
}

// WIC needs COM on the thread that runs the tests.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const kCom = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

const Entries& skinEntries() {
    static const Entries entries = archiveEntries(TAMRIX_SKIN_ARCHIVE);
    return entries;
}

// ---------------------------------------------------------------------------------------------
// Images

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // ARGB, straight alpha, rows top to bottom
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// Decodes PNG bytes through WIC into straight-alpha ARGB; nothing when WIC refuses them.
std::optional<Image> decode(const std::string& bytes) {
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))))
        return std::nullopt;
    std::optional<Image> image;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* converted = nullptr;
    UINT width = 0, height = 0;
    if (SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(
            reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), DWORD(bytes.size()))) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame, &converted)) &&
        SUCCEEDED(converted->GetSize(&width, &height))) {
        Image decoded;
        decoded.width = int(width);
        decoded.height = int(height);
        decoded.pixels.resize(std::size_t(width) * height);
        if (SUCCEEDED(converted->CopyPixels(nullptr, width * 4, UINT(decoded.pixels.size() * 4),
                                            reinterpret_cast<BYTE*>(decoded.pixels.data()))))
            image = std::move(decoded);
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{converted, frame, decoder, stream, factory})
        if (object) object->Release();
    return image;
}

bool matches(std::uint32_t pixel, std::uint32_t want, int tolerance) {
    if ((want >> 24) == 0) return (pixel >> 24) == 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int((pixel >> shift) & 0xFF), b = int((want >> shift) & 0xFF);
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

// A region of the 1x image (scaled with the image) in which at least `count` pixels (count times
// the scale at 2x) are within `tolerance` of the colour in every channel.
struct Probe {
    int x, y, w, h;
    std::uint32_t colour;
    int count;
    int tolerance;
};

Probe at(int x, int y, std::uint32_t colour) { return {x, y, 1, 1, colour, 1, 0}; }
Probe some(int x, int y, int w, int h, std::uint32_t colour, int count, int tolerance) {
    return {x, y, w, h, colour, count, tolerance};
}

struct ImageCase {
    const wchar_t* name;
    int width, height;  // the whole image at 1x
    int cellWidth;      // one state cell; the image is a row of width / cellWidth cells
    int corner;         // nine-grid corner on every side; 0: drawn whole, never stretched
    std::vector<Probe> probes;
};

// Buttons: rounded cells whose top row and left column, outside the corners, are the border
// (or the fill) and whose centre is the state's fill.
const std::vector<ImageCase> kImages = {
    // Message boxes (program-written image strings).
    {L"common/btn_bg_default.png", 60, 28, 20, 6,
     {at(10, 14, kAccent), at(30, 14, kAccentHot), at(50, 14, kAccentPushed), at(10, 0, kAccent)}},
    {L"common/btn_bg.png", 60, 28, 20, 6,
     {at(10, 14, kWhite), at(30, 14, kSurface), at(50, 14, kDisabledFill), at(10, 0, kBorder),
      at(0, 14, kBorder), at(59, 14, kBorder)}},
    {L"remote/btn_32.png", 64, 32, 16, 6,
     {at(8, 16, kDisabledFill), at(24, 16, kAccent), at(40, 16, kAccentHot),
      at(56, 16, kAccentPushed)}},
    {L"remote/btn_cancel.png", 60, 28, 20, 6,
     {at(10, 14, kWhite), at(30, 14, kSurface), at(50, 14, kDisabledFill), at(10, 0, kBorder)}},
    {L"button_box_cancel.png", 300, 32, 100, 6,
     {at(50, 16, kWhite), at(150, 16, kSurface), at(250, 16, kDisabledFill), at(50, 0, kBorder),
      at(50, 31, kBorder)}},
    {L"button_box_hot.png", 300, 32, 100, 6,
     {at(50, 16, kAccent), at(150, 16, kAccentHot), at(250, 16, kAccentPushed)}},
    {L"common/msg_noice48.png", 48, 48, 48, 0,
     {at(8, 24, kAccent), at(24, 20, kWhite), at(23, 33, kWhite), at(24, 29, kAccent)}},
    {L"common/msg_ok48.png", 48, 48, 48, 0,
     {at(8, 24, kAccent), at(24, 10, kAccent), some(14, 16, 20, 16, kWhite, 12, 0)}},
    // Main window: the install-folder edit (normal, hot, focused) and its error state.
    {L"browse_button.png", 84, 28, 28, 4,
     {at(14, 14, kWhite), at(42, 14, kWhite), at(70, 14, kWhite), at(14, 0, kBorder),
      at(42, 0, kDisabledText), at(70, 0, kAccent), at(70, 1, kAccent), at(70, 2, kWhite),
      at(57, 14, kAccent)}},
    {L"error_edit_bg.png", 10, 10, 10, 4, {at(5, 5, kWhite), at(5, 0, kError), at(0, 5, kError)}},
    // Main window: title bar, logos, licence box, icons, progress, buttons, combo.
    {L"common/btn_close.png", 96, 32, 32, 0,
     {at(15, 15, kText), at(4, 16, kClear), at(37, 16, kError), at(47, 15, kWhite),
      at(69, 16, kErrorPushed), at(79, 15, kWhite)}},
    {L"common/btn_min.png", 96, 32, 32, 0,
     {at(15, 16, kText), at(4, 16, kClear), at(37, 10, kSurface), at(47, 16, kText),
      at(69, 10, kDisabledFill), at(79, 16, kText)}},
    {L"btn_community.png", 96, 32, 32, 0,
     {at(15, 10, kText), at(4, 16, kClear), at(40, 16, kSurface), at(47, 10, kText),
      at(72, 16, kDisabledFill), at(79, 10, kText)}},
    {L"common/window_bg.png", 24, 24, 24, 8,
     {at(12, 12, kWhite), at(12, 0, kBorder), at(0, 12, kBorder), at(23, 12, kBorder)}},
    {L"logo9.png", 160, 40, 160, 0,
     {some(0, 0, 120, 40, kAccent, 300, 0), at(122, 20, kClear), at(128, 20, kAccent),
      some(126, 5, 30, 30, kWhite, 20, 0)}},
    {L"logo4.png", 160, 40, 160, 0,
     {some(0, 0, 120, 40, kAccent, 300, 0), at(122, 20, kClear), at(128, 20, kAccent),
      some(126, 5, 30, 30, kWhite, 20, 0)}},
    {L"check_licence.png", 64, 16, 16, 0,
     {at(8, 8, kWhite), at(0, 8, kSecondaryText), at(16, 8, kAccent), at(24, 8, kWhite),
      at(33, 8, kAccent), some(36, 4, 8, 8, kWhite, 3, 24), at(49, 8, kAccentHot),
      some(52, 4, 8, 8, kWhite, 3, 24)}},
    {L"icon_folder.png", 16, 16, 16, 0,
     {some(0, 0, 16, 16, kText, 20, 64), at(8, 9, kClear)}},
    {L"icon_path_error.png", 16, 16, 16, 0,
     {at(4, 8, kError), at(11, 8, kError), some(7, 4, 2, 5, kWhite, 2, 64)}},
    {L"progress_track.png", 16, 8, 16, 4, {at(8, 4, kSurface), at(8, 0, kSurface)}},
    {L"progress_fill.png", 16, 8, 16, 4, {at(8, 4, kAccent), at(8, 0, kAccent)}},
    {L"btn_primary.png", 80, 28, 20, 6,
     {at(10, 14, kAccent), at(30, 14, kAccentHot), at(50, 14, kAccentPushed),
      at(70, 14, kDisabledFill)}},
    {L"btn_secondary.png", 80, 28, 20, 6,
     {at(10, 14, kWhite), at(30, 14, kSurface), at(50, 14, kDisabledFill), at(70, 14, kWhite),
      at(10, 0, kBorder), at(70, 0, kDisabledFill)}},
    {L"combo_bg.png", 60, 28, 20, 4,
     {at(10, 14, kWhite), at(10, 0, kBorder), at(30, 0, kDisabledText), at(50, 0, kAccent),
      at(50, 1, kAccent), at(50, 2, kWhite)}},
    {L"combo_arrow.png", 16, 16, 16, 0, {some(0, 0, 16, 16, kText, 4, 64), at(8, 3, kClear)}},
    {L"success48.png", 48, 48, 48, 0, {at(8, 24, kAccent), some(14, 16, 20, 16, kWhite, 12, 0)}},
};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void PrintTo(const ImageCase& c, std::ostream* out) { *out << narrow(c.name); }

std::string hex(std::uint32_t argb) {
    char text[16];
    wsprintfA(text, "%08lX", static_cast<unsigned long>(argb));
    return text;
}

class SkinArt : public ::testing::TestWithParam<ImageCase> {};

TEST_P(SkinArt, ImageAtOneAndTwoTimesKeepsItsCellsCornersAndColours) {
    const ImageCase& c = GetParam();
    for (int scale : {1, 2}) {
        const std::wstring name = scale == 1 ? c.name : tk::enlargedImageName(c.name);
        SCOPED_TRACE(narrow(name));
        const auto entry = skinEntries().find(name);
        ASSERT_NE(entry, skinEntries().end()) << "not in the skin archive";
        const std::optional<Image> image = decode(entry->second);
        ASSERT_TRUE(image) << "not a decodable image";
        ASSERT_EQ(image->width, c.width * scale);
        ASSERT_EQ(image->height, c.height * scale);
        ASSERT_EQ(c.width % c.cellWidth, 0);

        const int cellWidth = c.cellWidth * scale, corner = c.corner * scale, h = image->height;
        for (int x0 = 0; x0 < image->width; x0 += cellWidth) {
            SCOPED_TRACE("cell at x " + std::to_string(x0));
            // Every cell's corners are transparent: rounded, or an icon on a clear ground.
            for (auto [x, y] : {std::pair{x0, 0}, {x0 + cellWidth - 1, 0}, {x0, h - 1},
                                {x0 + cellWidth - 1, h - 1}})
                EXPECT_EQ(image->at(x, y) >> 24, 0u) << "corner pixel " << x << "," << y;
            if (corner == 0) continue;
            // Nine-grid: outside the corners every row is one colour across the cell and every
            // column one colour down it, so stretching never shows; the edges reach the cell's
            // borders opaque, so the rounding lies wholly inside the corners.
            for (int y = 0; y < h; ++y)
                for (int x = x0 + corner; x < x0 + cellWidth - corner; ++x)
                    ASSERT_EQ(image->at(x, y), image->at(x0 + corner, y)) << "row " << y << " at " << x;
            for (int x = x0; x < x0 + cellWidth; ++x)
                for (int y = corner; y < h - corner; ++y)
                    ASSERT_EQ(image->at(x, y), image->at(x, corner)) << "column " << x << " at " << y;
            if (cellWidth > 2 * corner) {
                EXPECT_EQ(image->at(x0 + corner, 0) >> 24, 0xFFu) << "top edge";
                EXPECT_EQ(image->at(x0 + corner, h - 1) >> 24, 0xFFu) << "bottom edge";
            }
            if (h > 2 * corner) {
                EXPECT_EQ(image->at(x0, corner) >> 24, 0xFFu) << "left edge";
                EXPECT_EQ(image->at(x0 + cellWidth - 1, corner) >> 24, 0xFFu) << "right edge";
            }
        }
        for (const Probe& p : c.probes) {
            int found = 0;
            for (int y = p.y * scale; y < (p.y + p.h) * scale; ++y)
                for (int x = p.x * scale; x < (p.x + p.w) * scale; ++x)
                    found += matches(image->at(x, y), p.colour, p.tolerance);
            EXPECT_GE(found, p.count * scale)
                << "colour " << hex(p.colour) << " in " << p.x << "," << p.y << " " << p.w << "x"
                << p.h << " (1x), pixel there " << hex(image->at(p.x * scale, p.y * scale));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, SkinArt, ::testing::ValuesIn(kImages),
                         [](const ::testing::TestParamInfo<ImageCase>& info) {
                             std::string name;
                             for (wchar_t ch : std::wstring(info.param.name))
                                 name.push_back(iswalnum(ch) ? char(ch) : '_');
                             return name;
                         });

TEST(SkinArtArchive, EveryEnlargedImageHasItsOneTimesImageAtHalfItsSize) {
    int enlarged = 0;
    for (const auto& [name, bytes] : skinEntries()) {
        const auto slash = name.find(L'/');
        if (name.size() < 4 || name.substr(name.size() - 4) != L".png" || slash == std::wstring::npos)
            continue;
        const std::wstring folder = name.substr(0, slash);
        if (folder.size() < 8 || folder.substr(folder.size() - 8) != L"Enalarge") continue;
        ++enlarged;
        const std::wstring base = folder.size() == 8
                                      ? name.substr(slash + 1)
                                      : folder.substr(0, folder.size() - 8) + name.substr(slash);
        SCOPED_TRACE(narrow(name));
        EXPECT_EQ(tk::enlargedImageName(base), name);
        const auto one = skinEntries().find(base);
        ASSERT_NE(one, skinEntries().end()) << "no 1x image " << narrow(base);
        const auto big = decode(bytes), small = decode(one->second);
        ASSERT_TRUE(big && small);
        EXPECT_EQ(big->width, 2 * small->width);
        EXPECT_EQ(big->height, 2 * small->height);
    }
    EXPECT_GE(enlarged, int(kImages.size()));
}

TEST(SkinArtArchive, EditionLogosShareTheWordMarkAndDifferInTheNumber) {
    for (const wchar_t* folder : {L"", L"Enalarge/"}) {
        const auto nine = decode(skinEntries().at(std::wstring(folder) + L"logo9.png"));
        const auto four = decode(skinEntries().at(std::wstring(folder) + L"logo4.png"));
        ASSERT_TRUE(nine && four);
        ASSERT_EQ(nine->width, four->width);
        const int badge = nine->width * 124 / 160;
        int wordDiffers = 0, numberDiffers = 0;
        for (int y = 0; y < nine->height; ++y)
            for (int x = 0; x < nine->width; ++x)
                (x < badge ? wordDiffers : numberDiffers) += nine->at(x, y) != four->at(x, y);
        EXPECT_EQ(wordDiffers, 0);
        EXPECT_GT(numberDiffers, 20);
    }
}

// ---------------------------------------------------------------------------------------------
// Fonts

std::uint16_t u16(const std::string& b, std::size_t at) {
    return at + 2 > b.size() ? 0 : std::uint16_t((std::uint8_t(b[at]) << 8) | std::uint8_t(b[at + 1]));
}
std::uint32_t u32(const std::string& b, std::size_t at) {
    return (std::uint32_t(u16(b, at)) << 16) | u16(b, at + 2);
}

// Offset of a table of an OpenType or TrueType file, or nothing.
std::optional<std::size_t> table(const std::string& font, const char (&tag)[5]) {
    const int count = u16(font, 4);
    for (int i = 0; i < count; ++i) {
        const std::size_t record = 12 + std::size_t(i) * 16;
        if (font.compare(record, 4, tag, 4) == 0) return u32(font, record + 8);
    }
    return std::nullopt;
}

// A name of the Windows platform, US English (name id 1: family, 16: typographic family).
std::wstring windowsName(const std::string& font, int nameId) {
    const auto name = table(font, "name");
    if (!name) return {};
    const int count = u16(font, *name + 2);
    const std::size_t strings = *name + u16(font, *name + 4);
    for (int i = 0; i < count; ++i) {
        const std::size_t r = *name + 6 + std::size_t(i) * 12;
        if (u16(font, r) != 3 || u16(font, r + 4) != 0x409 || u16(font, r + 6) != nameId) continue;
        std::wstring text;
        const std::size_t start = strings + u16(font, r + 10), length = u16(font, r + 8);
        for (std::size_t k = 0; k + 1 < length; k += 2) text.push_back(wchar_t(u16(font, start + k)));
        return text;
    }
    return {};
}

// The characters the font's Windows Unicode character map gives a glyph.
std::set<std::uint32_t> mappedCharacters(const std::string& font) {
    std::set<std::uint32_t> mapped;
    const auto cmap = table(font, "cmap");
    if (!cmap) return mapped;
    const int count = u16(font, *cmap + 2);
    for (int i = 0; i < count; ++i) {
        const std::size_t r = *cmap + 4 + std::size_t(i) * 8;
        if (u16(font, r) != 3 || (u16(font, r + 2) != 1 && u16(font, r + 2) != 10)) continue;
        const std::size_t sub = *cmap + u32(font, r + 4);
        if (u16(font, sub) == 4) {
            const int segments = u16(font, sub + 6) / 2;
            const std::size_t ends = sub + 14, starts = ends + 2 * segments + 2;
            const std::size_t deltas = starts + 2 * segments, offsets = deltas + 2 * segments;
            for (int s = 0; s < segments; ++s) {
                const std::uint32_t first = u16(font, starts + 2 * s), last = u16(font, ends + 2 * s);
                const std::uint16_t delta = u16(font, deltas + 2 * s), offset = u16(font, offsets + 2 * s);
                for (std::uint32_t ch = first; ch <= last && ch != 0xFFFF; ++ch) {
                    std::uint16_t glyph = 0;
                    if (offset == 0) {
                        glyph = std::uint16_t(ch + delta);
                    } else {
                        const std::uint16_t g = u16(font, offsets + 2 * s + offset + 2 * (ch - first));
                        glyph = g ? std::uint16_t(g + delta) : 0;
                    }
                    if (glyph) mapped.insert(ch);
                }
            }
        } else if (u16(font, sub) == 12) {
            const std::uint32_t groups = u32(font, sub + 12);
            for (std::uint32_t g = 0; g < groups; ++g) {
                const std::size_t at = sub + 16 + std::size_t(g) * 12;
                for (std::uint32_t ch = u32(font, at); ch <= u32(font, at + 4); ++ch) mapped.insert(ch);
            }
        }
    }
    return mapped;
}

// What the notice names for each file of the archive.
struct FontCase {
    const wchar_t* file;
    const wchar_t* family;       // name id 1
    const wchar_t* typographic;  // name id 16, empty when the file has none
    int weight;                  // OS/2 weight class
    bool latin;                  // carries the Latin and Cyrillic letters of the texts, not Hangul
};

const std::vector<FontCase> kFonts = {
    {L"NotoSans-Regular.otf", L"Noto Sans", L"", 400, true},
    {L"Roboto-Regular.otf", L"Roboto", L"", 400, true},
    {L"NanumGothic.otf", L"Tamrix Gothic", L"", 400, false},
    {L"ShentoxTRIAL-Md.otf", L"Inter Medium", L"Inter", 500, true},
    {L"ShentoxTRIAL-Rg.otf", L"Inter", L"", 400, true},
    {L"ShentoxTRIAL-SmBd.otf", L"Inter Semi Bold", L"Inter", 600, true},
    {L"ShentoxTRIAL-Th.otf", L"Inter Thin", L"Inter", 100, true},
};

// The characters of the shipped texts: the text table, language files and layouts of the skin
// archive, with the character references of the XML files resolved.
std::set<std::uint32_t> shippedCharacters() {
    std::set<std::uint32_t> characters;
    for (const auto& [name, text] : skinEntries()) {
        const std::wstring suffix = name.size() > 4 ? name.substr(name.size() - 4) : L"";
        if (suffix != L".tsv" && suffix != L".xml" && suffix != L".txt") continue;
        std::wstring wide(text.size(), L'\0');
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(),
                                        int(wide.size())));
        for (std::size_t i = 0; i < wide.size(); ++i) {
            std::uint32_t ch = wide[i];
            if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < wide.size())
                ch = 0x10000 + ((ch - 0xD800) << 10) + (wide[++i] - 0xDC00);
            characters.insert(ch);
            if (wide.compare(i, 2, L"&#") != 0) continue;
            const bool hexadecimal = i + 2 < wide.size() && (wide[i + 2] == L'x' || wide[i + 2] == L'X');
            wchar_t* end = nullptr;
            const unsigned long value = wcstoul(wide.c_str() + i + (hexadecimal ? 3 : 2), &end, hexadecimal ? 16 : 10);
            if (end && *end == L';') characters.insert(std::uint32_t(value));
        }
    }
    EXPECT_TRUE(skinEntries().count(L"multi_language.tsv")) << "no text table in the skin archive";
    return characters;
}

// Kept in every font whatever the texts say: ASCII, the Latin-1 supplement, general
// punctuation and a few signs.
bool alwaysKept(std::uint32_t ch) {
    return (ch >= 0x20 && ch < 0x7F) || (ch >= 0xA0 && ch < 0x100) || (ch >= 0x2010 && ch < 0x205F) ||
           ch == 0x20AC || ch == 0x2122 || (ch >= 0x2190 && ch <= 0x2193) || ch == 0x2713 ||
           ch == 0xFFFD;
}

bool isLatinOrCyrillic(std::uint32_t ch) {
    return (ch >= 0x20 && ch < 0x7F) || (ch >= 0xA0 && ch < 0x180) || (ch >= 0x400 && ch < 0x460) ||
           (ch >= 0x1EA0 && ch < 0x1EFA);
}
bool isHangul(std::uint32_t ch) { return ch >= 0xAC00 && ch <= 0xD7A3; }

TEST(SkinArtFonts, ArchiveHoldsTheSevenFontsEachRegisteredByGdiWithItsNameWeightAndCharacters) {
    const Entries fonts = archiveEntries(TAMRIX_FONT_ARCHIVE);
    std::set<std::wstring> names, expected;
    for (const auto& [name, bytes] : fonts) names.insert(name);
    for (const FontCase& c : kFonts) expected.insert(c.file);
    EXPECT_EQ(names, expected);

    const std::string archive = readFileBytes(windowsPath(TAMRIX_FONT_ARCHIVE));
    TempDir folder;
    ASSERT_EQ(utility::extractArchiveToFolder(archive.data(), archive.size(), folder.path()),
              utility::kArchiveOk);
    const std::set<std::uint32_t> shipped = shippedCharacters();
    // Always kept: ASCII and the common punctuation of running text.
    std::set<std::uint32_t> always = {0x2018, 0x2019, 0x201C, 0x201D, 0x2013, 0x2014, 0x2026,
                                      0x2022, 0x00AB, 0x00BB, 0x00A9};
    for (std::uint32_t ch = 0x20; ch < 0x7F; ++ch) always.insert(ch);

    for (const FontCase& c : kFonts) {
        SCOPED_TRACE(narrow(c.file));
        const std::wstring path = folder.path() + c.file;
        const std::string font = readFileBytes(path);
        ASSERT_FALSE(font.empty());
        EXPECT_EQ(font, fonts.at(c.file));
        const int added = AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
        EXPECT_GT(added, 0) << "GDI does not take the file as a font";
        // Wine refuses to remove a private font whose face the system also has; nothing to check.
        if (added > 0) RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);

        EXPECT_EQ(windowsName(font, 1), c.family);
        EXPECT_EQ(windowsName(font, 16), c.typographic);
        const auto os2 = table(font, "OS/2");
        ASSERT_TRUE(os2);
        EXPECT_EQ(u16(font, *os2 + 4), c.weight);

        const std::set<std::uint32_t> mapped = mappedCharacters(font);
        for (std::uint32_t ch : always)
            if (c.latin || ch < 0x7F) {
                EXPECT_TRUE(mapped.count(ch)) << "U+" << hex(ch);
            }
        for (std::uint32_t ch : shipped)
            if (c.latin ? isLatinOrCyrillic(ch) : isHangul(ch)) {
                EXPECT_TRUE(mapped.count(ch)) << "shipped U+" << hex(ch);
            }
        // A subset: nothing beyond the texts and what is always kept.
        for (std::uint32_t ch : mapped)
            if (!alwaysKept(ch)) {
                EXPECT_TRUE(shipped.count(ch)) << "kept U+" << hex(ch);
            }
    }
}

}  // namespace
