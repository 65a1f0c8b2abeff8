// The model's start: what it takes from the file name and the command line, its log lines, its
// install folder, and the guard against a second copy.
#include "engine/downloader_model.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "ui/language_codes.h"
#include "utility/text.h"
#include "utility/window_ipc.h"

namespace {

using testing_support::hasLogLine;
using testing_support::LogCapture;

std::wstring exePath(const std::wstring& baseName) {
    return L"C:\\Users\\me\\Down.loads\\" + baseName + L".exe";
}

std::wstring systemShortCode() {
    return helper::localeToShort(helper::localeOfUiLanguage(GetUserDefaultUILanguage()));
}

class ModelInit : public ::testing::Test {
protected:
    void SetUp() override { LogCapture::instance().newLines(); }
    void TearDown() override { model.stop(); }

    ConfigImp config;
    DownloaderModel model{config};
};

TEST_F(ModelInit, DefaultsWithoutAUsableFileName) {
    model.settleRunIdentity(exePath(L"setup"), nullptr);
    EXPECT_EQ(model.openId(), L"100");
    EXPECT_EQ(model.package(), L"");
    EXPECT_EQ(model.googleId(), L"");
    EXPECT_TRUE(config.isPlayer9());
    EXPECT_EQ(config.getLanguage(), L"en");
    EXPECT_EQ(model.language(), systemShortCode());
    EXPECT_EQ(model.locale(), helper::shortToLocale(model.language()));
    EXPECT_EQ(model.languageDescriptor(), helper::descriptorOf(model.language()));
    EXPECT_TRUE(model.games().empty());
}

TEST_F(ModelInit, EveryFieldOfALongName) {
    model.settleRunIdentity(exePath(L"tamrix64_kr_com.game.pkg_2500_g_1_x"), nullptr);
    EXPECT_TRUE(config.isPlayer64());
    EXPECT_EQ(config.getLanguage(), L"kr");
    EXPECT_EQ(model.language(), L"kr");
    EXPECT_EQ(model.locale(), helper::shortToLocale(L"kr"));
    EXPECT_EQ(model.package(), L"com.game.pkg");
    EXPECT_EQ(model.openId(), L"2500");
    EXPECT_EQ(model.googleId(), L"g_1");
    EXPECT_EQ(config.getAdLabel(), L"Tamrix Installer_200");

    const auto lines = LogCapture::instance().newLines();
    const char* tag = "DownloaderModel::init";
    EXPECT_TRUE(hasLogLine(lines, tag,
                           "DownloaderModel exe filename= tamrix64_kr_com.game.pkg_2500_g_1_x"));
    EXPECT_TRUE(
        hasLogLine(lines, tag, "type: tamrix64, package:com.game.pkg, openID:2500 google id g_1"));
    EXPECT_TRUE(hasLogLine(lines, tag,
                           "model. type: tamrix64, language kr package:com.game.pkg, openID:2500"));
    EXPECT_TRUE(hasLogLine(lines, tag, "openid is 2500, package is com.game.pkg"));
    EXPECT_TRUE(hasLogLine(lines, tag, "ad id : Tamrix Installer_200"));
    EXPECT_TRUE(hasLogLine(lines, "ConfigImp::setPlayer64", "player is 64"));
}

TEST_F(ModelInit, EnsKeepsEnglishForTheServicesAndTheSystemLanguageForTheTexts) {
    model.settleRunIdentity(exePath(L"tamrix9_ens_5_x"), nullptr);
    EXPECT_EQ(config.getLanguage(), L"en");
    EXPECT_EQ(model.language(), systemShortCode());
    EXPECT_EQ(model.openId(), L"5");
    EXPECT_EQ(config.getAdLabel(), L"Downloader");
}

TEST_F(ModelInit, TypeIsComparedInLowerCase) {
    model.settleRunIdentity(exePath(L"TAMRIX4_en_1_x"), nullptr);
    EXPECT_TRUE(config.isPlayer4());
    EXPECT_TRUE(
        hasLogLine(LogCapture::instance().newLines(), "ConfigImp::setPlayer4", "player is 4"));
}

TEST_F(ModelInit, EditionThreeAndUnknownTypes) {
    model.settleRunIdentity(exePath(L"tamrix3_en_1_x"), nullptr);
    EXPECT_EQ(config.getEdition(), ConfigImp::Edition::Player3);
    ConfigImp other;
    other.setPlayer64();
    DownloaderModel second(other);
    second.settleRunIdentity(exePath(L"emulator_en_1_x"), nullptr);
    EXPECT_TRUE(other.isPlayer64());
    second.stop();
}

TEST_F(ModelInit, EmptyOpenIdKeepsTheDefaultAndShortPackagesAreIgnored) {
    model.settleRunIdentity(exePath(L"tamrix9_en__x"), nullptr);
    EXPECT_EQ(model.openId(), L"100");
    ConfigImp other;
    DownloaderModel second(other);
    second.settleRunIdentity(exePath(L"tamrix9_en_abcde_12_x"), nullptr);
    EXPECT_EQ(second.package(), L"");
    EXPECT_EQ(second.openId(), L"12");
    second.stop();
}

TEST_F(ModelInit, AdvertisingLabelOnlyForOpenIdsFrom2001To2999) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"tamrix9_en_2000_x", false},         {L"tamrix9_en_2001_x", true},
        {L"tamrix9_en_2999_x", true},          {L"tamrix9_en_3000_x", false},
        {L"tamrix9_en_com.x.y_2500z_x", true},
    };
    for (const auto& [name, labelled] : cases) {
        ConfigImp other;
        DownloaderModel second(other);
        second.settleRunIdentity(exePath(name), nullptr);
        EXPECT_EQ(other.getAdLabel(), labelled ? L"Tamrix Installer_200" : L"Downloader")
            << testing::PrintToString(std::wstring(name));
        second.stop();
    }
}

TEST_F(ModelInit, CommandLineAddsOneGame) {
    model.settleRunIdentity(exePath(L"tamrix9_en_1_x"),
                            L"\"name=My Game|package=com.x|apkurl=a.apk\"");
    ASSERT_EQ(model.games().size(), 1u);
    EXPECT_EQ(model.games()[0].gameName, L"My Game");
    EXPECT_EQ(model.games()[0].packageName, L"com.x");
    EXPECT_EQ(model.games()[0].downloadUrl, L"a.apk");
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), "DownloaderModel::init",
                           "cmdline is My Game, com.x, a.apk"));
}

TEST_F(ModelInit, CommandLineWithoutApkUrlAddsNoGame) {
    model.settleRunIdentity(exePath(L"tamrix9_en_1_x"), L"name=My Game|package=com.x");
    EXPECT_TRUE(model.games().empty());
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), "DownloaderModel::init",
                           "cmdline is My Game, com.x, "));
    ConfigImp other;
    DownloaderModel second(other);
    second.settleRunIdentity(exePath(L"tamrix9_en_1_x"), L"no keys here");
    EXPECT_FALSE(
        hasLogLine(LogCapture::instance().newLines(), "DownloaderModel::init", "cmdline is , , "));
    second.stop();
}

// The edition's registry key as the emulator's installer leaves it.
class RegisteredInstall : public ::testing::Test {
protected:
    void TearDown() override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vorlund\\Tamrix9", 0, KEY_SET_VALUE,
                          &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"InstallDir");
            RegCloseKey(key);
        }
    }
    static bool setInstallDir(const std::wstring& folder) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vorlund\\Tamrix9", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const auto bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
        const bool ok =
            RegSetValueExW(key, L"InstallDir", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(folder.c_str()), bytes) == ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }
};

TEST_F(RegisteredInstall, ExistingInstallationIsTheInstallFolder) {
    const testing_support::TempDir dir;
    const std::wstring folder = dir.path() + L"Emu";
    ASSERT_TRUE(setInstallDir(folder));
    LogCapture::instance().newLines();
    {
        ConfigImp config;
        DownloaderModel model(config);
        model.settleRunIdentity(exePath(L"tamrix9_en_1_x"), nullptr);
        EXPECT_EQ(model.installFolder(), folder);
        EXPECT_EQ(model.bestFolder(), L"");
        EXPECT_FALSE(model.emulatorPresent());
        model.stop();
    }
    const auto lines = LogCapture::instance().newLines();
    EXPECT_TRUE(hasLogLine(lines, "DownloaderModel::_calcInstallPath",
                           "read from reg: path is " + utility::wideToUtf8(folder)));

    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(testing_support::writeFileBytes(folder + L"\\gxplayer.exe", "MZ"));
    ConfigImp config;
    DownloaderModel model(config);
    model.settleRunIdentity(exePath(L"tamrix9_en_1_x"), nullptr);
    EXPECT_TRUE(model.emulatorPresent());
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), "DownloaderModel::_calcInstallPath",
                           "player exist"));

    // The edition switch reads edition 4's key, which holds nothing here.
    config.setPlayer4();
    model.switchToEdition4();
    EXPECT_NE(model.installFolder(), folder);
    EXPECT_NE(model.installFolder().find(L"Tamrix\\Tamrix4.0\\"), std::wstring::npos);
    EXPECT_TRUE(model.emulatorPresent()) << "the flag never goes back";
    model.stop();
}

TEST(ModelInstallPath, ChosenFolderIsCompletedAndNormalisedWhenValid) {
    ConfigImp config;
    DownloaderModel model(config);
    const testing_support::TempDir dir;
    std::wstring chosen = dir.path() + L"Games//x";
    model.setInstallPath(chosen);
    std::wstring expected = dir.path() + L"Games\\x\\Tamrix\\Tamrix9\\";
    EXPECT_EQ(model.installFolder(), expected);
    // An invalid folder is stored completed, as it was typed.
    model.setInstallPath(L"Q:\\a?b");
    EXPECT_EQ(model.installFolder(), L"Q:\\a?b\\Tamrix\\Tamrix9\\");
}

// The second copy of the downloader asks the first to show itself and reports a running copy.
class FirstCopy : public utility::IWindowIPCHandle {
public:
    int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == 11123 && wParam == 0 && lParam == 0) ++showRequests;
        return 0;
    }
    int showRequests = 0;
};

TEST(SingleInstance, SecondCopyPostsToTheFirstsChannelAndEnds) {
    ConfigImp config;
    DownloaderModel first(config);
    LogCapture::instance().newLines();
    ASSERT_FALSE(first.popupExistPwnd());
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), "DownloaderModel::popupExistPwnd",
                           "wnd not exist"));
    FirstCopy handler;
    utility::WindowIPC channel;
    ASSERT_TRUE(channel.listen(utility::kChannelName, &handler));

    testing_support::PeerProcess second(L"model_peer", L"popup");
    ASSERT_TRUE(second.started());
    const ULONGLONG until = GetTickCount64() + 60000;
    while (handler.showRequests == 0 && GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    EXPECT_EQ(handler.showRequests, 1);
    EXPECT_EQ(second.wait(), 1) << "the second copy reports a running copy";

    // Once the first copy stops, a new copy is the only one again.
    first.stop();
    testing_support::PeerProcess third(L"model_peer", L"popup");
    EXPECT_EQ(third.wait(), 0);
}

}  // namespace
