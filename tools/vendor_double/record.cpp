#include "record.h"

#include <fcntl.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <unistd.h>

namespace vendor_double {
namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void writeString(JsonWriter& w, const std::string& text) {
    w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

void writeBody(JsonWriter& w, const std::string& body) {
    const bool cut = body.size() > kRecordedBodyLimit;
    std::string kept = cut ? body.substr(0, kRecordedBodyLimit) : body;
    if (isUtf8(kept)) {
        w.Key("body");
        writeString(w, kept);
    } else {
        w.Key("body");
        w.String("");
        w.Key("bodyBase64");
        writeString(w, base64(kept));
    }
    w.Key("bodySize");
    w.Uint64(body.size());
    if (cut) {
        w.Key("bodyTruncated");
        w.Bool(true);
    }
}

}  // namespace

bool isUtf8(const std::string& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        unsigned minimum = 0, value = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            extra = 1, minimum = 0x80, value = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            extra = 2, minimum = 0x800, value = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            extra = 3, minimum = 0x10000, value = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            value = (value << 6) | (next & 0x3f);
        }
        if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string base64(const std::string& bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                kAlphabet[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::string recordLine(const ExchangeRecord& r, std::size_t index) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("index"), w.Uint64(index);
    w.Key("time"), w.Int64(r.startMs);
    w.Key("durationMs"), w.Int64(r.durationMs);
    w.Key("scheme"), writeString(w, r.request.scheme);
    w.Key("port"), w.Int(r.port);
    w.Key("sni"), writeString(w, r.sni);
    w.Key("remotePort"), w.Int(r.remotePort);
    w.Key("host"), writeString(w, r.request.host);
    w.Key("method"), writeString(w, r.request.method);
    w.Key("target"), writeString(w, r.request.target);
    w.Key("path"), writeString(w, r.request.path);
    w.Key("query"), writeString(w, r.request.query);
    w.Key("version"), writeString(w, r.version);
    w.Key("headers");
    w.StartArray();
    for (const auto& [name, value] : r.request.headers) {
        w.StartArray();
        writeString(w, name);
        writeString(w, value);
        w.EndArray();
    }
    w.EndArray();
    writeBody(w, r.request.body);
    w.Key("range");
    if (const auto range = r.request.header("Range"))
        writeString(w, *range);
    else
        w.Null();
    w.Key("status"), w.Int(r.status);
    w.Key("contentLength");
    if (r.contentLength)
        w.Uint64(*r.contentLength);
    else
        w.Null();
    w.Key("contentRange");
    if (r.contentRange.empty())
        w.Null();
    else
        writeString(w, r.contentRange);
    w.Key("bytesServed"), w.Uint64(r.bytesServed);
    w.Key("outcome"), writeString(w, r.outcome);
    w.Key("faults");
    w.StartArray();
    for (const auto& fault : r.faults) writeString(w, fault);
    w.EndArray();
    w.Key("rule");
    if (r.rule)
        w.Uint64(*r.rule);
    else
        w.Null();
    if (!r.scenarioError.empty()) {
        w.Key("scenarioError");
        writeString(w, r.scenarioError);
    }
    if (!r.detailsName.empty()) {
        writeString(w, r.detailsName);
        w.RawValue(r.detailsJson.data(), r.detailsJson.size(), rapidjson::kObjectType);
    }
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

LineFile::LineFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

LineFile::~LineFile() {
    if (fd_ >= 0) ::close(fd_);
}

void LineFile::append(const std::string& line) {
    if (fd_ < 0) return;
    const std::string text = line + "\n";
    std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void RequestRecord::append(const ExchangeRecord& record) {
    std::lock_guard lock(mutex_);
    file_.append(recordLine(record, next_++));
}

}  // namespace vendor_double
