// The installer file held from its check to its start: nobody writes, replaces or deletes it
// meanwhile, its digest read through the hold is the file's, and a file that cannot be held or
// has another digest is removed. What a failed signature check and a chain's status mean for the
// installer.
#include "engine/held_installer.h"

#include <windows.h>

#include <softpub.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include "engine/installer_signature.h"
#include "telemetry/md5.h"
#include "tests/support/test_support.h"
#include "utility/handle.h"

namespace {

using installer_signature::Refusal;

TEST(InstallerSignature, WhatEachFailedCheckMeans) {
    const struct {
        LONG result;
        Refusal refusal;
    } cases[] = {
        {ERROR_SUCCESS, Refusal::None},
        {TRUST_E_NOSIGNATURE, Refusal::Unsigned},
        {TRUST_E_SUBJECT_FORM_UNKNOWN, Refusal::Unsigned},
        {TRUST_E_BAD_DIGEST, Refusal::BrokenSignature},
        {TRUST_E_CERT_SIGNATURE, Refusal::BrokenSignature},
        {CERT_E_UNTRUSTEDROOT, Refusal::UntrustedChain},
        {CERT_E_CHAINING, Refusal::UntrustedChain},
        {CERT_E_EXPIRED, Refusal::UntrustedChain},
        {CRYPT_E_REVOKED, Refusal::UntrustedChain},
        {TRUST_E_EXPLICIT_DISTRUST, Refusal::UntrustedChain},
        {static_cast<LONG>(E_OUTOFMEMORY), Refusal::BrokenSignature},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        EXPECT_EQ(installer_signature::refusalOf(c.result), c.refusal);
    }
}

// Revocation that cannot be checked on an offline machine is no reason; everything else is.
TEST(InstallerSignature, ChainStatusReasons) {
    const struct {
        DWORD status;
        LONG error;
    } cases[] = {
        {0, 0},
        {CERT_TRUST_REVOCATION_STATUS_UNKNOWN, 0},
        {CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION, 0},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
        {CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN, CERT_E_UNTRUSTEDROOT},
        {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
        {CERT_TRUST_IS_REVOKED | CERT_TRUST_IS_UNTRUSTED_ROOT, CRYPT_E_REVOKED},
        {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
        {CERT_TRUST_IS_CYCLIC, TRUST_E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(installer_signature::chainStatusError(c.status), c.error);
    }
}

class HeldInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.path() + L"Tamrix.exe";
        ASSERT_TRUE(
            CopyFileW(testing_support::peerPath(L"process_peer").c_str(), path_.c_str(), FALSE));
    }
    testing_support::TempDir dir_;
    std::wstring path_;
};

TEST_F(HeldInstallerTest, NobodyChangesTheHeldFileAndItsDigestIsTheFiles) {
    HeldInstaller held;
    ASSERT_TRUE(held.open(path_));
    const utility::UniqueHandle writer(
        CreateFileW(path_.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const std::wstring other = dir_.path() + L"other.exe";
    ASSERT_TRUE(testing_support::writeFileBytes(other, "MZ swapped"));
    EXPECT_FALSE(MoveFileExW(other.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(path_.c_str()));
    {
        // A reader is welcome: the system reads the file to verify and to run it.
        const utility::UniqueHandle reader(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                       nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(reader);
    }
    EXPECT_EQ(held.digest(), telemetry::md5Hex(testing_support::readFileBytes(path_)));
    held.release();
    EXPECT_TRUE(DeleteFileW(path_.c_str()));
}

// A file that cannot be held (another handle writes it) is refused and removed; so is one whose
// digest is not the expected one.
TEST_F(HeldInstallerTest, AFileThatCannotBeHeldOrHasAnotherDigestIsRemoved) {
    HeldInstaller held;
    {
        const utility::UniqueHandle writer(CreateFileW(path_.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_FALSE(held_installer::holdChecked(path_, "", L"", held, "test"));
        EXPECT_FALSE(held.held());
    }
    ASSERT_TRUE(
        CopyFileW(testing_support::peerPath(L"process_peer").c_str(), path_.c_str(), FALSE));
    bool notTheVendors = true;
    EXPECT_FALSE(held_installer::holdChecked(path_, std::string(32, '0'), L"", held, "test",
                                             &notTheVendors));
    EXPECT_FALSE(held.held());
    EXPECT_FALSE(notTheVendors) << "a wrong digest is not a refused signature";
    EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "not removed";

    // An unsigned file where the deployment names a signer: refused for its signature.
    ASSERT_TRUE(
        CopyFileW(testing_support::peerPath(L"process_peer").c_str(), path_.c_str(), FALSE));
    EXPECT_FALSE(held_installer::holdChecked(path_, "", L"Vorlund Interactive Ltd", held, "test",
                                             &notTheVendors));
    EXPECT_TRUE(notTheVendors);
    EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "not removed";

    ASSERT_TRUE(
        CopyFileW(testing_support::peerPath(L"process_peer").c_str(), path_.c_str(), FALSE));
    const std::string md5 = telemetry::md5Hex(testing_support::readFileBytes(path_));
    EXPECT_TRUE(held_installer::holdChecked(path_, md5, L"", held, "test"));
    EXPECT_TRUE(held.held());
}

}  // namespace
