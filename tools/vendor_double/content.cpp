#include "content.h"

#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sys/stat.h>

#include <array>
#include <fstream>
#include <iterator>
#include <vector>

#include "hosts.h"
#include "signature.h"

namespace vendor_double {
namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

constexpr std::string_view kJson = "application/json; charset=utf-8";
constexpr std::string_view kHtml = "text/html; charset=utf-8";
constexpr std::string_view kBinary = "application/octet-stream";
constexpr std::string_view kExe = "application/x-msdownload";

struct Edition {
    std::string_view member;  // in the version document
    std::string_view file;    // package file name
    std::string_view version;
};

constexpr std::array<Edition, 4> kEditions{{
    {"mnq4", "Tamrix4.0.exe", "4.0.26.1"},
    {"mnq64", "Tamrix64.exe", "6.4.12.3"},
    {"mnq9", "Tamrix9.0.exe", "9.0.31.2"},
    {"mnq", "Tamrix3.0.exe", "3.0.18.4"},
}};

std::string https(std::string_view host, std::string_view path) {
    return "https://" + std::string(host) + std::string(path);
}

void writeString(JsonWriter& w, std::string_view text) {
    w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

Resource document(std::string text, int status = 200) {
    Resource r;
    r.status = status;
    r.contentType = kJson;
    r.body = textBody(std::move(text));
    return r;
}

Resource htmlError(int status) {
    Resource r;
    r.status = status;
    r.contentType = kHtml;
    r.body = textBody(errorPage(status));
    return r;
}

std::string icoFile() {
    // 16x16, 32 bits per pixel, one image; a blue square with a transparent border.
    std::string ico;
    const auto u16 = [&](unsigned v) {
        ico.push_back(static_cast<char>(v & 0xff));
        ico.push_back(static_cast<char>(v >> 8));
    };
    const auto u32 = [&](unsigned v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    constexpr unsigned kPixels = 16 * 16 * 4, kMask = 16 * 4, kHeader = 40;
    u16(0), u16(1), u16(1);                                                    // ICONDIR
    ico.push_back(16), ico.push_back(16), ico.push_back(0), ico.push_back(0);  // ICONDIRENTRY
    u16(1), u16(32), u32(kHeader + kPixels + kMask), u32(6 + 16);
    u32(kHeader), u32(16), u32(32), u16(1), u16(32), u32(0), u32(kPixels + kMask), u32(0), u32(0),
        u32(0), u32(0);  // BITMAPINFOHEADER (height doubled for the mask)
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x > 0 && x < 15 && y > 0 && y < 15;
            ico.push_back(static_cast<char>(0xd6)), ico.push_back(static_cast<char>(0x8f));
            ico.push_back(static_cast<char>(0x26)), ico.push_back(inside ? char(0xff) : char(0));
        }
    ico.append(kMask, '\0');
    return ico;
}

struct GameFile {
    std::string_view path;
    std::string_view contentType;
    std::uint64_t size;  // 0: the icon
};

constexpr std::array<GameFile, 6> kGameFiles{{
    {"/games/demo/com.tamrix.demo.apk", "application/vnd.android.package-archive", 3u << 20},
    {"/games/demo/com.tamrix.demo.obb", kBinary, 2u << 20},
    {"/games/demo/com.tamrix.demo.ico", "image/x-icon", 0},
    {"/games/demo/shortcut.ico", "image/x-icon", 0},
    {"/games/demo/launch_h.jpg", "image/jpeg", 64u << 10},
    {"/games/demo/launch_v.jpg", "image/jpeg", 64u << 10},
}};

std::string demoPackageDocument() {
    const std::string cdn = cdnHost();
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("result");
    w.StartArray();
    w.StartObject();
    const std::pair<std::string_view, std::string> game[] = {
        {"app_download_url", https(cdn, "/games/demo/com.tamrix.demo.apk")},
        {"app_package_name", "com.tamrix.demo"},
        {"gamename", "Tamrix Demo"},
        {"app_icon", https(cdn, "/games/demo/com.tamrix.demo.ico")},
        {"app_obb", https(cdn, "/games/demo/com.tamrix.demo.obb")},
        {"game_slt_url", https(cdn, "/games/demo/screenshot.png")},
        {"resolution", "1280x720"},
        {"gameid", ""},
        {"xapk", "0"},
        {"from_appstore", "0"},
    };
    for (const auto& [key, value] : game) {
        writeString(w, key);
        writeString(w, value);
    }
    w.EndObject();
    w.EndArray();
    const std::pair<std::string_view, std::string> settings[] = {
        {"launch_h", https(cdn, "/games/demo/launch_h.jpg")},
        {"launch_V", https(cdn, "/games/demo/launch_v.jpg")},
        {"title", "Tamrix Demo"},
        {"runapp", "com.tamrix.demo"},
        {"qqlink", ""},
        {"shortcutname", "Tamrix Demo"},
        {"shortcuturl", https(cdn, "/games/demo/shortcut.ico")},
        {"heapsize", ""},
    };
    for (const auto& [key, value] : settings) {
        writeString(w, key);
        writeString(w, value);
    }
    w.Key("ad"), w.Int(1), w.Key("cleanmodel"), w.Int(0), w.Key("runappstore"), w.Int(1);
    w.Key("root"), w.Bool(true);
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

// Open ids with a package document of their own; every other id has none (404). The installer
// asks only for open ids longer than 4 characters, so "50001" is the one a run reaches.
std::optional<std::string> builtInPackageDocument(std::string_view openId) {
    if (openId == "50001" || openId == "5001") return demoPackageDocument();
    return std::nullopt;
}

std::string bodyMd5(const Body& body) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context) return {};
    std::vector<char> chunk(1 << 16);
    bool ok = EVP_DigestInit_ex(context, EVP_md5(), nullptr) == 1;
    for (std::uint64_t offset = 0; ok && offset < body.size();) {
        const std::size_t n = body.read(offset, chunk.data(), chunk.size());
        if (n == 0) ok = false;
        ok = ok && EVP_DigestUpdate(context, chunk.data(), n) == 1;
        offset += n;
    }
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(context, digest, &length) == 1;
    EVP_MD_CTX_free(context);
    if (!ok) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0f]);
    }
    return text;
}

std::string webPage(std::string_view host, std::string_view path) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tamrix</title></head>"
           "<body><h1>Tamrix</h1><p>" +
           std::string(host) + std::string(path) + "</p></body></html>\n";
}

// Schema problems of one uploaded event; empty when it has the reporter's form.
void eventProblems(const rapidjson::Value& event, std::size_t index,
                   std::vector<std::string>& problems) {
    const std::string at = "event " + std::to_string(index) + ": ";
    if (!event.IsObject()) {
        problems.push_back(at + "not an object");
        return;
    }
    const auto has = [&](const rapidjson::Value& object, const char* key, auto test) {
        const auto it = object.FindMember(key);
        return it != object.MemberEnd() && test(it->value);
    };
    const auto isString = [](const rapidjson::Value& v) { return v.IsString(); };
    if (!has(event, "appId",
             [](const rapidjson::Value& v) { return v.IsInt() && v.GetInt() == 1; }))
        problems.push_back(at + "\"appId\" is not 1");
    if (!has(event, "eventId", isString)) problems.push_back(at + "\"eventId\" is not a string");
    if (!has(event, "eventKey",
             [](const rapidjson::Value& v) { return v.IsString() && v.GetStringLength() > 0; }))
        problems.push_back(at + "\"eventKey\" is not a non-empty string");
    if (!has(event, "timestamp", [](const rapidjson::Value& v) { return v.IsUint64(); }))
        problems.push_back(at + "\"timestamp\" is not an unsigned integer");
    const auto properties = event.FindMember("properties");
    if (properties == event.MemberEnd() || !properties->value.IsObject()) {
        problems.push_back(at + "\"properties\" is not an object");
        return;
    }
    for (const char* key : {"mnq_version", "mnq_mac", "device_id", "openid", "language"})
        if (!has(properties->value, key, isString))
            problems.push_back(at + "properties \"" + key + "\" is not a string");
    if (!has(properties->value, "downloader_package",
             [](const rapidjson::Value& v) { return v.IsInt(); }))
        problems.push_back(at + "properties \"downloader_package\" is not an integer");
}

void writeProblems(JsonWriter& w, const std::vector<std::string>& problems) {
    w.Key("problems");
    w.StartArray();
    for (const auto& problem : problems) writeString(w, problem);
    w.EndArray();
}

}  // namespace

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 416:
            return "Range Not Satisfiable";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return status < 400 ? "Other" : "Error";
    }
}

std::string errorPage(int status) {
    const std::string title = std::to_string(status) + " " + reasonPhrase(status);
    return "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1><hr><p>tamrix-cdn</p></body></html>\n";
}

std::string editionOfPackage(std::string_view fileName) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kNames{{
        {"Tamrix4.0.exe", "4"},
        {"Tamrix64.exe", "64"},
        {"Tamrix9.0.exe", "9"},
        {"Tamrix3.0.exe", "3"},
    }};
    for (const auto& [name, edition] : kNames)
        if (name == fileName) return std::string(edition);
    return {};
}

std::string packageTrailer(std::string_view fileName, std::uint64_t size) {
    return "\nTAMRIX-STANDIN-PACKAGE edition=" + editionOfPackage(fileName) +
           " file=" + std::string(fileName) + " size=" + std::to_string(size) + "\n";
}

std::shared_ptr<const std::string> PackageSource::program(long long& stamp) {
    struct stat info {};
    if (::stat(standinPath_.c_str(), &info) != 0) return nullptr;
    stamp = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec +
            info.st_size;
    std::lock_guard lock(mutex_);
    if (program_ && stamp == programStamp_) return program_;
    std::ifstream in(standinPath_, std::ios::binary);
    if (!in) return nullptr;
    program_ = std::make_shared<const std::string>(std::istreambuf_iterator<char>(in),
                                                   std::istreambuf_iterator<char>());
    programStamp_ = stamp;
    md5s_.clear();
    return program_;
}

BodyPtr PackageSource::package(std::string_view fileName, std::uint64_t size,
                               PackageSignature signature) {
    if (editionOfPackage(fileName).empty()) return nullptr;
    long long stamp = 0;
    auto bytes = program(stamp);
    if (!bytes) return nullptr;
    std::string trailer = packageTrailer(fileName, size);
    if (signature == PackageSignature::None || !signer_.enabled()) {
        return packageBody(std::move(bytes), std::move(trailer), size);
    }
    const std::uint64_t smallest = bytes->size() + trailer.size();
    const auto compose = [&](std::uint64_t composed) {
        return packageBody(bytes, trailer, composed);
    };
    return signer_.sign(std::to_string(stamp) + "-" + std::string(fileName), size, signature,
                        compose, smallest);
}

std::string PackageSource::packageMd5(std::string_view fileName, std::uint64_t size,
                                      PackageSignature signature) {
    const BodyPtr body = package(fileName, size, signature);
    if (!body) return {};
    const std::string key = std::string(fileName) + "/" + std::to_string(size) + "/" +
                            std::string(packageSignatureName(signature));
    {
        std::lock_guard lock(mutex_);
        if (const auto it = md5s_.find(key); it != md5s_.end()) return it->second;
    }
    const std::string md5 = bodyMd5(*body);
    std::lock_guard lock(mutex_);
    md5s_[key] = md5;
    return md5;
}

PackageSignature packageSignatureOf(const Scenario& scenario) {
    const auto* name = scenario.content("installerSignature");
    if (name == nullptr || !name->IsString()) return PackageSignature::Vendor;
    return parsePackageSignature(name->GetString()).value_or(PackageSignature::Vendor);
}

Content::Content(std::string worldDir, std::string standinPath, PackageSigning signing)
    : worldDir_(std::move(worldDir)), packages_(std::move(standinPath), std::move(signing)) {}

std::string Content::resolvePath(const std::string& path) const {
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
        std::string unix = path.substr(2);
        for (char& c : unix)
            if (c == '\\') c = '/';
        return unix;
    }
    if (!path.empty() && path[0] == '/') return path;
    return worldDir_ + "/" + path;
}

BodyPtr Content::makeBody(const BodyForm& form, std::string& error) const {
    switch (form.kind) {
        case BodyForm::Kind::Text:
            return textBody(form.text);
        case BodyForm::Kind::Pattern:
            return patternBody(form.size);
        case BodyForm::Kind::Repeat:
            return repeatBody(form.text, form.size);
        case BodyForm::Kind::File: {
            const std::string path = resolvePath(form.text);
            BodyPtr body = fileBody(path);
            if (!body) error = "body file cannot be read: " + path;
            return body;
        }
    }
    return nullptr;
}

std::uint64_t Content::installerSize(const Scenario& scenario) const {
    const auto* size = scenario.content("installerSize");
    return size && size->IsUint64() ? size->GetUint64() : kDefaultInstallerSize;
}

std::string Content::versionDocument(const Scenario& scenario) {
    const std::uint64_t size = installerSize(scenario);
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    for (const auto& edition : kEditions) {
        const std::string path = "/download/package/" + std::string(edition.file);
        writeString(w, edition.member);
        w.StartObject();
        w.Key("ver"), writeString(w, edition.version);
        w.Key("url"), writeString(w, https(cdnHost(), path));
        w.Key("url_spare"), writeString(w, https(spareResourceHost(), path));
        w.Key("md5"),
            writeString(w, packages_.packageMd5(edition.file, size, packageSignatureOf(scenario)));
        w.EndObject();
    }
    w.Key("homeurl");
    w.StartObject();
    w.Key("en"), writeString(w, communityPage("en"));
    for (const auto& language : channelLanguages()) {
        if (language == "en") continue;
        writeString(w, language);
        writeString(w, communityPage(language));
    }
    w.EndObject();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string defaultCustomerDocument() {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kTexts{{
        {"tw", "安裝失敗，請聯繫客服。"},
        {"kr", "설치에 실패했습니다. 고객센터에 문의하세요."},
        {"ru", "Установка не удалась. Обратитесь в службу поддержки."},
    }};
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    for (const auto& language : channelLanguages()) {
        std::string_view text = "Installation failed. Please contact customer support.";
        for (const auto& [code, own] : kTexts)
            if (code == language) text = own;
        writeString(w, language);
        w.StartObject();
        w.Key("installError"), writeString(w, text);
        w.Key("customerLink"), writeString(w, https(regionalWebSiteHost(language), "/support"));
        w.EndObject();
    }
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string defaultChannelAnswer() {
    return "{\"code\":200,\"msg\":\"success\",\"data\":" + std::to_string(kDefaultChannelOpenId) +
           "}";
}

Resource Content::packageFile(std::string_view fileName, const Scenario& scenario) {
    const std::uint64_t size = installerSize(scenario);
    BodyPtr body = packages_.package(fileName, size, packageSignatureOf(scenario));
    if (!body) {
        Resource missing = htmlError(404);
        if (!editionOfPackage(fileName).empty())
            missing.body = textBody("the offline installer stand-in is not built\n");
        return missing;
    }
    Resource r;
    r.contentType = kExe;
    r.body = std::move(body);
    return r;
}

Resource Content::contentHost(const IncomingRequest& request, const Scenario& scenario) {
    if (request.method != "GET" && request.method != "HEAD") {
        Resource r = htmlError(405);
        r.headers.emplace_back("Allow", "GET, HEAD");
        return r;
    }
    const std::string& path = request.path;
    const auto override = [&](const char* name) { return scenario.content(name); };
    if (path == "/player_files/en/sarvel") {
        if (const auto* version = override("version"))
            return version->IsNull() ? htmlError(404) : document(toJson(*version));
        return document(versionDocument(scenario));
    }
    if (path == "/player_files/en/sarvelex") {
        if (const auto* customer = override("customer"))
            return customer->IsNull() ? htmlError(404) : document(toJson(*customer));
        return document(defaultCustomerDocument());
    }
    constexpr std::string_view kPackageDocs = "/player_files/openidconfig/";
    if (path.rfind(kPackageDocs, 0) == 0 && path.size() > kPackageDocs.size() + 5 &&
        path.compare(path.size() - 5, 5, ".data") == 0) {
        const std::string openId =
            path.substr(kPackageDocs.size(), path.size() - kPackageDocs.size() - 5);
        if (const auto* packages = override("packages"); packages && packages->IsObject()) {
            if (const auto it = packages->FindMember(openId.c_str()); it != packages->MemberEnd())
                return it->value.IsNull() ? htmlError(404) : document(toJson(it->value));
        }
        if (auto builtIn = builtInPackageDocument(openId)) return document(std::move(*builtIn));
        return htmlError(404);
    }
    constexpr std::string_view kPackages = "/download/package/";
    if (path.rfind(kPackages, 0) == 0) return packageFile(path.substr(kPackages.size()), scenario);
    if (const auto* files = override("files"); files && files->IsObject()) {
        if (const auto it = files->FindMember(path.c_str()); it != files->MemberEnd()) {
            if (it->value.IsNull()) return htmlError(404);
            std::string error;
            const auto form = parseBodyForm(it->value, error);
            BodyPtr body = form ? makeBody(*form, error) : nullptr;
            if (!body) {
                Resource broken = htmlError(500);
                broken.body = textBody("content.files \"" + path + "\": " + error + "\n");
                return broken;
            }
            Resource r;
            r.contentType = form->contentType.empty() ? kBinary : form->contentType;
            r.body = std::move(body);
            return r;
        }
    }
    for (const auto& file : kGameFiles) {
        if (file.path != path) continue;
        Resource r;
        r.contentType = file.contentType;
        r.body = file.size ? patternBody(file.size) : textBody(icoFile());
        return r;
    }
    return htmlError(404);
}

Resource Content::channel(const IncomingRequest& request, const Scenario& scenario) {
    if (request.path != "/check/machine/channel") return htmlError(404);
    const auto pcId = queryParam(request.query, "m");
    if (!pcId || pcId->empty())
        return document("{\"code\":400,\"msg\":\"missing machine id\",\"data\":0}");
    if (const auto* answers = scenario.content("channel"); answers && answers->IsObject()) {
        auto it = answers->FindMember(pcId->c_str());
        if (it == answers->MemberEnd()) it = answers->FindMember("*");
        if (it != answers->MemberEnd())
            return it->value.IsNull() ? htmlError(404) : document(toJson(it->value));
    }
    return document(defaultChannelAnswer());
}

Resource Content::resolve(const IncomingRequest& request, const Scenario& scenario) {
    switch (roleOf(request.host)) {
        case HostRole::Cdn:
        case HostRole::SpareResource:
        case HostRole::DomesticResource:
            return contentHost(request, scenario);
        case HostRole::Channel:
            return channel(request, scenario);
        case HostRole::Collection:
            if (request.path != "/collection/biz/upload") return htmlError(404);
            if (request.method != "POST") return htmlError(405);
            return collectionAnswer(request);
        case HostRole::Analytics:
            if (request.path != "/mp/collect") return htmlError(404);
            if (request.method != "POST") return htmlError(405);
            return analyticsAnswer(request);
        case HostRole::FileSharing: {
            Resource r = packageFile("Tamrix9.0.exe", scenario);
            r.headers.emplace_back("Content-Disposition", "attachment; filename=\"Tamrix9.0.exe\"");
            return r;
        }
        case HostRole::WebSite:
        case HostRole::DomesticWebSite:
        case HostRole::Community: {
            Resource r;
            r.contentType = kHtml;
            r.body = textBody(webPage(request.host, request.path));
            return r;
        }
        case HostRole::Unknown:
            break;
    }
    Resource unknown = htmlError(404);
    unknown.body = textBody("unknown host: " + request.host + "\n");
    return unknown;
}

Resource collectionAnswer(const IncomingRequest& request) {
    rapidjson::Document events;
    events.Parse(request.body.data(), request.body.size());
    const bool isArray = !events.HasParseError() && events.IsArray();
    const std::size_t count = isArray ? events.Size() : 0;
    const SignatureCheck check = checkSignature(signingSalt(), request.header("timestamp"),
                                                request.header("signature"), count);
    std::vector<std::string> problems;
    if (isArray)
        for (rapidjson::SizeType i = 0; i < events.Size(); ++i)
            eventProblems(events[i], i, problems);

    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("verdict"), writeString(w, isArray ? check.verdict : "bad-body");
    w.Key("timestamp"), writeString(w, request.header("timestamp").value_or(""));
    w.Key("signature"), writeString(w, request.header("signature").value_or(""));
    w.Key("expectedSignature"), writeString(w, check.expected);
    w.Key("signingInput"), writeString(w, check.signingInput);
    w.Key("eventCount"), w.Uint64(count);
    w.Key("events");
    if (isArray)
        events.Accept(w);
    else
        w.Null();
    writeProblems(w, problems);
    w.EndObject();

    Resource r;
    if (!isArray)
        r = document("{\"code\":400,\"msg\":\"body is not a JSON array\"}", 400);
    else if (!check.valid())
        r = document("{\"code\":403,\"msg\":\"" + check.verdict + "\"}", 403);
    else
        r = document("{\"code\":0,\"msg\":\"success\",\"data\":" + std::to_string(count) + "}");
    r.detailsName = "collection";
    r.detailsJson.assign(buffer.GetString(), buffer.GetSize());
    return r;
}

Resource analyticsAnswer(const IncomingRequest& request) {
    const std::string measurementId = queryParam(request.query, "measurement_id").value_or("");
    const std::string apiSecret = queryParam(request.query, "api_secret").value_or("");
    const AnalyticsPropertyText* property = nullptr;
    for (const auto& candidate : analyticsProperties())
        if (candidate.measurementId == measurementId && candidate.apiSecret == apiSecret)
            property = &candidate;
    rapidjson::Document body;
    body.Parse(request.body.data(), request.body.size());
    std::vector<std::string> problems;
    const bool isObject = !body.HasParseError() && body.IsObject();
    if (!isObject) problems.push_back("body is not a JSON object");
    const auto member = [&](const char* key) -> const rapidjson::Value* {
        if (!isObject) return nullptr;
        const auto it = body.FindMember(key);
        return it == body.MemberEnd() ? nullptr : &it->value;
    };
    const auto* clientId = member("client_id");
    const auto* events = member("events");
    if (isObject && (!clientId || !clientId->IsString()))
        problems.push_back("\"client_id\" is not a string");
    if (isObject && (!events || !events->IsArray()))
        problems.push_back("\"events\" is not an array");
    if (!property) problems.push_back("measurement id and API secret are not a deployment pair");

    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("measurementId"), writeString(w, measurementId);
    w.Key("apiSecret"), writeString(w, apiSecret);
    w.Key("knownProperty"), w.Bool(property != nullptr);
    w.Key("propertyLanguage"), writeString(w, property ? property->language : "");
    w.Key("clientId");
    if (clientId && clientId->IsString())
        writeString(w, std::string_view(clientId->GetString(), clientId->GetStringLength()));
    else
        w.Null();
    w.Key("events");
    if (events && events->IsArray())
        events->Accept(w);
    else
        w.Null();
    writeProblems(w, problems);
    w.EndObject();

    Resource r;
    r.status = 204;
    r.detailsName = "analytics";
    r.detailsJson.assign(buffer.GetString(), buffer.GetSize());
    return r;
}

}  // namespace vendor_double
