#include "net/tls_peer_check.h"

#define SECURITY_WIN32
#include <curl/curl.h>
#include <schannel.h>
#include <security.h>

#include <memory>

#include "utility/log.h"
#include "utility/text.h"

namespace helper {
namespace {

constexpr const char* kCheckTag = "helper::checkCurlServerCertificate";

struct ChainDeleter {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CertificateDeleter {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

using CurlText = std::unique_ptr<char, CurlTextDeleter>;

CurlText urlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK) return nullptr;
    return CurlText(text);
}

using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;

// The host of the easy handle's current URL when it is an HTTPS URL, empty for other schemes.
// False when the URL cannot be read.
bool httpsHostOf(void* easy, std::wstring& host) {
    char* effectiveUrl = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || effectiveUrl == nullptr ||
        curl_url_set(url.get(), CURLUPART_URL, effectiveUrl, 0) != CURLUE_OK) {
        return false;
    }
    host.clear();
    const CurlText scheme = urlPart(url.get(), CURLUPART_SCHEME);
    if (!scheme || std::string(scheme.get()) != "https") return true;
    const CurlText hostPart = urlPart(url.get(), CURLUPART_HOST);
    if (!hostPart) return false;
    host = utility::utf8ToWide(hostPart.get());
    return !host.empty();
}

// The certificate the server of the easy handle's TLS connection presented.
Certificate peerCertificate(void* easy) {
    curl_tlssessioninfo* session = nullptr;
    curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &session);
    if (session == nullptr || session->backend != CURLSSLBACKEND_SCHANNEL ||
        session->internals == nullptr) {
        return nullptr;
    }
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesW(static_cast<CtxtHandle*>(session->internals),
                                SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK) {
        return nullptr;
    }
    return Certificate(certificate);
}

// The system's verdict on the chain for server authentication of the host; 0 when trusted.
DWORD chainPolicyError(PCCERT_CHAIN_CONTEXT chain, const std::wstring& host) {
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
        return GetLastError();
    }
    return status.dwError;
}

}  // namespace

DWORD serverCertificateError(PCCERT_CONTEXT certificate, const std::wstring& host) {
    if (certificate == nullptr || host.empty()) return static_cast<DWORD>(E_INVALIDARG);
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof(para);
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    PCCERT_CHAIN_CONTEXT rawChain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, 0,
                                 nullptr, &rawChain)) {
        return GetLastError();
    }
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter> chain(rawChain);
    return chainPolicyError(chain.get(), host);
}

int checkCurlServerCertificate(void* easy, char* /*primaryIp*/, char* /*localIp*/,
                               int /*primaryPort*/, int /*localPort*/) {
    std::wstring host;
    if (!httpsHostOf(easy, host)) {
        LOG_AT(kCheckTag, L"cannot read the request url");
        return CURL_PREREQFUNC_ABORT;
    }
    if (host.empty()) return CURL_PREREQFUNC_OK;  // plain HTTP: nothing to check
    const Certificate certificate = peerCertificate(easy);
    if (!certificate) {
        LOG_AT(kCheckTag, L"no server certificate for %s", host.c_str());
        return CURL_PREREQFUNC_ABORT;
    }
    const DWORD error = serverCertificateError(certificate.get(), host);
    if (error != 0) {
        LOG_AT(kCheckTag, L"server certificate not trusted for %s error:0x%08X", host.c_str(),
               static_cast<unsigned>(error));
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

}  // namespace helper
