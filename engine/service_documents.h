// The JSON documents of the vendor's services, read into the model's terms: the version
// document, the package document (game list and launch settings), the channel answer and the
// customer document. A member counts only with the expected type; anything else leaves the
// caller's value as it was.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/downloader_model.h"

namespace service_documents {

// One edition's installer in the version document.
struct EditionValues {
    std::optional<std::wstring> version;
    std::optional<std::wstring> url;
    std::optional<std::wstring> spareUrl;
    std::optional<std::wstring> md5;  // the installer's digest, as the document writes it
};

struct VersionDocument {
    std::optional<EditionValues> edition4;         // "mnq4"
    std::optional<EditionValues> edition64;        // "mnq64"
    std::optional<EditionValues> edition9;         // "mnq9"
    std::optional<EditionValues> edition3;         // "mnq"
    bool hasHomeUrls = false;                      // "homeurl" is an object
    std::map<std::string, std::wstring> homeUrls;  // its string members
};

// Nothing when the text is not a JSON object.
std::optional<VersionDocument> parseVersionDocument(const std::string& text);

// The jump URL for the language: its own entry, else the "en" entry.
std::optional<std::wstring> jumpUrlFor(const VersionDocument& document,
                                       const std::wstring& language);

// The game records of a package document's "result" array, in order.
std::vector<GameRecord> parseGameList(const std::string& text);

// Updates the settings with the launch members the package document has.
void parseLaunchSettings(const std::string& text, LaunchSettings& settings);

// The channel service's answer.
struct ChannelAnswer {
    bool isObject = false;
    bool codeOk = false;                 // "code" is the integer 200
    std::optional<std::int64_t> openId;  // "data", when an integer greater than 0
};
ChannelAnswer parseChannelAnswer(const std::string& text);

// The customer document's texts for one language.
struct CustomerTexts {
    bool isObject = false;
    std::optional<std::wstring> installError;
    std::optional<std::wstring> customerLink;
};
CustomerTexts parseCustomerDocument(const std::string& text, const std::wstring& language);

}  // namespace service_documents
