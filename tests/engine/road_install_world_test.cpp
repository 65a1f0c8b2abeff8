// A whole run inside the world, seen from the installer stage and the emulator's first start:
// the installer's command line, the processes stopped before it, the installer's messages, the
// files and settings prepared for the emulator, how the emulator is started on each system, and
// a user who quits while the installer runs.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>

#include "app/deployment.h"
#include "tests/support/road_support.h"
#include "utility/file.h"
#include "utility/process.h"
#include "utility/text.h"

namespace {

using road::contains;
using road::rule;
using testing_support::world::writeScenario;

const std::string kCdn = road::cdnHost();
constexpr char kSetupTag[] = "DownloaderModel::_threadInsPlayer";

std::string setting(const std::wstring& dataFolder, const char* key) {
    char value[256] = {};
    GetPrivateProfileStringA("setting", key, "<none>", value, sizeof(value),
                             utility::wideToAnsi(dataFolder + L"data.ini").c_str());
    return value;
}

std::wstring desktopLink(const std::wstring& name) {
    wchar_t desktop[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    return std::wstring(desktop) + L"\\" + name + L".lnk";
}

// The application manifest a program carries; empty when it has none.
std::string manifestOf(const std::wstring& program) {
    const HMODULE module = LoadLibraryExW(
        program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    std::string bytes;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (const void* data = LockResource(LoadResource(module, found))) {
            bytes.assign(static_cast<const char*>(data), SizeofResource(module, found));
        }
    }
    FreeLibrary(module);
    return bytes;
}

// The two ways the emulator starts leave different start-up information: the un-elevated start
// (the desktop shell's token) passes the default one, the start through the shell asks for a
// hidden window. Wine 8 does not pass the given token on to the new process, so the token
// itself cannot tell them apart there.
constexpr char kShellToken[] = "with the shell's token";
constexpr char kThroughShell[] = "through the shell";
std::string howStarted(const testing_support::world::StandinRun& player) {
    const auto record = player.json();
    const unsigned flags = record["startup"]["flags"].GetUint();
    const unsigned show = record["startup"]["showWindow"].GetUint();
    if ((flags & STARTF_USESHOWWINDOW) == 0) return kShellToken;
    return show == SW_HIDE ? kThroughShell : "otherwise";
}

// Every file below the folder, with its path.
void forEachFile(const std::wstring& folder,
                 const std::function<void(const std::wstring&)>& visit) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            forEachFile(folder + name + L"\\", visit);
        } else {
            visit(folder + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

using RoadInstall = road::RoadTest;

TEST_F(RoadInstall, TheInstallerGetsTheRunsIdentityAndTheEmulatorItsPackage) {
    const std::size_t installsBefore = testing_support::world::readStandinRuns("installer").size();
    const std::size_t playersBefore = testing_support::world::readStandinRuns("player").size();
    const auto result =
        run(L"tamrix9_kr_com.game.x_2500_gid_1_x", {{L"TAMRIX_DRIVER_LAUNCH", L"1"}});
    ASSERT_EQ(result.exitCode, 0) << result.describeRequests();
    const auto installs =
        testing_support::world::waitForStandinRuns("installer", installsBefore + 1);
    ASSERT_EQ(installs.size(), installsBefore + 1);
    const auto record = installs.back().json();
    EXPECT_EQ(record["startup"]["showWindow"].GetUint(), unsigned{SW_SHOW});
    EXPECT_NE(record["startup"]["flags"].GetUint() & STARTF_USESHOWWINDOW, 0u);
    const auto& options = record["options"];
    EXPECT_STREQ(options["openid"].GetString(), "2500");
    EXPECT_STREQ(options["language"].GetString(), "kr");
    EXPECT_STREQ(options["googleid"].GetString(), "gid_1");
    EXPECT_EQ(utility::utf8ToWide(options["path"].GetString()), result.installFolder);
    EXPECT_TRUE(result.logged(kSetupTag,
                              "install player param: -silence -downloader -openid=2500 "
                              "-language=kr -path=\"" +
                                  utility::wideToUtf8(result.installFolder) +
                                  "\" -googleid=gid_1"));
    // What the installer left for the next run.
    wchar_t registered[1024] = {};
    DWORD size = sizeof(registered);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Vorlund\\Tamrix9", L"InstallDir",
                           RRF_RT_REG_SZ, nullptr, registered, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(registered), result.installFolder);
    // The installer's success message, then an upload at once.
    const auto events = result.reporterEvents();
    const auto success = std::find(events.begin(), events.end(), R"({"event":"install_success"})");
    ASSERT_NE(success, events.end()) << testing::PrintToString(events);
    ASSERT_NE(success + 1, events.end());
    EXPECT_EQ(success[1], R"({"event":"downloader_full_duration","properties":{"duration":"*"}})");
    EXPECT_TRUE(result.allUploadsSigned());

    // Windows 10, as the world reports, shows the installer 6.2: the un-elevated start.
    const auto players = testing_support::world::waitForStandinRuns("player", playersBefore + 1);
    ASSERT_EQ(players.size(), playersBefore + 1);
    EXPECT_NE(players.back().commandLine.find(L"downloadpackage=com.game.x|package=com.game.x"),
              std::wstring::npos);
    EXPECT_TRUE(result.logged("EngineDriver", "os version 6.2"));
    EXPECT_EQ(result.messages("DownloaderModel::runPlayer"),
              std::vector<std::string>{"runPlayer no amdin"});
    EXPECT_EQ(howStarted(players.back()), kShellToken) << players.back().line;
}

// The driver runs under the installer's manifest, which names no supported systems: from
// Windows 8 on the installer sees 6.2 and starts the emulator with the desktop shell's token;
// older systems start it through the shell, asking for administrator rights.
TEST_F(RoadInstall, TheEmulatorStartsWithTheShellsTokenFromWindows8On) {
    ASSERT_FALSE(manifestOf(road::buildPath(L"app\\TamrixInstaller.exe")).empty());
    EXPECT_EQ(manifestOf(testing_support::peerPath(L"engine_driver_peer")),
              manifestOf(road::buildPath(L"app\\TamrixInstaller.exe")));
    EXPECT_EQ(testing_support::world::readStandinRuns("shell").size(), 1u)
        << "the world's desktop shell runs";
    const struct {
        const wchar_t* version;  // Wine's name; empty: the world's Windows 10
        const char* reported;
        const char* start;
    } cases[] = {{L"", "6.2", kShellToken},
                 {L"win81", "6.2", kShellToken},
                 {L"win8", "6.2", kShellToken},
                 {L"win7", "6.1", kThroughShell},
                 {L"winxp", "5.1", kThroughShell}};
    for (const auto& c : cases) {
        SCOPED_TRACE(utility::wideToUtf8(c.version));
        road::resetMachine();
        ASSERT_TRUE(road::setProgramWindowsVersion(L"tamrix9_en_100_x.exe", c.version));
        const std::size_t playersBefore = testing_support::world::readStandinRuns("player").size();
        const auto result = run(L"tamrix9_en_100_x", {{L"TAMRIX_DRIVER_LAUNCH", L"1"}});
        road::setProgramWindowsVersion(L"tamrix9_en_100_x.exe", L"");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(result.logged("EngineDriver", std::string("os version ") + c.reported));
        const auto players =
            testing_support::world::waitForStandinRuns("player", playersBefore + 1);
        ASSERT_EQ(players.size(), playersBefore + 1);
        EXPECT_EQ(howStarted(players.back()), c.start) << players.back().line;
        const auto launch = result.messages("DownloaderModel::runPlayer");
        if (std::string(c.start) == kShellToken) {
            EXPECT_EQ(launch, std::vector<std::string>{"runPlayer no amdin"});
        } else {
            EXPECT_TRUE(launch.empty()) << testing::PrintToString(launch);
            EXPECT_FALSE(result.messages("utility::process::shell").empty());
        }
    }
}

// The user quits as soon as the installer reports success, while the installer still runs: the
// model's stop ends the stage, which writes nothing and logs nothing after it, whenever the
// installer ends (here: after the model is gone, or a moment after its message).
TEST_F(RoadInstall, QuittingWhileTheInstallerRunsLeavesNothingToTheStageAfterTheStop) {
    const std::string document = R"({"launch_h": "https://)" + kCdn +
                                 R"(/games/demo/launch_h.jpg", "title": "Road",
        "shortcutname": "Tamrix Quit", "shortcuturl": "https://)" +
                                 kCdn + R"(/games/demo/shortcut.ico", "ad": 0, "root": false})";
    const struct {
        const char* installer;
        bool endsAfterTheModel;
    } cases[] = {{R"({"exitOnEvent": "tamrix-road-model-gone"})", true},
                 {R"({"exitDelayMs": 200})", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installer);
        road::resetMachine();
        ASSERT_TRUE(writeScenario(R"({"content": {"packages": {"12345": )" + document +
                                  R"(}}, "standins": {"installer": )" + c.installer + "}}"));
        const auto result =
            run(L"tamrix9_en_12345_x", {{L"TAMRIX_DRIVER_QUIT_ON", L"11125"},
                                        {L"TAMRIX_DRIVER_GONE_EVENT", L"tamrix-road-model-gone"}});
        EXPECT_EQ(result.exitCode, 0) << "no crash";
        const std::size_t stopped = result.logIndex("DownloadImpl::shutdown", "model stopped");
        ASSERT_NE(stopped, std::string::npos);
        ASSERT_NE(result.logIndex("DownloadImpl::shutdown", "model destroyed"), std::string::npos);
        for (std::size_t i = stopped; i < result.log.size(); ++i) {
            EXPECT_NE(result.log[i].function, kSetupTag) << result.log[i].message;
        }
        const long stopTime = result.logTime("DownloadImpl::shutdown", "model stopped");
        const std::wstring link = desktopLink(L"Tamrix Quit");
        forEachFile(result.installFolder, [&](const std::wstring& file) {
            EXPECT_LE(road::lastWriteTimeOfDay(file), stopTime) << utility::wideToUtf8(file);
        });
        if (utility::ufile::exists(link)) {
            EXPECT_LE(road::lastWriteTimeOfDay(link), stopTime);
        }
        if (c.endsAfterTheModel) {
            EXPECT_FALSE(utility::ufile::exists(result.installFolder + L"data"));
            EXPECT_FALSE(utility::ufile::exists(link));
            EXPECT_NE(testing_support::readFileBytes(result.installFolder +
                                                     L"\\vms\\config\\sarvels.config")
                          .find(R"("channelOpenId": "0")"),
                      std::string::npos);
            EXPECT_FALSE(result.logged("CMainFrame::onInstallFinished", "install finished 1"));
        }
        DeleteFileW(link.c_str());
    }
}

TEST_F(RoadInstall, AFailureMessageThenANonZeroExitStillEndsTheStageInTime) {
    ASSERT_TRUE(writeScenario(
        R"({"standins": {"installer": {"behaviour": "fail", "errorCode": -5, "exitCode": 1}}})"));
    const auto result = run(L"tamrix9_en_100_x");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.logged("DownloadImpl::onHandleWindowIPC", "player install error! -5"));
    EXPECT_TRUE(result.logged("CMainFrame::onInstallFinished", "install finished 1"));
    EXPECT_TRUE(
        contains(result.reporterEvents(),
                 R"({"event":"install_fail","properties":{"failure_reason":"errorcode_-5"}})"));
    EXPECT_TRUE(contains(result.analyticsEvents(), "install_fail"));
}

// The system's taskkill is stood in for beside the driver, where the search for it starts.
class RunningEmulator : public RoadInstall {
protected:
    void SetUp() override {
        RoadInstall::SetUp();
        ASSERT_TRUE(CopyFileW(testing_support::peerPath(L"taskkill_peer").c_str(),
                              (folder_.path() + L"taskkill.exe").c_str(), FALSE));
        ASSERT_TRUE(writeScenario(R"({"standins": {"player": {"stay": true}}})"));
    }
    utility::UniqueHandle startPlayerAs(const std::wstring& path) {
        if (!CopyFileW(road::standinPath(L"gxplayer").c_str(), path.c_str(), FALSE)) return {};
        const std::size_t before = testing_support::world::readStandinRuns("player").size();
        auto process = utility::process::create(path, L"", false);
        testing_support::world::waitForStandinRuns("player", before + 1);
        return process;
    }
    std::string taskkills() {
        return testing_support::readFileBytes(folder_.path() + L"taskkill.log");
    }
    testing_support::TempDir players_;
};

TEST_F(RunningEmulator, IsStoppedWithTaskkillBeforeTheInstall) {
    const auto player = startPlayerAs(players_.path() + L"gxplayer.exe");
    ASSERT_TRUE(player);
    const auto result = run(L"tamrix9_en_100_x");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(taskkills(), "/F /IM gxplayer.exe /T\n");
    EXPECT_EQ(WaitForSingleObject(player.get(), 30000), WAIT_OBJECT_0);
}

TEST_F(RunningEmulator, ANameOfOtherCaseIsNotMatched) {
    const auto player = startPlayerAs(players_.path() + L"GXPLAYER.EXE");
    ASSERT_TRUE(player);
    const auto result = run(L"tamrix9_en_100_x");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(taskkills(), "");
    EXPECT_EQ(WaitForSingleObject(player.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(player.get(), 0);
}

TEST_F(RoadInstall, LaunchSettingsWithoutAdsInCleanModeAndAnIconThatFailed) {
    HKEY autorun = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &autorun, nullptr),
        ERROR_SUCCESS);
    const wchar_t news[] = L"C:\\news.exe";
    RegSetValueExW(autorun, L"TxNews", 0, REG_SZ, reinterpret_cast<const BYTE*>(news),
                   sizeof(news));
    RegCloseKey(autorun);
    const std::string document =
        R"({"launch_h": "https://)" + kCdn +
        R"(/games/demo/launch_h.jpg", "title": "Caf\u00e9", "runapp": "com.run",
        "shortcutname": "Tamrix Road", "shortcuturl": "https://)" +
        kCdn + R"(/games/road/missing.ico", "ad": 0, "cleanmodel": 1, "root": true})";
    ASSERT_TRUE(writeScenario(R"({"content": {"packages": {"12345": )" + document + "}}}"));
    const auto result = run(L"tamrix9_en_12345_x");
    ASSERT_EQ(result.exitCode, 0);
    const std::wstring data = result.installFolder + L"data\\";
    EXPECT_EQ(setting(data, "adshow"), "0");
    EXPECT_EQ(setting(data, "cleanmodel"), "1");
    EXPECT_EQ(setting(data, "useroot"), "<none>") << "root on writes nothing";
    EXPECT_EQ(setting(data, "title"), "Caf\xC3\xA9");
    EXPECT_EQ(setting(data, "runapp"), "com.run");
    EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"TxNews", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(testing_support::readFileBytes(data + L"launch_1920.jpg").size(), 65536u);
    EXPECT_EQ(result.requestsAt(kCdn, "/games/road/missing.ico").size(), 3u);
    EXPECT_EQ(GetFileAttributesW(desktopLink(L"Tamrix Road").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RoadInstall, ChannelIdRootOffAndADesktopShortcut) {
    const std::string document = R"({"shortcutname": "Tamrix Road", "runapp": "com.run",
        "shortcuturl": "https://)" +
                                 kCdn + R"(/games/demo/shortcut.ico", "root": false})";
    ASSERT_TRUE(writeScenario(R"({"content": {"packages": {"12345": )" + document + "}}}"));
    const auto result = run(L"tamrix9_en_12345_x");
    ASSERT_EQ(result.exitCode, 0);
    const std::wstring data = result.installFolder + L"data\\";
    EXPECT_EQ(setting(data, "useroot"), "0");
    EXPECT_EQ(setting(data, "adshow"), "<none>");
    EXPECT_TRUE(result.logged(kSetupTag, "write openid sucess. first 2468 current:0"));
    const std::wstring link = desktopLink(L"Tamrix Road");
    EXPECT_NE(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(link.c_str());
}

}  // namespace
