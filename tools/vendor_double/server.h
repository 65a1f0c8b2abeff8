// The double's listening side: HTTPS for every vendor host (one certificate for all names, the
// wrong-host certificate when the scenario asks), plain HTTP for the domestic web site, and the
// request record.
#pragma once

#include <memory>
#include <string>

#include "signing.h"

namespace vendor_double {

struct ServerOptions {
    std::string worldDir;     // scenario.json, requests.jsonl, tls.jsonl
    std::string standinPath;  // the offline installer stand-in program
    PackageSigning signing;   // certificates that sign the packages (none: unsigned)
    std::string certificate;  // PEM chain of the vendor certificate and its key
    std::string key;
    std::string wrongCertificate;  // PEM of the certificate for another host name, and its key
    std::string wrongKey;
    std::string address = "127.0.0.1";
    int httpsPort = 443;  // 0: any free port
    int httpPort = 80;
    // Plain HTTP requests for hosts other than the domestic web site are sent to HTTPS, as the
    // vendor's servers do; tests of the double itself switch that off.
    bool redirectPlainHttp = true;
};

class DoubleServer {
public:
    explicit DoubleServer(ServerOptions options);
    ~DoubleServer();
    DoubleServer(const DoubleServer&) = delete;
    DoubleServer& operator=(const DoubleServer&) = delete;

    // Binds both ports and starts serving; false with the reason on failure.
    bool start(std::string& error);
    void stop();
    int httpsPort() const;
    int httpPort() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vendor_double
