// What the vendor's services answer when the scenario does not say otherwise: the version,
// customer, package and channel documents, the offline installer packages, game files, web
// pages, and the collection and analytics endpoints (which check and describe what they got).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "body.h"
#include "request.h"
#include "scenario.h"
#include "signing.h"

namespace vendor_double {

struct Resource {
    int status = 200;
    std::string contentType;
    BodyPtr body;  // null: no body
    HeaderList headers;
    // An extra member of the request record ("collection", "analytics") and its JSON value.
    std::string detailsName;
    std::string detailsJson;
};

// Size of each edition's package when the scenario does not set "installerSize": past the
// 10 MiB an installer must exceed.
inline constexpr std::uint64_t kDefaultInstallerSize = 11 * 1024 * 1024;

// Channel open id the channel service hands out by default.
inline constexpr int kDefaultChannelOpenId = 2468;

// The offline installer stand-in, served as each edition's package file: the program, zero
// padding, and a trailer line that names the edition (the stand-in reads it from its own file),
// signed as the scenario asks when the double has certificates (with the vendor's by default).
class PackageSource {
public:
    explicit PackageSource(std::string standinPath, PackageSigning signing = {})
        : standinPath_(std::move(standinPath)), signer_(std::move(signing)) {}
    // The package for a package file name ("Tamrix9.0.exe"); null for other names, when the
    // stand-in program cannot be read or the signature cannot be made.
    BodyPtr package(std::string_view fileName, std::uint64_t size,
                    PackageSignature signature = PackageSignature::Vendor);
    // MD5 of the package as served with that size; empty when there is none.
    std::string packageMd5(std::string_view fileName, std::uint64_t size,
                           PackageSignature signature = PackageSignature::Vendor);

private:
    std::shared_ptr<const std::string> program(long long& stamp);

    std::string standinPath_;
    PackageSigner signer_;
    std::mutex mutex_;
    std::shared_ptr<const std::string> program_;
    long long programStamp_ = -1;
    std::map<std::string, std::string> md5s_;  // by file name, size, signature and program stamp
};

// The signature the scenario asks for ("content" -> "installerSignature"); the vendor's when it
// says nothing.
PackageSignature packageSignatureOf(const Scenario& scenario);

// The edition a package file name stands for ("4", "64", "9", "3"); empty for other names.
std::string editionOfPackage(std::string_view fileName);
// The trailer line at the end of a package.
std::string packageTrailer(std::string_view fileName, std::uint64_t size);

class Content {
public:
    Content(std::string worldDir, std::string standinPath, PackageSigning signing = {});

    Resource resolve(const IncomingRequest& request, const Scenario& scenario);
    // A body from a scenario's body form; null with the reason when a file cannot be read.
    BodyPtr makeBody(const BodyForm& form, std::string& error) const;
    // A Unix path for a path from the scenario: absolute, a Windows "Z:\..." path, or relative to
    // the world folder.
    std::string resolvePath(const std::string& path) const;

    std::string versionDocument(const Scenario& scenario);

private:
    Resource contentHost(const IncomingRequest& request, const Scenario& scenario);
    Resource channel(const IncomingRequest& request, const Scenario& scenario);
    Resource packageFile(std::string_view fileName, const Scenario& scenario);
    std::uint64_t installerSize(const Scenario& scenario) const;

    std::string worldDir_;
    PackageSource packages_;
};

// Collection endpoint: checks the signature and describes the upload.
Resource collectionAnswer(const IncomingRequest& request);
// Analytics endpoint: describes the post; always 204.
Resource analyticsAnswer(const IncomingRequest& request);

// A small HTML page for an error status.
std::string errorPage(int status);
const char* reasonPhrase(int status);

// Built-in documents (exposed for the tests).
std::string defaultCustomerDocument();
std::string defaultChannelAnswer();

}  // namespace vendor_double
