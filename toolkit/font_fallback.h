// Face fallback: GDI draws a character the selected face lacks as a box (Wine has no font
// linking at all), so a text is split into runs that each name a face having glyphs for all
// their characters. The requested face is kept wherever it has the glyphs; elsewhere the first
// installed face of a per-script list (Windows faces first, then the free faces Linux machines
// carry) that has them is taken. A face name that is not installed silently maps to some other
// face, so every face is checked by the name GDI reports for it and by its glyph coverage.
// Combining marks stay in the run of their base character.
// What was learnt about a face is kept for the process. UI thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tk {

// Which of the regional glyph forms Han characters take.
enum class HanForm { Unspecified, Simplified, Traditional, Japanese, Korean };

// The Han form of a locale name such as "zh_CN", "zh-TW", "ja_JP" or "ko"; Unspecified for
// other languages.
HanForm hanFormForLocale(std::wstring_view locale);

// True for the locales of languages written right to left ("ar_IL", "fa_IR", "he", "ur-PK").
bool isRightToLeftLocale(std::wstring_view locale);

// The process's text language (a locale name), used for texts whose format names none.
void setTextLanguage(std::wstring_view locale);
const std::wstring& textLanguage();

struct FaceRun {
    int start = 0;  // UTF-16 offset into the text
    int length = 0;
    std::wstring face;     // as GDI reports it for the face that draws the run
    bool missing = false;  // some character has a glyph in no face; it draws in the requested face
    friend bool operator==(const FaceRun&, const FaceRun&) = default;
};

// The runs of text, in order and covering all of it (none for an empty text). With han
// Unspecified, Han characters take the Japanese forms when the text has kana, the Korean ones
// when it has Hangul, the Simplified ones otherwise.
std::vector<FaceRun> splitByFace(std::wstring_view text, const std::wstring& face,
                                 HanForm han = HanForm::Unspecified);

// The face GDI selects for the name (what GetTextFaceW reports).
std::wstring resolvedFace(const std::wstring& face);
// True when GDI selects the named face itself rather than silently another one.
bool faceInstalled(const std::wstring& face);
// True when the face has a glyph for each character of text (zero-width controls aside).
bool faceHasGlyphs(const std::wstring& face, std::wstring_view text);

}  // namespace tk
