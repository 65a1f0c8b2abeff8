#include "server.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "content.h"
#include "hosts.h"
#include "record.h"
#include "service.h"

namespace vendor_double {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kThreads = 64;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// One request from handler to logger; both run on the same connection thread.
struct Exchange {
    ExchangeRecord record;
    Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> bodyStart;  // first body write, for the rate limit
    bool hasBody = false;
    std::uint64_t planned = 0;
    bool dropped = false;
};

thread_local std::shared_ptr<Exchange> tCurrent;

bool isInternalHeader(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

std::string hostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (!host.empty() && host.front() == '[') return lowerAscii(host);
    return lowerAscii(host.substr(0, host.find(':')));
}

std::string serverNameOf(const httplib::Request& req) {
    if (!req.ssl) return {};
    const char* name = SSL_get_servername(req.ssl, TLSEXT_NAMETYPE_host_name);
    return name ? name : "";
}

SSL_CTX* makeContext(const std::string& certificate, const std::string& key, std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) return nullptr;
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot load " + certificate + " / " + key;
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

}  // namespace

struct DoubleServer::Impl {
    explicit Impl(ServerOptions o)
        : options(std::move(o)),
          service(options.worldDir, options.standinPath, options.signing),
          requests(options.worldDir + "/requests.jsonl"),
          handshakes(options.worldDir + "/tls.jsonl") {}

    ~Impl() {
        if (wrongContext) SSL_CTX_free(wrongContext);
    }

    static int onServerName(SSL* ssl, int* alert, void* arg);
    bool setupTls(SSL_CTX& context, std::string& error);
    void configure(httplib::Server& server, bool secure);
    void handle(const httplib::Request& req, httplib::Response& res, bool secure);
    void serve(const httplib::Request& req, httplib::Response& res, Exchange& exchange,
               const std::shared_ptr<Exchange>& shared);
    void finish(const httplib::Request& req, const httplib::Response& res);

    ServerOptions options;
    Service service;
    RequestRecord requests;
    LineFile handshakes;
    SSL_CTX* wrongContext = nullptr;
    std::unique_ptr<httplib::SSLServer> https;
    std::unique_ptr<httplib::Server> http;
    std::thread httpsThread;
    std::thread httpThread;
    int boundHttps = -1;
    int boundHttp = -1;
};

int DoubleServer::Impl::onServerName(SSL* ssl, int*, void* arg) {
    auto* impl = static_cast<Impl*>(arg);
    const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    const std::string serverName = name ? name : "";
    const bool wrong = impl->wrongContext && impl->service.wrongCertificateFor(serverName);
    if (wrong) SSL_set_SSL_CTX(ssl, impl->wrongContext);
    rapidjson::StringBuffer line;
    rapidjson::Writer<rapidjson::StringBuffer> w(line);
    w.StartObject();
    w.Key("time"), w.Int64(nowMs());
    w.Key("sni"), w.String(serverName.c_str(), static_cast<rapidjson::SizeType>(serverName.size()));
    w.Key("certificate"), w.String(wrong ? "wrong-host" : "vendor");
    w.EndObject();
    impl->handshakes.append(std::string(line.GetString(), line.GetSize()));
    return SSL_TLSEXT_ERR_OK;
}

bool DoubleServer::Impl::setupTls(SSL_CTX& context, std::string& error) {
    SSL_CTX_set_options(&context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(&context, options.certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(&context, options.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot load " + options.certificate + " / " + options.key;
        return false;
    }
    if (!options.wrongCertificate.empty()) {
        wrongContext = makeContext(options.wrongCertificate, options.wrongKey, error);
        if (!wrongContext) return false;
    }
    SSL_CTX_set_tlsext_servername_callback(&context, onServerName);
    SSL_CTX_set_tlsext_servername_arg(&context, this);
    return true;
}

void DoubleServer::Impl::configure(httplib::Server& server, bool secure) {
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_keep_alive_max_count(100);
    server.set_keep_alive_timeout(5);
    server.set_read_timeout(30);
    server.set_write_timeout(60);
    server.set_payload_max_length(256u << 20);
    const auto handler = [this, secure](const httplib::Request& req, httplib::Response& res) {
        handle(req, res, secure);
    };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.Put(".*", handler);
    server.Patch(".*", handler);
    server.Delete(".*", handler);
    server.Options(".*", handler);
    server.set_logger(
        [this](const httplib::Request& req, const httplib::Response& res) { finish(req, res); });
}

void DoubleServer::Impl::handle(const httplib::Request& req, httplib::Response& res, bool secure) {
    // The library would cut bodies to the Range header on its own; the double plans ranges
    // itself (faults included), so it takes that over. The request object is the library's
    // own non-const one.
    const_cast<httplib::Request&>(req).ranges.clear();

    auto exchange = std::make_shared<Exchange>();
    tCurrent = exchange;
    ExchangeRecord& record = exchange->record;
    record.startMs = nowMs();
    record.version = req.version;
    record.port = req.local_port;
    record.remotePort = req.remote_port;
    record.sni = serverNameOf(req);
    IncomingRequest& in = record.request;
    in.scheme = secure ? "https" : "http";
    in.host = hostOf(req);
    in.method = req.method;
    in.target = req.target;
    splitTarget(in);
    for (const auto& [name, value] : req.headers)
        if (!isInternalHeader(name)) in.headers.emplace_back(name, value);
    in.body = req.body;

    // An address instead of a name is a machine of the user's own network (the office's
    // proxy auto-config server), which the vendor's redirect does not concern.
    const bool address =
        !in.host.empty() && in.host.find_first_not_of("0123456789.") == std::string::npos;
    if (!secure && options.redirectPlainHttp && !address &&
        roleOf(in.host) != HostRole::DomesticWebSite) {
        res.status = 301;
        res.set_header("Location", "https://" + in.host + in.target);
        record.status = 301;
        return;
    }
    serve(req, res, *exchange, exchange);
}

void DoubleServer::Impl::serve(const httplib::Request& req, httplib::Response& res,
                               Exchange& exchange, const std::shared_ptr<Exchange>& shared) {
    Reply reply = service.handle(exchange.record.request);
    ExchangeRecord& record = exchange.record;
    record.status = reply.status;
    record.faults = reply.faults;
    record.rule = reply.rule;
    record.scenarioError = reply.scenarioError;
    record.detailsName = reply.detailsName;
    record.detailsJson = reply.detailsJson;
    if (!reply.scenarioError.empty())
        std::fprintf(stderr, "vendor_double: scenario: %s\n", reply.scenarioError.c_str());

    if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));

    res.status = reply.status;
    std::string contentType = "application/octet-stream";
    for (const auto& [name, value] : reply.headers) {
        if (lowerAscii(name) == "content-type") {
            contentType = value;
            continue;
        }
        if (lowerAscii(name) == "content-range") record.contentRange = value;
        res.set_header(name, value);
    }
    if (!reply.body || reply.length == 0) {
        if (reply.body && !reply.chunked && !reply.closeDelimited)
            res.set_header("Content-Type", contentType);
        if (!reply.chunked && !reply.closeDelimited) record.contentLength = 0;
        return;
    }
    exchange.hasBody = req.method != "HEAD";
    exchange.planned = reply.length;
    if (!reply.chunked && !reply.closeDelimited) record.contentLength = reply.length;

    // Writes the planned part of the body in chunks; faults cut or slow it. Returns false to
    // end the connection.
    const auto writeFrom = [shared, reply, ssl = req.ssl](std::uint64_t sent,
                                                          httplib::DataSink& sink) {
        Exchange& x = *shared;
        if (sent >= reply.length) {
            if (!reply.closeDelimited) {
                sink.done();
                return true;
            }
            // The end of the body is the end of the connection: close TLS cleanly first.
            if (ssl) SSL_shutdown(const_cast<SSL*>(ssl));
            return false;
        }
        if (reply.dropAfterBytes && sent >= *reply.dropAfterBytes) {
            x.dropped = true;
            return false;
        }
        std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, reply.length - sent));
        if (reply.dropAfterBytes)
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, *reply.dropAfterBytes - sent));
        if (reply.rateLimit) {
            n = std::min<std::size_t>(n, std::max<std::uint64_t>(1024, reply.rateLimit / 20));
            if (!x.bodyStart) x.bodyStart = Clock::now();
            const auto due =
                *x.bodyStart + std::chrono::microseconds((sent + n) * 1000000 / reply.rateLimit);
            std::this_thread::sleep_until(due);
        }
        std::vector<char> buffer(n);
        std::size_t filled = 0;
        while (filled < n) {
            const std::size_t got =
                reply.body->read(reply.offset + sent + filled, buffer.data() + filled, n - filled);
            if (got == 0) return false;
            filled += got;
        }
        if (!sink.write(buffer.data(), n)) return false;
        x.record.bytesServed += n;
        return true;
    };
    if (reply.chunked) {
        res.set_chunked_content_provider(contentType,
                                         [writeFrom](std::size_t offset, httplib::DataSink& sink) {
                                             return writeFrom(offset, sink);
                                         });
    } else if (reply.closeDelimited) {
        res.set_content_provider(contentType,
                                 [writeFrom](std::size_t offset, httplib::DataSink& sink) {
                                     return writeFrom(offset, sink);
                                 });
    } else {
        res.set_content_provider(
            static_cast<std::size_t>(reply.length), contentType,
            [writeFrom](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                return writeFrom(offset, sink);
            });
    }
}

void DoubleServer::Impl::finish(const httplib::Request& req, const httplib::Response& res) {
    std::shared_ptr<Exchange> exchange = std::move(tCurrent);
    tCurrent.reset();
    if (!exchange) {  // refused before any handler ran (malformed request, too long a target)
        exchange = std::make_shared<Exchange>();
        exchange->record.startMs = nowMs();
        exchange->record.request.method = req.method;
        exchange->record.request.target = req.target;
        exchange->record.request.host = hostOf(req);
        exchange->record.status = res.status;
    }
    ExchangeRecord& record = exchange->record;
    record.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exchange->start)
            .count();
    if (!exchange->hasBody)
        record.outcome = "no-body";
    else if (exchange->dropped)
        record.outcome = "dropped";
    else if (record.bytesServed == exchange->planned)
        record.outcome = "complete";
    else
        record.outcome = "client-closed";
    requests.append(record);
}

DoubleServer::DoubleServer(ServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

DoubleServer::~DoubleServer() {
    stop();
}

bool DoubleServer::start(std::string& error) {
    Impl& impl = *impl_;
    if (!impl.requests.ok()) {
        error = "cannot write " + impl.options.worldDir + "/requests.jsonl";
        return false;
    }
    std::string tlsError;
    impl.https = std::make_unique<httplib::SSLServer>(
        [&](SSL_CTX& context) { return impl.setupTls(context, tlsError); });
    if (!impl.https->is_valid()) {
        error = tlsError.empty() ? "cannot set up TLS" : tlsError;
        return false;
    }
    impl.http = std::make_unique<httplib::Server>();
    impl.configure(*impl.https, true);
    impl.configure(*impl.http, false);
    const auto bind = [&](httplib::Server& server, int port) {
        return port == 0 ? server.bind_to_any_port(impl.options.address)
                         : (server.bind_to_port(impl.options.address, port) ? port : -1);
    };
    impl.boundHttps = bind(*impl.https, impl.options.httpsPort);
    impl.boundHttp = bind(*impl.http, impl.options.httpPort);
    if (impl.boundHttps < 0 || impl.boundHttp < 0) {
        error = "cannot bind " + impl.options.address + " ports " +
                std::to_string(impl.options.httpsPort) + " and " +
                std::to_string(impl.options.httpPort);
        return false;
    }
    impl.httpsThread = std::thread([&impl] { impl.https->listen_after_bind(); });
    impl.httpThread = std::thread([&impl] { impl.http->listen_after_bind(); });
    return true;
}

void DoubleServer::stop() {
    if (!impl_) return;
    if (impl_->https) impl_->https->stop();
    if (impl_->http) impl_->http->stop();
    if (impl_->httpsThread.joinable()) impl_->httpsThread.join();
    if (impl_->httpThread.joinable()) impl_->httpThread.join();
}

int DoubleServer::httpsPort() const {
    return impl_->boundHttps;
}

int DoubleServer::httpPort() const {
    return impl_->boundHttp;
}

}  // namespace vendor_double
