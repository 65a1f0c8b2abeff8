// Stand-in for the emulator's offline installer, served by the vendor double as each edition's
// package file. It takes the installer command line
//   -silence -downloader -openid=ID [-language=L] -path="FOLDER" [-googleid=G]
// installs the stand-in emulator into FOLDER (gxplayer.exe, gxconsole.exe and
// vms\config\sarvels.config), records FOLDER as "InstallDir" under the edition's registry key,
// and posts 11125 (success) or 11124 (failure, code in the word parameter) to the downloader's
// window. The edition comes from the trailer line the double puts near the end of the package.
//
// Scenario ("standins" -> "installer"):
//   "behaviour": "success" (default) | "fail" | "silent" (installs, posts nothing) |
//                "hang" (does nothing, never ends) | "crash" (an unhandled exception)
//   "errorCode": word parameter of 11124 (default 1001)
//   "exitCode":  exit code (default 0, and 1 for "fail")
//   "delayMs":   pause before acting
//   "exitDelayMs": pause after acting, before ending
//   "exitOnEvent": name of an event to wait for (at most a minute) after acting, before ending
#include <windows.h>

#include <rapidjson/prettywriter.h>

#include <fstream>
#include <string>
#include <vector>

#include "tools/standins/standin_common.h"
#include "utility/handle.h"

namespace {

constexpr wchar_t kChannelName[] = L"{2266E930-7040-4A6B-B7C8-E44663785cdd}";
constexpr UINT kInstallSucceeded = 11125;
constexpr UINT kInstallFailed = 11124;
constexpr int kPlayerResource = 101;
constexpr int kConsoleResource = 102;

struct Options {
    bool silence = false;
    bool downloader = false;
    bool hasPath = false;
    std::wstring openId, language, path, googleId;
    std::vector<std::wstring> unexpected;
};

// Skips the program name (quoted or not) of a raw command line.
const wchar_t* skipProgram(const wchar_t* p) {
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return p;
}

// Options are "-key" or "-key=value"; a value in double quotes runs to the next double quote, with
// no escapes (a folder ends in a backslash right before its closing quote).
Options parseOptions(const wchar_t* commandLine) {
    Options options;
    const wchar_t* p = skipProgram(commandLine);
    for (;;) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) break;
        const wchar_t* start = p;
        while (*p && *p != L' ' && *p != L'\t' && *p != L'=') ++p;
        const std::wstring key(start, p);
        std::wstring value;
        const bool hasValue = *p == L'=';
        if (hasValue) {
            ++p;
            if (*p == L'"') {
                const wchar_t* end = wcschr(p + 1, L'"');
                value.assign(p + 1, end ? end : p + wcslen(p));
                p = end ? end + 1 : p + wcslen(p);
            } else {
                const wchar_t* valueStart = p;
                while (*p && *p != L' ' && *p != L'\t') ++p;
                value.assign(valueStart, p);
            }
        }
        if (key == L"-silence" && !hasValue) {
            options.silence = true;
        } else if (key == L"-downloader" && !hasValue) {
            options.downloader = true;
        } else if (key == L"-openid" && hasValue) {
            options.openId = value;
        } else if (key == L"-language" && hasValue) {
            options.language = value;
        } else if (key == L"-path" && hasValue) {
            options.path = value;
            options.hasPath = true;
        } else if (key == L"-googleid" && hasValue) {
            options.googleId = value;
        } else {
            options.unexpected.push_back(hasValue ? key + L"=" + value : key);
        }
    }
    return options;
}

// "edition=<e>" from the trailer line near the end of the package (a signature follows it in a
// signed package); "9" when there is none (the program run straight from the build).
std::string packageEdition() {
    std::ifstream in(standin::exePath().c_str(), std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    const std::streamoff tail = std::min<std::streamoff>(size, 64 * 1024);
    std::string bytes(static_cast<std::size_t>(tail), '\0');
    in.seekg(size - tail);
    in.read(bytes.data(), tail);
    const std::string marker = "TAMRIX-STANDIN-PACKAGE edition=";
    const auto at = bytes.rfind(marker);
    if (at == std::string::npos) return "9";
    const auto start = at + marker.size();
    return bytes.substr(start, bytes.find(' ', start) - start);
}

// The emulator's own registry key by edition and language.
std::wstring registryKey(const std::string& edition, const std::wstring& language) {
    const bool domestic = language == L"cn";
    if (edition == "4")
        return domestic ? L"Software\\sarvel\\Tamrix" : L"Software\\Vorlund\\Tamrix";
    if (edition == "64")
        return domestic ? L"Software\\sarvel\\Tamrix64" : L"Software\\Vorlund\\Tamrix64";
    if (edition == "3")
        return domestic ? L"Software\\Quenmar2\\gxplayer" : L"Software\\Quenmar\\Tamrix";
    return domestic ? L"Software\\sarvel\\Tamrix9" : L"Software\\Vorlund\\Tamrix9";
}

bool writeBytes(const std::wstring& path, const void* data, DWORD size) {
    const utility::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

bool extractResource(int id, const std::wstring& path) {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RCDATA
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return bytes && writeBytes(path, bytes, SizeofResource(nullptr, resource));
}

bool makeFolders(const std::wstring& folder) {
    std::wstring path;
    for (wchar_t c : folder) {
        path.push_back(c);
        if (c == L'\\' && path.size() > 3) CreateDirectoryW(path.c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring withSlash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder.push_back(L'\\');
    return folder;
}

bool writeSettings(const std::wstring& file, const Options& options, const std::string& edition) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.SetIndent(' ', 4);
    w.StartObject();
    w.Key("channelOpenId"), w.String("0");
    w.Key("openId"), w.String(standin::toUtf8(options.openId).c_str());
    w.Key("edition"), w.String(edition.c_str());
    w.Key("language"), w.String(standin::toUtf8(options.language).c_str());
    w.EndObject();
    return writeBytes(file, buffer.GetString(), static_cast<DWORD>(buffer.GetSize()));
}

bool recordInstallDir(const std::wstring& key, const std::wstring& folder) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(handle, L"InstallDir", 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(folder.c_str()),
                                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

struct Install {
    bool folder = false, player = false, console = false, settings = false, registry = false;
    bool ok() const { return folder && player && console && settings && registry; }
};

Install install(const Options& options, const std::string& edition, const std::wstring& key) {
    Install done;
    const std::wstring folder = withSlash(options.path);
    done.folder = options.hasPath && !options.path.empty() && makeFolders(folder);
    if (!done.folder) return done;
    done.player = extractResource(kPlayerResource, folder + L"gxplayer.exe");
    done.console = extractResource(kConsoleResource, folder + L"gxconsole.exe");
    done.settings = makeFolders(folder + L"vms\\config") &&
                    writeSettings(folder + L"vms\\config\\sarvels.config", options, edition);
    done.registry = recordInstallDir(key, options.path);
    return done;
}

// Posts to the downloader's channel window; false when there is none.
bool post(UINT message, WPARAM code) {
    HWND window = FindWindowW(kChannelName, nullptr);
    return window && PostMessageW(window, message, code, 0);
}

}  // namespace

int wmain() {
    const standin::Settings settings("installer");
    const Options options = parseOptions(GetCommandLineW());
    const std::string edition = packageEdition();
    const std::wstring key = registryKey(edition, options.language);
    const std::string behaviour = settings.text("behaviour", "success");
    const int errorCode = settings.integer("errorCode", 1001);
    const int exitCode = settings.integer("exitCode", behaviour == "fail" ? 1 : 0);
    if (const int delay = settings.integer("delayMs", 0); delay > 0)
        Sleep(static_cast<DWORD>(delay));

    Install done;
    if (behaviour == "success" || behaviour == "silent") done = install(options, edition, key);
    bool posted = false;
    UINT message = 0;
    if (behaviour == "success" || behaviour == "fail") {
        message = behaviour == "success" && done.ok() ? kInstallSucceeded : kInstallFailed;
        posted = post(message, message == kInstallFailed ? static_cast<WPARAM>(errorCode) : 0);
    }

    standin::recordRun("installer", [&](standin::JsonWriter& w) {
        w.Key("behaviour"), standin::writeString(w, behaviour);
        w.Key("edition"), standin::writeString(w, edition);
        w.Key("options");
        w.StartObject();
        w.Key("silence"), w.Bool(options.silence);
        w.Key("downloader"), w.Bool(options.downloader);
        w.Key("openid"), standin::writeString(w, options.openId);
        w.Key("language"), standin::writeString(w, options.language);
        w.Key("path"), standin::writeString(w, options.path);
        w.Key("googleid"), standin::writeString(w, options.googleId);
        w.Key("unexpected");
        w.StartArray();
        for (const auto& item : options.unexpected) standin::writeString(w, item);
        w.EndArray();
        w.EndObject();
        w.Key("registryKey"), standin::writeString(w, key);
        w.Key("installed");
        w.StartObject();
        w.Key("folder"), w.Bool(done.folder);
        w.Key("player"), w.Bool(done.player);
        w.Key("console"), w.Bool(done.console);
        w.Key("settings"), w.Bool(done.settings);
        w.Key("registry"), w.Bool(done.registry);
        w.EndObject();
        w.Key("message"), w.Uint(message);
        w.Key("messagePosted"), w.Bool(posted);
        w.Key("errorCode"), w.Int(message == kInstallFailed ? errorCode : 0);
        w.Key("exitCode");
        if (behaviour == "hang" || behaviour == "crash")
            w.Null();
        else
            w.Int(exitCode);
    });

    if (const int delay = settings.integer("exitDelayMs", 0); delay > 0)
        Sleep(static_cast<DWORD>(delay));
    if (const std::string name = settings.text("exitOnEvent", ""); !name.empty()) {
        const std::wstring wide(name.begin(), name.end());
        const utility::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, wide.c_str()));
        if (event) WaitForSingleObject(event.get(), 60000);
    }
    if (behaviour == "hang") Sleep(INFINITE);
    if (behaviour == "crash") {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    return exitCode;
}
