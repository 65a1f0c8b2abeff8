// Fuzz targets of the engine's parsers: language files, the four service documents, the
// emulator's configuration file, the run identity from file names and command lines, and install
// folders.
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <filesystem>

#include "app/config_imp.h"
#include "engine/downloader_model.h"
#include "engine/install_location.h"
#include "engine/post_install.h"
#include "engine/run_parameters.h"
#include "engine/service_documents.h"
#include "tests/support/fuzz/fuzz_targets.h"
#include "tests/support/test_support.h"
#include "utility/text.h"

namespace fuzz {
namespace {

// ---- Language files ----------------------------------------------------------------------------

std::string checkLanguageFile(const Bytes& input) {
    ConfigImp config;
    DownloaderModel model(config);
    const bool loaded = model.loadLanguage(utility::utf8ToWide(input));
    if (!loaded && !model.languageStrings().empty()) return "a refused file still stored strings";
    for (const auto& [id, text] : model.languageStrings())
        if (id.empty() || text.empty()) return "an empty id or text was stored";
    return {};
}

// ---- Service documents -------------------------------------------------------------------------

bool isJsonObject(const Bytes& text) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
    return !document.HasParseError() && document.IsObject();
}

std::string checkVersionDocument(const Bytes& input) {
    const auto document = service_documents::parseVersionDocument(input);
    if (document.has_value() != isJsonObject(input))
        return "the version document was judged unlike its JSON";
    if (!document) return {};
    for (const wchar_t* language : {L"en", L"tw", L"", L"xx"})
        (void)service_documents::jumpUrlFor(*document, language);
    if (!document->hasHomeUrls && !document->homeUrls.empty()) return "home URLs without an object";
    return {};
}

std::string checkPackageDocument(const Bytes& input) {
    const std::vector<GameRecord> games = service_documents::parseGameList(input);
    if (!games.empty() && !isJsonObject(input)) return "games from a text that is not an object";
    LaunchSettings settings;
    service_documents::parseLaunchSettings(input, settings);
    if (settings.root < -1 || settings.root > 1) return "a root setting out of its three values";
    return {};
}

std::string checkChannelAnswer(const Bytes& input) {
    const auto answer = service_documents::parseChannelAnswer(input);
    if (answer.isObject != isJsonObject(input))
        return "the channel answer was judged unlike its JSON";
    if (answer.openId && *answer.openId <= 0) return "an open id that is not above 0";
    if ((answer.codeOk || answer.openId) && !answer.isObject) return "values from a non-object";
    return {};
}

std::string checkCustomerDocument(const Bytes& input) {
    for (const wchar_t* language : {L"en", L"tw", L"kr", L""}) {
        const auto texts = service_documents::parseCustomerDocument(input, language);
        if (texts.isObject != isJsonObject(input)) return "the customer document was misjudged";
        if ((texts.installError || texts.customerLink) && !texts.isObject)
            return "texts from a non-object";
    }
    return {};
}

// ---- The emulator's configuration file ---------------------------------------------------------

// The document in one canonical form (compact, members in file order), with the first
// "channelOpenId" string set to the open id when one is given; nothing when the text is not a
// JSON object or lacks that string.
std::optional<std::string> compactObject(const Bytes& text, const char* openId = nullptr) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag>(
        text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject()) return std::nullopt;
    if (openId) {
        const auto member = document.FindMember("channelOpenId");
        if (member == document.MemberEnd() || !member->value.IsString()) return std::nullopt;
        member->value.SetString(rapidjson::StringRef(openId));
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

// The file is either left exactly as it was, or holds the same document with only the open id
// replaced; no temporary file stays beside it.
std::string checkEmulatorConfig(const Bytes& input, const std::wstring& sandbox) {
    const std::wstring folder = sandbox + L"\\config\\";
    const std::wstring file = folder + L"sarvels.config";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!testing_support::writeFileBytes(file, input)) return {};
    post_install::writeChannelOpenId(file, L"1234");
    const Bytes output = testing_support::readFileBytes(file);
    std::string problem;
    if (output != input) {
        const auto written = compactObject(output);
        if (!written)
            problem = "the file was rewritten as something that is not a JSON object";
        else if (const auto expected = compactObject(input, "1234"); written != expected)
            problem = "the rewritten file differs from the old in more than the open id";
    }
    if (problem.empty() && std::filesystem::exists(file + L".new", error))
        problem = "a temporary file was left beside the configuration";
    std::filesystem::remove_all(folder, error);
    return problem;
}

// ---- Run identity ------------------------------------------------------------------------------

// The input's first line is the executable's path, the rest its command line.
std::string checkRunIdentity(const Bytes& input) {
    const std::wstring text = wideOf(input);
    const std::size_t newline = text.find(L'\n');
    const std::wstring path = text.substr(0, newline);
    const std::wstring commandLine = newline == std::wstring::npos ? L"" : text.substr(newline + 1);

    const std::wstring base = run_parameters::exeBaseName(path);
    const auto fields = run_parameters::parseFileName(base);
    if (fields.used != (run_parameters::splitTrimmed(base, L'_').size() >= 4))
        return "the file name was used against its count of parts";
    if (run_parameters::leadingNumber(fields.openId) < 0) return "a negative leading number";
    for (const auto& [key, value] : run_parameters::parseCommandLine(commandLine))
        if (key.empty() || key != utility::lowerCased(utility::trimmedSpaces(key)) ||
            value != utility::trimmedSpaces(value))
            return "a command-line item kept blanks or capitals";

    ConfigImp config;
    DownloaderModel model(config);
    model.settleRunIdentity(path, commandLine.c_str());
    if (model.openId().empty()) return "the run has no open id";
    if (model.games().size() > 1) return "more than one game from the command line";
    if (model.locale().empty()) return "the run has no locale";
    return {};
}

// ---- Install folders ---------------------------------------------------------------------------

std::optional<std::uint64_t> fakeFreeBytes(const std::wstring& volume) {
    if (volume == L"c:\\" || volume == L"d:\\") return std::uint64_t{20} << 30;
    return std::nullopt;
}

std::string checkInstallFolder(const Bytes& input) {
    const std::wstring folder = wideOf(input);
    ConfigImp config;
    const std::wstring completed = install_location::completeInstallPath(folder, config);
    if (completed.empty() || completed.back() != L'\\')
        return "a completed folder lacks its backslash";
    const std::wstring compared = install_location::normalizePath(folder);
    if (compared.find(L'/') != std::wstring::npos || compared.find(L"\\\\") != std::wstring::npos ||
        (!compared.empty() && (compared.front() == L'\\' || compared.back() == L'\\')))
        return "the comparison form keeps separators it drops";
    if (install_location::normalizePath(compared) != compared) return "the comparison form moves";
    const bool valid = install_location::isValidInstallPath(folder, fakeFreeBytes);
    const std::wstring stored = install_location::normalizeSeparators(folder);
    if (valid && (stored.empty() || stored.back() != L'\\'))
        return "a stored folder lacks its backslash";
    (void)install_location::isValidInstallPath(completed, fakeFreeBytes);
    return {};
}

std::vector<Bytes> wideSeeds(std::initializer_list<const wchar_t*> texts) {
    std::vector<Bytes> seeds;
    for (const wchar_t* t : texts) seeds.push_back(utf16Bytes(t));
    return seeds;
}

const std::vector<std::string> kJsonWords = {
    "{",
    "}",
    "[",
    "]",
    ":",
    ",",
    "\"",
    "\\u0000",
    "\\ud800",
    "\\udc00",
    "\\\"",
    "null",
    "true",
    "false",
    "1e999",
    "-0",
    "\"mnq9\":{\"ver\":\"9.0\",\"url\":\"https://x/\",\"url_spare\":\"\"}",
    "\"homeurl\":{\"en\":\"https://e/\"}",
    "\"result\":[{}]",
    "\"code\":200",
    "\"data\":",
    "\"root\":false",
    "\"ad\":0",
    "\"installError\":\"\"",
    "\"customerLink\":\"\""};

}  // namespace

std::vector<Target> engineTargets(const SeedSources& sources) {
    std::vector<Target> targets;
    targets.push_back(
        {"language_file",
         Encoding::kUtf8,
         skinEntries(sources, L"language/", L".xml"),
         {"<String id=\"", "\">", "</String>", "<StringBundle ver=\"100\">", "</StringBundle>",
          "<![CDATA[", "]]>", "&#x0;", "&#xDC00;", "&lt;", "<?xml ?>"},
         64 * 1024,
         checkLanguageFile,
         nullptr});

    const auto json = [](std::string name, std::vector<Bytes> seeds,
                         std::string (*check)(const Bytes&)) {
        return Target{std::move(name), Encoding::kUtf8, std::move(seeds), kJsonWords,
                      32 * 1024,       check,           nullptr};
    };
    targets.push_back(json(
        "version_document",
        {"{\"mnq4\":{\"ver\":\"4.0.26.1\",\"url\":\"https://cdn/4.exe\",\"url_spare\":\"https://"
         "res/4.exe\","
         "\"md5\":\"0123456789abcdef0123456789abcdef\"},\"mnq64\":{\"ver\":\"6.4\",\"url\":\"https:"
         "//cdn/64.exe\"},"
         "\"mnq9\":{\"ver\":\"9.0.31.2\",\"url\":\"https://cdn/9.exe\",\"url_spare\":\"https://res/"
         "9.exe\"},"
         "\"mnq\":{\"ver\":3},\"homeurl\":{\"en\":\"https://web/en\",\"tw\":\"https://web/tw\"}}",
         "<html><body>502 Bad Gateway</body></html>", "[]"},
        checkVersionDocument));
    targets.push_back(json(
        "package_document",
        {"{\"result\":[{\"app_download_url\":\"https://cdn/"
         "g.apk\",\"app_package_name\":\"com.tamrix.demo\","
         "\"gamename\":\"Tamrix Demo\",\"app_icon\":\"https://cdn/i.ico\",\"app_obb\":\"\","
         "\"game_slt_url\":\"https://cdn/"
         "s.png\",\"resolution\":\"1280x720\",\"gameid\":7,\"xapk\":\"1\","
         "\"from_appstore\":\"0\"},3,{\"gamename\":null}],\"launch_h\":\"https://cdn/h.jpg\","
         "\"launch_V\":\"https://cdn/v.jpg\",\"title\":\"T\",\"runapp\":\"com.x\",\"qqlink\":\"\","
         "\"shortcutname\":\"S\",\"shortcuturl\":\"https://cdn/"
         "s.ico\",\"heapsize\":\"2048\",\"ad\":1,"
         "\"cleanmodel\":0,\"runappstore\":1,\"root\":true}"},
        checkPackageDocument));
    targets.push_back(json("channel_answer",
                           {"{\"code\":200,\"msg\":\"success\",\"data\":50001}",
                            "{\"code\":200,\"data\":0}", "{\"code\":\"200\",\"data\":-5}"},
                           checkChannelAnswer));
    targets.push_back(json("customer_document",
                           {"{\"en\":{\"installError\":\"Installation "
                            "failed.\",\"customerLink\":\"https://web/support\"},"
                            "\"tw\":{\"installError\":"
                            "\"\xE5\xAE\x89\xE8\xA3\x9D\xE5\xA4\xB1\xE6\x95\x97\"},\"kr\":3}"},
                           checkCustomerDocument));

    Target config = json("emulator_config",
                         {"{\n    \"channelOpenId\": \"0\",\n    \"openId\": \"100\",\n    "
                          "\"edition\": \"Tamrix9\",\n    \"language\": \"en\"\n}",
                          "{\"channelOpenId\":\"0\",\"vm\":{\"cpu\":2,\"memory\":4096,\"name\":"
                          "\"T\xC3\xA4mrix\",\"disks\":[{\"path\":\"D:\\\\vms\\\\0.vdi\","
                          "\"size\":1.5e10},null,true]},\"channelOpenId\":7}",
                          "{\"openId\":\"100\"}", "{\"channelOpenId\":5}"},
                         nullptr);
    config.dictionary.push_back("\"channelOpenId\":");
    const std::wstring sandbox = sources.sandbox;
    config.check = [sandbox](const Bytes& input) { return checkEmulatorConfig(input, sandbox); };
    targets.push_back(std::move(config));

    targets.push_back(
        {"run_identity",
         Encoding::kUtf16,
         wideSeeds({L"C:\\Users\\me\\Downloads\\tamrix9_en_1234_x.exe\n",
                    L"C:\\d\\tamrix64_ens_com.game.pkg_777_g1_x.exe\n\"name=Demo|package="
                    L"com.tamrix.demo|apkurl=https://cdn/g.apk\"",
                    L"D:/setup.exe\n x=1 | =2 | NAME = a | name=b |",
                    L"TAMRIX4_kr_2500_ab_cd_x.exe\n\"\"", L"tamrix9_ens_5_x.exe\n|||"}),
         {"_", "\\", "/", ".exe", "tamrix9_", "tamrix4_", "ens_", "|", "=", "\"",
          "apkurl=", "package=", "name=", "\n", " "},
         4 * 1024,
         checkRunIdentity,
         nullptr});

    targets.push_back(
        {"install_folder",
         Encoding::kUtf16,
         wideSeeds({L"D:\\Tamrix\\", L"C:\\Program Files\\sarvel\\", L"d:", L"E:/Games//x",
                    L"\\\\server\\share\\gxplayer", L"C:\\a<b\\c", L" c:\\ spaced \\ "}),
         {"\\", "/", ":", "C:", "sarvel", "gxplayer", "Tamrix", "..", " ", "<", "|", "*", "?", "\"",
          "\\\\?\\", "CON", "nul"},
         2 * 1024,
         checkInstallFolder,
         nullptr});
    return targets;
}

}  // namespace fuzz
