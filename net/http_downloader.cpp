#include "net/http_downloader.h"

#include "utility/log.h"

namespace utility {
namespace {

constexpr const char* kDownloadTag = "utility::CHttpDownloader::download2file";
constexpr const char* kErrorTag = "utility::CHttpDownload2FileSink::onHttpError";
constexpr const char* kHeaderTag = "utility::CHttpDownload2FileSink::onHttpRecvHeader";
constexpr const char* kMemoryTag = "utility::CHttpDownload2MemSink::onHttpRecvData";
constexpr wchar_t kRange[] = L"Range";

bool isSuccessStatus(int status) {
    return status >= 200 && status <= 299;
}

void logMemoryLimit() {
    LOG_AT(kMemoryTag, L"body larger than %u bytes, download refused",
           static_cast<unsigned>(CHttpDownload2MemSink::kBodyLimit));
}

}  // namespace

bool CHttpDownloader::download2mem(std::string& output, const std::wstring& url) {
    closeInternet();
    beginOperation();
    removeHeader(kRange);  // a range left by a resumed file download would cut the document
    CHttpDownload2MemSink sink(output, stop_);
    const bool done = request(url, sink);
    closeInternet();
    return done;
}

bool CHttpDownloader::download2file(const std::wstring& url, const std::wstring& path,
                                    IHttpDownloadSink* progress, bool resume, int* errorKind,
                                    int* errorCode) {
    closeInternet();
    beginOperation();
    removeHeader(kRange);
    startOffset_ = 0;
    if (resume) {
        std::uint64_t size = 0;
        if (!ufile::getFileSize(path, size)) size = 0;
        startOffset_ = static_cast<std::int64_t>(size);
        LOG_AT(kDownloadTag, L"start size %lld", static_cast<long long>(startOffset_));
        if (startOffset_ > 0) setHeader(kRange, L"bytes=" + std::to_wstring(startOffset_) + L"-");
    }
    stop_.stop(0);  // clears a stop flag left from before this call
    CHttpDownload2FileSink sink(path, stop_, progress, startOffset_);
    const bool done = request(url, sink);
    closeInternet();
    sink.closeFile();
    if (errorKind != nullptr) *errorKind = sink.errorKind();
    if (errorCode != nullptr) *errorCode = sink.errorCode();
    return done;
}

void CHttpDownloader::abort() {
    stop_.requestStop();
    abortOperation();
    stop_.stop(0);
}

void CHttpDownload2MemSink::onHttpError(int /*kind*/, int /*code*/) {}

bool CHttpDownload2MemSink::onHttpRecvHeader(std::int64_t contentLength, int status) {
    if (!isSuccessStatus(status)) return false;
    if (contentLength > static_cast<std::int64_t>(kBodyLimit)) {
        logMemoryLimit();
        return false;
    }
    received_ = 0;
    return true;
}

bool CHttpDownload2MemSink::onHttpRecvData(const char* data, int count) {
    if (stop_.isStopRequested()) return false;
    const auto length = static_cast<std::size_t>(count);
    if (length > kBodyLimit - received_) {
        logMemoryLimit();
        return false;
    }
    output_.append(data, length);
    received_ += length;
    return true;
}

void CHttpDownload2FileSink::onHttpError(int kind, int code) {
    file_.close();
    LOG_AT(kErrorTag, L"onHttpErro %d, %d", kind, code);
    errorKind_ = kind;
    errorCode_ = code;
}

bool CHttpDownload2FileSink::onHttpRecvHeader(std::int64_t contentLength, int status) {
    if (!isSuccessStatus(status)) {
        LOG_AT(kHeaderTag, L"onHttpErro status = %d", status);
        if (errorKind_ == kNothingRecorded) {
            errorKind_ = kErrorStatus;
            errorCode_ = status;
        }
        return false;
    }
    if (!acceptsRange(status)) return false;
    total_ = contentLength > 0 ? contentLength : kAssumedTotal;
    received_ = 0;
    return openFile();
}

// A partial answer must continue the file exactly where it ends; a full answer to a range
// request replaces the file instead of being appended behind the bytes already there.
bool CHttpDownload2FileSink::acceptsRange(int status) {
    if (status == 206) {
        if (rangeStart_ == startOffset_) return true;
        LOG_AT(kHeaderTag, L"onHttpErro content range starts at %lld, not at %lld",
               static_cast<long long>(rangeStart_), static_cast<long long>(startOffset_));
        if (errorKind_ == kNothingRecorded) {
            errorKind_ = kErrorStatus;
            errorCode_ = status;
        }
        return false;
    }
    if (startOffset_ > 0 && status == 200) {
        LOG_AT(kHeaderTag, L"range not honoured, status = %d; the file starts anew", status);
        startOffset_ = 0;
    }
    return true;
}

bool CHttpDownload2FileSink::openFile() {
    if (startOffset_ <= 0) {
        if (file_.createAlways(path_)) return true;
        const int error = static_cast<int>(GetLastError());
        LOG_AT(kHeaderTag, L"create file error; filename %s lasterror:%d", path_.c_str(), error);
        recordFileError(error);
        return false;
    }
    received_ = startOffset_;
    total_ += startOffset_;
    // The offset was measured from this file: a file that has shrunk to nothing since cannot be
    // continued.
    if (file_.openWrite(path_, true) && file_.seekEnd()) return true;
    const int error = static_cast<int>(GetLastError());
    file_.close();
    LOG_AT(kHeaderTag, L"onHttpErro create file error  %d", error);
    recordFileError(error);
    return false;
}

void CHttpDownload2FileSink::recordFileError(int error) {
    errorKind_ = kErrorFile;
    errorCode_ = error;
}

bool CHttpDownload2FileSink::onHttpRecvData(const char* data, int count) {
    if (stop_.isStopRequested()) return false;
    received_ += count;
    if (progress_ != nullptr &&
        !progress_->onHttpDownloadProgress(data, count, received_, total_)) {
        return false;
    }
    return file_.write(data, static_cast<DWORD>(count));
}

}  // namespace utility
