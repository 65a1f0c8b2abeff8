#include "toolkit/font_table.h"

#include <algorithm>
#include <cwchar>

#include "toolkit/geometry.h"
#include "utility/text.h"

namespace tk {
namespace {

struct SharedFonts {
    std::map<int, FontSpec> fonts;
    std::optional<FontSpec> defaultFont;
};

SharedFonts& sharedFonts() {
    static SharedFonts fonts;
    return fonts;
}

}  // namespace

LOGFONTW logFontFor(const FontSpec& spec, int dpi) {
    LOGFONTW font{};
    font.lfHeight = -scaleLength(spec.size, dpi);
    font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = spec.italic ? TRUE : FALSE;
    font.lfUnderline = spec.underline ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::size_t length = std::min<std::size_t>(spec.face.size(), LF_FACESIZE - 1);
    std::wmemcpy(font.lfFaceName, spec.face.data(), length);
    return font;
}

HFONT FontCache::get(const FontSpec& spec, int dpi) {
    Key key{utility::lowerCased(spec.face), spec.size, dpi, spec.bold, spec.underline, spec.italic};
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second.get();
    const LOGFONTW logFont = logFontFor(spec, dpi);
    HFONT font = CreateFontIndirectW(&logFont);
    if (!font) return nullptr;
    return fonts_.emplace(std::move(key), UniqueFont(font)).first->second.get();
}

FontSpec FontTable::builtInDefault() {
    return FontSpec{L"Segoe UI", 12};
}

void FontTable::setDefaultFont(const FontSpec& spec, bool shared) {
    if (shared) {
        sharedFonts().defaultFont = spec;
        ownDefault_.reset();
    } else {
        ownDefault_ = spec;
    }
}

void FontTable::addFont(int id, const FontSpec& spec, bool shared) {
    if (shared) {
        sharedFonts().fonts[id] = spec;
        own_.erase(id);
    } else {
        own_[id] = spec;
    }
}

bool FontTable::hasFont(int id) const {
    return own_.count(id) != 0 || sharedFonts().fonts.count(id) != 0;
}

FontSpec FontTable::font(int id) const {
    if (auto it = own_.find(id); it != own_.end()) return it->second;
    const SharedFonts& shared = sharedFonts();
    if (auto it = shared.fonts.find(id); it != shared.fonts.end()) return it->second;
    return defaultFont();
}

FontSpec FontTable::defaultFont() const {
    if (ownDefault_) return *ownDefault_;
    if (sharedFonts().defaultFont) return *sharedFonts().defaultFont;
    return builtInDefault();
}

void FontTable::clearShared() {
    sharedFonts() = SharedFonts{};
}

HFONT FontTable::handle(int id, int dpi) {
    return cache_.get(font(id), dpi);
}

}  // namespace tk
