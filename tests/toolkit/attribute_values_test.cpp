// Layout attribute values: every form a layout writes, and the malformed ones that must give
// nothing rather than a guess.
#include <gtest/gtest.h>

#include <optional>

#include "toolkit/attribute_values.h"
#include "toolkit/text_renderer.h"

namespace {

using tk::Argb;

TEST(AttributeValues, Colors) {
    const struct {
        const wchar_t* text;
        std::optional<Argb> color;
    } cases[] = {
        {L"#FF268FD6", 0xFF268FD6u},    {L"#80268fd6", 0x80268FD6u},
        {L"#268FD6", 0xFF268FD6u},      {L"#000000", 0xFF000000u},
        {L"#00000000", 0x00000000u},    {L"0xffff00ff", 0xFFFF00FFu},
        {L"0XFF00FF", 0x00FF00FFu},     {L"0x1", 0x1u},
        {L"  #666666 ", 0xFF666666u},   {L"", std::nullopt},
        {L"#", std::nullopt},           {L"#12345", std::nullopt},
        {L"#1234567", std::nullopt},    {L"#123456789", std::nullopt},
        {L"#GG0000", std::nullopt},     {L"0x", std::nullopt},
        {L"0x123456789", std::nullopt}, {L"0x12 34", std::nullopt},
        {L"268FD6", std::nullopt},      {L"red", std::nullopt},
        {L"# 268FD6", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk::parseColor(c.text), c.color) << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(AttributeValues, BooleansAndIntegers) {
    const struct {
        const wchar_t* text;
        std::optional<bool> value;
    } booleans[] = {
        {L"true", true},        {L"false", false},        {L"TRUE", true},
        {L" False ", false},    {L"", std::nullopt},      {L"1", std::nullopt},
        {L"yes", std::nullopt}, {L"truex", std::nullopt}, {L"tru", std::nullopt},
    };
    for (const auto& c : booleans) EXPECT_EQ(tk::parseBool(c.text), c.value) << c.value.has_value();

    const struct {
        const wchar_t* text;
        std::optional<int> value;
    } integers[] = {
        {L"0", 0},
        {L"42", 42},
        {L"-7", -7},
        {L"+7", 7},
        {L" 12 ", 12},
        {L"007", 7},
        {L"2147483647", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"2147483648", std::nullopt},
        {L"-2147483649", std::nullopt},
        {L"99999999999999999999", std::nullopt},
        {L"", std::nullopt},
        {L"-", std::nullopt},
        {L"1.5", std::nullopt},
        {L"12px", std::nullopt},
        {L"1 2", std::nullopt},
        {L"--1", std::nullopt},
        {L"0x10", std::nullopt},
    };
    for (const auto& c : integers) {
        EXPECT_EQ(tk::parseInt(c.text), c.value) << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(AttributeValues, RectsInsetsAndSizes) {
    const struct {
        const wchar_t* text;
        std::optional<tk::Rect> rect;
    } rects[] = {
        {L"0,0,220,180", tk::Rect{0, 0, 220, 180}},
        {L" 1 , 2 ,3, 4 ", tk::Rect{1, 2, 3, 4}},
        {L"-5,-6,7,8", tk::Rect{-5, -6, 7, 8}},
        {L"1,2,3", std::nullopt},
        {L"1,2,3,4,5", std::nullopt},
        {L"1,2,,4", std::nullopt},
        {L"1,2,3,4,", std::nullopt},
        {L"1;2;3;4", std::nullopt},
        {L"a,b,c,d", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& c : rects) {
        EXPECT_EQ(tk::parseRect(c.text), c.rect) << testing::PrintToString(std::wstring(c.text));
        const std::optional<tk::Insets> insets = tk::parseInsets(c.text);
        ASSERT_EQ(insets.has_value(), c.rect.has_value());
        if (insets) {
            EXPECT_EQ(*insets,
                      (tk::Insets{c.rect->left, c.rect->top, c.rect->right, c.rect->bottom}));
        }
    }

    const struct {
        const wchar_t* text;
        std::optional<tk::Size> size;
    } sizes[] = {
        {L"640,400", tk::Size{640, 400}}, {L" 48 , 48 ", tk::Size{48, 48}}, {L"640", std::nullopt},
        {L"640,400,1", std::nullopt},     {L"640,", std::nullopt},          {L",400", std::nullopt},
    };
    for (const auto& c : sizes) {
        EXPECT_EQ(tk::parseSize(c.text), c.size) << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(AttributeValues, AlignmentWords) {
    using namespace tk;
    const struct {
        const wchar_t* text;
        std::optional<unsigned> horizontal;
        std::optional<unsigned> vertical;
    } words[] = {
        {L"left", kAlignLeft, std::nullopt},         {L"center", kAlignCenter, kAlignVCenter},
        {L"Right", kAlignRight, std::nullopt},       {L"top", std::nullopt, kAlignTop},
        {L" vcenter ", std::nullopt, kAlignVCenter}, {L"bottom", std::nullopt, kAlignBottom},
        {L"middle", std::nullopt, std::nullopt},     {L"", std::nullopt, std::nullopt},
        {L"left,top", std::nullopt, std::nullopt},
    };
    for (const auto& c : words) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(parseHorizontalAlign(c.text), c.horizontal);
        EXPECT_EQ(parseVerticalAlign(c.text), c.vertical);
    }

    const unsigned base = kAlignLeft | kAlignVCenter;
    const struct {
        const wchar_t* text;
        std::optional<unsigned> align;
    } combined[] = {
        {L"center", kAlignCenter | kAlignVCenter},
        {L"right", kAlignRight | kAlignVCenter},
        {L"bottom", kAlignLeft | kAlignBottom},
        {L"right,bottom", kAlignRight | kAlignBottom},
        {L"center vcenter", kAlignCenter | kAlignVCenter},
        {L"right , top", kAlignRight | kAlignTop},
        {L"right,left", kAlignLeft | kAlignVCenter},  // the later word of a direction wins
        {L"right,diagonal", std::nullopt},
        {L"", std::nullopt},
        {L" , ", std::nullopt},
    };
    for (const auto& c : combined) {
        EXPECT_EQ(parseTextAlign(c.text, base), c.align)
            << testing::PrintToString(std::wstring(c.text));
    }
    EXPECT_EQ(parseTextAlign(L"top", kAlignRight | kAlignBottom), kAlignRight | kAlignTop);
}

}  // namespace
