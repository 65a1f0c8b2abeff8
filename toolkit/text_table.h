// The text table: every visible text by key, in the run's language, loaded at start-up from the
// tab-separated table "multi_language.tsv" (one column per language) and extended by look-ups of
// keys it lacks. One table per process (textTable()), created on first use and kept until the
// process ends. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tk {

class SkinStore;

class TextTable {
public:
    static constexpr const wchar_t* kDefaultLanguage = L"en_US";
    static constexpr const wchar_t* kFileName = L"multi_language.tsv";
    // Limits of the table's sources: the disk file's size, the archive entry's minimum.
    static constexpr std::uint64_t kMaxFileSize = 4u * 1024 * 1024;
    static constexpr std::size_t kMinArchiveSize = 11;
    // A cell longer than this (in UTF-16 units) reads as an empty text.
    static constexpr std::size_t kMaxFieldLength = 512;
    // Look-up keys are cut to this many characters.
    static constexpr std::size_t kMaxKeyLength = 127;

    // The locale name whose column is loaded; fallback is used when current is empty.
    void setLanguage(std::wstring current, std::wstring fallback = kDefaultLanguage);
    // The language columns are matched against: the current one, or the fallback.
    const std::wstring& language() const;

    // Reads the table's rows into the map (adding to and replacing what it holds). False, with
    // nothing changed, when the two header rows are not there.
    bool loadFromBytes(std::string_view bytes);
    // Loads the table of the process: "multi_language.tsv" in the instance folder (given with a
    // trailing backslash) when that exists and is a table (not empty, at most kMaxFileSize,
    // readable, with both header rows); otherwise, with a log line for a file refused, the skin
    // archive's entry of that name. False when nothing was loaded.
    bool loadForProcess(const std::wstring& instanceFolder, const SkinStore& store);

    std::optional<std::wstring> find(const std::wstring& key) const;
    // Inserts or replaces.
    void set(const std::wstring& key, const std::wstring& text);
    std::size_t size() const { return texts_.size(); }
    void clear() { texts_.clear(); }

    // The key's text; a key the table lacks is added as its own text and returned.
    std::wstring lookup(std::wstring key);
    // A layout's text or tooltip value: "@key" (longer than one character) gives the key's
    // text; a missing key, or any other value, leaves the value as written. Adds nothing.
    std::wstring resolveLayoutText(const std::wstring& value) const;

private:
    std::wstring current_;
    std::wstring fallback_ = kDefaultLanguage;
    std::map<std::wstring, std::wstring> texts_;
};

// The table of the process, created on first use.
TextTable& textTable();

// The text of the key (narrow ASCII, at most 127 characters used) from the process's table;
// never fails: a key the table lacks becomes its own text from then on.
std::wstring lookupText(const char* key);
// resolveLayoutText on the process's table.
std::wstring resolveLayoutText(const std::wstring& value);

}  // namespace tk
