#include "toolkit/markup.h"

#include <gtest/gtest.h>

#include <ostream>

#include "toolkit/attribute_values.h"
#include "utility/text.h"

namespace tk {

void PrintTo(const TextRun& run, std::ostream* out) {
    *out << '"' << utility::wideToUtf8(run.text) << '"' << (run.style.underline ? " u" : "");
    if (run.style.underlineColour) *out << std::hex << " u#" << *run.style.underlineColour;
    if (run.style.colour) *out << std::hex << " c#" << *run.style.colour;
}

namespace {

RunStyle plain() {
    return {};
}
RunStyle under() {
    return {true, std::nullopt, std::nullopt};
}
RunStyle underIn(Argb c) {
    return {true, c, std::nullopt};
}
RunStyle colour(Argb c) {
    return {false, std::nullopt, c};
}
RunStyle underColour(Argb c) {
    return {true, std::nullopt, c};
}

struct Case {
    std::wstring markup;
    std::vector<TextRun> runs;
};

class ParseMarkup : public testing::TestWithParam<Case> {};

TEST_P(ParseMarkup, GivesTheRuns) {
    EXPECT_EQ(parseMarkup(GetParam().markup), GetParam().runs)
        << utility::wideToUtf8(GetParam().markup);
}

INSTANTIATE_TEST_SUITE_P(
    TagForms, ParseMarkup,
    testing::Values(Case{L"", {}}, Case{L"plain text", {{L"plain text", plain()}}},
                    Case{L"<u>link</u>", {{L"link", under()}}},
                    Case{L"a<u>b</u>c", {{L"a", plain()}, {L"b", under()}, {L"c", plain()}}},
                    Case{L"<u #666666>x</u>", {{L"x", underIn(0xFF666666)}}},
                    Case{L"<u#666666>x</u>", {{L"x", underIn(0xFF666666)}}},
                    Case{L"M (<c #268fd6>42%</c>)",
                         {{L"M (", plain()}, {L"42%", colour(0xFF268FD6)}, {L")", plain()}}},
                    Case{L"<c #80268FD6>x</c>", {{L"x", colour(0x80268FD6)}}},
                    Case{L"<C #268FD6>x</C><U>y</U>",
                         {{L"x", colour(0xFF268FD6)}, {L"y", under()}}},
                    Case{L"<u >x</u >", {{L"x", under()}}},
                    Case{L"<u>a</u><u>b</u>", {{L"ab", under()}}}, Case{L"<c #268fd6></c>", {}}));

INSTANTIATE_TEST_SUITE_P(LineBreaks, ParseMarkup,
                         testing::Values(Case{L"a<br>b", {{L"a\nb", plain()}}},
                                         Case{L"a<br/>b<BR>", {{L"a\nb\n", plain()}}},
                                         Case{L"a\r\nb\rc\n", {{L"a\nb\nc\n", plain()}}},
                                         Case{L"\r<br>", {{L"\n\n", plain()}}},
                                         Case{L"<u>a<br>b</u>", {{L"a\nb", under()}}}));

INSTANTIATE_TEST_SUITE_P(
    Nesting, ParseMarkup,
    testing::Values(
        Case{L"<c #ff0000><u>x</u></c>", {{L"x", underColour(0xFFFF0000)}}},
        Case{L"<u><c #ff0000>a</c>b</u>", {{L"a", underColour(0xFFFF0000)}, {L"b", under()}}},
        Case{L"<c #ff0000>a<c #00ff00>b</c>c</c>",
             {{L"a", colour(0xFFFF0000)}, {L"b", colour(0xFF00FF00)}, {L"c", colour(0xFFFF0000)}}},
        Case{L"<u #111111>a<u>b</u>c</u>",
             {{L"a", underIn(0xFF111111)}, {L"b", under()}, {L"c", underIn(0xFF111111)}}},
        // Closing a tag that is not the innermost ends just that tag.
        Case{L"<u>a<c #ff0000>b</u>c</c>",
             {{L"a", under()}, {L"b", underColour(0xFFFF0000)}, {L"c", colour(0xFFFF0000)}}},
        Case{L"<u>open to the end", {{L"open to the end", under()}}}));

INSTANTIATE_TEST_SUITE_P(
    MalformedStaysLiteral, ParseMarkup,
    testing::Values(Case{L"<b>bold</b>", {{L"<b>bold</b>", plain()}}},
                    Case{L"<u", {{L"<u", plain()}}}, Case{L"a < b > c", {{L"a < b > c", plain()}}},
                    Case{L"<c>x</c>", {{L"<c>x", plain()}}},
                    Case{L"<c #12345>x</c>", {{L"<c #12345>x", plain()}}},
                    Case{L"<c #GG0000>x", {{L"<c #GG0000>x", plain()}}},
                    Case{L"<c 268fd6>x", {{L"<c 268fd6>x", plain()}}},
                    Case{L"<u #6666666>x", {{L"<u #6666666>x", plain()}}},
                    Case{L"<<u>x</u>", {{L"<", plain()}, {L"x", under()}}},
                    Case{L"<u <u>x</u>", {{L"<u ", plain()}, {L"x", under()}}},
                    Case{L"<br x>", {{L"<br x>", plain()}}}, Case{L"<ux>y", {{L"<ux>y", plain()}}},
                    Case{L"<>", {{L"<>", plain()}}}, Case{L"</>", {{L"</>", plain()}}},
                    Case{L"</br>", {{L"</br>", plain()}}},
                    Case{L"<u>a</u #fff>", {{L"a</u #fff>", under()}}},
                    Case{L"<", {{L"<", plain()}}}, Case{L">", {{L">", plain()}}}));

INSTANTIATE_TEST_SUITE_P(UnbalancedClosingIgnored, ParseMarkup,
                         testing::Values(Case{L"</u>text", {{L"text", plain()}}},
                                         Case{L"<u>a</c>b</u>", {{L"ab", under()}}},
                                         Case{L"a</u></u></c>b", {{L"ab", plain()}}}));

struct PlainCase {
    std::wstring markup;
    std::wstring text;
};

class PlainText : public testing::TestWithParam<PlainCase> {};

TEST_P(PlainText, DropsOnlyTheTags) {
    EXPECT_EQ(plainText(GetParam().markup), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PlainText,
    testing::Values(PlainCase{L"", L""}, PlainCase{L"<u>%s</u>", L"%s"},
                    PlainCase{L"M (<c #268fd6>42%</c>)", L"M (42%)"},
                    PlainCase{L"a<br>b\r\nc", L"a\nb\nc"},
                    PlainCase{L"<b>x</b> <c>y</c>", L"<b>x</b> <c>y"},
                    PlainCase{L"<u #666666>Terms</u> and <u>Privacy</u>", L"Terms and Privacy"},
                    PlainCase{L"\u0645\u0631\u062D\u0628\u0627 <u>\u0E01\u0E35\u0E48</u>",
                              L"\u0645\u0631\u062D\u0628\u0627 \u0E01\u0E35\u0E48"}));

struct ColourCase {
    std::wstring text;
    std::optional<Argb> colour;
};

class ParseColour : public testing::TestWithParam<ColourCase> {};

// Markup colours are read by the layouts' one colour parser.
TEST_P(ParseColour, ReadsTheFormsOfLayoutColours) {
    EXPECT_EQ(parseColor(GetParam().text), GetParam().colour);
    const std::wstring markup = L"<c " + GetParam().text + L">x</c>";
    const auto runs = parseMarkup(markup);
    if (GetParam().colour && GetParam().text.find(L'>') == std::wstring::npos) {
        ASSERT_EQ(runs.size(), 1u) << testing::PrintToString(markup);
        EXPECT_EQ(runs[0].style.colour, GetParam().colour);
    } else if (!GetParam().colour) {
        for (const TextRun& run : runs) EXPECT_FALSE(run.style.colour) << "a malformed colour";
        EXPECT_TRUE(plainText(markup).starts_with(L"<c")) << "the tag stays text";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseColour,
    testing::Values(ColourCase{L"#268fd6", 0xFF268FD6u}, ColourCase{L"#268FD6", 0xFF268FD6u},
                    ColourCase{L"#00000000", 0x00000000u}, ColourCase{L"#80ffffff", 0x80FFFFFFu},
                    ColourCase{L"#fff", std::nullopt}, ColourCase{L"268fd6", std::nullopt},
                    ColourCase{L"#268fd6 ", 0xFF268FD6u}, ColourCase{L"0x80268fd6", 0x80268FD6u},
                    ColourCase{L"#", std::nullopt}, ColourCase{L"", std::nullopt},
                    ColourCase{L"#0000000g", std::nullopt}, ColourCase{L"#-12345", std::nullopt}));

TEST(PlainRuns, NormaliseBreaksAndKeepTags) {
    EXPECT_TRUE(plainRuns(L"").empty());
    EXPECT_EQ(plainRuns(L"<u>a</u>\r\nb\r"), (std::vector<TextRun>{{L"<u>a</u>\nb\n", plain()}}));
}

}  // namespace
}  // namespace tk
