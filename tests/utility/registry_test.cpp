// Registry keys read through the narrow interface: results, the 1,024-byte limit and the lines
// logged for a missing key, a missing value and a read without an open key.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/utility/log_capture.h"
#include "utility/registry.h"

using testing_support::LogCapture;
using testing_support::messagesOf;
using utility::RegKey;

namespace {

// A fresh key under the current user, deleted with its values at the end of the test.
class ScratchKey {
public:
    ScratchKey()
        : path_("Software\\TamrixTests\\registry-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter_)) {
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
    }
    ~ScratchKey() {
        if (key_) RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TamrixTests");  // only once it is empty
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    bool valid() const { return key_ != nullptr; }
    const std::string& path() const { return path_; }
    void setText(const std::string& name, const std::string& value) {
        RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }

private:
    static inline int counter_ = 0;
    std::string path_;
    HKEY key_ = nullptr;
};

}  // namespace

TEST(RegKey, ReadBeforeOpenReturnsMinusOneAndLogsTheValueName) {
    LogCapture& log = LogCapture::instance();
    log.newLines();
    RegKey key;
    std::string value = "unchanged";
    EXPECT_EQ(key.RegRead("InstallDir", value), -1);
    EXPECT_EQ(value, "unchanged");
    const auto messages = messagesOf(log.newLines(), "utility::RegKey::RegRead");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "m_hKey is null, query reg = InstallDir");
}

TEST(RegKey, OpensAndReadsTextValues) {
    ScratchKey scratch;
    ASSERT_TRUE(scratch.valid());
    scratch.setText("InstallDir", "D:\\Program Files\\Tamrix");
    scratch.setText("", "default value");

    RegKey key;
    ASSERT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path(), KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(key.isOpen());
    std::string value;
    EXPECT_EQ(key.RegRead("InstallDir", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "D:\\Program Files\\Tamrix");
    EXPECT_EQ(key.RegRead("", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "default value");
}

TEST(RegKey, MissingKeyAndMissingValueReturnTheRegistryCodeAndLog) {
    ScratchKey scratch;
    ASSERT_TRUE(scratch.valid());
    LogCapture& log = LogCapture::instance();
    log.newLines();

    RegKey key;
    const std::string missing = scratch.path() + "\\NoSuchKey";
    EXPECT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, missing, KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.isOpen());
    auto messages = messagesOf(log.newLines(), "utility::RegKey::RegRegOpen");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("open reg = " + missing + ", lastError = ")) << messages[0];

    ASSERT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path(), KEY_READ), ERROR_SUCCESS);
    std::string value = "unchanged";
    EXPECT_EQ(key.RegRead("pcmac", value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "unchanged");
    messages = messagesOf(log.newLines(), "utility::RegKey::RegRead");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with("read reg lastError = ")) << messages[0];
}

TEST(RegKey, ValueBufferHoldsExactlyOneThousandTwentyFourBytes) {
    ScratchKey scratch;
    ASSERT_TRUE(scratch.valid());
    const std::string fits(1023, 'f');  // with its terminator: 1,024 bytes
    const std::string tooLong(1024, 't');
    scratch.setText("fits", fits);
    scratch.setText("tooLong", tooLong);

    RegKey key;
    ASSERT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path(), KEY_READ), ERROR_SUCCESS);
    std::string value;
    EXPECT_EQ(key.RegRead("fits", value), ERROR_SUCCESS);
    EXPECT_EQ(value, fits);
    value = "unchanged";
    EXPECT_EQ(key.RegRead("tooLong", value), ERROR_MORE_DATA);
    EXPECT_EQ(value, "unchanged");
}

TEST(RegKey, CloseAndFailedReopenLeaveNoKeyOpen) {
    ScratchKey scratch;
    ASSERT_TRUE(scratch.valid());
    scratch.setText("v", "1");
    RegKey key;
    ASSERT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path(), KEY_READ), ERROR_SUCCESS);
    key.close();
    key.close();
    std::string value;
    EXPECT_EQ(key.RegRead("v", value), -1);

    // A failed open after a successful one does not keep reading the old key.
    ASSERT_EQ(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path(), KEY_READ), ERROR_SUCCESS);
    EXPECT_NE(key.RegRegOpen(HKEY_CURRENT_USER, scratch.path() + "\\missing", KEY_READ),
              ERROR_SUCCESS);
    EXPECT_EQ(key.RegRead("v", value), -1);
}
