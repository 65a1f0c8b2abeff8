#include "engine/installer_digest.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace installer_digest {
namespace {

// Read and hashed at a time; the digest thread wakes once the writer is this far ahead.
constexpr std::uint64_t kPiece = 1 << 20;
constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

class SrwGuard {
public:
    explicit SrwGuard(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~SrwGuard() { ReleaseSRWLockExclusive(&lock_); }
    SrwGuard(const SrwGuard&) = delete;
    SrwGuard& operator=(const SrwGuard&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

std::string expectedDigest(const std::wstring& text) {
    if (text.size() != 32) return {};
    std::string digest;
    for (const wchar_t c : text) {
        if (c >= L'A' && c <= L'F') {
            digest.push_back(static_cast<char>(c - L'A' + 'a'));
        } else if ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) {
            digest.push_back(static_cast<char>(c));
        } else {
            return {};
        }
    }
    return digest;
}

FileDigest::FileDigest(std::wstring path) : path_(std::move(path)), thread_([this] { run(); }) {}

FileDigest::~FileDigest() {
    {
        const SrwGuard guard(lock_);
        cancelled_ = finishing_ = true;
    }
    WakeConditionVariable(&changed_);
    if (thread_.joinable()) thread_.join();
}

void FileDigest::advance(std::uint64_t bytes) {
    bool wake = false;
    {
        const SrwGuard guard(lock_);
        if (bytes > final_) final_ = bytes;
        wake = sleeping_ && final_ >= wakeAt_;
    }
    if (wake) WakeConditionVariable(&changed_);
}

std::string FileDigest::finish() {
    {
        const SrwGuard guard(lock_);
        finishing_ = true;
    }
    WakeConditionVariable(&changed_);
    if (thread_.joinable()) thread_.join();
    file_.reset();
    return result_;
}

void FileDigest::run() {
    std::vector<char> buffer(kPiece);
    bool ok = true;
    for (bool last = false; ok && !last;) {
        const std::uint64_t limit = nextLimit(last);
        ok = hashUpTo(limit, buffer);
    }
    if (ok && !cancelled()) result_ = md5_.finishHex();
}

bool FileDigest::cancelled() {
    const SrwGuard guard(lock_);
    return cancelled_;
}

std::uint64_t FileDigest::nextLimit(bool& last) {
    const SrwGuard guard(lock_);
    wakeAt_ = hashed_ + kPiece;
    sleeping_ = true;
    while (!finishing_ && final_ < wakeAt_) {
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    sleeping_ = false;
    last = finishing_;
    return last ? kToTheEnd : final_;
}

// Reads on from where the digest stands; the writer keeps the file open for writing meanwhile.
bool FileDigest::hashUpTo(std::uint64_t limit, std::vector<char>& buffer) {
    if (!file_) {
        file_.reset(CreateFileW(path_.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file_) return false;
    }
    while (hashed_ < limit && !cancelled()) {
        const auto wanted = static_cast<DWORD>(std::min(kPiece, limit - hashed_));
        DWORD read = 0;
        if (!ReadFile(file_.get(), buffer.data(), wanted, &read, nullptr)) return false;
        if (read == 0) return limit == kToTheEnd;  // a file shorter than its writer said is wrong
        if (!md5_.update(buffer.data(), read)) return false;
        hashed_ += read;
    }
    return true;
}

}  // namespace installer_digest
