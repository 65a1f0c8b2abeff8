#include "toolkit/text_table.h"

#include <vector>

#include "toolkit/skin_store.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/text.h"

namespace tk {
namespace {

using Row = std::vector<std::wstring>;

// The table is typed by hand: a text that should break its line says so with the two-character
// escapes "\r\n" or "\n", which become one line break.
std::wstring withLineBreaks(std::wstring text) {
    for (const std::wstring_view escape : {L"\\r\\n", L"\\n"}) {
        for (std::size_t at = text.find(escape); at != std::wstring::npos;
             at = text.find(escape, at + 1))
            text.replace(at, escape.size(), L"\n");
    }
    return text;
}

std::wstring fieldText(std::string_view field) {
    std::wstring text = utility::toWide(field.data(), static_cast<int>(field.size()), CP_UTF8);
    if (text.size() > TextTable::kMaxFieldLength) text.clear();
    return withLineBreaks(std::move(text));
}

// Rows of the table: blank runs (TAB, CR, LF) before a row are skipped, a row ends at the next
// CR or LF, and its fields are split at every TAB.
class RowReader {
public:
    explicit RowReader(std::string_view data) : data_(data) {}

    bool next(Row& row) {
        while (position_ < data_.size() && isBlank(data_[position_])) ++position_;
        if (position_ >= data_.size()) return false;
        std::size_t end = data_.find_first_of("\r\n", position_);
        if (end == std::string_view::npos) end = data_.size();
        split(data_.substr(position_, end - position_), row);
        position_ = end;
        return true;
    }

private:
    static bool isBlank(char c) { return c == '\t' || c == '\r' || c == '\n'; }

    static void split(std::string_view line, Row& row) {
        row.clear();
        for (;;) {
            const std::size_t tab = line.find('\t');
            row.push_back(fieldText(line.substr(0, tab)));
            if (tab == std::string_view::npos) return;
            line.remove_prefix(tab + 1);
        }
    }

    std::string_view data_;
    std::size_t position_ = 0;
};

std::size_t languageColumn(const Row& codes, const std::wstring& language) {
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == language) return i;
    }
    return 2;
}

}  // namespace

void TextTable::setLanguage(std::wstring current, std::wstring fallback) {
    current_ = std::move(current);
    fallback_ = std::move(fallback);
}

const std::wstring& TextTable::language() const {
    return current_.empty() ? fallback_ : current_;
}

bool TextTable::loadFromBytes(std::string_view bytes) {
    RowReader reader(bytes);
    Row codes;
    Row names;
    if (!reader.next(codes) || codes.size() < 2) return false;
    if (!reader.next(names) || names.size() < 2 || names[1] != L"language_name") return false;
    const std::size_t column = languageColumn(codes, language());
    Row row;
    while (reader.next(row)) {
        if (row.size() > column && row.size() > 1) texts_[row[1]] = row[column];
    }
    return true;
}

bool TextTable::loadForProcess(const std::wstring& instanceFolder, const SkinStore& store) {
    // The executable usually sits in the Downloads folder: a table there that cannot be used
    // must not leave every text showing its key.
    const std::wstring path = instanceFolder + kFileName;
    if (utility::ufile::exists(path)) {
        const std::optional<Bytes> file = readDiskFile(path, kMaxFileSize);
        if (file && loadFromBytes({reinterpret_cast<const char*>(file->data()), file->size()}))
            return true;
        LOG_AT("tk::TextTable::loadForProcess",
               L"text table [ %s ] refused, the skin archive's is used.", path.c_str());
    }
    const Bytes* entry = store.archiveEntry(kFileName);
    if (!entry || entry->size() < kMinArchiveSize) {
        LOG_AT("tk::TextTable::loadForProcess", L"no text table in the skin archive.");
        return false;
    }
    return loadFromBytes({reinterpret_cast<const char*>(entry->data()), entry->size()});
}

std::optional<std::wstring> TextTable::find(const std::wstring& key) const {
    const auto found = texts_.find(key);
    if (found == texts_.end()) return std::nullopt;
    return found->second;
}

void TextTable::set(const std::wstring& key, const std::wstring& text) {
    texts_[key] = text;
}

std::wstring TextTable::lookup(std::wstring key) {
    if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
    return texts_.try_emplace(key, key).first->second;
}

std::wstring TextTable::resolveLayoutText(const std::wstring& value) const {
    if (value.size() < 2 || value[0] != L'@') return value;
    return find(value.substr(1)).value_or(value);
}

TextTable& textTable() {
    static TextTable table;
    return table;
}

std::wstring lookupText(const char* key) {
    if (!key) return {};
    return textTable().lookup(utility::ansiToWide(key));
}

std::wstring resolveLayoutText(const std::wstring& value) {
    return textTable().resolveLayoutText(value);
}

}  // namespace tk
