// The PC identity: the machine id from adapter addresses, the identity file's text, and the order
// of the sources with the write-back, each run against a registry key and files of its own.
#include <gtest/gtest.h>

#include <objbase.h>

#include <regex>
#include <string>
#include <vector>

#include "telemetry/md5.h"
#include "telemetry/pc_identity.h"
#include "tests/support/test_support.h"
#include "tests/telemetry/log_watch.h"
#include "utility/system_info.h"
#include "utility/text.h"

namespace {

using testing_support::LogWatch;
using vadi::HardwareAddress;

constexpr const char* kTag = "vadi::GoogleAnalytics::calcPCID";

const HardwareAddress kFirst{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x00, 0x00};
const HardwareAddress kSecond{0x0a, 0xbc, 0x00, 0x11, 0x22, 0x33, 0x00, 0x00};
const HardwareAddress kZero{};

bool isLowerHex(const std::string& text) {
    return std::regex_match(text, std::regex("[0-9a-f]{32}"));
}

bool isGuidText(const std::string& text) {
    return std::regex_match(
        text, std::regex("[0-9A-F]{8}_[0-9A-F]{4}_[0-9a-f]{4}_[0-9A-F]{4}_[0-9A-F]{12}"));
}

TEST(MachineId, OneAdapterGivesTheDigestOfItsAddress) {
    const std::string id = vadi::machineIdFromAddresses({kFirst});
    EXPECT_TRUE(isLowerHex(id)) << id;
    EXPECT_EQ(id, telemetry::md5Hex("001A2B3C4D5E"));
}

TEST(MachineId, TwoAdaptersAreSortedJoinedAndCounted) {
    const std::string id = vadi::machineIdFromAddresses({kSecond, kFirst});
    EXPECT_EQ(id, "2-" + telemetry::md5Hex("001A2B3C4D5E|0ABC00112233"));
    EXPECT_EQ(vadi::machineIdFromAddresses({kFirst, kSecond}), id);
}

TEST(MachineId, AllZeroAddressesAreNotCounted) {
    EXPECT_EQ(vadi::machineIdFromAddresses({kZero, kFirst, kZero}),
              vadi::machineIdFromAddresses({kFirst}));
    EXPECT_EQ(vadi::machineIdFromAddresses({kZero}), "");
    EXPECT_EQ(vadi::machineIdFromAddresses({}), "");
    // Only the first six bytes are written, but all eight decide whether an address counts.
    const HardwareAddress tailOnly{0, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(vadi::machineIdFromAddresses({tailOnly}), telemetry::md5Hex("000000000000"));
}

TEST(MachineId, TheCountIsWrittenInLowerCaseHex) {
    std::vector<HardwareAddress> addresses;
    for (unsigned char i = 1; i <= 11; ++i) addresses.push_back({0x02, 0, 0, 0, 0, i, 0, 0});
    const std::string id = vadi::machineIdFromAddresses(addresses);
    EXPECT_EQ(id.substr(0, 2), "b-");
    EXPECT_TRUE(isLowerHex(id.substr(2))) << id;
}

TEST(IdentityFile, MoreThanThirtyBytesAreUtf16Text) {
    const std::wstring text = L"ABCDEFGHIJKLMNOP";  // 16 characters, 32 bytes
    const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    EXPECT_EQ(vadi::identityFileText(bytes), text);
    EXPECT_EQ(vadi::identityFileText(bytes.substr(0, 30)), L"");
    EXPECT_EQ(vadi::identityFileText(bytes.substr(0, 31)), L"ABCDEFGHIJKLMNO");
    EXPECT_EQ(vadi::identityFileText(""), L"");
    // A zero character ends the text.
    std::string terminated = bytes;
    terminated[10] = terminated[11] = '\0';
    EXPECT_EQ(vadi::identityFileText(terminated), L"ABCDE");
}

// A registry key and an identity file that belong to one test, removed afterwards.
class PcIdSourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        GUID guid{};
        CoCreateGuid(&guid);
        keyName_ = "Software\\tamrix-test\\txen-" +
                   utility::wideToAnsi(utility::detail::guidText(guid)) + "\\";
        sources_.registryKey = keyName_;
        sources_.identityFile = dir_.path() + L"quenmar_sarvel.data";
        sources_.listAdapters = [this](std::vector<HardwareAddress>& addresses) {
            addresses = adapters_;
            return adaptersListed_;
        };
        logStart_ = LogWatch::instance().mark();
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, utility::ansiToWide(keyName_).c_str());
    }

    void writeRegistryValue(const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, utility::ansiToWide(keyName_).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegSetValueExW(key, L"pcmac", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * 2));
        RegCloseKey(key);
    }
    // The stored value and its type; empty when there is none.
    std::wstring readRegistryValue(DWORD* type = nullptr) {
        wchar_t buffer[512] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        DWORD valueType = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, utility::ansiToWide(keyName_).c_str(), L"pcmac",
                         RRF_RT_ANY, &valueType, buffer, &size) != ERROR_SUCCESS) {
            return {};
        }
        if (type) *type = valueType;
        return buffer;
    }
    void writeIdentityFile(const std::wstring& text) {
        const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        ASSERT_TRUE(testing_support::writeFileBytes(sources_.identityFile, bytes));
    }
    std::size_t logged(const std::string& message) {
        LogWatch::instance().mark();
        return LogWatch::instance().count(logStart_, kTag, message);
    }

    testing_support::TempDir dir_;
    std::string keyName_;
    vadi::PcIdSources sources_;
    std::vector<HardwareAddress> adapters_{kFirst};
    bool adaptersListed_ = true;
    std::size_t logStart_ = 0;
};

TEST_F(PcIdSourcesTest, ARegistryValueOfElevenCharactersIsTakenAsItIs) {
    writeRegistryValue(L"ABCDEFGHIJK");
    writeIdentityFile(L"file identity of more than fifteen characters");
    EXPECT_EQ(vadi::computePcId(sources_), "ABCDEFGHIJK");
    EXPECT_EQ(logged("read pcmac from pc ABCDEFGHIJK"), 1u);
    EXPECT_EQ(LogWatch::instance().count(logStart_, kTag,
                                         "create pcmac " + vadi::machineIdFromAddresses(adapters_)),
              0u);
    EXPECT_EQ(readRegistryValue(), L"ABCDEFGHIJK");
}

TEST_F(PcIdSourcesTest, ARegistryValueOfTenCharactersIsIgnoredAndTheNextSourceWrittenBack) {
    writeRegistryValue(L"ABCDEFGHIJ");
    const std::string expected = vadi::machineIdFromAddresses(adapters_);
    EXPECT_EQ(vadi::computePcId(sources_), expected);
    DWORD type = 0;
    EXPECT_EQ(readRegistryValue(&type), utility::ansiToWide(expected));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(logged("read from sarvel "), 1u);
    EXPECT_EQ(logged("create pcmac " + expected), 1u);
}

TEST_F(PcIdSourcesTest, TheIdentityFileComesBeforeTheAdapters) {
    const std::wstring text = L"0123456789abcdef0123456789abcdef";
    writeIdentityFile(text);
    EXPECT_EQ(vadi::computePcId(sources_), utility::wideToAnsi(text));
    EXPECT_EQ(readRegistryValue(), text);
    EXPECT_EQ(logged("read from sarvel " + utility::wideToAnsi(text)), 1u);
    LogWatch::instance().mark();
    for (const auto& line : LogWatch::instance().linesAfter(logStart_)) {
        EXPECT_FALSE(line.message.starts_with("create pcmac")) << line.message;
    }
}

TEST_F(PcIdSourcesTest, AShortIdentityFileIsPassedOver) {
    writeIdentityFile(L"only fifteen ch");  // 30 bytes
    EXPECT_EQ(vadi::computePcId(sources_), vadi::machineIdFromAddresses(adapters_));
    EXPECT_EQ(logged("read from sarvel "), 1u);
}

TEST_F(PcIdSourcesTest, WithoutAnyUsableAdapterAGuidIsCreated) {
    adapters_ = {kZero, kZero};
    const std::string id = vadi::computePcId(sources_);
    EXPECT_TRUE(isGuidText(id)) << id;
    EXPECT_EQ(readRegistryValue(), utility::ansiToWide(id));
    EXPECT_EQ(logged("create pcmac " + id), 1u);
}

TEST_F(PcIdSourcesTest, AFailedAdapterListGivesAGuid) {
    adaptersListed_ = false;
    const std::string id = vadi::computePcId(sources_);
    EXPECT_TRUE(isGuidText(id)) << id;
}

TEST_F(PcIdSourcesTest, AWrittenBackIdIsFoundByTheNextRun) {
    const std::string first = vadi::computePcId(sources_);
    adapters_ = {kSecond};  // a different machine id would come from the adapters now
    EXPECT_EQ(vadi::computePcId(sources_), first);
}

TEST(SystemAdapters, TheSystemListAgreesWithTheIdLogic) {
    std::vector<HardwareAddress> addresses;
    if (!vadi::listAdapterAddresses(addresses)) {
        EXPECT_TRUE(addresses.empty());
        return;
    }
    const std::string id = vadi::machineIdFromAddresses(addresses);
    if (id.empty()) return;
    EXPECT_TRUE(isLowerHex(id.substr(id.size() - 32))) << id;
}

}  // namespace

namespace {

TEST(PcIdWriteBack, AKeyThatCannotBeCreatedIsLoggedAndTheIdStillUsed) {
    const std::size_t logStart = testing_support::LogWatch::instance().mark();
    vadi::PcIdSources sources;
    // Key names are limited to 255 characters per level, so this key can never be created.
    sources.registryKey = "Software\\" + std::string(300, 'k') + "\\";
    sources.identityFile = L"Z:\\nonexistent-folder-of-the-test\\quenmar_sarvel.data";
    sources.listAdapters = [](std::vector<HardwareAddress>& addresses) {
        addresses = {kFirst};
        return true;
    };
    EXPECT_EQ(vadi::computePcId(sources), vadi::machineIdFromAddresses({kFirst}));
    testing_support::LogWatch::instance().mark();
    bool logged = false;
    for (const auto& line : testing_support::LogWatch::instance().linesAfter(logStart)) {
        if (line.function == kTag && line.message.starts_with("save rcmac error ")) logged = true;
    }
    EXPECT_TRUE(logged);
}

}  // namespace
