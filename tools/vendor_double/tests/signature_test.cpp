// The collection service's signature check, against digests computed independently (Python's
// hashlib) for the deployment's salt.
#include "signature.h"

#include <gtest/gtest.h>

#include "hosts.h"

namespace vendor_double {
namespace {

TEST(Signature, Md5MatchesKnownDigests) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Signature, SigningInputIsSaltTimestampAndEventCountTimes1024) {
    EXPECT_EQ(signingSalt(), "onlfqlhq*");
    EXPECT_EQ(signingInput(signingSalt(), "1700000000123", 3),
              "onlfqlhq*timestamp=17000000001233072");
    EXPECT_EQ(signingInput(signingSalt(), "5", 0), "onlfqlhq*timestamp=50");
}

TEST(Signature, VerdictsForEveryKindOfUpload) {
    const std::string salt = signingSalt();
    // md5("onlfqlhq*timestamp=17000000001233072") = a263a8f8dfbd115fad74da86a4b4e026
    const auto valid = checkSignature(salt, "1700000000123", "a4b4e026", 3);
    EXPECT_EQ(valid.verdict, "valid");
    EXPECT_EQ(valid.expected, "a4b4e026");
    EXPECT_TRUE(valid.valid());
    // The same headers for one event sign another input: md5 ends in "de2e4119" there.
    EXPECT_EQ(checkSignature(salt, "1700000000123", "a4b4e026", 1).verdict, "bad-signature");
    EXPECT_EQ(checkSignature(salt, "1700000000123", "de2e4119", 1).verdict, "valid");
    EXPECT_EQ(checkSignature(salt, "1700000000123", "A4B4E026", 3).verdict, "bad-signature");
    EXPECT_EQ(checkSignature(salt, "1700000000123", "263a8f8dfbd115fad74da86a4b4e026", 3).verdict,
              "bad-signature");
    EXPECT_EQ(checkSignature(salt, std::nullopt, "a4b4e026", 3).verdict, "missing-timestamp");
    EXPECT_EQ(checkSignature(salt, "1700000000123", std::nullopt, 3).verdict, "missing-signature");
    EXPECT_EQ(checkSignature(salt, "17000000001x3", "a4b4e026", 3).verdict, "bad-timestamp");
    EXPECT_EQ(checkSignature(salt, "", "a4b4e026", 3).verdict, "bad-timestamp");
    EXPECT_EQ(checkSignature(salt, " 1700000000123", "a4b4e026", 3).verdict, "bad-timestamp");
}

}  // namespace
}  // namespace vendor_double
