// Helpers for test programs that run inside the isolated world (scripts/world.sh; every
// tests/<folder>/*_world_test.cpp does): the vendor double's scenario, its record of requests,
// and the records the emulator's stand-ins write. tools/vendor_double/README.md describes the
// scenario format and every field of the records.
#pragma once

#include <windows.h>

#include <rapidjson/document.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support::world {

// Bound of the waits below: generous, since they end as soon as the record shows what they wait
// for.
inline constexpr DWORD kWaitMs = 30000;

// True when the program runs inside a world (TAMRIX_WORLD_DIR is set).
bool inWorld();
// Windows path of the world folder, with a trailing backslash; empty outside a world.
std::wstring worldDir();
// Windows path of a file or folder in the world folder ("standins\\console.jsonl").
std::wstring worldPath(const std::wstring& relative);

// Replaces scenario.json with the text, written whole under another name and then renamed, so
// the double (which reads it for every request) never sees half of it. False on failure.
bool writeScenario(const std::string& json);
// Back to the defaults: an empty scenario.
bool resetScenario();

// The bytes the double generates for {"size": n} bodies: offset modulo 251.
inline char patternByte(std::uint64_t offset) {
    return static_cast<char>(offset % 251);
}
std::string patternBytes(std::uint64_t offset, std::size_t count);

// One request as the double recorded it when the request ended.
struct RecordedRequest {
    std::size_t index = 0;  // position in the record, from 0
    std::string scheme;     // "https" or "http"
    std::string sni;        // TLS server name; empty for plain HTTP
    int remotePort = 0;     // the client's port: tells connections apart
    std::string host;       // Host header, lower case, without port
    std::string method;
    std::string target;  // path and query as sent
    std::string path;
    std::string query;                                         // without "?"
    std::vector<std::pair<std::string, std::string>> headers;  // sorted by name, not wire order
    std::string body;  // request body (decoded from base64 when it was not UTF-8)
    int status = 0;
    std::optional<std::uint64_t> contentLength;  // none for chunked and close-delimited bodies
    std::string contentRange;                    // empty: none sent
    std::uint64_t bytesServed = 0;               // body bytes written to the connection
    std::string range;                           // the Range header; empty without one
    std::string outcome;              // "complete", "dropped", "client-closed", "no-body"
    std::vector<std::string> faults;  // what the matching scenario rule applied
    std::optional<std::size_t> rule;  // index of that rule
    std::string scenarioError;        // set when scenario.json was refused
    std::string line;                 // the record's JSON text

    // The first header of that name (case-insensitive); empty when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // The whole record as a JSON document, including the "collection" member of uploads (the
    // signature verdict, the parsed events) and the "analytics" member of analytics posts.
    rapidjson::Document json() const;
};

// Every request recorded so far, in order.
std::vector<RecordedRequest> readRequests();
// Number of requests recorded so far: a mark for the "since" arguments below.
std::size_t requestCount();
// Waits until at least count requests are recorded after the first `since` ones; returns those
// after `since` (fewer when the time ran out).
std::vector<RecordedRequest> waitForRequests(std::size_t count, std::size_t since = 0,
                                             DWORD timeoutMs = kWaitMs);
// Waits for the first request after the first `since` ones that matches.
std::optional<RecordedRequest> waitForRequest(
    const std::function<bool(const RecordedRequest&)>& match, std::size_t since = 0,
    DWORD timeoutMs = kWaitMs);

// One TLS handshake: the server name asked for and which certificate the double showed
// ("vendor" or "wrong-host").
struct Handshake {
    std::string sni;
    std::string certificate;
};
std::vector<Handshake> readHandshakes();

// One run of an emulator stand-in ("installer", "player" or "console"), recorded when it has
// done its work (before it hangs or crashes, for those behaviours).
struct StandinRun {
    std::string program;
    std::wstring commandLine;  // as the process got it
    std::vector<std::wstring> arguments;
    std::wstring workingDir;
    std::wstring exePath;
    bool elevated = false;  // the process token's TokenElevation
    unsigned long processId = 0;
    std::string line;  // the record's JSON text (UTF-8)

    // The whole record, with the program's own members (parsed options, results, exit code).
    rapidjson::Document json() const;
};

std::vector<StandinRun> readStandinRuns(std::string_view program);
// Waits until the stand-in has recorded at least count runs; returns them all (fewer when the
// time ran out).
std::vector<StandinRun> waitForStandinRuns(std::string_view program, std::size_t count,
                                           DWORD timeoutMs = kWaitMs);

}  // namespace testing_support::world
