#include "body.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace vendor_double {
namespace {

class TextBody : public Body {
public:
    explicit TextBody(std::string text) : text_(std::move(text)) {}
    std::uint64_t size() const override { return text_.size(); }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= text_.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(count, text_.size() - offset);
        std::memcpy(out, text_.data() + offset, n);
        return n;
    }

private:
    std::string text_;
};

// 251 * 263 bytes: any chunk of up to 64 KiB starts inside the first period and fits.
const std::array<char, 251 * 263>& patternBlock() {
    static const auto block = [] {
        std::array<char, 251 * 263> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = patternByte(i);
        return bytes;
    }();
    return block;
}

class PatternBody : public Body {
public:
    explicit PatternBody(std::uint64_t size) : size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= size_) return 0;
        const auto& block = patternBlock();
        const std::size_t start = offset % 251;
        const std::size_t n = std::min<std::uint64_t>(
            {static_cast<std::uint64_t>(count), size_ - offset, block.size() - start});
        std::memcpy(out, block.data() + start, n);
        return n;
    }

private:
    std::uint64_t size_;
};

class RepeatBody : public Body {
public:
    RepeatBody(std::string unit, std::uint64_t size) : unit_(std::move(unit)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= size_) return 0;
        const std::size_t start = offset % unit_.size();
        const std::size_t n =
            std::min<std::uint64_t>({static_cast<std::uint64_t>(count), size_ - offset,
                                     static_cast<std::uint64_t>(unit_.size() - start)});
        std::memcpy(out, unit_.data() + start, n);
        return n;
    }

private:
    std::string unit_;
    std::uint64_t size_;
};

class FileBody : public Body {
public:
    FileBody(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileBody() override { ::close(fd_); }
    FileBody(const FileBody&) = delete;
    FileBody& operator=(const FileBody&) = delete;
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= size_) return 0;
        const std::size_t n = std::min<std::uint64_t>(count, size_ - offset);
        const ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }

private:
    int fd_;
    std::uint64_t size_;
};

class TruncatedBody : public Body {
public:
    TruncatedBody(BodyPtr body, std::uint64_t size)
        : body_(std::move(body)), size_(std::min(size, body_->size())) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= size_) return 0;
        return body_->read(offset, out, std::min<std::uint64_t>(count, size_ - offset));
    }

private:
    BodyPtr body_;
    std::uint64_t size_;
};

class PackageBody : public Body {
public:
    PackageBody(std::shared_ptr<const std::string> program, std::string trailer, std::uint64_t size)
        : program_(std::move(program)),
          trailer_(std::move(trailer)),
          size_(std::max<std::uint64_t>(size, program_->size() + trailer_.size())) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, char* out, std::size_t count) const override {
        if (offset >= size_) return 0;
        const std::uint64_t trailerStart = size_ - trailer_.size();
        if (offset < program_->size()) {
            const std::size_t n = std::min<std::uint64_t>(count, program_->size() - offset);
            std::memcpy(out, program_->data() + offset, n);
            return n;
        }
        if (offset < trailerStart) {
            const std::size_t n = std::min<std::uint64_t>(count, trailerStart - offset);
            std::memset(out, 0, n);
            return n;
        }
        const std::size_t n = std::min<std::uint64_t>(count, size_ - offset);
        std::memcpy(out, trailer_.data() + (offset - trailerStart), n);
        return n;
    }

private:
    std::shared_ptr<const std::string> program_;
    std::string trailer_;
    std::uint64_t size_;
};

}  // namespace

BodyPtr textBody(std::string text) {
    return std::make_shared<TextBody>(std::move(text));
}

BodyPtr patternBody(std::uint64_t size) {
    return std::make_shared<PatternBody>(size);
}

BodyPtr repeatBody(std::string unit, std::uint64_t size) {
    if (unit.empty()) return patternBody(size);
    return std::make_shared<RepeatBody>(std::move(unit), size);
}

BodyPtr fileBody(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<FileBody>(fd, static_cast<std::uint64_t>(info.st_size));
}

BodyPtr truncatedBody(BodyPtr body, std::uint64_t size) {
    return std::make_shared<TruncatedBody>(std::move(body), size);
}

BodyPtr packageBody(std::shared_ptr<const std::string> program, std::string trailer,
                    std::uint64_t size) {
    return std::make_shared<PackageBody>(std::move(program), std::move(trailer), size);
}

std::string readAll(const Body& body) {
    std::string out(body.size(), '\0');
    std::uint64_t offset = 0;
    while (offset < out.size()) {
        const std::size_t n = body.read(offset, out.data() + offset, out.size() - offset);
        if (n == 0) break;
        offset += n;
    }
    out.resize(offset);
    return out;
}

}  // namespace vendor_double
