// The libcurl transfer client: blocking GET into memory, POST of a JSON body, and a resumable,
// rate-capped GET into a file. Each call runs one whole transfer on the calling thread with an
// easy handle of its own; nothing (handle, connection, cookie) survives a call.
//
// Strings are narrow in the system code page. Success means libcurl finished the transfer; the
// HTTP status is not looked at, so an error page is returned like any other body.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TxCurlDownloader {
public:
    // Receives the percentage of the whole file (a resumed part included), at most once a second.
    using PercentCallback = std::function<void(int)>;
    // Asked during a transfer (at least once a second); true ends the transfer as failed.
    using StopCheck = std::function<bool()>;

    // Bodies kept in memory may not grow past this; a larger one fails the transfer.
    static constexpr std::size_t kMemoryBodyLimit = 16 * 1024 * 1024;
    // Receive-rate cap of downloadFile, bytes per second.
    static constexpr std::int64_t kFileRateLimit = 20 * 1024 * 1024;

    // GET of a small document; on success the output holds the body.
    bool downloadMemory(const std::string& url, std::string& output, StopCheck stopped = {});
    // POST of the body (sent as UTF-8) with the JSON content type and the extra header lines
    // ("Name: value" each); on success the output holds the response body.
    bool postRequest(const std::string& body, std::string& output, const std::string& url,
                     const std::vector<std::string>& headers);
    // GET into the file at path; an existing non-empty file is resumed from its end.
    bool downloadFile(const std::string& path, const std::string& url, PercentCallback progress,
                      StopCheck stopped = {});
};

namespace helper {

// Progress of one downloadFile call, and the rule that turns libcurl's progress calls into at
// most one report a second, never a report of 100.
struct CurlProgressState {
    DWORD lastReportTick = 0;
    std::int64_t resumeOffset = 0;
    TxCurlDownloader::PercentCallback callback;
    TxCurlDownloader::StopCheck stopped;
};

// One progress call of libcurl at the given tick; calls the state's callback when a report is
// due. Always lets the transfer go on.
void onCurlProgress(CurlProgressState& state, double downloadTotal, double downloadNow, DWORD now);

}  // namespace helper
