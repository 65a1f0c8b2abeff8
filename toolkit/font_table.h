// Fonts by id, as layouts and windows name them. Every window's paint manager owns a FontTable;
// behind all of them stands one process-wide set of shared fonts, so a font added as shared is
// seen by every window. Lookup of an id: the window's own font, then the shared one, then the
// default (the window's own default, the shared default, the built-in one, in that order).
// Sizes are 96-DPI pixels of em height; a GDI font is made per (spec, DPI) on first use and is
// owned by the table that handed it out, so it lives as long as that table.
// UI thread only (the shared fonts have no lock).
#pragma once

#include <windows.h>

#include <compare>
#include <map>
#include <optional>
#include <string>

#include "toolkit/text_renderer.h"

namespace tk {

// Owns one GDI font and deletes it once.
class UniqueFont {
public:
    UniqueFont() = default;
    explicit UniqueFont(HFONT font) : font_(font) {}
    ~UniqueFont() { reset(); }
    UniqueFont(UniqueFont&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
    UniqueFont& operator=(UniqueFont&& other) noexcept {
        if (this != &other) {
            reset();
            font_ = other.font_;
            other.font_ = nullptr;
        }
        return *this;
    }
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;

    HFONT get() const { return font_; }
    void reset() {
        if (font_) DeleteObject(font_);
        font_ = nullptr;
    }

private:
    HFONT font_ = nullptr;
};

// Owns a memory DC compatible with the screen, for measuring and for drawing into bitmaps. The
// user selects objects in and must select them out again before they are destroyed.
class MemoryDC {
public:
    MemoryDC() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a DC for a scope and selects the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The LOGFONT of a spec at a DPI: lfHeight = -scaleLength(size, dpi), grey-scale anti-aliased
// (no ClearType, so drawn text is a plain coverage mask).
LOGFONTW logFontFor(const FontSpec& spec, int dpi);

// GDI fonts made from specs, one per (spec, DPI), kept until the cache is destroyed.
class FontCache {
public:
    // The GDI font of a FontSpec at the DPI; null when GDI cannot make it.
    HFONT get(const FontSpec& spec, int dpi);
    std::size_t size() const { return fonts_.size(); }

private:
    struct Key {
        std::wstring face;  // lower-cased: GDI matches faces without regard to case
        int size;
        int dpi;
        bool bold;
        bool underline;
        bool italic;
        auto operator<=>(const Key&) const = default;
    };
    std::map<Key, UniqueFont> fonts_;
};

class FontTable {
public:
    // The default when neither the window nor the shared fonts have set one.
    static FontSpec builtInDefault();

    // Sets the window's default, or with shared the default of every window (replacing this
    // window's own default so that the latest call wins here too).
    void setDefaultFont(const FontSpec& spec, bool shared);
    // Adds or replaces font id for this window, or with shared for every window (dropping this
    // window's own font of that id).
    void addFont(int id, const FontSpec& spec, bool shared);

    FontSpec font(int id) const;
    // Whether the id is this window's own font or a shared one (font falls back otherwise).
    bool hasFont(int id) const;
    FontSpec defaultFont() const;
    // The GDI font of id at the DPI, owned by this table; null when GDI cannot make it.
    HFONT handle(int id, int dpi);
    // Forgets every shared font and the shared default, so that windows made afterwards start
    // from their declared fonts (a tool that renders many windows in one process).
    static void clearShared();

private:
    std::map<int, FontSpec> own_;
    std::optional<FontSpec> ownDefault_;
    FontCache cache_;
};

}  // namespace tk
