// The diagnostic log: one call, writeLog, from any thread; lines go to downloader.log in batches
// written by one background thread, so a caller never waits for file output.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

// Formats the wide printf-style message ("%s" takes a wide string) and hands it to the log sink.
// Does nothing until initUtilities has installed the sink.
void writeLog(const char* function, int line, const wchar_t* format, ...);

// Installs the file sink as the log sink and creates the UI dispatcher. UI thread, once.
void initUtilities();

// Creates the process-wide log file at the path and starts its writer thread. An empty path or
// a second call does nothing.
void openLogFile(const std::wstring& path);

// Orderly end of logging at shutdown: the writer stores what is still pending and ends.
// Lines logged afterwards are dropped.
void closeLogFile();

namespace common {

// A fixed character array as stream buffer: it never grows, and output past its end fails.
class FixedBuffer : public std::streambuf {
public:
    FixedBuffer(char* begin, std::size_t size) { setp(begin, begin + size); }
    std::size_t written() const { return static_cast<std::size_t>(pptr() - pbase()); }
    void skip(std::size_t count) { pbump(static_cast<int>(count)); }
};

// Builds one complete log line (prefix, message, line end) in a 10,240-byte array on the
// caller's stack. A line that does not fit puts the stream into a failed state and is dropped
// whole when the stream is destroyed.
class LogStream : public std::ostream {
public:
    static constexpr std::size_t kCapacity = 10240;

    LogStream(const char* function, int line);
    ~LogStream() override;
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

private:
    std::array<char, kCapacity> storage_{};
    FixedBuffer buffer_;
};

}  // namespace common

// Shorthand for the usual call site: the qualified function name is spelled out by the caller,
// the line comes from the preprocessor.
#define LOG_AT(function, ...) writeLog(function, __LINE__, __VA_ARGS__)
