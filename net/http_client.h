// GET requests over the system HTTP library (WinINet), so the machine's own proxy settings
// apply. One request at a time; the answer's head, body chunks and errors go to a sink.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

namespace utility {

// Owns one WinINet handle and closes it once.
class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HINTERNET handle_ = nullptr;
};

class CHttpClient {
public:
    // Receiver of one request.
    class IHttpClientSink {
    public:
        // The request failed at a step of the system library; code is the thread's last error.
        virtual void onHttpError(int kind, int code) = 0;
        // The answer's head: content length (-1 when the answer gives none) and status. False
        // ends the request without reading the body.
        virtual bool onHttpRecvHeader(std::int64_t contentLength, int status) = 0;
        // One chunk of the body; false ends the request.
        virtual bool onHttpRecvData(const char* data, int count) = 0;
        // The whole body has been read.
        virtual void onHttpComplete() = 0;
        // First byte position named by the answer's Content-Range header, -1 when it has none.
        // Comes just before onHttpRecvHeader.
        virtual void onHttpRecvContentRange(std::int64_t /*firstByte*/) {}
        // Declared after the operations, which keep their slots 0 to 3.
        virtual ~IHttpClientSink() = default;
    };

    // Kinds passed to onHttpError.
    static constexpr int kErrorOpenInternet = 0;
    static constexpr int kErrorParseUrl = 1;
    static constexpr int kErrorConnect = 2;
    static constexpr int kErrorSendRequest = 6;
    static constexpr int kErrorQueryStatus = 7;

    // Always reload, no cache write, no-cache pragma, plus the 0x80 and 0x1 bits. Certificate
    // date and name errors are not ignored: the program runs what it downloads.
    static constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                           INTERNET_FLAG_PRAGMA_NOCACHE | 0x80 | 0x1;
    static constexpr DWORD kReadBufferSize = 32768;

    CHttpClient() = default;
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Extra request headers; they stay for later requests. Setting replaces a value.
    void setHeader(const std::wstring& name, const std::wstring& value);
    void removeHeader(const std::wstring& name);
    // The header lines a request sends: the table plus the default "Content-Type" and
    // "User-Agent" when it has none, each "name: value" CR LF, in the table's order.
    std::wstring headerBlock() const;

    // Pieces of the last URL.
    const std::wstring& host() const { return host_; }
    INTERNET_PORT port() const { return port_; }
    const std::wstring& path() const { return path_; }
    bool secure() const { return secure_; }

protected:
    // Marks the start of an operation: a closeInternet from another thread after this point
    // makes the operation's request fail, even before it has opened its handle.
    void beginOperation() { operationAborts_ = aborts_.load(); }
    // Runs one GET of the URL. True when the whole body was read.
    bool request(const std::wstring& url, IHttpClientSink& sink);
    // Closes the internet handle. Any thread: a request blocked on the handle then fails.
    void closeInternet();
    // closeInternet, counted as an abort of the running operation.
    void abortOperation();

private:
    // The internet handle of a new request, stored for abort; null after an error call.
    HINTERNET openInternet();
    bool parseUrl(const std::wstring& url);
    // Status, length and range of the answer, handed to the sink; false ends the request.
    bool receiveHead(HINTERNET request, std::int64_t& contentLength);
    bool readBody(HINTERNET request, std::int64_t contentLength);

    std::atomic<HINTERNET> internet_{nullptr};
    std::atomic<unsigned> aborts_{0};
    unsigned operationAborts_ = 0;
    std::wstring host_;
    INTERNET_PORT port_ = 0;
    std::wstring path_;
    bool secure_ = false;
    IHttpClientSink* sink_ = nullptr;
    std::map<std::wstring, std::wstring> headers_;
};

}  // namespace utility
