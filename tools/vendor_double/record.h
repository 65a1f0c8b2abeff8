// The double's record: one JSON object per request in requests.jsonl, appended when the request
// has ended, and one per TLS handshake in tls.jsonl.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "request.h"

namespace vendor_double {

struct ExchangeRecord {
    IncomingRequest request;
    std::string version;  // "HTTP/1.1"
    std::string sni;      // server name of the TLS handshake; empty for plain HTTP
    int port = 0;
    int remotePort = 0;  // tells connections apart
    long long startMs = 0;
    long long durationMs = 0;

    int status = 0;
    std::optional<std::uint64_t> contentLength;  // sent in the head; none for chunked and closed
    std::string contentRange;
    std::uint64_t bytesServed = 0;  // body bytes written to the connection
    // "complete", "dropped" (a fault cut the body), "client-closed" (writing failed),
    // "no-body" (HEAD, or a status without a body)
    std::string outcome;
    std::vector<std::string> faults;
    std::optional<std::size_t> rule;
    std::string scenarioError;
    std::string detailsName;
    std::string detailsJson;
};

// Bodies up to this size are recorded whole; longer ones are cut and marked.
inline constexpr std::size_t kRecordedBodyLimit = 1 << 20;

// The record line for the request at that index (0-based), without the line end.
std::string recordLine(const ExchangeRecord& record, std::size_t index);

// True when the bytes are valid UTF-8 (records keep such bodies as text, others as base64).
bool isUtf8(const std::string& bytes);
std::string base64(const std::string& bytes);

// Appends whole lines to a file, each with one write, in the order of the calls.
class LineFile {
public:
    explicit LineFile(const std::string& path);
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    bool ok() const { return fd_ >= 0; }
    void append(const std::string& line);

private:
    int fd_ = -1;
    std::mutex mutex_;
};

class RequestRecord {
public:
    explicit RequestRecord(const std::string& path) : file_(path) {}
    bool ok() const { return file_.ok(); }
    void append(const ExchangeRecord& record);

private:
    LineFile file_;
    std::mutex mutex_;
    std::size_t next_ = 0;
};

}  // namespace vendor_double
