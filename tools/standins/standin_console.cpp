// Stand-in for the emulator's console tool (gxconsole.exe). It answers the two commands the
// installer gives it and records every run:
//   modify --index N --resolution R
//   installapk --index N --filename "F" [--packagename P] [--fileobb "O"] [--wait] [--hide]
// "installapk" returns once the package "is installed": 0 when the package file (and the OBB file,
// when named) exists, 2 when one is missing. Unknown commands and malformed options end with 1.
//
// Scenario ("standins" -> "console"):
//   "exitCode": exit code of every run, in place of the above
//   "delayMs":  time the command takes
//   "hang":     true: never return
#include <windows.h>

#include <shellapi.h>

#include <map>
#include <string>

#include "tools/standins/standin_common.h"
#include "utility/handle.h"

namespace {

struct Command {
    std::wstring name;
    std::map<std::wstring, std::wstring> values;  // "--key value"
    std::map<std::wstring, bool> flags;           // "--key" alone
    std::wstring problem;
};

bool takesValue(const std::wstring& key) {
    return key == L"--index" || key == L"--resolution" || key == L"--filename" ||
           key == L"--packagename" || key == L"--fileobb";
}

Command parse(int argc, wchar_t** argv) {
    Command command;
    if (argc < 2) {
        command.problem = L"no command";
        return command;
    }
    command.name = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::wstring key = argv[i];
        if (key.rfind(L"--", 0) != 0) {
            command.problem = L"unexpected argument " + key;
        } else if (takesValue(key)) {
            if (i + 1 >= argc)
                command.problem = L"no value for " + key;
            else
                command.values[key] = argv[++i];
        } else {
            command.flags[key] = true;
        }
    }
    return command;
}

// Size of an existing file, -1 when there is none.
long long fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring value(const Command& command, const wchar_t* key) {
    const auto it = command.values.find(key);
    return it == command.values.end() ? std::wstring() : it->second;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const standin::Settings settings("console");
    const Command command = parse(argc, argv);
    int result = 1;
    long long packageSize = -1, obbSize = -1;
    if (command.problem.empty() && command.name == L"modify") {
        result = value(command, L"--resolution").empty() ? 1 : 0;
    } else if (command.problem.empty() && command.name == L"installapk") {
        packageSize = fileSize(value(command, L"--filename"));
        const std::wstring obb = value(command, L"--fileobb");
        if (!obb.empty()) obbSize = fileSize(obb);
        result = packageSize >= 0 && (obb.empty() || obbSize >= 0) ? 0 : 2;
    }
    result = settings.integer("exitCode", result);
    if (const int delay = settings.integer("delayMs", 0); delay > 0)
        Sleep(static_cast<DWORD>(delay));
    const bool hang = settings.flag("hang", false);

    standin::recordRun("console", [&](standin::JsonWriter& w) {
        w.Key("command"), standin::writeString(w, command.name);
        w.Key("problem"), standin::writeString(w, command.problem);
        w.Key("values");
        w.StartObject();
        for (const auto& [key, text] : command.values) {
            standin::writeString(w, key);
            standin::writeString(w, text);
        }
        w.EndObject();
        w.Key("flags");
        w.StartArray();
        for (const auto& [key, set] : command.flags) standin::writeString(w, key);
        w.EndArray();
        w.Key("packageSize"), w.Int64(packageSize);
        w.Key("obbSize"), w.Int64(obbSize);
        w.Key("hang"), w.Bool(hang);
        w.Key("exitCode"), w.Int(result);
    });
    if (hang) Sleep(INFINITE);
    return result;
}
