#include "request.h"

#include "hosts.h"

namespace vendor_double {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> IncomingRequest::header(std::string_view name) const {
    const std::string wanted = lowerAscii(name);
    for (const auto& [key, value] : headers)
        if (lowerAscii(key) == wanted) return value;
    return std::nullopt;
}

void splitTarget(IncomingRequest& request) {
    const auto mark = request.target.find('?');
    request.path = request.target.substr(0, mark);
    request.query = mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

std::string urlDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<std::string> queryParam(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const auto end = query.find('&');
        const std::string_view item = query.substr(0, end);
        const auto equals = item.find('=');
        if (item.substr(0, equals) == name)
            return equals == std::string_view::npos ? std::string()
                                                    : urlDecode(item.substr(equals + 1));
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace vendor_double
