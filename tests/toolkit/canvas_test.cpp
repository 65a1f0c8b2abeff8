#include "toolkit/canvas.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

using tk::Canvas;
using tk::Image;
using tk::Insets;
using tk::Rect;
using tk::Surface;

constexpr std::uint32_t kSentinel = 0xFF102030;  // opaque, so premultiplied equals straight

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(surface_.resize(64, 48));
        Canvas(surface_).clear({0, 0, 64, 48}, kSentinel);
    }
    std::uint32_t at(int x, int y) const { return surface_.pixels()[y * surface_.width() + x]; }
    std::uint32_t alphaAt(int x, int y) const { return at(x, y) >> 24; }
    // Every pixel outside the rectangle still holds the sentinel.
    void expectUntouchedOutside(const Rect& inside) const {
        for (int y = 0; y < surface_.height(); ++y) {
            for (int x = 0; x < surface_.width(); ++x) {
                if (inside.contains({x, y})) continue;
                ASSERT_EQ(at(x, y), kSentinel) << x << "," << y;
            }
        }
    }

    Surface surface_;
};

Image makeImage(int width, int height, std::vector<std::uint32_t> pixels) {
    return Image{width, height, std::move(pixels)};
}

TEST(SurfaceTest, DibIsTopDownSharedWithItsDcAndResizable) {
    Surface surface;
    EXPECT_FALSE(surface.resize(0, 5));
    EXPECT_EQ(surface.pixels(), nullptr);
    EXPECT_EQ(surface.dc(), nullptr);
    ASSERT_TRUE(surface.resize(3, 2));
    ASSERT_NE(surface.pixels(), nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(GetCurrentObject(surface.dc(), OBJ_BITMAP), sizeof(dib), &dib),
              static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 3);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(dib.dsBm.bmHeight, 2);
    // GDI drawing through the DC lands in the same memory, first row first.
    std::fill(surface.pixels(), surface.pixels() + 6, 0u);
    SetPixel(surface.dc(), 2, 0, RGB(0x11, 0x22, 0x33));
    GdiFlush();
    EXPECT_EQ(surface.pixels()[2] & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(surface.pixels()[5], 0u);

    ASSERT_TRUE(surface.resize(5, 4));
    EXPECT_EQ(surface.width(), 5);
    EXPECT_EQ(surface.height(), 4);
    EXPECT_EQ(GetObjectW(GetCurrentObject(surface.dc(), OBJ_BITMAP), sizeof(dib), &dib),
              static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 5);
    EXPECT_FALSE(surface.resize(-1, 4));
    EXPECT_EQ(surface.width(), 0);
    EXPECT_EQ(surface.dc(), nullptr);
}

struct NineGridCase {
    const char* name;
    Rect source;
    Rect dest;
    Insets corner;
    Insets destCorner;
    std::array<int, 4> sourceX, sourceY, destX, destY;  // the four cuts of each axis
};

// clang-format off
const NineGridCase kNineGridCases[] = {
    {"normal", {0, 0, 20, 28}, {10, 5, 110, 35}, {6, 6, 6, 6}, {6, 6, 6, 6},
     {0, 6, 14, 20}, {0, 6, 22, 28}, {10, 16, 104, 110}, {5, 11, 29, 35}},
    {"sprite part, doubled corners", {40, 0, 60, 28}, {10, 5, 110, 35}, {6, 6, 6, 6},
     {12, 12, 12, 12},
     {40, 46, 54, 60}, {0, 6, 22, 28}, {10, 22, 98, 110}, {5, 17, 23, 35}},
    {"zero corners", {0, 0, 20, 28}, {0, 0, 50, 40}, {}, {},
     {0, 0, 20, 20}, {0, 0, 28, 28}, {0, 0, 50, 50}, {0, 0, 40, 40}},
    {"dest smaller than corners", {0, 0, 20, 28}, {0, 0, 8, 30}, {6, 6, 6, 6}, {6, 6, 6, 6},
     {0, 6, 14, 20}, {0, 6, 22, 28}, {0, 4, 4, 8}, {0, 6, 24, 30}},
    // 10:30 of 20 gives 5:15; 1:2 of 2 rounds to 1:1.
    {"unequal corners shrink in proportion", {0, 0, 40, 40}, {0, 0, 20, 2}, {10, 1, 30, 2},
     {10, 1, 30, 2},
     {0, 10, 10, 40}, {0, 1, 38, 40}, {0, 5, 5, 20}, {0, 1, 1, 2}},
    {"corners larger than the source", {20, 0, 40, 28}, {0, 0, 100, 28}, {15, 0, 15, 0},
     {15, 0, 15, 0},
     {20, 30, 30, 40}, {0, 0, 28, 28}, {0, 15, 85, 100}, {0, 0, 28, 28}},
    {"empty dest", {0, 0, 20, 28}, {5, 5, 5, 5}, {6, 6, 6, 6}, {6, 6, 6, 6},
     {0, 6, 14, 20}, {0, 6, 22, 28}, {5, 5, 5, 5}, {5, 5, 5, 5}},
    {"negative corners count as none", {0, 0, 10, 10}, {0, 0, 30, 30}, {-3, 2, 0, -1},
     {-6, 4, 0, -2},
     {0, 0, 10, 10}, {0, 2, 10, 10}, {0, 0, 30, 30}, {0, 4, 30, 30}},
};
// clang-format on

TEST(NineGridTest, PiecesFollowTheCutsOfEachAxis) {
    for (const NineGridCase& c : kNineGridCases) {
        const std::vector<tk::NinePiece> pieces =
            tk::nineGrid(c.source, c.dest, c.corner, c.destCorner);
        ASSERT_EQ(pieces.size(), 9u) << c.name;
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                const tk::NinePiece& piece = pieces[row * 3 + col];
                const Rect source{c.sourceX[col], c.sourceY[row], c.sourceX[col + 1],
                                  c.sourceY[row + 1]};
                const Rect dest{c.destX[col], c.destY[row], c.destX[col + 1], c.destY[row + 1]};
                EXPECT_EQ(piece.source, source) << c.name << " piece " << row * 3 + col;
                EXPECT_EQ(piece.dest, dest) << c.name << " piece " << row * 3 + col;
            }
        }
    }
}

TEST_F(CanvasTest, FillCoversExactlyItsRectangleAndClearReplaces) {
    Canvas canvas(surface_);
    canvas.fillRect({10, 5, 20, 9}, 0xFFAA5500);
    EXPECT_EQ(at(15, 7), 0xFFAA5500u);
    EXPECT_EQ(at(10, 5), 0xFFAA5500u);
    EXPECT_EQ(at(19, 8), 0xFFAA5500u);
    expectUntouchedOutside({10, 5, 20, 9});

    // clear does not blend: a half-transparent colour replaces the opaque fill.
    canvas.clear({12, 6, 14, 8}, 0x80FF0000);
    EXPECT_EQ(at(12, 6), 0x80800000u);
    EXPECT_EQ(at(13, 7), 0x80800000u);
    EXPECT_EQ(at(14, 7), 0xFFAA5500u);
    canvas.clear({-5, -5, 200, 200}, 0);
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(63, 47), 0u);
}

TEST_F(CanvasTest, SourceOverIsPremultiplied) {
    Canvas canvas(surface_);
    canvas.clear({0, 0, 3, 1}, 0xFF0000FF);
    canvas.clear({1, 0, 2, 1}, 0);
    canvas.clear({2, 0, 3, 1}, 0x800000FF);
    canvas.fillRect({0, 0, 3, 1}, 0x80FF0000);
    canvas.clear({3, 0, 4, 1}, 0xFFC8C8C8);
    canvas.fillRect({3, 0, 4, 1}, 0x64000000);
    EXPECT_EQ(at(3, 0), 0xFF7A7A7Au);           // 200 * 155 / 255 rounds up to 122
    EXPECT_EQ(at(0, 0), 0xFF80007Fu);           // half red over opaque blue
    EXPECT_EQ(at(1, 0), 0x80800000u);           // over nothing: the colour itself
    EXPECT_EQ(at(2, 0), 0xC0800040u);           // over half blue
    canvas.fillRect({0, 0, 3, 1}, 0x00FFFFFF);  // fully transparent changes nothing
    EXPECT_EQ(at(0, 0), 0xFF80007Fu);
    EXPECT_EQ(at(1, 0), 0x80800000u);
}

TEST_F(CanvasTest, RoundedCornersAreCutAndAntiAliasedSymmetrically) {
    Canvas canvas(surface_);
    canvas.clear({0, 0, 64, 48}, 0);
    const Rect r{10, 10, 50, 40};
    canvas.fillRoundRect(r, 8, 0xFFFF0000);
    EXPECT_EQ(at(30, 25), 0xFFFF0000u);
    for (const auto& [x, y] : {std::pair{30, 10}, {30, 39}, {10, 25}, {49, 25}}) {
        EXPECT_EQ(at(x, y), 0xFFFF0000u) << x << "," << y;  // edge middles are full
    }
    for (const auto& [x, y] : {std::pair{10, 10}, {49, 10}, {10, 39}, {49, 39}, {30, 9}, {9, 25}}) {
        EXPECT_EQ(at(x, y), 0u) << x << "," << y;
    }
    int partial = 0;
    unsigned previous = 0;
    for (int i = 0; i < 8; ++i) {  // along the diagonal into the top-left corner
        const unsigned a = alphaAt(10 + i, 10 + i);
        EXPECT_GE(a, previous);
        previous = a;
        if (a > 0 && a < 255) ++partial;
        EXPECT_EQ(at(10 + i, 10 + i) >> 16 & 0xFF, a);  // red premultiplied by its coverage
    }
    EXPECT_GE(partial, 1);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const std::uint32_t a = alphaAt(10 + x, 10 + y);
            ASSERT_EQ(alphaAt(49 - x, 10 + y), a) << x << "," << y;
            ASSERT_EQ(alphaAt(10 + x, 39 - y), a) << x << "," << y;
            ASSERT_EQ(alphaAt(49 - x, 39 - y), a) << x << "," << y;
            ASSERT_EQ(alphaAt(10 + y, 10 + x), a) << x << "," << y;
        }
    }
}

TEST_F(CanvasTest, StrokeStaysInsideAndLeavesTheInteriorAlone) {
    Canvas canvas(surface_);
    const Rect r{10, 10, 50, 40};
    canvas.strokeRoundRect(r, 0, 3, 0xFF0000FF);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at(30, 10 + i), 0xFF0000FFu) << i;
        EXPECT_EQ(at(30, 39 - i), 0xFF0000FFu) << i;
        EXPECT_EQ(at(10 + i, 25), 0xFF0000FFu) << i;
        EXPECT_EQ(at(49 - i, 25), 0xFF0000FFu) << i;
    }
    EXPECT_EQ(at(10, 10), 0xFF0000FFu);  // square corners are full
    for (int y = 13; y < 37; ++y) {
        for (int x = 13; x < 47; ++x) ASSERT_EQ(at(x, y), kSentinel) << x << "," << y;
    }
    expectUntouchedOutside(r);

    canvas.clear({0, 0, 64, 48}, kSentinel);
    canvas.strokeRoundRect(r, 8, 2, 0xFF0000FF);
    EXPECT_EQ(at(30, 10), 0xFF0000FFu);
    EXPECT_EQ(at(30, 11), 0xFF0000FFu);
    EXPECT_EQ(at(30, 12), kSentinel);
    EXPECT_EQ(at(10, 10), kSentinel);  // outside the arc
    EXPECT_EQ(at(14, 14), kSentinel);  // inside the inner arc
    EXPECT_NE(at(12, 12), kSentinel);  // on the arc
    expectUntouchedOutside(r);
}

TEST_F(CanvasTest, ClipStackNarrowsAndRestores) {
    Canvas canvas(surface_);
    EXPECT_EQ(canvas.clip(), (Rect{0, 0, 64, 48}));
    canvas.pushClip({20, 20, 30, 30});
    canvas.pushClip({25, 0, 100, 100});
    EXPECT_EQ(canvas.clip(), (Rect{25, 20, 30, 30}));
    canvas.fillRoundRect({0, 0, 64, 48}, 4, 0xFF00FF00);
    expectUntouchedOutside({25, 20, 30, 30});
    EXPECT_EQ(at(25, 20), 0xFF00FF00u);
    canvas.popClip();
    EXPECT_EQ(canvas.clip(), (Rect{20, 20, 30, 30}));
    const std::uint8_t full[4] = {255, 255, 255, 255};
    canvas.blendCoverage({18, 18}, full, 2, 2, 2, 0xFFFFFFFF);
    canvas.drawImage(makeImage(1, 1, {0xFFFFFFFF}), {0, 0, 1, 1}, {0, 0, 64, 48}, {});
    expectUntouchedOutside({20, 20, 30, 30});
    EXPECT_EQ(at(20, 20), 0xFFFFFFFFu);
    canvas.popClip();
    canvas.popClip();  // one more than pushed keeps the whole surface
    EXPECT_EQ(canvas.clip(), (Rect{0, 0, 64, 48}));
    canvas.pushClip({70, 70, 80, 80});
    EXPECT_TRUE(canvas.clip().empty());
    canvas.fillRect({0, 0, 64, 48}, 0xFF000000);
    EXPECT_EQ(at(0, 0), kSentinel);
}

TEST_F(CanvasTest, LinesAndCoverageMasks) {
    Canvas canvas(surface_);
    canvas.fillLine(15, 5, 7, 2, 0xFFFFFFFF);
    EXPECT_EQ(at(5, 7), 0xFFFFFFFFu);
    EXPECT_EQ(at(14, 8), 0xFFFFFFFFu);
    expectUntouchedOutside({5, 7, 15, 9});

    canvas.clear({0, 0, 64, 48}, 0xFF000000);
    // Rows of 3 coverage values in a stride of 4; the mask hangs over the left edge by one.
    const std::uint8_t mask[8] = {9, 0, 128, 99, 255, 255, 0, 99};
    canvas.blendCoverage({-1, 10}, mask, 3, 2, 4, 0xFFFFFFFF);
    EXPECT_EQ(at(0, 10), 0xFF000000u);
    EXPECT_EQ(at(1, 10), 0xFF808080u);
    EXPECT_EQ(at(0, 11), 0xFFFFFFFFu);
    EXPECT_EQ(at(1, 11), 0xFF000000u);
    EXPECT_EQ(at(2, 10), 0xFF000000u);  // the stride padding is not drawn
    canvas.clear({0, 0, 64, 48}, 0);
    canvas.blendCoverage({3, 3}, mask + 2, 1, 1, 1, 0x80FF0000);
    EXPECT_EQ(at(3, 3), 0x40400000u);  // half coverage of half red
}

// A 9x9 image whose every pixel is distinct, except the 3x3 centre, which is all one colour.
Image gridImage() {
    Image image{9, 9, std::vector<std::uint32_t>(81)};
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) image.pixels[y * 9 + x] = 0xFF000000 | (x * 20) << 16 | y * 20;
    }
    for (int y = 3; y < 6; ++y) {
        for (int x = 3; x < 6; ++x) image.pixels[y * 9 + x] = 0xFF00FF00;
    }
    return image;
}

TEST_F(CanvasTest, NineGridKeepsCornersExactAndStretchesTheRest) {
    Canvas canvas(surface_);
    const Image image = gridImage();
    const Rect dest = Rect::fromSize(4, 2, 30, 20);
    canvas.drawImage(image, {0, 0, 9, 9}, dest, {3, 3, 3, 3});
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(at(4 + x, 2 + y), image.pixels[y * 9 + x]);
            EXPECT_EQ(at(31 + x, 2 + y), image.pixels[y * 9 + 6 + x]);
            EXPECT_EQ(at(4 + x, 19 + y), image.pixels[(6 + y) * 9 + x]);
            EXPECT_EQ(at(31 + x, 19 + y), image.pixels[(6 + y) * 9 + 6 + x]);
        }
    }
    for (int y = 5; y < 19; ++y) {
        for (int x = 7; x < 31; ++x) ASSERT_EQ(at(x, y), 0xFF00FF00u) << x << "," << y;
    }
    // The left edge stretches only down: each dest column keeps its source column's colours
    // at the ends and moves between them monotonically.
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(at(4 + x, 5), image.pixels[3 * 9 + x]);
        EXPECT_EQ(at(4 + x, 18), image.pixels[5 * 9 + x]);
        for (int y = 6; y < 19; ++y) EXPECT_GE(at(4 + x, y) & 0xFF, at(4 + x, y - 1) & 0xFF);
    }
    expectUntouchedOutside(dest);

    // At 192 DPI the corners take 6 pixels; the outermost corner pixel stays exact.
    canvas.clear({0, 0, 64, 48}, kSentinel);
    canvas.drawImage(image, {0, 0, 9, 9}, dest, {3, 3, 3, 3}, 192);
    EXPECT_EQ(at(4, 2), image.pixels[0]);
    EXPECT_EQ(at(33, 21), image.pixels[80]);
    EXPECT_NE(at(9, 7), 0xFF00FF00u);
    EXPECT_EQ(at(10, 8), 0xFF00FF00u);
    EXPECT_EQ(at(27, 15), 0xFF00FF00u);
    EXPECT_NE(at(28, 16), 0xFF00FF00u);

    // Too small for the corners: they shrink and the centre disappears.
    canvas.clear({0, 0, 64, 48}, kSentinel);
    canvas.drawImage(image, {0, 0, 9, 9}, {0, 0, 4, 4}, {3, 3, 3, 3});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_NE(at(x, y), 0xFF00FF00u) << x << "," << y;
    }
    EXPECT_LT(at(0, 0) >> 16 & 0xFF, 20u);   // from the top-left corner's first columns
    EXPECT_GT(at(3, 3) >> 16 & 0xFF, 140u);  // from the bottom-right corner's last columns
    expectUntouchedOutside({0, 0, 4, 4});
}

TEST_F(CanvasTest, ImageSourcePartMaskAndAlpha) {
    Canvas canvas(surface_);
    // Three sprites side by side; only the middle one is drawn.
    const Image strip =
        makeImage(6, 1, {0xFF111111, 0xFF111111, 0xFFFF00FF, 0xFFFF00FE, 0xFF111111, 0xFF111111});
    canvas.drawImage(strip, {2, 0, 4, 1}, {0, 0, 2, 1}, {}, 96, 0xFFFF00FF);
    EXPECT_EQ(at(0, 0), kSentinel);    // exactly the mask colour: transparent
    EXPECT_EQ(at(1, 0), 0xFFFF00FEu);  // one step away is drawn
    canvas.drawImage(strip, {2, 0, 4, 1}, {0, 1, 2, 2}, {});
    EXPECT_EQ(at(0, 1), 0xFFFF00FFu);  // no mask: drawn as it is

    canvas.clear({0, 0, 64, 48}, 0);
    const Image white = makeImage(1, 1, {0xFFFFFFFF});
    canvas.drawImage(white, {0, 0, 1, 1}, {0, 0, 1, 1}, {}, 96, 0, 128);
    EXPECT_EQ(at(0, 0), 0x80808080u);
    canvas.drawImage(white, {0, 0, 1, 1}, {1, 0, 2, 1}, {}, 96, 0, 0);
    canvas.drawImage(white, {1, 0, 1, 1}, {2, 0, 3, 1}, {});            // empty source
    canvas.drawImage(white, {0, 0, 5, 5}, {3, 0, 4, 1}, {});            // clamped to the image
    canvas.drawImage(Image{2, 2, {}}, {0, 0, 2, 2}, {4, 0, 5, 1}, {});  // no pixels
    EXPECT_EQ(at(1, 0), 0u);
    EXPECT_EQ(at(2, 0), 0u);
    EXPECT_EQ(at(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(at(4, 0), 0u);
}

TEST_F(CanvasTest, ScalingIsBilinearAndSameSizeIsExact) {
    Canvas canvas(surface_);
    const Image image = makeImage(2, 2, {0xFF000000, 0xFFFFFFFF, 0x80800000, 0x00000000});
    canvas.clear({0, 0, 64, 48}, 0);
    canvas.drawImage(image, {0, 0, 2, 2}, {0, 0, 2, 2}, {});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(at(i % 2, i / 2), image.pixels[i]) << i;

    canvas.drawImage(image, {0, 0, 2, 2}, {10, 10, 14, 14}, {});
    EXPECT_EQ(at(10, 10), image.pixels[0]);
    EXPECT_EQ(at(13, 10), image.pixels[1]);
    EXPECT_EQ(at(10, 13), image.pixels[2]);
    EXPECT_EQ(at(13, 13), image.pixels[3]);
    // The top row runs from black to white through two grey steps.
    const std::uint32_t g1 = at(11, 10) & 0xFF, g2 = at(12, 10) & 0xFF;
    EXPECT_GT(g1, 40u);
    EXPECT_LT(g1, 90u);
    EXPECT_GT(g2, 165u);
    EXPECT_LT(g2, 215u);
    EXPECT_EQ(alphaAt(11, 10), 255u);
    // Interpolated pixels stay premultiplied: no channel above alpha.
    for (int y = 10; y < 14; ++y) {
        for (int x = 10; x < 14; ++x) {
            const std::uint32_t p = at(x, y), a = p >> 24;
            EXPECT_LE(p >> 16 & 0xFF, a);
            EXPECT_LE(p >> 8 & 0xFF, a);
            EXPECT_LE(p & 0xFF, a);
        }
    }
    EXPECT_GT(alphaAt(11, 12), alphaAt(12, 12));  // alpha fades towards the empty pixel

    // Halving a 4x1 strip averages neighbours.
    canvas.clear({0, 0, 64, 48}, 0);
    canvas.drawImage(makeImage(4, 1, {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}),
                     {0, 0, 4, 1}, {0, 0, 2, 1}, {});
    EXPECT_NEAR(static_cast<int>(at(0, 0) & 0xFF), 128, 1);
    EXPECT_NEAR(static_cast<int>(at(1, 0) & 0xFF), 128, 1);
}

}  // namespace
