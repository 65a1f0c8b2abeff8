// Choosing, completing and checking the install folder.
#include "engine/install_location.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/config_imp.h"
#include "tests/support/test_support.h"
#include "utility/disk.h"
#include "utility/system_info.h"

namespace {

using install_location::DriveAnswer;

// Probes answering from tables, recording what was asked.
struct FakeMachine {
    std::map<std::wstring, std::wstring> registry;  // sub-key -> InstallDir
    std::vector<std::wstring> files;
    std::vector<DriveAnswer> drives;
    std::vector<std::wstring> keysRead;
    int driveProbes = 0;

    install_location::Probes probes() {
        return {[this](const std::wstring& key) {
                    keysRead.push_back(key);
                    const auto found = registry.find(key);
                    return found == registry.end() ? std::wstring() : found->second;
                },
                [this](const std::wstring& path) {
                    for (const auto& file : files) {
                        if (file == path) return true;
                    }
                    return false;
                },
                [this] {
                    ++driveProbes;
                    return drives;
                }};
    }
};

TEST(DefaultFolder, RegistryFolderIsTakenUnchangedWithoutProbingDrives) {
    ConfigImp config;
    FakeMachine machine;
    machine.registry[L"Software\\Vorlund\\Tamrix9"] = L"D:\\Emu";
    machine.drives = {{L"C:\\", 50000, true}};
    auto folder = install_location::calcInstallPath(config, machine.probes());
    EXPECT_EQ(folder.installFolder, L"D:\\Emu");
    EXPECT_EQ(folder.bestFolder, L"");
    EXPECT_FALSE(folder.emulatorPresent);
    EXPECT_EQ(machine.driveProbes, 0);

    machine.files = {L"D:\\Emu\\gxplayer.exe"};
    folder = install_location::calcInstallPath(config, machine.probes());
    EXPECT_TRUE(folder.emulatorPresent);
}

TEST(DefaultFolder, RegionalKeysComeFirstForEditionsNineAndThreeOnly) {
    struct Case {
        const wchar_t* language;
        void (ConfigImp::*edition)();
        std::vector<std::wstring> keysRead;
    };
    const Case cases[] = {
        {L"tw",
         &ConfigImp::setPlayer9,
         {install_location::kTaiwanKey, L"Software\\Vorlund\\Tamrix9"}},
        {L"kr",
         &ConfigImp::setPlayer3,
         {install_location::kKoreaKey, L"Software\\Quenmar\\Tamrix"}},
        {L"tw", &ConfigImp::setPlayer4, {L"Software\\Vorlund\\Tamrix"}},
        {L"kr", &ConfigImp::setPlayer64, {L"Software\\Vorlund\\Tamrix64"}},
        {L"cn", &ConfigImp::setPlayer9, {L"Software\\sarvel\\Tamrix9"}},
    };
    for (const auto& c : cases) {
        ConfigImp config;
        config.setLanguage(c.language);
        (config.*c.edition)();
        FakeMachine machine;
        install_location::calcInstallPath(config, machine.probes());
        EXPECT_EQ(machine.keysRead, c.keysRead) << testing::PrintToString(std::wstring(c.language));
    }
}

TEST(DefaultFolder, RegionalValueWinsOverTheEditionKey) {
    ConfigImp config;
    config.setLanguage(L"tw");
    FakeMachine machine;
    machine.registry[install_location::kTaiwanKey] = L"E:\\TW";
    machine.registry[L"Software\\Vorlund\\Tamrix9"] = L"E:\\Nine";
    EXPECT_EQ(install_location::calcInstallPath(config, machine.probes()).installFolder, L"E:\\TW");
    EXPECT_EQ(machine.keysRead.size(), 1u);
}

TEST(DefaultFolder, BestDriveAndTheEditionsFolder) {
    ConfigImp config;
    FakeMachine machine;
    machine.drives = {{L"C:\\", 20000, true}, {L"D:\\", 900000, false}};
    auto folder = install_location::calcInstallPath(config, machine.probes());
    EXPECT_EQ(folder.installFolder, L"C:\\Tamrix\\Tamrix9\\");
    EXPECT_EQ(folder.bestFolder, folder.installFolder);
    EXPECT_TRUE(folder.bestDriveSsd);

    machine.drives[0].freeMB = 17000;
    folder = install_location::calcInstallPath(config, machine.probes());
    EXPECT_EQ(folder.installFolder, L"D:\\Tamrix\\Tamrix9\\");
    EXPECT_FALSE(folder.bestDriveSsd);

    config.setLanguage(L"cn");
    config.setPlayer4();
    EXPECT_EQ(install_location::calcInstallPath(config, machine.probes()).installFolder,
              L"D:\\Sarvel\\Tamrix4.0\\");
}

TEST(DefaultFolder, NoFixedDriveLeavesTheRelativeDefaultFolder) {
    ConfigImp config;
    FakeMachine machine;
    const auto folder = install_location::calcInstallPath(config, machine.probes());
    EXPECT_EQ(folder.installFolder, L"Tamrix\\Tamrix9\\");
    EXPECT_EQ(folder.bestFolder, L"Tamrix\\Tamrix9\\");
    EXPECT_FALSE(folder.bestDriveSsd);
}

TEST(DriveScore, SolidStateDrivesCountAThousandfoldAboveTheThreshold) {
    EXPECT_EQ(install_location::driveScore({L"C:\\", 20000, true}), 20000000);
    EXPECT_EQ(install_location::driveScore({L"C:\\", 20000, false}), 20000);
    EXPECT_EQ(install_location::driveScore({L"C:\\", 17000, true}), 17000);
    // Only whole MiB above 17,408 count.
    EXPECT_EQ(install_location::driveScore({L"C:\\", 17408.9, true}), 17408.9);
    EXPECT_EQ(install_location::driveScore({L"C:\\", 17409, true}), 17409000);
}

TEST(DriveScore, FirstOfEqualScoresWinsAndAZeroDriveStillWins) {
    auto best = install_location::chooseBestDrive(
        {{L"C:\\", 5000, false}, {L"D:\\", 5000, false}, {L"E:\\", 4999, true}});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->root, L"C:\\");
    // A foreign file system (exFAT) reaches the score as 0 free MiB.
    best = install_location::chooseBestDrive({{L"X:\\", 0, true}});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->root, L"X:\\");
    EXPECT_TRUE(best->ssd);
    best = install_location::chooseBestDrive({{L"X:\\", 0, false}, {L"Y:\\", 1, false}});
    EXPECT_EQ(best->root, L"Y:\\");
    EXPECT_FALSE(install_location::chooseBestDrive({}));
}

TEST(Completion, ChosenFoldersGetTheEditionsFolders) {
    ConfigImp config;
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"E:\\", L"E:\\Tamrix\\Tamrix9\\"},
        {L"E:", L"E:\\Tamrix\\Tamrix9\\"},
        {L"E:\\Games\\Sarvel", L"E:\\Games\\Sarvel\\Tamrix9\\"},
        {L"E:\\Games\\SARVEL\\", L"E:\\Games\\SARVEL\\Tamrix9\\"},
        {L"E:\\Games\\Tamrix", L"E:\\Games\\Tamrix\\"},
        {L"E:\\Games", L"E:\\Games\\Tamrix\\Tamrix9\\"},
        {L"E:\\gxplayer-old", L"E:\\gxplayer-old\\"},
        // Case matters for the product name, and the very first character does not count.
        {L"E:\\tamrix", L"E:\\tamrix\\Tamrix\\Tamrix9\\"},
        {L"Tamrix", L"Tamrix\\Tamrix\\Tamrix9\\"},
        // "sarvel\" must first occur at the end.
        {L"E:\\sarvel\\x\\sarvel", L"E:\\sarvel\\x\\sarvel\\Tamrix\\Tamrix9\\"},
    };
    for (const auto& [chosen, stored] : cases) {
        EXPECT_EQ(install_location::completeInstallPath(chosen, config), stored)
            << testing::PrintToString(std::wstring(chosen));
    }
    config.setPlayer64();
    EXPECT_EQ(install_location::completeInstallPath(L"E:\\Games\\Sarvel", config),
              L"E:\\Games\\Sarvel\\Tamrix64\\");
}

TEST(Completion, SeparatorsOfAValidFolder) {
    EXPECT_EQ(install_location::normalizeSeparators(L"  C:/Games//x\\\\\\y  "),
              L"C:\\Games\\x\\\\y\\");
    EXPECT_EQ(install_location::normalizeSeparators(L"C:\\a\\"), L"C:\\a\\");
}

TEST(NormalizePath, ComparisonForm) {
    EXPECT_EQ(install_location::normalizePath(L"\\\\D:/A//B\\\\\\c\\"), L"d:\\a\\b\\c");
    EXPECT_EQ(install_location::normalizePath(L"d:\\"), L"d:");
    EXPECT_EQ(install_location::normalizePath(L"\\\\//"), L"");
}

TEST(Validity, SegmentsCharactersAndTheVolume) {
    std::vector<std::wstring> asked;
    const auto freeBytes = [&asked](const std::wstring& volume) -> std::optional<std::uint64_t> {
        asked.push_back(volume);
        if (volume == L"d:\\") return 1u << 30;
        if (volume == L"f:\\") return 0;
        return std::nullopt;
    };
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"d:\\a b\\c", true},  {L"D:/A B//c/", true},  {L"d:\\a\\ \\c", false},
        {L"d:\\a?b", false},    {L"d:\\", false},       {L"d:", false},
        {L"d:\\a<b\\c", false}, {L"d:\\a\\b:c", false}, {L"d:\\  a\\b  ", true},
        {L"f:\\games", false},  {L"q:\\games", false},  {L"d:\\a\\last segment ?", false},
    };
    for (const auto& [folder, valid] : cases) {
        EXPECT_EQ(install_location::isValidInstallPath(folder, freeBytes), valid)
            << testing::PrintToString(std::wstring(folder));
    }
    EXPECT_EQ(asked.front(), L"d:\\");
}

TEST(Validity, RealVolumeOfThisMachine) {
    const testing_support::TempDir dir;
    EXPECT_TRUE(install_location::isValidInstallPath(dir.path() + L"Tamrix\\Tamrix9\\"));
    EXPECT_FALSE(install_location::isValidInstallPath(L"C:\\"));
}

TEST(SpaceTest, FourGibibytesUnlessTheEmulatorIsThere) {
    EXPECT_TRUE(install_location::enoughSpace(3000, true));
    EXPECT_FALSE(install_location::enoughSpace(3000, false));
    EXPECT_TRUE(install_location::enoughSpace(4096, false));
    EXPECT_FALSE(install_location::enoughSpace(4095.9, false));

    const testing_support::TempDir dir;
    EXPECT_EQ(install_location::hasSpaceForInstall(dir.path()),
              helper::disk::getFreeSpaceMB(dir.path()) >= 4096);
    ASSERT_TRUE(testing_support::writeFileBytes(dir.path() + L"gxplayer.exe", "MZ"));
    EXPECT_TRUE(install_location::hasSpaceForInstall(dir.path()));
}

// The registry under the current user, as the installer of the emulator leaves it.
class InstallDirValue : public ::testing::Test {
protected:
    void SetUp() override { key_ = L"Software\\TamrixTest\\" + utility::makeGuidText(); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

    bool write(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const bool ok = RegSetValueExW(key, L"InstallDir", 0, type, static_cast<const BYTE*>(data),
                                       size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }
    bool keyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    std::wstring key_;
};

TEST_F(InstallDirValue, MissingKeyIsCreatedAndReadsEmpty) {
    EXPECT_EQ(install_location::readInstallDir(key_), L"");
    EXPECT_TRUE(keyExists());
}

TEST_F(InstallDirValue, TextUpToTheFirstZeroWhateverTheType) {
    const wchar_t text[] = L"D:\\Emu\\Tamrix9";
    ASSERT_TRUE(write(REG_SZ, text, sizeof(text)));
    EXPECT_EQ(install_location::readInstallDir(key_), L"D:\\Emu\\Tamrix9");

    const wchar_t twoTexts[] = L"D:\\A\0D:\\B\0";
    ASSERT_TRUE(write(REG_MULTI_SZ, twoTexts, sizeof(twoTexts)));
    EXPECT_EQ(install_location::readInstallDir(key_), L"D:\\A");

    // Without a terminating zero the text still ends inside the buffer.
    const wchar_t unterminated[] = {L'E', L':', L'\\', L'X'};
    ASSERT_TRUE(write(REG_BINARY, unterminated, sizeof(unterminated)));
    EXPECT_EQ(install_location::readInstallDir(key_), L"E:\\X");
}

TEST_F(InstallDirValue, ValuesBeyondTheBufferReadEmpty) {
    const std::wstring longest(1023, L'a');
    ASSERT_TRUE(write(REG_SZ, longest.c_str(), 2048));
    EXPECT_EQ(install_location::readInstallDir(key_), longest);
    const std::wstring tooLong(1100, L'a');
    ASSERT_TRUE(write(REG_SZ, tooLong.c_str(), static_cast<DWORD>((tooLong.size() + 1) * 2)));
    EXPECT_EQ(install_location::readInstallDir(key_), L"");
}

}  // namespace
