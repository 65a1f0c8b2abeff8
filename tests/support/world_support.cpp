#include "tests/support/world_support.h"

#include <algorithm>
#include <cctype>

#include "tests/support/test_support.h"

namespace testing_support::world {
namespace {

// Longest pause between two looks at a record when no change notification arrives (Wine may
// not report changes that a Linux process makes).
constexpr DWORD kLookIntervalMs = 100;

std::wstring utf8ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
    return wide;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Complete lines only: the writers append whole lines, and a reader may catch one half written.
std::vector<std::string> readLines(const std::wstring& relative) {
    if (!inWorld()) return {};
    const std::string bytes = readFileBytes(worldPath(relative));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = bytes.find('\n'); end != std::string::npos;
         start = end + 1, end = bytes.find('\n', start)) {
        if (end > start) lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

std::string text(const rapidjson::Value& object, const char* key) {
    const auto it = object.FindMember(key);
    if (it == object.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

template <typename T>
T number(const rapidjson::Value& object, const char* key) {
    const auto it = object.FindMember(key);
    if (it == object.MemberEnd()) return T{};
    if (it->value.IsUint64()) return static_cast<T>(it->value.GetUint64());
    if (it->value.IsInt64()) return static_cast<T>(it->value.GetInt64());
    return T{};
}

std::string decodeBase64(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        const auto position = kAlphabet.find(c);
        if (position == std::string::npos) continue;
        value = (value << 6) | static_cast<unsigned>(position);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((value >> bits) & 0xff));
        }
    }
    return out;
}

RecordedRequest parseRequest(const std::string& line) {
    RecordedRequest r;
    r.line = line;
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    if (d.HasParseError() || !d.IsObject()) return r;
    r.index = number<std::size_t>(d, "index");
    r.scheme = text(d, "scheme");
    r.sni = text(d, "sni");
    r.remotePort = number<int>(d, "remotePort");
    r.host = text(d, "host");
    r.method = text(d, "method");
    r.target = text(d, "target");
    r.path = text(d, "path");
    r.query = text(d, "query");
    if (const auto it = d.FindMember("headers"); it != d.MemberEnd() && it->value.IsArray()) {
        for (const auto& pair : it->value.GetArray()) {
            if (pair.IsArray() && pair.Size() == 2 && pair[0].IsString() && pair[1].IsString())
                r.headers.emplace_back(pair[0].GetString(), pair[1].GetString());
        }
    }
    const std::string base64 = text(d, "bodyBase64");
    r.body = base64.empty() ? text(d, "body") : decodeBase64(base64);
    r.status = number<int>(d, "status");
    if (const auto it = d.FindMember("contentLength"); it != d.MemberEnd() && it->value.IsUint64())
        r.contentLength = it->value.GetUint64();
    r.contentRange = text(d, "contentRange");
    r.bytesServed = number<std::uint64_t>(d, "bytesServed");
    r.range = text(d, "range");
    r.outcome = text(d, "outcome");
    if (const auto it = d.FindMember("faults"); it != d.MemberEnd() && it->value.IsArray()) {
        for (const auto& fault : it->value.GetArray())
            if (fault.IsString()) r.faults.emplace_back(fault.GetString());
    }
    if (const auto it = d.FindMember("rule"); it != d.MemberEnd() && it->value.IsUint64())
        r.rule = static_cast<std::size_t>(it->value.GetUint64());
    r.scenarioError = text(d, "scenarioError");
    return r;
}

StandinRun parseStandinRun(const std::string& line) {
    StandinRun run;
    run.line = line;
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    if (d.HasParseError() || !d.IsObject()) return run;
    run.program = text(d, "program");
    run.commandLine = utf8ToWide(text(d, "commandLine"));
    run.workingDir = utf8ToWide(text(d, "workingDir"));
    run.exePath = utf8ToWide(text(d, "exePath"));
    run.processId = number<unsigned long>(d, "processId");
    if (const auto it = d.FindMember("elevated"); it != d.MemberEnd() && it->value.IsBool())
        run.elevated = it->value.GetBool();
    if (const auto it = d.FindMember("arguments"); it != d.MemberEnd() && it->value.IsArray()) {
        for (const auto& argument : it->value.GetArray())
            if (argument.IsString()) run.arguments.push_back(utf8ToWide(argument.GetString()));
    }
    return run;
}

// Calls done() until it returns true or the time is up; woken by changes in the folder.
bool waitUntil(const std::wstring& folder, DWORD timeoutMs, const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    HANDLE change = FindFirstChangeNotificationW(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    bool result = false;
    for (;;) {
        if (done()) {
            result = true;
            break;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD pause =
            static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kLookIntervalMs));
        if (change != INVALID_HANDLE_VALUE) {
            if (WaitForSingleObject(change, pause) == WAIT_OBJECT_0)
                FindNextChangeNotification(change);
        } else {
            Sleep(pause);
        }
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    return result;
}

}  // namespace

bool inWorld() {
    return GetEnvironmentVariableW(L"TAMRIX_WORLD_DIR", nullptr, 0) > 0;
}

std::wstring worldDir() {
    const DWORD size = GetEnvironmentVariableW(L"TAMRIX_WORLD_DIR", nullptr, 0);
    if (size == 0) return {};
    std::wstring unix(size, L'\0');
    unix.resize(GetEnvironmentVariableW(L"TAMRIX_WORLD_DIR", unix.data(), size));
    std::wstring path = L"Z:";
    for (wchar_t c : unix) path.push_back(c == L'/' ? L'\\' : c);
    if (path.back() != L'\\') path.push_back(L'\\');
    return path;
}

std::wstring worldPath(const std::wstring& relative) {
    return worldDir() + relative;
}

bool writeScenario(const std::string& json) {
    if (!inWorld()) return false;
    const std::wstring target = worldPath(L"scenario.json");
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64()) + L".tmp";
    if (!writeFileBytes(temporary, json)) return false;
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileW(temporary.c_str());
    return false;
}

bool resetScenario() {
    return writeScenario("{}");
}

std::string patternBytes(std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = patternByte(offset + i);
    return bytes;
}

std::string RecordedRequest::header(std::string_view name) const {
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers)
        if (lower(key) == wanted) return value;
    return {};
}

bool RecordedRequest::hasHeader(std::string_view name) const {
    const std::string wanted = lower(name);
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& entry) { return lower(entry.first) == wanted; });
}

rapidjson::Document RecordedRequest::json() const {
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    return d;
}

std::vector<RecordedRequest> readRequests() {
    std::vector<RecordedRequest> requests;
    for (const auto& line : readLines(L"requests.jsonl")) requests.push_back(parseRequest(line));
    return requests;
}

std::size_t requestCount() {
    return readLines(L"requests.jsonl").size();
}

std::vector<RecordedRequest> waitForRequests(std::size_t count, std::size_t since,
                                             DWORD timeoutMs) {
    waitUntil(worldDir(), timeoutMs, [&] { return requestCount() >= since + count; });
    std::vector<RecordedRequest> all = readRequests();
    if (all.size() <= since) return {};
    return std::vector<RecordedRequest>(all.begin() + static_cast<std::ptrdiff_t>(since),
                                        all.end());
}

std::optional<RecordedRequest> waitForRequest(
    const std::function<bool(const RecordedRequest&)>& match, std::size_t since, DWORD timeoutMs) {
    std::optional<RecordedRequest> found;
    waitUntil(worldDir(), timeoutMs, [&] {
        const auto all = readRequests();
        for (std::size_t i = since; i < all.size(); ++i) {
            if (match(all[i])) {
                found = all[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<Handshake> readHandshakes() {
    std::vector<Handshake> handshakes;
    for (const auto& line : readLines(L"tls.jsonl")) {
        rapidjson::Document d;
        d.Parse(line.data(), line.size());
        if (!d.HasParseError() && d.IsObject())
            handshakes.push_back({text(d, "sni"), text(d, "certificate")});
    }
    return handshakes;
}

rapidjson::Document StandinRun::json() const {
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    return d;
}

std::vector<StandinRun> readStandinRuns(std::string_view program) {
    std::vector<StandinRun> runs;
    const std::wstring file =
        L"standins\\" + std::wstring(program.begin(), program.end()) + L".jsonl";
    for (const auto& line : readLines(file)) runs.push_back(parseStandinRun(line));
    return runs;
}

std::vector<StandinRun> waitForStandinRuns(std::string_view program, std::size_t count,
                                           DWORD timeoutMs) {
    waitUntil(worldPath(L"standins"), timeoutMs,
              [&] { return readStandinRuns(program).size() >= count; });
    return readStandinRuns(program);
}

}  // namespace testing_support::world
