// The server certificate check refuses what the system does not trust, without a server.
#include <windows.h>
#include <gtest/gtest.h>

#include <wincrypt.h>

#include <memory>

#include "net/tls_peer_check.h"

namespace {

struct CertificateDeleter {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};

// A self-signed server certificate for the name, made with a throw-away key.
std::unique_ptr<const CERT_CONTEXT, CertificateDeleter> selfSigned(const wchar_t* subject) {
    BYTE encoded[256] = {};
    DWORD size = sizeof(encoded);
    if (!CertStrToNameW(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, encoded, &size,
                        nullptr)) {
        return nullptr;
    }
    CERT_NAME_BLOB name{size, encoded};
    return std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>(
        CertCreateSelfSignCertificate(0, &name, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace

TEST(ServerCertificate, UntrustedOrMissingCertificatesAreRefused) {
    EXPECT_NE(helper::serverCertificateError(nullptr, L"cdn.example"), 0u);

    const auto certificate = selfSigned(L"CN=cdn.example");
    ASSERT_TRUE(certificate) << GetLastError();
    EXPECT_EQ(helper::serverCertificateError(certificate.get(), L"cdn.example"),
              static_cast<DWORD>(CERT_E_UNTRUSTEDROOT));
    EXPECT_NE(helper::serverCertificateError(certificate.get(), L""), 0u);
}
