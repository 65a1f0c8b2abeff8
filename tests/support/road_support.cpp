#include "tests/support/road_support.h"

#include <algorithm>
#include <cstdio>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "app/deployment.h"
#include "tests/tools/wininet_fetch.h"
#include "utility/file.h"
#include "utility/text.h"

namespace road {
namespace {

std::wstring logPath() {
    return utility::ufile::appDataDir() + L"\\txdownloader_en\\downloader.log";
}

std::string compact(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return buffer.GetString();
}

std::string host(std::wstring_view wide) {
    return utility::wideToUtf8(std::wstring(wide));
}

bool isUpload(const RecordedRequest& request) {
    return request.host == host(deployment::values().collectionHost);
}
bool isAnalytics(const RecordedRequest& request) {
    return request.host == host(deployment::values().analyticsHost);
}

}  // namespace

// The process ended once its last request had its answer; the double writes its record a moment
// after, so a run waits until the record holds as many uploads as the log announced.
void collectRecords(Run& run, std::size_t since) {
    std::size_t uploads = 0;
    for (const auto& line : run.log) {
        if (line.function == "TxReporter::_threadReport" &&
            line.message.rfind("report ret:", 0) == 0) {
            ++uploads;
        }
    }
    if (uploads > 0) {
        testing_support::world::waitForRequest(
            [&, seen = std::size_t{0}](const RecordedRequest& request) mutable {
                if (isUpload(request)) ++seen;
                return seen >= uploads;
            },
            since);
    }
    run.requests = testing_support::world::waitForRequests(0, since, 0);
    auto all = testing_support::world::readRequests();
    run.requests.assign(all.begin() + static_cast<std::ptrdiff_t>(since), all.end());
}

bool Run::logged(const std::string& function, const std::string& message) const {
    return testing_support::hasLogLine(log, function, message);
}

std::vector<std::string> Run::messages(const std::string& function) const {
    std::vector<std::string> found;
    for (const auto& line : log) {
        if (line.function == function) found.push_back(line.message);
    }
    return found;
}

std::vector<RecordedRequest> Run::requestsTo(const std::string& hostName,
                                             const std::string& pathPrefix) const {
    std::vector<RecordedRequest> found;
    for (const auto& request : requests) {
        if (request.host == hostName && request.path.rfind(pathPrefix, 0) == 0) {
            found.push_back(request);
        }
    }
    return found;
}

std::vector<RecordedRequest> Run::requestsAt(const std::string& hostName,
                                             const std::string& path) const {
    std::vector<RecordedRequest> found;
    for (const auto& request : requests) {
        if (request.host == hostName && request.path == path) found.push_back(request);
    }
    return found;
}

std::size_t Run::logIndex(const std::string& function, const std::string& messageStart) const {
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].function == function && log[i].message.rfind(messageStart, 0) == 0) return i;
    }
    return std::string::npos;
}

long Run::logTime(const std::string& function, const std::string& messageStart) const {
    const std::size_t index = logIndex(function, messageStart);
    if (index == std::string::npos) return -1;
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
    if (std::sscanf(log[index].time.c_str(), "%d:%d:%d.%d", &hours, &minutes, &seconds, &millis) !=
        4) {
        return -1;
    }
    return ((hours * 60L + minutes) * 60L + seconds) * 1000L + millis;
}

std::vector<std::string> Run::reporterEvents() const {
    std::vector<std::string> events;
    for (const auto& request : requests) {
        if (!isUpload(request)) continue;
        const auto record = request.json();
        if (!record.HasMember("collection")) continue;
        const auto& parsed = record["collection"]["events"];
        if (!parsed.IsArray()) continue;
        for (const auto& event : parsed.GetArray()) {
            rapidjson::Document summary(rapidjson::kObjectType);
            auto& allocator = summary.GetAllocator();
            rapidjson::Value name;
            if (event.IsObject() && event.HasMember("eventKey")) {
                name.CopyFrom(event["eventKey"], allocator);
            }
            summary.AddMember("event", name, allocator);
            if (event.HasMember("properties") && event["properties"].IsObject()) {
                rapidjson::Value properties(rapidjson::kObjectType);
                for (const auto& member : event["properties"].GetObject()) {
                    const std::string key = member.name.GetString();
                    if (key != "ext_field" && key != "failure_reason" && key != "duration") {
                        continue;
                    }
                    // Durations vary from run to run: only their presence is compared.
                    rapidjson::Value value("*");
                    if (key != "duration") value.CopyFrom(member.value, allocator);
                    properties.AddMember(rapidjson::Value(key.c_str(), allocator), value,
                                         allocator);
                }
                if (properties.MemberCount() > 0) {
                    summary.AddMember("properties", properties, allocator);
                }
            }
            events.push_back(compact(summary));
        }
    }
    return events;
}

std::vector<std::string> Run::analyticsEvents() const {
    std::vector<std::string> names;
    for (const auto& request : requests) {
        if (!isAnalytics(request)) continue;
        const auto record = request.json();
        if (!record.HasMember("analytics")) continue;
        const auto& events = record["analytics"]["events"];
        if (!events.IsArray()) continue;
        for (const auto& event : events.GetArray()) {
            if (event.HasMember("name") && event["name"].IsString()) {
                names.push_back(event["name"].GetString());
            }
        }
    }
    return names;
}

std::string Run::describeRequests() const {
    std::string text;
    for (const auto& request : requests) {
        text += request.method + " " + request.host + request.target + " " +
                std::to_string(request.status) + " " + request.outcome + " [" +
                request.header("User-Agent") + "]\n";
    }
    return text;
}

std::size_t Run::uploadCount() const {
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(), isUpload));
}

bool Run::allUploadsSigned() const {
    bool any = false;
    for (const auto& request : requests) {
        if (!isUpload(request)) continue;
        any = true;
        const auto record = request.json();
        if (!record.HasMember("collection")) return false;
        const auto& collection = record["collection"];
        if (std::string(collection["verdict"].GetString()) != "valid") return false;
        if (collection.HasMember("problems") && !collection["problems"].Empty()) return false;
    }
    return any;
}

void resetMachine() {
    for (const wchar_t* key :
         {L"Software\\Vorlund\\Tamrix", L"Software\\Vorlund\\Tamrix64",
          L"Software\\Vorlund\\Tamrix9", L"Software\\Quenmar\\Tamrix",
          L"Software\\Quenmar\\gxplayer-tw", L"Software\\Quenmar\\gxplayer-kr"}) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"InstallDir");
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"TxNews");
    testing_support::world::resetScenario();
}

Run runDriver(const std::wstring& baseName, const std::wstring& commandLine,
              const std::map<std::wstring, std::wstring>& options,
              const testing_support::TempDir& folder) {
    Run run;
    run.folder = folder.path();
    const std::wstring exe = folder.path() + baseName + L".exe";
    CopyFileW(testing_support::peerPath(L"engine_driver_peer").c_str(), exe.c_str(), FALSE);
    auto driverOptions = options;
    driverOptions.emplace(L"TAMRIX_DRIVER_FOLDER", folder.path() + L"Emu");
    for (const auto& [name, value] : driverOptions) {
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    }

    const std::size_t logStart = testing_support::readFileBytes(logPath()).size();
    const std::size_t since = testing_support::world::requestCount();
    std::wstring line = L"\"" + exe + L"\"";
    if (!commandLine.empty()) line += L" " + commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.path().c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        DWORD code = 0;
        if (WaitForSingleObject(info.hProcess, 300000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(info.hProcess, &code)) {
            run.exitCode = static_cast<long>(code);
        }
        CloseHandle(info.hProcess);
    }
    for (const auto& option : driverOptions) {
        SetEnvironmentVariableW(option.first.c_str(), nullptr);
    }

    const std::string text = testing_support::readFileBytes(logPath());
    run.log = testing_support::parseLogLines(text.substr(std::min(logStart, text.size())));
    const std::string chosen = "install folder ";
    for (const auto& message : run.messages("CMainFrame::installNow")) {
        if (message.rfind(chosen, 0) == 0) {
            run.installFolder = utility::utf8ToWide(message.substr(chosen.size()));
        }
    }
    collectRecords(run, since);
    return run;
}

void RoadTest::SetUp() {
    ASSERT_TRUE(testing_support::world::inWorld()) << "runs inside scripts/world.sh";
    resetMachine();
}

Run RoadTest::run(const std::wstring& baseName, std::map<std::wstring, std::wstring> options) {
    options.emplace(L"TAMRIX_DRIVER_LAUNCH", L"0");
    return runDriver(baseName, L"", options, folder_);
}

std::wstring buildPath(const std::wstring& relative) {
    // Peers live in <build>\tests\support.
    std::wstring build = utility::ufile::parentDir(
        utility::ufile::parentDir(utility::ufile::parentDir(testing_support::peerPath(L"x"))));
    if (!build.empty() && build.back() != L'\\') build += L'\\';
    return build + relative;
}

std::wstring standinPath(const std::wstring& name) {
    return buildPath(L"tools\\standins\\" + name + L".exe");
}

bool setProgramWindowsVersion(const std::wstring& exeName, const std::wstring& version) {
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName;
    if (version.empty()) {
        const LSTATUS removed = RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version");
        return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
    }
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                           static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

namespace {

long localTimeOfDay(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return -1;
    return ((time.wHour * 60L + time.wMinute) * 60L + time.wSecond) * 1000L + time.wMilliseconds;
}

}  // namespace

long lastWriteTimeOfDay(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return localTimeOfDay(data.ftLastWriteTime);
}

long registryWriteTimeOfDay(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    FILETIME written{};
    const LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, &written);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? localTimeOfDay(written) : -1;
}

std::string defaultVersionDocument() {
    return world_test::fetch(L"https://" + std::wstring(deployment::values().cdnHost) +
                             L"/player_files/en/sarvel")
        .body;
}

std::string cdnHost() {
    return host(deployment::values().cdnHost);
}
std::string spareHost() {
    return host(deployment::values().spareResourceHost);
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string rule(const std::string& hostName, const std::string& path, const std::string& answer) {
    return R"({"host": ")" + hostName + R"(", "path": ")" + path + "\", " + answer + "}";
}

}  // namespace road
