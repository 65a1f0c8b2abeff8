// The vendor double: serves every host of the deployment table for the isolated world.
//   vendor_double --print-hosts
//   vendor_double --print-signer     (the common name that signs the vendor's installers)
//   vendor_double --world DIR --standin FILE --cert FILE --key FILE
//                 [--wrong-cert FILE --wrong-key FILE] [--address A] [--https-port N]
//                 [--http-port N] [--ready FILE] [--signing DIR --package-cache DIR]
//   --signing names the folder of the code-signing certificates (code-vendor.pem/.key, ...); the
//   packages are then signed and kept in the package cache.
// It writes one line to the ready file (a FIFO the world script reads) once both ports listen,
// and serves until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "hosts.h"
#include "server.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vendor_double --print-hosts\n"
                 "       vendor_double --world DIR --standin FILE --cert FILE --key FILE\n"
                 "                     [--wrong-cert FILE --wrong-key FILE] [--address A]\n"
                 "                     [--https-port N] [--http-port N] [--ready FILE]\n"
                 "                     [--signing DIR --package-cache DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--print-hosts") {
            for (const auto& host : vendor_double::vendorHosts()) std::printf("%s\n", host.c_str());
            return 0;
        }
        if (key == "--print-signer") {
            std::printf("%s\n", vendor_double::installerSigner().c_str());
            return 0;
        }
        if (key.rfind("--", 0) != 0 || i + 1 >= argc) return usage();
        args[key.substr(2)] = argv[++i];
    }
    for (const char* required : {"world", "standin", "cert", "key"})
        if (!args.count(required)) return usage();

    // Block the stop signals in every thread; the main thread waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    vendor_double::ServerOptions options;
    options.worldDir = args["world"];
    options.standinPath = args["standin"];
    options.certificate = args["cert"];
    options.key = args["key"];
    options.wrongCertificate = args["wrong-cert"];
    options.wrongKey = args["wrong-key"];
    options.signing.certificateDir = args["signing"];
    options.signing.cacheDir = args["package-cache"];
    if (args.count("address")) options.address = args["address"];
    if (args.count("https-port")) options.httpsPort = std::atoi(args["https-port"].c_str());
    if (args.count("http-port")) options.httpPort = std::atoi(args["http-port"].c_str());

    vendor_double::DoubleServer server(options);
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "vendor_double: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "vendor_double: serving https on %d, http on %d\n", server.httpsPort(),
                 server.httpPort());
    if (args.count("ready")) {
        std::ofstream ready(args["ready"]);
        ready << "ready " << server.httpsPort() << " " << server.httpPort() << std::endl;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
