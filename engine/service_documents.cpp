#include "engine/service_documents.h"

#include <rapidjson/document.h>
#include <rapidjson/writer.h>

#include "utility/text.h"

namespace service_documents {
namespace {

using rapidjson::Value;

// Parses into the document; true when the text is a JSON object. The iterative parser keeps
// its nesting on the heap: an answer of thousands of nested arrays cannot exhaust the stack.
bool parseObject(const std::string& text, rapidjson::Document& document) {
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
    return !document.HasParseError() && document.IsObject();
}

const Value* member(const Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

std::optional<std::wstring> utf8String(const Value& object, const char* name) {
    const Value* value = member(object, name);
    if (value == nullptr || !value->IsString()) return std::nullopt;
    return utility::utf8ToWide(std::string(value->GetString(), value->GetStringLength()));
}

std::optional<std::int64_t> integer(const Value& object, const char* name) {
    const Value* value = member(object, name);
    if (value == nullptr || !value->IsInt64()) return std::nullopt;
    return value->GetInt64();
}

// A game member as text whatever its JSON type: strings as they are, numbers and booleans as
// their JSON spelling, anything else empty.
std::string anyAsText(const Value& object, const char* name) {
    const Value* value = member(object, name);
    if (value == nullptr || value->IsNull() || value->IsObject() || value->IsArray()) return {};
    if (value->IsString()) return std::string(value->GetString(), value->GetStringLength());
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value->Accept(writer);
    return buffer.GetString();
}

std::optional<EditionValues> editionValues(const Value& document, const char* name) {
    const Value* edition = member(document, name);
    if (edition == nullptr || !edition->IsObject()) return std::nullopt;
    return EditionValues{utf8String(*edition, "ver"), utf8String(*edition, "url"),
                         utf8String(*edition, "url_spare"), utf8String(*edition, "md5")};
}

GameRecord gameRecord(const Value& element) {
    GameRecord game;
    game.downloadUrl = utility::utf8ToWide(anyAsText(element, "app_download_url"));
    game.packageName = utility::utf8ToWide(anyAsText(element, "app_package_name"));
    game.gameName = utility::utf8ToWide(anyAsText(element, "gamename"));
    game.iconUrl = utility::utf8ToWide(anyAsText(element, "app_icon"));
    const std::wstring obb = utility::utf8ToWide(anyAsText(element, "app_obb"));
    if (!obb.empty()) game.obbUrl = obb;
    game.screenshotUrl = utility::utf8ToWide(anyAsText(element, "game_slt_url"));
    game.resolution = utility::ansiToWide(anyAsText(element, "resolution"));
    game.gameId = utility::ansiToWide(anyAsText(element, "gameid"));
    game.xapk = anyAsText(element, "xapk") == "1";
    game.fromAppStore = anyAsText(element, "from_appstore") == "1";
    return game;
}

void assignIfPresent(std::wstring& field, const Value& document, const char* name) {
    if (auto text = utf8String(document, name)) field = *text;
}

void assignFlagIfPresent(bool& field, const Value& document, const char* name) {
    const Value* value = member(document, name);
    if (value != nullptr && value->IsInt64()) field = value->GetInt64() != 0;
}

}  // namespace

std::optional<VersionDocument> parseVersionDocument(const std::string& text) {
    rapidjson::Document document;
    if (!parseObject(text, document)) return std::nullopt;
    VersionDocument result;
    result.edition4 = editionValues(document, "mnq4");
    result.edition64 = editionValues(document, "mnq64");
    result.edition9 = editionValues(document, "mnq9");
    result.edition3 = editionValues(document, "mnq");
    const Value* home = member(document, "homeurl");
    if (home != nullptr && home->IsObject()) {
        result.hasHomeUrls = true;
        for (const auto& entry : home->GetObject()) {
            if (!entry.value.IsString()) continue;
            result.homeUrls[entry.name.GetString()] = utility::ansiToWide(
                std::string(entry.value.GetString(), entry.value.GetStringLength()));
        }
    }
    return result;
}

std::optional<std::wstring> jumpUrlFor(const VersionDocument& document,
                                       const std::wstring& language) {
    if (!document.hasHomeUrls) return std::nullopt;
    auto found = document.homeUrls.find(utility::wideToUtf8(language));
    if (found == document.homeUrls.end()) found = document.homeUrls.find("en");
    if (found == document.homeUrls.end()) return std::nullopt;
    return found->second;
}

std::vector<GameRecord> parseGameList(const std::string& text) {
    std::vector<GameRecord> games;
    rapidjson::Document document;
    if (!parseObject(text, document)) return games;
    const Value* result = member(document, "result");
    if (result == nullptr || !result->IsArray()) return games;
    for (const auto& element : result->GetArray()) {
        if (!element.IsObject()) continue;
        GameRecord game = gameRecord(element);
        if (!game.downloadUrl.empty() || !game.gameId.empty() || !game.packageName.empty()) {
            games.push_back(std::move(game));
        }
    }
    return games;
}

void parseLaunchSettings(const std::string& text, LaunchSettings& settings) {
    rapidjson::Document document;
    if (!parseObject(text, document)) return;
    assignIfPresent(settings.landscapeImageUrl, document, "launch_h");
    assignIfPresent(settings.portraitImageUrl, document, "launch_V");
    assignIfPresent(settings.title, document, "title");
    assignIfPresent(settings.appToRun, document, "runapp");
    assignIfPresent(settings.groupLink, document, "qqlink");
    assignIfPresent(settings.shortcutName, document, "shortcutname");
    assignIfPresent(settings.shortcutIconUrl, document, "shortcuturl");
    assignIfPresent(settings.heapSize, document, "heapsize");
    assignFlagIfPresent(settings.ad, document, "ad");
    assignFlagIfPresent(settings.cleanMode, document, "cleanmodel");
    assignFlagIfPresent(settings.appStore, document, "runappstore");
    const Value* root = member(document, "root");
    if (root != nullptr && root->IsBool()) settings.root = root->GetBool() ? 1 : 0;
}

ChannelAnswer parseChannelAnswer(const std::string& text) {
    ChannelAnswer answer;
    rapidjson::Document document;
    if (!parseObject(text, document)) return answer;
    answer.isObject = true;
    answer.codeOk = integer(document, "code") == 200;
    const auto data = integer(document, "data");
    if (answer.codeOk && data && *data > 0) answer.openId = *data;
    return answer;
}

CustomerTexts parseCustomerDocument(const std::string& text, const std::wstring& language) {
    CustomerTexts texts;
    rapidjson::Document document;
    if (!parseObject(text, document)) return texts;
    texts.isObject = true;
    const Value* entry = member(document, utility::wideToUtf8(language).c_str());
    if (entry == nullptr || !entry->IsObject()) return texts;
    texts.installError = utf8String(*entry, "installError");
    texts.customerLink = utf8String(*entry, "customerLink");
    return texts;
}

}  // namespace service_documents
