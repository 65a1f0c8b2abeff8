// Authenticode signatures on the offline installer packages, made with osslsigncode by the
// world's code-signing certificates: the vendor's (the default), and the ones that stand for what
// an installer must be refused for (another signer, a file altered after signing, a chain to a CA
// the world does not trust, a certificate whose issuer is nowhere).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "body.h"

namespace vendor_double {

enum class PackageSignature { Vendor, None, OtherSigner, Altered, UnknownCa, NoIssuer };

// The scenario's name of a signature ("vendor", "none", "other-signer", "altered", "unknown-ca",
// "no-issuer"); nothing for other texts.
std::optional<PackageSignature> parsePackageSignature(std::string_view name);
std::string_view packageSignatureName(PackageSignature signature);

// Where the certificates lie and where signed packages are kept between runs. Both empty: no
// package is signed.
struct PackageSigning {
    std::string certificateDir;  // code-<name>.pem (chain) and code-<name>.key per certificate
    std::string cacheDir;
};

// Makes each signed package once and keeps it as a file; the file is the package from then on.
class PackageSigner {
public:
    explicit PackageSigner(PackageSigning signing) : signing_(std::move(signing)) {}

    bool enabled() const { return !signing_.certificateDir.empty() && !signing_.cacheDir.empty(); }

    // The package signed as asked, size bytes long (the signature included; a size that is not a
    // multiple of 8 is rounded down to one). compose makes the unsigned package of a given size.
    // key names the unsigned content (program stamp and file name). Null when signing failed.
    BodyPtr sign(const std::string& key, std::uint64_t size, PackageSignature signature,
                 const std::function<BodyPtr(std::uint64_t)>& compose, std::uint64_t minimumSize);

private:
    // Bytes the signature of a certificate adds to a package.
    std::optional<std::uint64_t> overhead(const std::string& certificate,
                                          const std::function<BodyPtr(std::uint64_t)>& compose,
                                          std::uint64_t minimumSize);
    bool signFile(const std::string& certificate, const std::string& in, const std::string& out);

    PackageSigning signing_;
    std::mutex mutex_;
    std::map<std::string, std::uint64_t> overheads_;  // by certificate
};

// Writes a body to a file; false when it cannot be written whole.
bool writeBody(const Body& body, const std::string& path);

}  // namespace vendor_double
