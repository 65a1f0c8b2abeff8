#include "engine/installer_signature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <array>
#include <utility>

namespace installer_signature {
namespace {

// Ends the verification's state, whatever path the check leaves by.
class TrustState {
public:
    TrustState(WINTRUST_DATA& data, GUID& action) : data_(data), action_(action) {}
    ~TrustState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

private:
    WINTRUST_DATA& data_;
    GUID& action_;
};

// Chain errors and the reason each stands for, the most telling first.
constexpr std::array<std::pair<DWORD, LONG>, 6> kChainErrors{{
    {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
    {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE},
    {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
}};

constexpr DWORD kOfflineRevocation =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

std::wstring commonName(PCCERT_CONTEXT certificate) {
    wchar_t name[256] = L"";
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                       name, 256);
    return name;
}

// The signer's chain as the verification built it, checked again: some implementations of the
// trust provider (Wine's) return success for a chain their own chain engine marked untrusted.
LONG signerChainError(const CRYPT_PROVIDER_SGNR& signer) {
    if (signer.pChainContext == nullptr) return TRUST_E_NO_SIGNER_CERT;
    if (const LONG error = chainStatusError(signer.pChainContext->TrustStatus.dwErrorStatus)) {
        return error;
    }
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof(para);
    para.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, signer.pChainContext,
                                          &para, &status)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return static_cast<LONG>(status.dwError);
}

}  // namespace

Refusal refusalOf(LONG trustResult) {
    switch (trustResult) {
        case ERROR_SUCCESS:
            return Refusal::None;
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return Refusal::Unsigned;
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_UNTRUSTEDTESTROOT:
        case CERT_E_CHAINING:
        case CERT_E_EXPIRED:
        case CERT_E_REVOKED:
        case CRYPT_E_REVOKED:
        case CERT_E_REVOCATION_FAILURE:
        case CERT_E_WRONG_USAGE:
        case TRUST_E_EXPLICIT_DISTRUST:
        case TRUST_E_NO_SIGNER_CERT:
            return Refusal::UntrustedChain;
        default:
            return Refusal::BrokenSignature;
    }
}

LONG chainStatusError(DWORD errorStatus) {
    if ((errorStatus & ~kOfflineRevocation) == 0) return 0;
    for (const auto& [bit, error] : kChainErrors) {
        if ((errorStatus & bit) != 0) return error;
    }
    return TRUST_E_FAIL;
}

const wchar_t* refusalName(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            return L"trusted";
        case Refusal::Unsigned:
            return L"unsigned";
        case Refusal::BrokenSignature:
            return L"broken signature";
        case Refusal::UntrustedChain:
            return L"untrusted chain";
        case Refusal::OtherSigner:
            return L"another signer";
    }
    return L"";
}

Verdict verify(HANDLE file, const std::wstring& path, std::wstring_view vendorSigner) {
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = path.c_str();
    info.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const TrustState state(data, action);
    if (result != ERROR_SUCCESS) return {refusalOf(result), result, {}};
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
    const CRYPT_PROVIDER_SGNR* signer =
        provider != nullptr ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0) {
        return {Refusal::UntrustedChain, TRUST_E_NO_SIGNER_CERT, {}};
    }
    Verdict verdict{Refusal::None, 0, commonName(signer->pasCertChain[0].pCert)};
    if (const LONG error = signerChainError(*signer)) {
        verdict.refusal = Refusal::UntrustedChain;
        verdict.code = error;
    } else if (verdict.signer != vendorSigner) {
        verdict.refusal = Refusal::OtherSigner;
    }
    return verdict;
}

}  // namespace installer_signature
