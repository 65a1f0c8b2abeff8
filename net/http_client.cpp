#include "net/http_client.h"

#include <cstdint>
#include <cwchar>
#include <iterator>
#include <vector>

#include "net/machine_proxy.h"
#include "utility/log.h"

namespace utility {
namespace {

constexpr const char* kRequestTag = "utility::CHttpClient::request";
constexpr wchar_t kContentType[] = L"Content-Type";
constexpr wchar_t kUserAgent[] = L"User-Agent";

int lastError() {
    return static_cast<int>(GetLastError());
}

// The first byte position of "bytes first-last/total"; -1 when the header is absent or names
// no position.
std::int64_t contentRangeStart(HINTERNET request) {
    wchar_t text[256] = {};
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) return -1;
    const wchar_t* position = text;
    while (*position != 0 && (*position < L'0' || *position > L'9') && *position != L'*') {
        ++position;
    }
    if (*position < L'0' || *position > L'9') return -1;
    std::int64_t first = 0;
    for (; *position >= L'0' && *position <= L'9'; ++position) {
        if (first > (INT64_MAX - 9) / 10) return -1;
        first = first * 10 + (*position - L'0');
    }
    return first;
}

}  // namespace

CHttpClient::~CHttpClient() {
    closeInternet();
}

void CHttpClient::setHeader(const std::wstring& name, const std::wstring& value) {
    headers_[name] = value;
}

void CHttpClient::removeHeader(const std::wstring& name) {
    headers_.erase(name);
}

std::wstring CHttpClient::headerBlock() const {
    std::map<std::wstring, std::wstring> table = headers_;
    table.try_emplace(kContentType, L"application/x-www-form-urlencoded");
    table.try_emplace(kUserAgent, L"okhttp/3.5.0L");
    std::wstring block;
    for (const auto& [name, value] : table) block += name + L": " + value + L"\r\n";
    return block;
}

void CHttpClient::closeInternet() {
    const HINTERNET internet = internet_.exchange(nullptr);
    if (internet != nullptr) InternetCloseHandle(internet);
}

void CHttpClient::abortOperation() {
    ++aborts_;
    closeInternet();
}

bool CHttpClient::parseUrl(const std::wstring& url) {
    wchar_t host[256] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.dwUrlPathLength = 1;  // non-zero: point into the URL
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return false;
    host_.assign(host, parts.dwHostNameLength);
    port_ = parts.nPort;
    path_.clear();
    if (parts.lpszUrlPath != nullptr) path_.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) path_.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    secure_ = url.size() >= 8 && _wcsnicmp(url.c_str(), L"https://", 8) == 0;
    return true;
}

HINTERNET CHttpClient::openInternet() {
    closeInternet();
    const HINTERNET internet =
        InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet == nullptr) {
        sink_->onHttpError(kErrorOpenInternet, lastError());
        return nullptr;
    }
    internet_.store(internet);
    // An abort that came before the handle existed still ends this operation.
    if (aborts_.load() != operationAborts_) {
        closeInternet();
        sink_->onHttpError(kErrorConnect, ERROR_INTERNET_OPERATION_CANCELLED);
        return nullptr;
    }
    return internet;
}

bool CHttpClient::request(const std::wstring& url, IHttpClientSink& sink) {
    sink_ = &sink;
    const HINTERNET internet = openInternet();
    if (internet == nullptr) return false;
    if (!parseUrl(url)) {
        sink.onHttpError(kErrorParseUrl, lastError());
        return false;
    }
    const InternetHandle connection(InternetConnectW(internet, host_.c_str(), port_, nullptr,
                                                     nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    if (!connection) {
        sink.onHttpError(kErrorConnect, lastError());
        return false;
    }
    const std::wstring headers = headerBlock();
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    const DWORD flags = kRequestFlags | (secure_ ? INTERNET_FLAG_SECURE : 0);
    const InternetHandle request(HttpOpenRequestW(connection.get(), L"GET", path_.c_str(),
                                                  L"HTTP/1.1", nullptr, acceptTypes, flags, 1));
    if (!request || !HttpSendRequestW(request.get(), headers.c_str(),
                                      static_cast<DWORD>(headers.size()), nullptr, 0)) {
        sink.onHttpError(kErrorSendRequest, lastError());
        return false;
    }
    std::int64_t contentLength = -1;
    return receiveHead(request.get(), contentLength) && readBody(request.get(), contentLength);
}

bool CHttpClient::receiveHead(HINTERNET request, std::int64_t& contentLength) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        sink_->onHttpError(kErrorQueryStatus, lastError());
        return false;
    }
    DWORD length = 0;
    size = sizeof(length);
    contentLength = HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                   &length, &size, nullptr)
                        ? static_cast<std::int64_t>(length)
                        : -1;
    sink_->onHttpRecvContentRange(contentRangeStart(request));
    return sink_->onHttpRecvHeader(contentLength, static_cast<int>(status));
}

// The system library ends the body without an error when the connection closes early; a body
// shorter than its announced length is a failed read, not a complete download.
bool CHttpClient::readBody(HINTERNET request, std::int64_t contentLength) {
    std::vector<char> buffer(kReadBufferSize);
    std::int64_t received = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), kReadBufferSize, &read)) return false;
        if (read == 0) break;
        received += read;
        if (!sink_->onHttpRecvData(buffer.data(), static_cast<int>(read))) return false;
    }
    if (contentLength >= 0 && received < contentLength) {
        LOG_AT(kRequestTag, L"body ended after %lld of %lld bytes",
               static_cast<long long>(received), static_cast<long long>(contentLength));
        return false;
    }
    sink_->onHttpComplete();
    return true;
}

}  // namespace utility

// Beside the system client, whose WinINet declarations cannot meet WinHTTP's in one file.
std::wstring net_proxy::systemClientProxy() {
    DWORD size = 0;
    InternetQueryOptionW(nullptr, INTERNET_OPTION_PROXY, nullptr, &size);
    std::vector<BYTE> buffer(size + sizeof(INTERNET_PROXY_INFO));
    size = static_cast<DWORD>(buffer.size());
    if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size)) {
        return L"unknown (error " + std::to_wstring(GetLastError()) + L")";
    }
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == nullptr) {
        return L"direct";
    }
    const auto* bypass = reinterpret_cast<const wchar_t*>(info->lpszProxyBypass);
    return net_proxy::withoutCredentials(reinterpret_cast<const wchar_t*>(info->lpszProxy)) +
           L", bypass \"" + (bypass != nullptr ? bypass : L"") + L"\"";
}
