#include "net/tx_curl_downloader.h"

// The classic progress function (doubles) is the one this client is built on.
#define CURL_DISABLE_DEPRECATION
#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/machine_proxy.h"
#include "net/tls_peer_check.h"
#include "utility/file.h"
#include "utility/log.h"
#include "utility/text.h"

namespace {

constexpr const char* kMemoryTag = "TxCurlDownloader::downloadMemory";
constexpr const char* kPostTag = "TxCurlDownloader::postRequest";
constexpr const char* kFileTag = "TxCurlDownloader::downloadFile";

constexpr long kConnectTimeoutMs = 4000;
constexpr long kMemoryTimeoutMs = 8000;
constexpr long kFileTimeoutMs = 1800000;
constexpr long kFileMaxRedirects = 5;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

struct FreeDeleter {
    void operator()(char* bytes) const { std::free(bytes); }
};

// Bytes received into memory, freed on every path, and never more than kMemoryBodyLimit. The
// buffer grows by reallocation to twice its size when a chunk does not fit: growing it chunk by
// chunk copies a large body over and over.
struct MemorySink {
    explicit MemorySink(const char* logTag) : tag(logTag) {}
    std::unique_ptr<char, FreeDeleter> data;
    std::size_t size = 0;
    std::size_t capacity = 0;
    const char* tag;

    std::string text() const { return size == 0 ? std::string() : std::string(data.get(), size); }
};

std::size_t writeMemory(const char* chunk, std::size_t length, MemorySink& sink) {
    if (length == 0) return 0;  // libcurl reports an empty body this way
    if (length > TxCurlDownloader::kMemoryBodyLimit - sink.size) {
        LOG_AT(sink.tag, L"body larger than %u bytes, transfer refused",
               static_cast<unsigned>(TxCurlDownloader::kMemoryBodyLimit));
        return 0;
    }
    if (sink.size + length > sink.capacity) {
        const std::size_t capacity = std::min(std::max(sink.size + length, sink.capacity * 2),
                                              TxCurlDownloader::kMemoryBodyLimit);
        char* grown = static_cast<char*>(std::realloc(sink.data.get(), capacity));
        if (grown == nullptr) {
            LOG_AT(sink.tag, L"not enough memory error %d", static_cast<int>(GetLastError()));
            return 0;
        }
        static_cast<void>(sink.data.release());
        sink.data.reset(grown);
        sink.capacity = capacity;
    }
    std::memcpy(sink.data.get() + sink.size, chunk, length);
    sink.size += length;
    return length;
}

// The write callback of both memory operations; each logs under its own tag
// ("WriteMemoryCallback", "WriteMemoryCallbackPost"), carried by the sink.
std::size_t writeMemoryCallback(char* chunk, std::size_t size, std::size_t count, void* sink) {
    return writeMemory(chunk, size * count, *static_cast<MemorySink*>(sink));
}

std::size_t writeFileCallback(char* chunk, std::size_t size, std::size_t count, void* file) {
    const std::size_t length = size * count;
    if (length > MAXDWORD) return 0;
    return static_cast<utility::FileHandle*>(file)->write(chunk, static_cast<DWORD>(length))
               ? length
               : 0;
}

// A non-zero result aborts the transfer.
int progressCallback(void* data, double downloadTotal, double downloadNow, double /*uploadTotal*/,
                     double /*uploadNow*/) {
    auto& state = *static_cast<helper::CurlProgressState*>(data);
    if (state.stopped && state.stopped()) return 1;
    helper::onCurlProgress(state, downloadTotal, downloadNow, GetTickCount());
    return 0;
}

// The machine's proxy for the URL. Without one nothing is set, and libcurl goes direct. A proxy
// that asks who the user is gets the user's own Windows logon (Negotiate or NTLM through SSPI,
// with the empty user name and password that stand for it), never a stored or typed secret.
void setProxyOptions(CURL* easy, const std::string& url) {
    const net_proxy::CurlProxy proxy = net_proxy::MachineProxy::instance().forUrl(url);
    if (proxy.direct) return;
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, proxy.type);
    if (!proxy.noProxy.empty()) curl_easy_setopt(easy, CURLOPT_NOPROXY, proxy.noProxy.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_NEGOTIATE | CURLAUTH_NTLM);
    curl_easy_setopt(easy, CURLOPT_PROXYUSERPWD, ":");
}

void setProgressOptions(CURL* easy, helper::CurlProgressState& state) {
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_PROGRESSFUNCTION, &progressCallback);
    curl_easy_setopt(easy, CURLOPT_PROGRESSDATA, &state);
}

// Options every operation sets. Certificates are verified: the program runs elevated and runs
// what it downloads.
void setCommonOptions(CURL* easy, const std::string& url, curl_write_callback write, void* sink) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &helper::checkCurlServerCertificate);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, easy);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, sink);
    setProxyOptions(easy, url);
}

// The options only downloadFile sets: long time-out, redirect limit, rate cap, resume and
// progress.
void setFileOptions(CURL* easy, helper::CurlProgressState& state) {
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, kFileTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kFileMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE,
                     static_cast<curl_off_t>(TxCurlDownloader::kFileRateLimit));
    if (state.resumeOffset > 0) {
        curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE,
                         static_cast<curl_off_t>(state.resumeOffset));
    }
    setProgressOptions(easy, state);
}

void logTransferError(const char* tag, CURLcode code, const std::string& url) {
    LOG_AT(tag, L"curl download error %s %s", utility::ansiToWide(curl_easy_strerror(code)).c_str(),
           utility::ansiToWide(url).c_str());
}

bool appendHeader(HeaderList& list, const std::string& line) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (longer == nullptr) {
        LOG_AT(kPostTag, L"curl header error %s", utility::ansiToWide(line).c_str());
        return false;
    }
    static_cast<void>(list.release());  // the same list, one node longer
    list.reset(longer);
    return true;
}

// Opens the destination: a non-empty file is continued at its end (its size is returned as the
// resume offset), anything else is created empty.
bool openDestination(const std::wstring& path, utility::FileHandle& file,
                     std::int64_t& resumeOffset) {
    std::uint64_t size = 0;
    resumeOffset = 0;
    if (!utility::ufile::getFileSize(path, size) || size == 0) return file.createAlways(path);
    if (!file.openWrite(path, true) || !file.seekEnd()) return false;
    resumeOffset = static_cast<std::int64_t>(size);
    return true;
}

}  // namespace

namespace helper {

void onCurlProgress(CurlProgressState& state, double downloadTotal, double downloadNow, DWORD now) {
    if ((downloadTotal > -0.1 && downloadTotal < 0.1) || !state.callback) return;
    const double offset = static_cast<double>(state.resumeOffset);
    const int percent = static_cast<int>((offset + downloadNow) / (offset + downloadTotal) * 100.0);
    if (now - state.lastReportTick <= 1000) return;
    if (percent == 100) return;
    state.lastReportTick = now;
    state.callback(percent);
}

}  // namespace helper

bool TxCurlDownloader::downloadMemory(const std::string& url, std::string& output,
                                      StopCheck stopped) {
    LOG_AT(kMemoryTag, L"TxCurlDownloader::downloadMemory start");
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        LOG_AT(kMemoryTag, L"curl init error");
        return false;
    }
    MemorySink sink("WriteMemoryCallback");
    setCommonOptions(easy.get(), url, &writeMemoryCallback, &sink);
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, kMemoryTimeoutMs);
    helper::CurlProgressState state;
    state.stopped = std::move(stopped);
    if (state.stopped) setProgressOptions(easy.get(), state);
    LOG_AT(kMemoryTag, L"1111111111111111111111");
    const CURLcode code = curl_easy_perform(easy.get());
    if (code != CURLE_OK) {
        logTransferError(kMemoryTag, code, url);
        return false;
    }
    LOG_AT(kMemoryTag, L"curl download sucess %d", static_cast<int>(sink.size));
    output = sink.text();
    return true;
}

bool TxCurlDownloader::postRequest(const std::string& body, std::string& output,
                                   const std::string& url,
                                   const std::vector<std::string>& headers) {
    LOG_AT(kPostTag, L"TxCurlDownloader::postRequest start %s", utility::ansiToWide(url).c_str());
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        LOG_AT(kPostTag, L"curl init error");
        return false;
    }
    HeaderList headerList;
    if (!appendHeader(headerList, "Content-Type:application/json;charset=UTF-8")) return false;
    for (const std::string& line : headers) {
        if (!appendHeader(headerList, line)) return false;
    }
    const std::string utf8Body = utility::ansiToUtf8(body);
    MemorySink sink("WriteMemoryCallbackPost");
    setCommonOptions(easy.get(), url, &writeMemoryCallback, &sink);
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, kMemoryTimeoutMs);
    curl_easy_setopt(easy.get(), CURLOPT_POST, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, utf8Body.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(utf8Body.size()));
    const CURLcode code = curl_easy_perform(easy.get());
    if (code != CURLE_OK) {
        logTransferError(kPostTag, code, url);
        return false;
    }
    output = sink.text();
    return true;
}

bool TxCurlDownloader::downloadFile(const std::string& path, const std::string& url,
                                    PercentCallback progress, StopCheck stopped) {
    LOG_AT(kFileTag, L"TxCurlDownloader::downloadfile start");
    const std::wstring widePath = utility::ansiToWide(path);
    utility::FileHandle file;
    helper::CurlProgressState state;
    if (!openDestination(widePath, file, state.resumeOffset)) {
        LOG_AT(kFileTag, L"open file error  error:%d %s", static_cast<int>(GetLastError()),
               widePath.c_str());
        return false;
    }
    state.callback = std::move(progress);
    state.stopped = std::move(stopped);
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        LOG_AT(kFileTag, L"curl init error");
        return false;
    }
    setCommonOptions(easy.get(), url, &writeFileCallback, &file);
    setFileOptions(easy.get(), state);
    const CURLcode code = curl_easy_perform(easy.get());
    if (code != CURLE_OK) {
        logTransferError(kFileTag, code, url);
        return false;
    }
    LOG_AT(kFileTag, L"curl download  file sucess");
    return true;
}
