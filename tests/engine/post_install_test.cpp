// The emulator's first-run preparation: configuration file, images, settings, autorun value,
// shortcut name, and the argument texts of its start.
#include "engine/post_install.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "engine/downloader_model.h"
#include "tests/support/test_support.h"
#include "tests/utility/log_capture.h"
#include "utility/file.h"
#include "utility/handle.h"
#include "utility/process.h"
#include "utility/system_info.h"
#include "utility/text.h"

namespace {

using testing_support::hasLogLine;
using testing_support::LogCapture;
using testing_support::readFileBytes;
using testing_support::writeFileBytes;

constexpr char kTag[] = "DownloaderModel::_threadInsPlayer";

class ChannelOpenId : public ::testing::Test {
protected:
    void SetUp() override { LogCapture::instance().newLines(); }
    std::wstring file() const { return dir_.path() + L"sarvels.config"; }
    testing_support::TempDir dir_;
};

TEST_F(ChannelOpenId, ReplacedAndWrittenBackIndented) {
    ASSERT_TRUE(writeFileBytes(file(), R"({"channelOpenId":"0","vm":{"cpu":2,"name":"Tämrix"}})"));
    post_install::writeChannelOpenId(file(), L"1234");
    EXPECT_EQ(readFileBytes(file()),
              "{\n    \"channelOpenId\": \"1234\",\n    \"vm\": {\n        \"cpu\": 2,\n"
              "        \"name\": \"T\xC3\xA4mrix\"\n    }\n}");
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kTag,
                           "write openid sucess. first 1234 current:0"));
    EXPECT_FALSE(utility::ufile::exists(file() + L".new"));
}

// The new file goes when it cannot take the old one's place (here: the emulator holds the old
// one open and lets nobody delete it).
TEST_F(ChannelOpenId, ANewFileThatCannotReplaceTheOldIsRemoved) {
    const std::string content = R"({"channelOpenId":"0"})";
    ASSERT_TRUE(writeFileBytes(file(), content));
    {
        const utility::UniqueHandle held(
            CreateFileW(file().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        post_install::writeChannelOpenId(file(), L"1234");
    }
    EXPECT_FALSE(utility::ufile::exists(file() + L".new"));
    EXPECT_EQ(readFileBytes(file()), content);
    const auto lines = LogCapture::instance().newLines();
    EXPECT_FALSE(hasLogLine(lines, kTag, "write openid sucess. first 1234 current:0"));
}

TEST_F(ChannelOpenId, LeftAloneWithoutAStringMember) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"other":"x"})", "no channel id"},
        {R"({"channelOpenId":5})", "no channel id"},
        {R"(["channelOpenId"])", "not object!"},
        {"{broken", "not object!"},
    };
    for (const auto& [content, line] : cases) {
        ASSERT_TRUE(writeFileBytes(file(), content));
        post_install::writeChannelOpenId(file(), L"1234");
        EXPECT_EQ(readFileBytes(file()), content);
        EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kTag, line)) << content;
    }
    post_install::writeChannelOpenId(dir_.path() + L"missing.config", L"1234");
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kTag, "sarvels config not exist!!"));
}

// Nesting is read without recursion; the writer recurses, so a file nested past any real
// configuration is left as it is, while one at the bound is still rewritten.
TEST_F(ChannelOpenId, DeepNestingIsBoundedBeforeTheFileIsWrittenBack) {
    const auto nested = [](int levels) {  // the object, then levels - 1 arrays inside it
        return R"({"channelOpenId":"0","deep":)" + std::string(levels - 1, '[') +
               std::string(levels - 1, ']') + "}";
    };
    ASSERT_TRUE(writeFileBytes(file(), nested(256)));
    post_install::writeChannelOpenId(file(), L"1234");
    EXPECT_NE(readFileBytes(file()).find(R"("channelOpenId": "1234")"), std::string::npos);
    for (const int levels : {257, 300000}) {
        const std::string content = nested(levels);
        ASSERT_TRUE(writeFileBytes(file(), content));
        post_install::writeChannelOpenId(file(), L"1234");
        EXPECT_EQ(readFileBytes(file()), content) << levels << " levels";
        EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kTag,
                               "sarvels config nested deeper than 256 levels, left as it is"))
            << levels << " levels";
    }
}

TEST(Paths, ConfigurationAndDataFolder) {
    EXPECT_EQ(post_install::configFilePath(L"D:\\Tamrix\\Tamrix9\\"),
              L"D:\\Tamrix\\Tamrix9\\\\vms\\config\\sarvels.config");
    EXPECT_EQ(post_install::dataFolder(L"D:\\Tamrix\\Tamrix9\\"), L"D:\\Tamrix\\Tamrix9\\data\\");
    // A folder read from the registry is used as read.
    EXPECT_EQ(post_install::dataFolder(L"D:\\Emu"), L"D:\\Emudata\\");
}

TEST(ShortcutName, OneComponentThatCannotLeaveItsFolder) {
    const std::pair<const wchar_t*, const wchar_t*> usable[] = {
        {L"My Game", L"My Game"},
        {L"..\\..\\Windows\\evil", L".._.._Windows_evil"},
        {L"a/b:c*d?e\"f<g>h|i", L"a_b_c_d_e_f_g_h_i"},
        {L"Game. ", L"Game"},
        {L"  Game", L"Game"},
        {L"CONSOLE", L"CONSOLE"},
        {L"\u6e38\u620f", L"\u6e38\u620f"},
    };
    for (const auto& [name, safe] : usable) {
        EXPECT_EQ(post_install::safeFileName(name), std::wstring(safe))
            << testing::PrintToString(std::wstring(name));
    }
    for (const wchar_t* name : {L"", L"..", L".", L"  ", L"CON", L"nul.txt", L"Com1", L"LPT9 "}) {
        EXPECT_FALSE(post_install::safeFileName(name))
            << testing::PrintToString(std::wstring(name));
    }
}

TEST(Images, ThreeAttemptsEachAndTheirFiles) {
    LaunchSettings settings;
    settings.landscapeImageUrl = L"https://i/h.jpg";
    settings.shortcutIconUrl = L"https://i/icon.ico";
    settings.shortcutName = L"My/Game";
    std::vector<std::pair<std::wstring, std::wstring>> asked;
    int failuresLeft = 2;
    post_install::fetchLaunchImages(settings, L"D:\\data\\",
                                    [&](const std::wstring& url, const std::wstring& path) {
                                        asked.emplace_back(url, path);
                                        return failuresLeft-- <= 0;
                                    });
    const std::vector<std::pair<std::wstring, std::wstring>> expected{
        {L"https://i/h.jpg", L"D:\\data\\launch_1920.jpg"},
        {L"https://i/h.jpg", L"D:\\data\\launch_1920.jpg"},
        {L"https://i/h.jpg", L"D:\\data\\launch_1920.jpg"},
        {L"https://i/icon.ico", L"D:\\data\\My_Game.ico"},
    };
    EXPECT_EQ(asked, expected);

    int calls = 0;
    EXPECT_FALSE(
        post_install::fetchWithRetries([&](auto&, auto&) { return ++calls, false; }, L"u", L"p"));
    EXPECT_EQ(calls, 3);

    // Once the stage stops, a failed attempt is the last.
    const utility::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    calls = 0;
    EXPECT_FALSE(post_install::fetchWithRetries(
        [&](auto&, auto&) {
            if (++calls == 2) SetEvent(stop.get());
            return false;
        },
        L"u", L"p", stop.get()));
    EXPECT_EQ(calls, 2);
    asked.clear();
    post_install::fetchLaunchImages(
        settings, L"D:\\data\\",
        [&](const std::wstring& url, const std::wstring& path) {
            asked.emplace_back(url, path);
            return false;
        },
        stop.get());
    EXPECT_EQ(asked.size(), 2u) << "one attempt per file";
}

// The settings file and the autorun value as the emulator finds them.
class FirstRunSettings : public ::testing::Test {
protected:
    static constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

    std::string setting(const char* key) {
        char value[256] = {};
        GetPrivateProfileStringA("setting", key, "<none>", value, sizeof(value),
                                 utility::wideToAnsi(dir_.path() + L"data.ini").c_str());
        return value;
    }
    static void setNewsAutorun() {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        const wchar_t value[] = L"C:\\news.exe";
        RegSetValueExW(key, L"TxNews", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       sizeof(value));
        RegCloseKey(key);
    }
    static bool newsAutorunExists() {
        return RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"TxNews", RRF_RT_ANY, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
    }
    void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"TxNews"); }

    testing_support::TempDir dir_;
};

TEST_F(FirstRunSettings, NoAdsAndCleanModeRemoveTheNewsAutorun) {
    setNewsAutorun();
    LaunchSettings settings;
    settings.ad = false;
    settings.cleanMode = true;
    post_install::writeFirstRunSettings(settings, dir_.path());
    EXPECT_EQ(setting("adshow"), "0");
    EXPECT_EQ(setting("cleanmodel"), "1");
    EXPECT_EQ(setting("useroot"), "<none>");
    EXPECT_EQ(setting("runappstore"), "<none>");
    EXPECT_FALSE(newsAutorunExists());
}

TEST_F(FirstRunSettings, DefaultsWriteNothingAndKeepTheAutorun) {
    setNewsAutorun();
    ASSERT_TRUE(writeFileBytes(dir_.path() + L"data.ini", "[setting]\r\nadshow=1\r\n"));
    LaunchSettings settings;
    settings.root = 1;
    post_install::writeFirstRunSettings(settings, dir_.path());
    EXPECT_EQ(setting("adshow"), "1") << "keys whose condition is false stay as they are";
    EXPECT_EQ(setting("useroot"), "<none>");
    EXPECT_TRUE(newsAutorunExists());
}

TEST_F(FirstRunSettings, TextsAndTheirEncoding) {
    LaunchSettings settings;
    settings.root = 0;
    settings.appStore = false;
    settings.title = L"Caf\u00e9 Game";
    settings.heapSize = L"512m";
    settings.groupLink = L"https://group";
    settings.appToRun = L"com.run";
    post_install::writeFirstRunSettings(settings, dir_.path());
    EXPECT_EQ(setting("useroot"), "0");
    EXPECT_EQ(setting("runappstore"), "0");
    EXPECT_EQ(setting("title"), "Caf\xC3\xA9 Game") << "UTF-8 bytes in the file";
    EXPECT_EQ(setting("heapsize"), "512m");
    EXPECT_EQ(setting("qqlink"), "https://group");
    EXPECT_EQ(setting("runapp"), "com.run");
}

// "runapp" reaches data.ini and the shortcut's "package=" argument: only a package name passes.
TEST(AcceptedLaunchSettings, ThePackageToRunIsKeptOnlyWhenItIsAPackageName) {
    const struct {
        const wchar_t* runapp;
        const wchar_t* kept;
    } cases[] = {
        {L"com.run", L"com.run"},
        {L"com.game_2.x", L"com.game_2.x"},
        {L"", L""},
        {L"com.run --debug", L""},
        {L"com.run\" L"
         "x",
         L""},
        {L"com.run|apk=x", L""},
        {L"1com.run", L""},
        {L"com..run", L""},
        {L"com.run.", L""},
    };
    for (const auto& c : cases) {
        LogCapture::instance().newLines();
        LaunchSettings settings;
        settings.title = L"kept";
        settings.appToRun = c.runapp;
        const LaunchSettings accepted = post_install::acceptedLaunchSettings(settings);
        EXPECT_EQ(accepted.appToRun, c.kept) << utility::wideToUtf8(c.runapp);
        EXPECT_EQ(accepted.title, L"kept");
        const bool dropped = !settings.appToRun.empty() && accepted.appToRun.empty();
        EXPECT_EQ(hasLogLine(LogCapture::instance().newLines(), kTag,
                             "runapp not accepted: " + utility::wideToUtf8(c.runapp)),
                  dropped)
            << utility::wideToUtf8(c.runapp);
    }
}

TEST(DesktopShortcut, OnlyWithItsDownloadedIconAndASafeName) {
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE));
    const testing_support::TempDir dir;
    const std::wstring name = L"Tamrix Test " + utility::makeGuidText();
    const std::wstring link = std::wstring(desktop) + L"\\" + name + L".lnk";
    LaunchSettings settings;
    settings.shortcutName = name;
    settings.appToRun = L"com.run";
    post_install::createDesktopShortcut(settings, dir.path(), dir.path());
    EXPECT_FALSE(utility::ufile::exists(link)) << "no icon, no shortcut";

    ASSERT_TRUE(writeFileBytes(dir.path() + name + L".ico", "icon"));
    post_install::createDesktopShortcut(settings, dir.path(), dir.path());
    EXPECT_TRUE(utility::ufile::exists(link));
    DeleteFileW(link.c_str());

    LogCapture::instance().newLines();
    settings.shortcutName = L"..";
    post_install::createDesktopShortcut(settings, dir.path(), dir.path());
    EXPECT_TRUE(hasLogLine(LogCapture::instance().newLines(), kTag,
                           "unusable shortcut name, no shortcut: .."));
}

TEST(PlayerArguments, PackageOrNothing) {
    EXPECT_EQ(post_install::playerArguments(L"com.game.x"),
              L"downloadpackage=com.game.x|package=com.game.x");
    EXPECT_EQ(post_install::playerArguments(L""), L"");
}

}  // namespace

namespace {

// The emulator starts through the desktop shell's token, as the signed-in user of this session.
TEST(UnelevatedStart, TheProgramRunsWithTheShellsToken) {
    // Wine's own desktop runs from system32; a shell at the Windows folder's path stands in for
    // the user's desktop shell.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    DWORD shellId = 0;
    const auto shell =
        utility::process::create(std::wstring(windows) + L"\\explorer.exe", L"", false, &shellId);
    ASSERT_TRUE(shell);
    const std::wstring name = L"tamrix-unelevated-" + utility::makeGuidText();
    const utility::UniqueHandle started(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(post_install::startUnelevated(testing_support::peerPath(L"process_peer"),
                                              L"signal " + name));
    EXPECT_EQ(WaitForSingleObject(started.get(), 60000), WAIT_OBJECT_0);
    TerminateProcess(shell.get(), 0);
}

TEST(UnelevatedStart, OnlyTheShellOfTheDownloadersOwnSessionLendsItsToken) {
    const std::wstring expected = L"C:\\Windows\\explorer.exe";
    EXPECT_TRUE(post_install::isSessionShell(expected, expected, 1, 1));
    EXPECT_TRUE(post_install::isSessionShell(L"explorer.exe", expected, 2, 2));
    // Another signed-in user's desktop: never start the emulator as somebody else.
    EXPECT_FALSE(post_install::isSessionShell(expected, expected, 2, 1));
    EXPECT_FALSE(post_install::isSessionShell(L"explorer.exe", expected, 0, 1));
    // Exact, case-sensitive names only.
    EXPECT_FALSE(post_install::isSessionShell(L"C:\\WINDOWS\\EXPLORER.EXE", expected, 1, 1));
    EXPECT_FALSE(post_install::isSessionShell(L"C:\\Temp\\explorer.exe", expected, 1, 1));
}

TEST(UnelevatedStart, TheShellTokenServesFromVersion62On) {
    // Versions compare as (major, minor): 10.0 and 7.1 are later than 6.2, 5.9 is earlier.
    const struct {
        unsigned long major, minor;
        bool token;
    } cases[] = {{6, 2, true},  {6, 3, true},  {10, 0, true}, {7, 1, true},  {11, 0, true},
                 {6, 1, false}, {6, 0, false}, {5, 2, false}, {5, 9, false}, {4, 10, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(post_install::usesShellToken(c.major, c.minor), c.token)
            << c.major << "." << c.minor;
    }
}

TEST(UnelevatedStart, ACommandLineBeyondItsBufferIsRefused) {
    EXPECT_FALSE(post_install::startUnelevated(testing_support::peerPath(L"process_peer"),
                                               std::wstring(1100, L'x')));
}

}  // namespace
