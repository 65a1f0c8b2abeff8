// The Authenticode check of the downloaded offline installer: its signature as the system
// verifies it (whole chain, revocation from the cache only so that an offline machine still
// installs, no UI), the signer's chain checked once more, and the signer's name compared with
// the vendor's.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace installer_signature {

// Why an installer is refused.
enum class Refusal { None, Unsigned, BrokenSignature, UntrustedChain, OtherSigner };

struct Verdict {
    Refusal refusal = Refusal::None;
    LONG code = 0;        // the system's reason (a TRUST_E_, CERT_E_ or CRYPT_E_ code); 0: none
    std::wstring signer;  // common name of the signing certificate, when there is one
    bool trusted() const { return refusal == Refusal::None; }
};

// What a failed WinVerifyTrust result means for the installer.
Refusal refusalOf(LONG trustResult);

// The reason a signer's chain with this error status is not trusted, 0 when it is. Revocation
// that could not be checked (offline, no list in the cache) is no reason; a revoked certificate is.
LONG chainStatusError(DWORD errorStatus);

// "unsigned", "broken signature", "untrusted chain", "another signer".
const wchar_t* refusalName(Refusal refusal);

// Verifies the open file (the path is only named to the system) and that the vendor signed it.
Verdict verify(HANDLE file, const std::wstring& path, std::wstring_view vendorSigner);

}  // namespace installer_signature
