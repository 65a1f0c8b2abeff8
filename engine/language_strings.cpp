// The model's side of the language switch: the new locale, and the strings of a language file.
#include <pugixml.hpp>

#include "engine/downloader_model.h"
#include "ui/language_codes.h"
#include "utility/log.h"
#include "utility/text.h"

void DownloaderModel::setLocale(const std::wstring& locale) {
    locale_ = locale;
    language_ = helper::localeToShort(locale);
}

bool DownloaderModel::loadLanguage(const std::wstring& xml) {
    constexpr char kTag[] = "DownloaderModel::loadLanguage";
    const int length = static_cast<int>(xml.size());
    LOG_AT(kTag, L"load language length %d", length);
    pugi::xml_document document;
    if (!document.load_string(utility::wideToUtf8(xml).c_str())) {
        LOG_AT(kTag, L"language load from string error. length:%d, error:%d", length,
               static_cast<int>(GetLastError()));
        return false;
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        LOG_AT(kTag, L"load language error. root is null");
        return false;
    }
    for (const pugi::xml_node& child : root.children("String")) {
        const std::wstring id = utility::utf8ToWide(child.attribute("id").value());
        const std::wstring text = utility::utf8ToWide(child.text().get());
        if (!id.empty() && !text.empty()) languageStrings_[id] = text;
    }
    return true;
}
