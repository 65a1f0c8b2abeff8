// Downloads over the system HTTP client: into memory, or into a file with resume and progress.
// An operation runs on the calling thread; abort may come from any other thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_client.h"
#include "utility/file.h"
#include "utility/task_runner.h"

namespace utility {

class CHttpDownloader : public CHttpClient {
public:
    // Receiver of a file download's progress.
    class IHttpDownloadSink {
    public:
        // One received chunk; received counts the resumed part too. False stops the download.
        virtual bool onHttpDownloadProgress(const char* data, int count, std::int64_t received,
                                            std::int64_t total) = 0;
        // Declared after the operation, which keeps slot 0.
        virtual ~IHttpDownloadSink() = default;
    };

    // Body into the output (appended). True when the status was 2xx and the whole body was read.
    bool download2mem(std::string& output, const std::wstring& url);
    // Body into the file at path; with resume, an existing file is continued from its size.
    // The error outputs, when given, receive the file sink's recorded error kind and code.
    bool download2file(const std::wstring& url, const std::wstring& path,
                       IHttpDownloadSink* progress, bool resume, int* errorKind = nullptr,
                       int* errorCode = nullptr);
    // Makes a running operation fail (from any thread) and prepares the downloader for reuse.
    void abort();

private:
    WorkerThread stop_;  // never started: only its stop flag is used
    std::int64_t startOffset_ = 0;
};

// Body of a download into a string.
class CHttpDownload2MemSink : public CHttpClient::IHttpClientSink {
public:
    // A body kept in memory may not grow past this; a larger one fails the download.
    static constexpr std::size_t kBodyLimit = 16 * 1024 * 1024;

    CHttpDownload2MemSink(std::string& output, WorkerThread& stop) : output_(output), stop_(stop) {}

    void onHttpError(int kind, int code) override;
    bool onHttpRecvHeader(std::int64_t contentLength, int status) override;
    bool onHttpRecvData(const char* data, int count) override;
    void onHttpComplete() override {}

private:
    std::string& output_;
    WorkerThread& stop_;
    std::size_t received_ = 0;
};

// Body of a download into a file, with resume and progress; records the first status error or
// the last system error.
class CHttpDownload2FileSink : public CHttpClient::IHttpClientSink {
public:
    static constexpr int kErrorStatus = -1;        // code: the status
    static constexpr int kErrorFile = -2;          // code: the system error
    static constexpr int kNothingRecorded = 9999;  // code 0
    // Expected total when the answer gives no length.
    static constexpr std::int64_t kAssumedTotal = 10485760;

    CHttpDownload2FileSink(const std::wstring& path, WorkerThread& stop,
                           CHttpDownloader::IHttpDownloadSink* progress, std::int64_t startOffset)
        : path_(path), stop_(stop), progress_(progress), startOffset_(startOffset) {}

    void onHttpError(int kind, int code) override;
    bool onHttpRecvHeader(std::int64_t contentLength, int status) override;
    bool onHttpRecvData(const char* data, int count) override;
    void onHttpComplete() override { file_.close(); }
    void onHttpRecvContentRange(std::int64_t firstByte) override { rangeStart_ = firstByte; }

    void closeFile() { file_.close(); }
    int errorKind() const { return errorKind_; }
    int errorCode() const { return errorCode_; }
    std::int64_t received() const { return received_; }
    std::int64_t total() const { return total_; }

private:
    bool acceptsRange(int status);
    bool openFile();
    void recordFileError(int error);

    FileHandle file_;
    std::wstring path_;
    WorkerThread& stop_;
    CHttpDownloader::IHttpDownloadSink* progress_;
    std::int64_t received_ = 0;
    std::int64_t total_ = 0;
    std::int64_t startOffset_;
    std::int64_t rangeStart_ = -1;
    int errorKind_ = kNothingRecorded;
    int errorCode_ = 0;
};

}  // namespace utility
