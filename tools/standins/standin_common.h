// What the emulator stand-ins share: where the world is, their part of the scenario, whether the
// process runs elevated, and the record of each run (standins/<program>.jsonl in the world).
#pragma once

#include <windows.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <functional>
#include <string>

namespace standin {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// The world folder as a Windows path with a trailing backslash; empty outside a world.
std::wstring worldDir();

// The program's member of the scenario's "standins" object; an empty object when there is none.
class Settings {
public:
    explicit Settings(const char* program);
    int integer(const char* key, int fallback) const;
    std::string text(const char* key, const std::string& fallback) const;
    bool flag(const char* key, bool fallback) const;

private:
    const rapidjson::Value* member(const char* key) const;
    rapidjson::Document document_;
    const rapidjson::Value* settings_ = nullptr;
};

// TokenElevation of the process token.
bool isElevated();
std::wstring exePath();
std::string toUtf8(const std::wstring& text);
void writeString(JsonWriter& writer, const std::wstring& text);
void writeString(JsonWriter& writer, const std::string& text);

// Appends one line to standins/<program>.jsonl: the common members (program, time, process id,
// command line and its arguments, working folder, executable, elevation, parent process, start-up
// information and token) and those that `members` writes. Several stand-ins may record at once;
// a named mutex orders them. Does nothing outside a world.
void recordRun(const char* program, const std::function<void(JsonWriter&)>& members);

}  // namespace standin
