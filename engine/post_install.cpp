#include "engine/post_install.h"

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <thread>
#include <utility>
#include <vector>

#include "engine/downloader_model.h"
#include "engine/run_parameters.h"
#include "utility/disk.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/log.h"
#include "utility/text.h"

namespace post_install {
namespace {

constexpr char kSetupTag[] = "DownloaderModel::_threadInsPlayer";
constexpr wchar_t kSection[] = L"setting";

void writeSetting(const std::wstring& file, const wchar_t* key, const std::wstring& value) {
    WritePrivateProfileStringW(kSection, key, value.c_str(), file.c_str());
}

// Text the emulator reads as UTF-8: the wide text through the system code page, as the
// emulator's own settings writer does, then to UTF-8, written with the narrow call.
void writeNarrowSetting(const std::wstring& file, const char* key, const std::wstring& value) {
    const std::string utf8 = utility::ansiToUtf8(utility::wideToAnsi(value));
    WritePrivateProfileStringA("setting", key, utf8.c_str(), utility::wideToAnsi(file).c_str());
}

void removeNewsAutorun() {
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_SET_VALUE, &run) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(run, L"TxNews");
    RegCloseKey(run);
}

// Far deeper than any configuration the emulator writes, far shallower than what the writer's
// recursion could take on a thread's stack.
constexpr int kMaxConfigDepth = 256;

// Whether arrays and objects nest more than the given number of levels (the root is the first),
// found without recursion.
bool nestsDeeperThan(const rapidjson::Value& root, int levels) {
    std::vector<std::pair<const rapidjson::Value*, int>> pending{{&root, 1}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        if (depth > levels) return true;
        const auto visit = [&, depth = depth](const rapidjson::Value& child) {
            if (child.IsArray() || child.IsObject()) pending.emplace_back(&child, depth + 1);
        };
        if (value->IsArray())
            for (const auto& item : value->GetArray()) visit(item);
        else if (value->IsObject())
            for (const auto& member : value->GetObject()) visit(member.value);
    }
    return false;
}

bool isReservedDeviceName(std::wstring name) {
    const auto dot = name.find(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    utility::toLowerInPlace(name);
    static const std::array<const wchar_t*, 4> kPlain{L"con", L"prn", L"aux", L"nul"};
    for (const wchar_t* reserved : kPlain) {
        if (name == reserved) return true;
    }
    return name.size() == 4 &&
           (name.compare(0, 3, L"com") == 0 || name.compare(0, 3, L"lpt") == 0) &&
           name[3] >= L'0' && name[3] <= L'9';
}

// The process image path as the process itself reports it.
std::wstring imagePath(HANDLE process, const PROCESSENTRY32W& entry) {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameExW(process, nullptr, path, MAX_PATH) != 0 && path[0] != L'\0') {
        return path;
    }
    return entry.szExeFile;
}

// A primary token of the desktop shell of this session, for starting programs as the signed-in
// user without administrator rights. A shell of another session belongs to another user.
utility::UniqueHandle shellToken() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring expected = std::wstring(windows) + L"\\explorer.exe";
    DWORD ownSession = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &ownSession)) return {};

    const utility::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        DWORD session = 0;
        if (!ProcessIdToSessionId(entry.th32ProcessID, &session)) continue;
        const utility::UniqueHandle process(
            OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
        if (!process) continue;
        if (!isSessionShell(imagePath(process.get(), entry), expected, session, ownSession)) {
            continue;
        }
        HANDLE token = nullptr;
        if (!OpenProcessToken(process.get(), TOKEN_DUPLICATE, &token)) return {};
        const utility::UniqueHandle shell(token);
        HANDLE primary = nullptr;
        if (!DuplicateTokenEx(shell.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                              TokenPrimary, &primary)) {
            return {};
        }
        return utility::UniqueHandle(primary);
    }
    return {};
}

std::string readWholeFile(const std::wstring& path) {
    utility::FileHandle file;
    if (!file.openRead(path)) return {};
    std::string bytes(file.size(), '\0');
    DWORD done = 0;
    while (done < bytes.size()) {
        const DWORD read = file.read(bytes.data() + done, static_cast<DWORD>(bytes.size() - done));
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

// Replaces the file's content as a whole: a new file beside it, then a rename over it, so that
// the emulator never finds half a configuration.
bool replaceWholeFile(const std::wstring& path, const std::string& bytes) {
    const std::wstring fresh = path + L".new";
    {
        utility::FileHandle file;
        if (!file.createAlways(fresh) ||
            !file.write(bytes.data(), static_cast<DWORD>(bytes.size()))) {
            file.close();
            utility::ufile::removeFile(fresh);
            return false;
        }
    }
    if (utility::ufile::moveFile(fresh, path, MOVEFILE_REPLACE_EXISTING)) return true;
    utility::ufile::removeFile(fresh);
    return false;
}

}  // namespace

OSVERSIONINFOW reportedOsVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    return version;
}

bool usesShellToken(unsigned long majorVersion, unsigned long minorVersion) {
    return majorVersion > 6 || (majorVersion == 6 && minorVersion >= 2);
}

bool isSessionShell(const std::wstring& imagePath, const std::wstring& expectedPath,
                    unsigned long processSession, unsigned long ownSession) {
    if (processSession != ownSession) return false;
    return imagePath == expectedPath || imagePath == L"explorer.exe";
}

std::wstring configFilePath(const std::wstring& installFolder) {
    return installFolder + L"\\vms\\config\\sarvels.config";
}

std::wstring dataFolder(const std::wstring& installFolder) {
    return installFolder + L"data\\";
}

void writeChannelOpenId(const std::wstring& configFile, const std::wstring& serverOpenId) {
    if (!utility::ufile::exists(configFile)) {
        LOG_AT(kSetupTag, L"sarvels config not exist!!");
        return;
    }
    rapidjson::Document document;
    const std::string text = readWholeFile(configFile);
    // The iterative parser keeps its nesting on the heap: a file of thousands of nested arrays
    // cannot exhaust the installer stage's stack. Full precision reads every number as the
    // nearest double, which the writer puts back unchanged; the fast reading can be off by a
    // little, and the emulator's other settings would change with the open id.
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag>(
        text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject()) {
        LOG_AT(kSetupTag, L"not object!");
        return;
    }
    // The writer that puts the document back recurses once per level.
    if (nestsDeeperThan(document, kMaxConfigDepth)) {
        LOG_AT(kSetupTag, L"sarvels config nested deeper than %d levels, left as it is",
               kMaxConfigDepth);
        return;
    }
    const auto member = document.FindMember("channelOpenId");
    if (member == document.MemberEnd() || !member->value.IsString()) {
        LOG_AT(kSetupTag, L"no channel id");
        return;
    }
    const std::wstring first = utility::utf8ToWide(member->value.GetString());
    const std::string current = utility::wideToUtf8(serverOpenId);
    member->value.SetString(current.c_str(), static_cast<rapidjson::SizeType>(current.size()),
                            document.GetAllocator());
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    document.Accept(writer);
    if (!replaceWholeFile(configFile, std::string(buffer.GetString(), buffer.GetSize()))) {
        return;
    }
    LOG_AT(kSetupTag, L"write openid sucess. first %s current:%s", serverOpenId.c_str(),
           first.c_str());
}

std::optional<std::wstring> safeFileName(const std::wstring& name) {
    std::wstring safe = name;
    for (auto& c : safe) {
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr) c = L'_';
    }
    while (!safe.empty() && (safe.back() == L'.' || safe.back() == L' ')) safe.pop_back();
    while (!safe.empty() && safe.front() == L' ') safe.erase(0, 1);
    if (safe.empty() || isReservedDeviceName(safe)) return std::nullopt;
    return safe;
}

bool fetchWithRetries(const FetchFunction& fetch, const std::wstring& url, const std::wstring& path,
                      HANDLE stop) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (fetch(url, path)) return true;
        if (stop == nullptr) {
            Sleep(200);
        } else if (WaitForSingleObject(stop, 200) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return false;
}

void fetchLaunchImages(const LaunchSettings& settings, const std::wstring& dataFolder,
                       const FetchFunction& fetch, HANDLE stop) {
    if (!settings.landscapeImageUrl.empty()) {
        fetchWithRetries(fetch, settings.landscapeImageUrl, dataFolder + L"launch_1920.jpg", stop);
    }
    if (!settings.portraitImageUrl.empty()) {
        fetchWithRetries(fetch, settings.portraitImageUrl, dataFolder + L"launch_1080.jpg", stop);
    }
    if (settings.shortcutIconUrl.empty()) return;
    const auto name = safeFileName(settings.shortcutName);
    if (!name) {
        LOG_AT(kSetupTag, L"unusable shortcut name, no icon: %s", settings.shortcutName.c_str());
        return;
    }
    fetchWithRetries(fetch, settings.shortcutIconUrl, dataFolder + *name + L".ico", stop);
}

LaunchSettings acceptedLaunchSettings(LaunchSettings settings) {
    if (!settings.appToRun.empty() && !run_parameters::isAndroidPackageName(settings.appToRun)) {
        LOG_AT(kSetupTag, L"runapp not accepted: %s", settings.appToRun.c_str());
        settings.appToRun.clear();
    }
    return settings;
}

void writeFirstRunSettings(const LaunchSettings& settings, const std::wstring& dataFolder) {
    const std::wstring file = dataFolder + L"data.ini";
    if (!settings.ad) writeSetting(file, L"adshow", L"0");
    if (settings.cleanMode) writeSetting(file, L"cleanmodel", L"1");
    if (!settings.ad || settings.cleanMode) removeNewsAutorun();
    if (settings.root == 0) writeSetting(file, L"useroot", L"0");
    if (!settings.appStore) writeSetting(file, L"runappstore", L"0");
    if (!settings.title.empty()) writeNarrowSetting(file, "title", settings.title);
    if (!settings.heapSize.empty()) writeNarrowSetting(file, "heapsize", settings.heapSize);
    if (!settings.groupLink.empty()) writeSetting(file, L"qqlink", settings.groupLink);
    if (!settings.appToRun.empty()) writeSetting(file, L"runapp", settings.appToRun);
}

void createDesktopShortcut(const LaunchSettings& settings, const std::wstring& installFolder,
                           const std::wstring& dataFolder) {
    if (settings.shortcutName.empty()) return;
    const auto name = safeFileName(settings.shortcutName);
    if (!name) {
        LOG_AT(kSetupTag, L"unusable shortcut name, no shortcut: %s",
               settings.shortcutName.c_str());
        return;
    }
    const std::wstring icon = dataFolder + *name + L".ico";
    if (!utility::ufile::exists(icon)) return;
    const std::wstring target = installFolder + L"\\gxplayer.exe";
    const std::wstring arguments = L"package=" + settings.appToRun;
    // The installer stage's thread has no COM; the link interface needs an apartment.
    std::thread([&] {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        helper::disk::createShortcut(*name, icon, installFolder, target, arguments);
        if (SUCCEEDED(com)) CoUninitialize();
    }).join();
}

std::wstring playerArguments(const std::wstring& package) {
    if (package.empty()) return {};
    return L"downloadpackage=" + package + L"|package=" + package;
}

bool startUnelevated(const std::wstring& executable, const std::wstring& arguments) {
    std::wstring line = L"\"" + executable + L"\" " + arguments;
    if (line.size() > 1023) return false;
    const utility::UniqueHandle token = shellToken();
    if (!token) return false;
    using CreateWithToken = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                          LPSTARTUPINFOW, LPPROCESS_INFORMATION);
    const HMODULE advapi = GetModuleHandleW(L"ADVAPI32.dll");
    const auto create = advapi == nullptr
                            ? nullptr
                            : reinterpret_cast<CreateWithToken>(reinterpret_cast<void*>(
                                  GetProcAddress(advapi, "CreateProcessWithTokenW")));
    if (create == nullptr) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!create(token.get(), LOGON_WITH_PROFILE, nullptr, line.data(), 0, nullptr, nullptr,
                &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

}  // namespace post_install
