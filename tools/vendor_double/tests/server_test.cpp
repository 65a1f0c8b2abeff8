// The double on real sockets: TLS with the server name choosing the certificate, and the
// transfer faults as they look on the wire (raw HTTP, and TLS closes), with the record written
// for each request.
#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "body.h"
#include "test_world.h"

namespace vendor_double {
namespace {

using Clock = std::chrono::steady_clock;

// Certificates for the test: a CA, one for two vendor names, one for another name.
class Certificates {
public:
    Certificates() {
        const std::string d = dir_.dir();
        const std::string cnf = d + "/openssl.cnf";
        dir_.writeFile("openssl.cnf",
                       "[req]\ndistinguished_name=dn\n[dn]\n"
                       "[ca]\nbasicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign\n"
                       "[vendor]\nsubjectAltName=DNS:cdn.tamrix.test,DNS:res2.tamrix.test\n"
                       "[wrong]\nsubjectAltName=DNS:wrong-host.invalid\n");
        run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -config " + cnf +
            " -extensions ca -subj /CN=test-ca -keyout " + d + "/ca.key -out " + d + "/ca.pem");
        for (const std::string name : {"vendor", "wrong"}) {
            run("openssl req -new -newkey rsa:2048 -nodes -config " + cnf + " -subj /CN=" + name +
                " -keyout " + d + "/" + name + ".key -out " + d + "/" + name + ".csr");
            run("openssl x509 -req -days 2 -in " + d + "/" + name + ".csr -CA " + d +
                "/ca.pem -CAkey " + d + "/ca.key -CAcreateserial -extfile " + cnf +
                " -extensions " + name + " -out " + d + "/" + name + ".pem");
        }
    }
    std::string path(const std::string& name) const { return dir_.path(name); }

private:
    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
    }
    TestWorld dir_;
};

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Wire {
    std::string head;
    std::string body;     // raw bytes after the head
    bool closed = false;  // the server ended the connection
};

// Reads the head, then body bytes until `bodyBytes` arrived, the last chunk of a chunked body
// arrived, or the server closed (or the read timed out).
Wire exchange(int port, const std::string& request, std::size_t bodyBytes = SIZE_MAX) {
    Wire wire;
    const int fd = connectTo(port);
    if (fd < 0) return wire;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string all;
    char buffer[65536];
    for (;;) {
        const auto headEnd = all.find("\r\n\r\n");
        if (headEnd != std::string::npos && all.size() - headEnd - 4 >= bodyBytes) break;
        const bool chunked =
            headEnd != std::string::npos &&
            all.substr(0, headEnd).find("Transfer-Encoding: chunked") != std::string::npos;
        if (chunked && all.size() >= headEnd + 9 &&
            all.compare(all.size() - 5, 5, "0\r\n\r\n") == 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n == 0) wire.closed = true;
        if (n <= 0) break;
        all.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const auto headEnd = all.find("\r\n\r\n");
    wire.head = all.substr(0, headEnd);
    if (headEnd != std::string::npos) wire.body = all.substr(headEnd + 4);
    return wire;
}

std::string request(const std::string& target, const std::string& extra = "",
                    const std::string& method = "GET") {
    return method + " " + target + " HTTP/1.1\r\nHost: cdn.tamrix.test\r\n" + extra + "\r\n";
}

std::string pattern(std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = patternByte(offset + i);
    return bytes;
}

std::string dechunk(const std::string& raw, bool& terminated) {
    std::string out;
    std::size_t at = 0;
    terminated = false;
    for (;;) {
        const auto lineEnd = raw.find("\r\n", at);
        if (lineEnd == std::string::npos) return out;
        const std::size_t size = std::stoul(raw.substr(at, lineEnd - at), nullptr, 16);
        if (size == 0) {
            terminated = true;
            return out;
        }
        out += raw.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
}

class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { certificates_ = new Certificates(); }
    static void TearDownTestSuite() { delete certificates_; }

    void SetUp() override {
        ServerOptions options;
        options.worldDir = world_.dir();
        options.standinPath = world_.path("standin_installer.exe");
        options.certificate = certificates_->path("vendor.pem");
        options.key = certificates_->path("vendor.key");
        options.wrongCertificate = certificates_->path("wrong.pem");
        options.wrongKey = certificates_->path("wrong.key");
        options.httpsPort = 0;
        options.httpPort = 0;
        options.redirectPlainHttp = false;
        server_ = std::make_unique<DoubleServer>(options);
        std::string error;
        ASSERT_TRUE(server_->start(error)) << error;
    }
    void TearDown() override { server_->stop(); }

    // The record's lines once there are at least count (bounded wait).
    std::vector<rapidjson::Document> records(std::size_t count) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        std::vector<std::string> lines;
        while (Clock::now() < deadline) {
            std::istringstream in(world_.readFile("requests.jsonl"));
            lines.clear();
            for (std::string line; std::getline(in, line);) lines.push_back(line);
            if (lines.size() >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::vector<rapidjson::Document> documents;
        for (const auto& line : lines) {
            documents.emplace_back();
            documents.back().Parse(line.c_str());
        }
        return documents;
    }

    static Certificates* certificates_;
    TestWorld world_;
    std::unique_ptr<DoubleServer> server_;
};

Certificates* ServerTest::certificates_ = nullptr;

TEST_F(ServerTest, ContentLengthBodiesAndTheRecord) {
    const Wire wire =
        exchange(server_->httpPort(),
                 request("/games/demo/com.tamrix.demo.obb?q=1", "X-Test: yes\r\n"), 2u << 20);
    EXPECT_NE(wire.head.find("HTTP/1.1 200"), std::string::npos);
    EXPECT_NE(wire.head.find("Content-Length: 2097152"), std::string::npos);
    EXPECT_TRUE(wire.body == pattern(0, 2u << 20));

    const auto lines = records(1);
    ASSERT_EQ(lines.size(), 1u);
    const auto& r = lines[0];
    EXPECT_STREQ(r["host"].GetString(), "cdn.tamrix.test");
    EXPECT_STREQ(r["path"].GetString(), "/games/demo/com.tamrix.demo.obb");
    EXPECT_STREQ(r["query"].GetString(), "q=1");
    EXPECT_STREQ(r["outcome"].GetString(), "complete");
    EXPECT_EQ(r["bytesServed"].GetUint64(), 2u << 20);
    EXPECT_EQ(r["contentLength"].GetUint64(), 2u << 20);
    bool sawTestHeader = false;
    for (const auto& header : r["headers"].GetArray()) {
        EXPECT_STRNE(header[0].GetString(), "REMOTE_ADDR");
        sawTestHeader |= std::string(header[0].GetString()) == "X-Test";
    }
    EXPECT_TRUE(sawTestHeader);
}

TEST_F(ServerTest, DroppedConnectionCarriesTheFullLengthButOnlyNBytes) {
    world_.scenario(
        R"({"rules":[{"path":"/games/demo/com.tamrix.demo.obb","dropAfterBytes":70000}]})");
    const Wire wire = exchange(server_->httpPort(), request("/games/demo/com.tamrix.demo.obb"));
    EXPECT_NE(wire.head.find("Content-Length: 2097152"), std::string::npos);
    EXPECT_TRUE(wire.closed);
    EXPECT_TRUE(wire.body == pattern(0, 70000));
    const auto lines = records(1);
    EXPECT_STREQ(lines[0]["outcome"].GetString(), "dropped");
    EXPECT_EQ(lines[0]["bytesServed"].GetUint64(), 70000u);
}

TEST_F(ServerTest, NoContentLengthIsChunkedAndEndsCleanly) {
    world_.scenario(R"({"rules":[{"noContentLength":true,"body":{"size":200000}}]})");
    const Wire wire = exchange(server_->httpPort(), request("/x"));  // keep-alive: ends by chunks
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos);
    EXPECT_NE(wire.head.find("Transfer-Encoding: chunked"), std::string::npos);
    bool terminated = false;
    EXPECT_TRUE(dechunk(wire.body, terminated) == pattern(0, 200000));
    EXPECT_TRUE(terminated);
    EXPECT_TRUE(records(1)[0]["contentLength"].IsNull());
}

TEST_F(ServerTest, CloseDelimitedBodyEndsWithTheConnection) {
    world_.scenario(R"({"rules":[{"closeDelimited":true,"body":{"size":100000}}]})");
    const auto start = Clock::now();
    const Wire wire = exchange(server_->httpPort(), request("/x"));
    EXPECT_EQ(wire.head.find("Content-Length"), std::string::npos);
    EXPECT_EQ(wire.head.find("Transfer-Encoding"), std::string::npos);
    EXPECT_TRUE(wire.closed);
    EXPECT_TRUE(wire.body == pattern(0, 100000));
    // Closed by the end of the body, not by the 5-second keep-alive time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    EXPECT_STREQ(records(1)[0]["outcome"].GetString(), "complete");
}

TEST_F(ServerTest, RangeFaultsOnTheWire) {
    world_.scenario(R"({"rules":[
        {"path":"/ignore","ignoreRange":true,"body":{"size":1000}},
        {"path":"/label","contentRange":"bytes 0-899/1000","body":{"size":1000}},
        {"path":"/head","body":{"size":1000}}]})");
    Wire wire = exchange(server_->httpPort(),
                         request("/ignore", "Range: bytes=100-\r\nConnection: close\r\n"));
    EXPECT_NE(wire.head.find("HTTP/1.1 200"), std::string::npos);
    EXPECT_EQ(wire.head.find("Content-Range"), std::string::npos);
    EXPECT_TRUE(wire.body == pattern(0, 1000));

    wire = exchange(server_->httpPort(),
                    request("/label", "Range: bytes=100-\r\nConnection: close\r\n"));
    EXPECT_NE(wire.head.find("HTTP/1.1 206"), std::string::npos);
    EXPECT_NE(wire.head.find("Content-Range: bytes 0-899/1000"), std::string::npos);
    EXPECT_NE(wire.head.find("Content-Length: 900"), std::string::npos);
    EXPECT_TRUE(wire.body == pattern(100, 900));

    wire = exchange(server_->httpPort(),
                    request("/head", "Range: bytes=990-\r\nConnection: close\r\n", "HEAD"));
    EXPECT_NE(wire.head.find("HTTP/1.1 206"), std::string::npos);
    EXPECT_NE(wire.head.find("Content-Length: 10"), std::string::npos);
    EXPECT_EQ(wire.body, "");
    EXPECT_STREQ(records(3)[2]["outcome"].GetString(), "no-body");
}

TEST_F(ServerTest, RateLimitAndDelayHoldTheAnswerBack) {
    world_.scenario(R"({"rules":[{"path":"/slow","rateLimit":400000,"body":{"size":200000}},
                                 {"path":"/late","delayMs":300}]})");
    auto start = Clock::now();
    Wire wire = exchange(server_->httpPort(), request("/slow", "Connection: close\r\n"));
    EXPECT_EQ(wire.body.size(), 200000u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(450));  // 200000 B at 400000 B/s
    start = Clock::now();
    wire = exchange(server_->httpPort(), request("/late", "Connection: close\r\n"));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_NE(wire.head.find("HTTP/1.1 404"), std::string::npos);
}

TEST_F(ServerTest, ClientThatGoesAwayIsRecordedAsSuch) {
    world_.scenario(R"({"rules":[{"path":"/big","body":{"size":104857600}}]})");
    const Wire wire = exchange(server_->httpPort(), request("/big"), 1);
    EXPECT_NE(wire.head.find("Content-Length: 104857600"), std::string::npos);
    const auto lines = records(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_STREQ(lines[0]["outcome"].GetString(), "client-closed");
    EXPECT_LT(lines[0]["bytesServed"].GetUint64(), 104857600u);
}

// A TLS client that checks the chain against the test CA and the name.
struct TlsResult {
    bool verified = false;
    long verifyError = 0;
    std::string response;
    bool cleanClose = false;  // the server sent close_notify before closing
};

TlsResult tlsExchange(int port, const std::string& name, const std::string& ca,
                      const std::string& text) {
    TlsResult result;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(context, ca.c_str(), nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL* ssl = SSL_new(context);
    const int fd = connectTo(port);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, name.c_str());
    SSL_set1_host(ssl, name.c_str());
    if (SSL_connect(ssl) == 1) {
        result.verified = true;
        SSL_write(ssl, text.data(), static_cast<int>(text.size()));
        char buffer[65536];
        for (;;) {
            const int n = SSL_read(ssl, buffer, sizeof(buffer));
            if (n > 0) {
                result.response.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            result.cleanClose = SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN;
            break;
        }
    }
    result.verifyError = SSL_get_verify_result(ssl);
    SSL_free(ssl);
    ::close(fd);
    SSL_CTX_free(context);
    return result;
}

TEST_F(ServerTest, ServerNameChoosesTheCertificate) {
    const std::string ca = certificates_->path("ca.pem");
    const std::string get =
        "GET /player_files/en/sarvel HTTP/1.1\r\nHost: res2.tamrix.test\r\nConnection: "
        "close\r\n\r\n";
    TlsResult result = tlsExchange(server_->httpsPort(), "res2.tamrix.test", ca, get);
    EXPECT_TRUE(result.verified);
    EXPECT_NE(result.response.find("HTTP/1.1 200"), std::string::npos);

    world_.scenario(R"({"rules":[{"host":"res2.tamrix.test","wrongCertificate":true}]})");
    result = tlsExchange(server_->httpsPort(), "res2.tamrix.test", ca, get);
    EXPECT_FALSE(result.verified);
    EXPECT_EQ(result.verifyError, X509_V_ERR_HOSTNAME_MISMATCH);
    EXPECT_TRUE(tlsExchange(server_->httpsPort(), "cdn.tamrix.test", ca,
                            "GET / HTTP/1.1\r\nHost: cdn.tamrix.test\r\nConnection: close\r\n\r\n")
                    .verified);
    const std::string handshakes = world_.readFile("tls.jsonl");
    EXPECT_NE(handshakes.find(R"("sni":"res2.tamrix.test","certificate":"wrong-host")"),
              std::string::npos);
    EXPECT_EQ(records(2).size(), 2u) << "the refused handshake sent no request";
}

TEST_F(ServerTest, OverTlsACloseDelimitedBodyEndsCleanlyAndADropDoesNot) {
    const std::string ca = certificates_->path("ca.pem");
    world_.scenario(R"({"rules":[{"path":"/closed","closeDelimited":true,"body":{"size":5000}},
                                 {"path":"/cut","dropAfterBytes":100,"body":{"size":5000}}]})");
    TlsResult result = tlsExchange(server_->httpsPort(), "cdn.tamrix.test", ca, request("/closed"));
    EXPECT_TRUE(result.cleanClose);
    EXPECT_TRUE(result.response.substr(result.response.find("\r\n\r\n") + 4) == pattern(0, 5000));
    result = tlsExchange(server_->httpsPort(), "cdn.tamrix.test", ca, request("/cut"));
    EXPECT_FALSE(result.cleanClose);
    EXPECT_EQ(result.response.size() - result.response.find("\r\n\r\n") - 4, 100u);
}

}  // namespace
}  // namespace vendor_double
