// Image reference strings as the windows write them into controls, and the names and geometry
// of the double-size variants.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "toolkit/image_string.h"

namespace tk {

void PrintTo(const Rect& r, std::ostream* out) {
    *out << r.left << "," << r.top << "," << r.right << "," << r.bottom;
}

void PrintTo(const ImageRef& image, std::ostream* out) {
    *out << "file " << testing::PrintToString(image.file) << " source ";
    if (image.source) PrintTo(*image.source, out);
    *out << " corner " << image.corner.left << "," << image.corner.top << "," << image.corner.right
         << "," << image.corner.bottom << " mask " << (image.mask ? std::int64_t(*image.mask) : -1)
         << " dest ";
    if (image.dest) PrintTo(*image.dest, out);
}

}  // namespace tk

namespace {

using tk::ImageRef;
using tk::Insets;
using tk::Rect;

ImageRef ref(std::wstring file, std::optional<Rect> source = std::nullopt, Insets corner = {},
             std::optional<tk::Argb> mask = std::nullopt, std::optional<Rect> dest = std::nullopt) {
    return {std::move(file), source, corner, mask, dest};
}

TEST(ImageString, PlainNamesAndTheAttributeFormInAnyOrder) {
    const struct {
        const wchar_t* text;
        std::optional<ImageRef> image;
    } cases[] = {
        {L"common/msg_noice48.png", ref(L"common/msg_noice48.png")},
        {L"  btn.png  ", ref(L"btn.png")},
        {L"file.png", ref(L"file.png")},
        {L"a=b.png", ref(L"a=b.png")},  // no quoted value: a file name
        {L"file='common/edit.png' source='0,0,100,30' corner='4,4,4,4' mask='0xffff00ff' "
         L"dest='1,2,3,4'",
         ref(L"common/edit.png", Rect{0, 0, 100, 30}, Insets{4, 4, 4, 4}, 0xFFFF00FFu,
             Rect{1, 2, 3, 4})},
        {L"dest='1,2,3,4' mask='#FF00FF' corner='1,2,3,4' source='5,6,7,8' file='x.png'",
         ref(L"x.png", Rect{5, 6, 7, 8}, Insets{1, 2, 3, 4}, 0xFFFF00FFu, Rect{1, 2, 3, 4})},
        {L"file='x.png'", ref(L"x.png")},
        {L"  file = \"x y.png\"   source='0,0,10,10'  ", ref(L"x y.png", Rect{0, 0, 10, 10})},
        {L"FILE='x.png' Source='0,0,1,1'", ref(L"x.png", Rect{0, 0, 1, 1})},
        {L"file='a.png' file='b.png'", ref(L"b.png")},
        {L"file='x.png' fade='128' xtiled='true'", ref(L"x.png")},  // other attributes ignored
        {L"file='x.png'source='0,0,1,1'", ref(L"x.png", Rect{0, 0, 1, 1})},
        // Values that do not read count as absent.
        {L"file='x.png' source='0,0,1' corner='a' mask='pink' dest=''", ref(L"x.png")},
        {L"file='common\\close.png'", ref(L"common\\close.png")},
        // Broken forms.
        {L"", std::nullopt},
        {L"   ", std::nullopt},
        {L"file=''", std::nullopt},
        {L"source='0,0,1,1'", std::nullopt},
        {L"file='x.png", std::nullopt},
        {L"file='x.png\"", std::nullopt},
        {L"file='x.png' source=0,0,1,1", std::nullopt},
        {L"file='x.png' source", std::nullopt},
        {L"file='x.png' junk", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk::parseImageString(c.text), c.image)
            << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(ImageString, EnlargedVariantsLiveInAParallelFolderWithDoubledGeometry) {
    const struct {
        const wchar_t* file;
        const wchar_t* enlarged;
    } names[] = {
        {L"common/x.png", L"commonEnalarge/x.png"},
        {L"common\\x.png", L"commonEnalarge\\x.png"},
        {L"common/sub/x.png", L"commonEnalarge/sub/x.png"},
        {L"common\\sub/x.png", L"commonEnalarge\\sub/x.png"},
        {L"x.png", L"Enalarge/x.png"},
        {L"/x.png", L"Enalarge/x.png"},
        {L"", L""},
        {L"C:\\skin\\x.png", L""},
    };
    for (const auto& c : names) {
        EXPECT_EQ(tk::enlargedImageName(c.file), c.enlarged)
            << testing::PrintToString(std::wstring(c.file));
    }

    const ImageRef image = ref(L"common/edit.png", Rect{0, 30, 100, 60}, Insets{4, 5, 6, 7},
                               0xFFFF00FFu, Rect{1, 2, 3, 4});
    EXPECT_EQ(tk::enlargedImage(image), ref(L"commonEnalarge/edit.png", Rect{0, 60, 200, 120},
                                            Insets{8, 10, 12, 14}, 0xFFFF00FFu, Rect{1, 2, 3, 4}));
    EXPECT_EQ(tk::enlargedImage(ref(L"x.png")), ref(L"Enalarge/x.png"));
    EXPECT_EQ(tk::enlargedImage(ref(L"D:\\x.png")), std::nullopt);
}

}  // namespace
