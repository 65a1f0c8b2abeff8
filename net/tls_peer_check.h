// Server certificate checks shared by the transfer clients.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>

namespace helper {

// 0 when the certificate (with the intermediates of its store) chains to a root the system
// trusts, is valid now for server authentication and names the host; otherwise the system's
// reason (CERT_E_CN_NO_MATCH, CERT_E_UNTRUSTEDROOT, ...). The check the system HTTP library
// applies.
DWORD serverCertificateError(PCCERT_CONTEXT certificate, const std::wstring& host);

// libcurl pre-request callback (CURLOPT_PREREQFUNCTION with the easy handle as its data): for an
// HTTPS request, checks the connection's server certificate before anything is sent and
// aborts the transfer when it is not trusted for the request's host. Schannel on Windows has
// already refused such a peer during the handshake; Schannel implementations that do not
// validate (Wine's) would otherwise let any certificate through.
int checkCurlServerCertificate(void* easy, char* primaryIp, char* localIp, int primaryPort,
                               int localPort);

}  // namespace helper
