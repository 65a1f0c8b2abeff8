// A plain WinINet request for the world tests: the system's own HTTPS client with its default
// certificate checks, nothing of the installer's transfer code.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace world_test {

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

struct Fetched {
    bool answered = false;  // a head came back
    DWORD error = 0;        // the system error when not
    DWORD status = 0;
    std::optional<std::uint64_t> contentLength;
    std::wstring contentRange;
    std::string body;
    bool readFailed = false;  // the body ended with a failed read
};

inline std::wstring queryText(HINTERNET request, DWORD what) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer);
    return HttpQueryInfoW(request, what, buffer, &size, nullptr) ? buffer : L"";
}

// GET (or POST with a body) of the URL; extra header lines end in CR LF.
inline Fetched fetch(const std::wstring& url, const std::wstring& headers = L"",
                     const std::string* postBody = nullptr, DWORD extraFlags = 0) {
    Fetched result;
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {}, path[2048] = {}, extra[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 2048;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        result.error = GetLastError();
        return result;
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const Internet session(
        InternetOpenW(L"tamrix-world-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    const Internet connection(InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_KEEP_CONNECTION | (secure ? INTERNET_FLAG_SECURE : 0) |
                        extraFlags;
    const std::wstring target = std::wstring(path) + extra;
    const Internet request(HttpOpenRequestW(connection.get(), postBody ? L"POST" : L"GET",
                                            target.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!request) {
        result.error = GetLastError();
        return result;
    }
    const BOOL sent = HttpSendRequestW(request.get(), headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()),
                                       postBody ? const_cast<char*>(postBody->data()) : nullptr,
                                       postBody ? static_cast<DWORD>(postBody->size()) : 0);
    if (!sent) {
        result.error = GetLastError();
        return result;
    }
    result.answered = true;
    DWORD size = sizeof(result.status);
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &result.status,
                   &size, nullptr);
    const std::wstring length = queryText(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty()) result.contentLength = std::stoull(length);
    result.contentRange = queryText(request.get(), HTTP_QUERY_CONTENT_RANGE);
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof(buffer), &read)) {
            result.readFailed = true;
            break;
        }
        if (read == 0) break;
        result.body.append(buffer, read);
    }
    return result;
}

}  // namespace world_test
