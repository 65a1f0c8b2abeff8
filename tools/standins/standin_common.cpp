#include "tools/standins/standin_common.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "utility/handle.h"

namespace standin {
namespace {

// Makes every stand-in's record appends one after the other.
constexpr wchar_t kRecordMutex[] = L"Local\\tamrix-standin-records";

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long long unixTimeMs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>(ticks / 10000ULL - 11644473600000ULL);
}

std::string luidText(const LUID& luid) {
    char text[24] = {};
    std::snprintf(text, sizeof(text), "%lx:%lx", static_cast<unsigned long>(luid.HighPart),
                  luid.LowPart);
    return text;
}

DWORD parentProcessId() {
    const utility::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) return entry.th32ParentProcessID;
    }
    return 0;
}

// What the process was started with: its start-up information and its token.
void writeStart(JsonWriter& w) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    w.Key("parentProcessId"), w.Uint(parentProcessId());
    w.Key("startup");
    w.StartObject();
    w.Key("flags"), w.Uint(startup.dwFlags);
    w.Key("showWindow"), w.Uint(startup.wShowWindow);
    w.EndObject();
    w.Key("token");
    w.StartObject();
    HANDLE raw = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        const utility::UniqueHandle token(raw);
        TOKEN_STATISTICS statistics{};
        TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
        DWORD size = 0;
        if (GetTokenInformation(token.get(), TokenStatistics, &statistics, sizeof(statistics),
                                &size)) {
            w.Key("id"), writeString(w, luidText(statistics.TokenId));
            w.Key("logonSession"), writeString(w, luidText(statistics.AuthenticationId));
        }
        if (GetTokenInformation(token.get(), TokenElevationType, &elevation, sizeof(elevation),
                                &size)) {
            w.Key("elevationType"), w.Int(static_cast<int>(elevation));
        }
    }
    w.EndObject();
}

}  // namespace

std::wstring worldDir() {
    wchar_t unix[4096] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAMRIX_WORLD_DIR", unix, 4096);
    if (length == 0 || length >= 4096) return {};
    std::wstring path = L"Z:";
    for (DWORD i = 0; i < length; ++i) path.push_back(unix[i] == L'/' ? L'\\' : unix[i]);
    if (path.back() != L'\\') path.push_back(L'\\');
    return path;
}

Settings::Settings(const char* program) {
    document_.SetObject();
    const std::wstring dir = worldDir();
    if (dir.empty()) return;
    const std::string text = readFile(dir + L"scenario.json");
    document_.Parse(text.data(), text.size());
    if (document_.HasParseError() || !document_.IsObject()) {
        document_.SetObject();
        return;
    }
    const auto standins = document_.FindMember("standins");
    if (standins == document_.MemberEnd() || !standins->value.IsObject()) return;
    const auto own = standins->value.FindMember(program);
    if (own != standins->value.MemberEnd() && own->value.IsObject()) settings_ = &own->value;
}

const rapidjson::Value* Settings::member(const char* key) const {
    if (!settings_) return nullptr;
    const auto it = settings_->FindMember(key);
    return it == settings_->MemberEnd() ? nullptr : &it->value;
}

int Settings::integer(const char* key, int fallback) const {
    const auto* value = member(key);
    return value && value->IsInt() ? value->GetInt() : fallback;
}

std::string Settings::text(const char* key, const std::string& fallback) const {
    const auto* value = member(key);
    return value && value->IsString() ? value->GetString() : fallback;
}

bool Settings::flag(const char* key, bool fallback) const {
    const auto* value = member(key);
    return value && value->IsBool() ? value->GetBool() : fallback;
}

bool isElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const utility::UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

std::wstring exePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

void writeString(JsonWriter& writer, const std::string& text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

void writeString(JsonWriter& writer, const std::wstring& text) {
    writeString(writer, toUtf8(text));
}

void recordRun(const char* program, const std::function<void(JsonWriter&)>& members) {
    const std::wstring dir = worldDir();
    if (dir.empty()) return;
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("program"), w.String(program);
    w.Key("time"), w.Int64(unixTimeMs());
    w.Key("processId"), w.Uint(GetCurrentProcessId());
    w.Key("commandLine"), writeString(w, std::wstring(GetCommandLineW()));
    w.Key("arguments");
    w.StartArray();
    int count = 0;
    if (wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) writeString(w, std::wstring(arguments[i]));
        LocalFree(arguments);
    }
    w.EndArray();
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    w.Key("workingDir"), writeString(w, std::wstring(current));
    w.Key("exePath"), writeString(w, exePath());
    w.Key("elevated"), w.Bool(isElevated());
    writeStart(w);
    if (members) members(w);
    w.EndObject();
    std::string line(buffer.GetString(), buffer.GetSize());
    line.push_back('\n');

    const std::wstring file =
        dir + L"standins\\" + std::wstring(program, program + std::strlen(program)) + L".jsonl";
    const utility::UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kRecordMutex));
    const bool owned = mutex && WaitForSingleObject(mutex.get(), 10000) == WAIT_OBJECT_0;
    CreateDirectoryW((dir + L"standins").c_str(), nullptr);
    {
        const utility::UniqueHandle out(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (out)
            WriteFile(out.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (owned) ReleaseMutex(mutex.get());
}

}  // namespace standin
