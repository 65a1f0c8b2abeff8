// The downloaded installer against the version document's MD5 digest: the digest the document
// gives, and the digest of a file that a download is writing, hashed on a thread of its own as the
// bytes land, so that it is ready almost as soon as the download ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "telemetry/md5.h"
#include "utility/handle.h"

namespace installer_digest {

// The document's text as 32 lower-case hexadecimal digits; empty when it is not 32 hexadecimal
// digits (absent, empty or malformed): nothing can be checked then.
std::string expectedDigest(const std::wstring& text);

// The MD5 of one file. The writer tells how far the file already holds its final bytes; without
// such news the whole file is read when the digest is asked for.
class FileDigest {
public:
    explicit FileDigest(std::wstring path);
    ~FileDigest();
    FileDigest(const FileDigest&) = delete;
    FileDigest& operator=(const FileDigest&) = delete;

    // The bytes from the start of the file up to here are final (never less than told before).
    void advance(std::uint64_t bytes);
    // The digest of the whole file as it is now that its writer is done with it; empty when it
    // could not be read. Closes the file.
    std::string finish();

private:
    void run();
    // Waits until there is a piece to hash or the end is asked for; how far to hash then.
    std::uint64_t nextLimit(bool& last);
    bool hashUpTo(std::uint64_t limit, std::vector<char>& buffer);
    bool cancelled();

    std::wstring path_;
    utility::UniqueHandle file_;
    telemetry::Md5 md5_;
    std::uint64_t hashed_ = 0;  // digest thread only
    std::string result_;

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::uint64_t final_ = 0;   // told by the writer
    std::uint64_t wakeAt_ = 0;  // the digest thread sleeps until final_ reaches this
    bool sleeping_ = false;
    bool finishing_ = false;
    bool cancelled_ = false;
    std::thread thread_;
};

}  // namespace installer_digest
