// The installer issued for games, as a person sees it: after the emulator's install the window
// turns to its game page, counts each game's package download, sets the emulator's resolution,
// installs the packages through the console tool, puts shortcuts on the desktop and starts the
// emulator on the last game; or it hands the game to the emulator at once (a game id, an
// app-store game). The real TamrixInstaller.exe in the world, judged by its page (read through
// accessibility), the console tool's and the emulator's records, the files and the log.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"
#include "utility/text.h"

namespace {

using installer::AccessibleElement;
using installer::englishText;
using installer::Installer;
using testing_support::narrow;
using testing_support::waitUntil;
using testing_support::world::waitForStandinRuns;
using testing_support::world::writeScenario;

const std::string kCdn = road::cdnHost();
const std::string kDemo = "https://" + kCdn + "/games/demo/";
// The install folder as the installer proposes it, and the same with the separator the game
// files' names add after it.
const std::wstring kFolder = L"D:\\Tamrix\\Tamrix9\\";
const std::wstring kFiles = kFolder + L"\\";

// One game of a package document.
struct Game {
    std::string name{}, package{}, url{}, icon{}, obb{}, resolution{}, gameId{};
    std::string xapk = "0", appStore = "0";
};

std::string gameJson(const Game& g) {
    return R"({"app_download_url": ")" + g.url + R"(", "app_package_name": ")" + g.package +
           R"(", "gamename": ")" + g.name + R"(", "app_icon": ")" + g.icon + R"(", "app_obb": ")" +
           g.obb + R"(", "game_slt_url": ")" + kDemo + R"(screenshot.png", "resolution": ")" +
           g.resolution + R"(", "gameid": ")" + g.gameId + R"(", "xapk": ")" + g.xapk +
           R"(", "from_appstore": ")" + g.appStore + R"("})";
}

// A world whose package document for the open id lists the games; the game files come at
// 1 MiB/s, so that a person sees each download counted.
std::string scenario(const std::string& openId, const std::vector<Game>& games) {
    std::string list;
    for (const auto& g : games) list += (list.empty() ? "" : ", ") + gameJson(g);
    return R"({"rules": [)" + road::rule(kCdn, "/games/*", R"("rateLimit": 1048576)") +
           R"(], "content": {"packages": {")" + openId + R"(": {"result": [)" + list + "]}}}}";
}

std::wstring desktopLink(const std::wstring& name) {
    wchar_t desktop[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    return std::wstring(desktop) + L"\\" + name + L".lnk";
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class InstallerGames : public installer::InstallerTest {
protected:
    void SetUp() override {
        installer::InstallerTest::SetUp();
        for (const wchar_t* name : {L"Alpha Game", L"Beta Game", L"X Game", L"Cmd Game",
                                    L".._Planted Game", L"..\\Planted Game"})
            DeleteFileW(desktopLink(name).c_str());
    }

    // Presses Install and follows the game page until the window goes: every text of the game
    // label. Screenshots of the page while it downloads and while it installs.
    std::vector<std::wstring> installAndFollow(Installer& run, const std::wstring& shotPrefix) {
        std::vector<std::wstring> labels;
        HWND main = run.waitForWindow(installer::kMainWindow);
        if (!main) return labels;
        const auto install = installer::waitInstallButton(run, main);
        if (!install || !run.click(*install)) return labels;
        const std::wstring downloading = englishText("progress_downloading_label2") + L" ";
        const std::wstring installing = englishText("Label_installingapp_waiting") + L" ";
        bool downloadShot = false, installShot = false;
        waitUntil(
            [&] {
                if (!IsWindowVisible(main)) return true;
                for (const auto& e : run.elements(main)) {
                    if (e.role != ROLE_SYSTEM_STATICTEXT) continue;
                    const bool game = e.name.find(L"M (") != std::wstring::npos ||
                                      e.name.rfind(installing, 0) == 0;
                    if (!game) continue;
                    if (labels.empty() || labels.back() != e.name) labels.push_back(e.name);
                    if (!downloadShot && e.name.rfind(downloading, 0) == 0)
                        downloadShot = run.screenshot(main, shotPrefix + L"-downloading.png");
                    if (!installShot && e.name.rfind(installing, 0) == 0)
                        installShot = run.screenshot(main, shotPrefix + L"-installing.png");
                }
                return false;
            },
            120000);
        return labels;
    }

    std::string labelsText(const std::vector<std::wstring>& labels) {
        std::string all;
        for (const auto& l : labels) all += "'" + narrow(l) + "'\n";
        return all;
    }
};

TEST_F(InstallerGames, TwoGamesAreDownloadedCountedInstalledAndTheLastOneStarted) {
    ASSERT_TRUE(writeScenario(scenario("12345", {{.name = "Alpha Game",
                                                  .package = "com.tamrix.alpha",
                                                  .url = kDemo + "com.tamrix.demo.apk",
                                                  .icon = kDemo + "com.tamrix.demo.ico",
                                                  .obb = "",
                                                  .resolution = "1280x720"},
                                                 {.name = "Beta Game",
                                                  .package = "com.tamrix.beta",
                                                  .url = kDemo + "com.tamrix.demo.apk",
                                                  .icon = kDemo + "com.tamrix.demo.ico",
                                                  .obb = kDemo + "com.tamrix.demo.obb",
                                                  .resolution = "1920x1080"}})));
    Installer run(folder_.path(), L"tamrix9_en_12345_x.exe");
    const auto labels = installAndFollow(run, L"games");
    EXPECT_EQ(run.waitExit(), 0);

    // Each game's download counted with its place in the list, then the install.
    const std::wstring stage = englishText("progress_downloading_label2");
    const auto shown = [&](const std::wstring& part) {
        return std::any_of(labels.begin(), labels.end(), [&](const std::wstring& l) {
            return l.find(part) != std::wstring::npos;
        });
    };
    EXPECT_TRUE(shown(stage + L" Alpha Game (1/2)：")) << labelsText(labels);
    EXPECT_TRUE(shown(stage + L" Alpha Game (2/2)：") || shown(stage + L" Beta Game (2/2)："))
        << labelsText(labels);
    EXPECT_TRUE(shown(L"M / 3M (")) << labelsText(labels);
    EXPECT_TRUE(shown(L"M / 2M (")) << "the second game's data file" << labelsText(labels);
    EXPECT_TRUE(shown(englishText("Label_installingapp_waiting") + L" Alpha Game"))
        << labelsText(labels);

    // The console tool: the last resolution, then one install per game, the second with its
    // data file.
    const auto console = waitForStandinRuns("console", consoleStart_ + 3);
    ASSERT_EQ(console.size(), consoleStart_ + 3);
    EXPECT_NE(console[consoleStart_].commandLine.find(L"modify --index 0 --resolution 1920x1080"),
              std::wstring::npos)
        << narrow(console[consoleStart_].commandLine);
    const std::wstring& first = console[consoleStart_ + 1].commandLine;
    const std::wstring& second = console[consoleStart_ + 2].commandLine;
    EXPECT_NE(first.find(L"installapk --index 0 --filename \"" + kFiles +
                         L"Alpha Game.apk\" --wait --hide"),
              std::wstring::npos)
        << narrow(first);
    EXPECT_NE(second.find(L"installapk --index 0 --filename \"" + kFiles +
                          L"Beta Game.apk\" --packagename com.tamrix.beta --fileobb \"" + kFiles +
                          L"com.tamrix.beta.obb\" --wait --hide"),
              std::wstring::npos)
        << narrow(second);
    EXPECT_EQ(console[consoleStart_ + 2].json()["exitCode"].GetInt(), 0) << "both files were there";
    EXPECT_TRUE(exists(desktopLink(L"Alpha Game")));
    EXPECT_TRUE(exists(desktopLink(L"Beta Game")));
    // The emulator started on the last game.
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_NE(players.back().commandLine.find(L"package=com.tamrix.beta"), std::wstring::npos)
        << narrow(players.back().commandLine);
}

TEST_F(InstallerGames, AGameOnTheCommandLineIsDownloadedAndInstalled) {
    ASSERT_TRUE(writeScenario(R"({"rules": [)" +
                              road::rule(kCdn, "/games/*", R"("rateLimit": 1048576)") + "]}"));
    Installer run(folder_.path(), L"TamrixInstaller.exe",
                  {.commandLine = L"\"name=Cmd Game|package=com.tamrix.cmd|apkurl=" +
                                  utility::utf8ToWide(kDemo) + L"com.tamrix.demo.apk\"",
                   .windowsVersion = L"win10"});
    const auto labels = installAndFollow(run, L"game-command-line");
    EXPECT_EQ(run.waitExit(), 0);
    // One game: no place in the list, a full-width colon.
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const std::wstring& l) {
        return l.rfind(englishText("progress_downloading_label2") + L" Cmd Game：", 0) == 0;
    })) << labelsText(labels);
    const auto console = waitForStandinRuns("console", consoleStart_ + 1);
    ASSERT_EQ(console.size(), consoleStart_ + 1) << "no resolution: only the install";
    EXPECT_NE(console.back().commandLine.find(L"installapk --index 0 --filename \"" + kFiles +
                                              L"Cmd Game.apk\" --wait --hide"),
              std::wstring::npos)
        << narrow(console.back().commandLine);
    EXPECT_FALSE(exists(desktopLink(L"Cmd Game"))) << "no icon, no shortcut";
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_NE(players.back().commandLine.find(L"package=com.tamrix.cmd"), std::wstring::npos);
}

TEST_F(InstallerGames, AnXapkIsInstalledAnUnsafeNameSkippedAndAFailedPackageLeftOut) {
    ASSERT_TRUE(writeScenario(scenario(
        "23456",
        {{.name = "X Game",
          .package = "com.tamrix.x",
          .url = kDemo + "com.tamrix.demo.apk",
          .xapk = "1"},
         {.name = "..", .package = "com.tamrix.evil", .url = kDemo + "com.tamrix.demo.apk"},
         {.name = "Lost Game", .package = "com.tamrix.lost", .url = kDemo + "missing.apk"}})));
    Installer run(folder_.path(), L"tamrix9_en_23456_x.exe");
    installAndFollow(run, L"games-mended");
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_TRUE(result.logged("CMainFrame::_threadDownloadApk", "skip game with unsafe name .."))
        << testing::PrintToString(result.messages("CMainFrame::_threadDownloadApk"));
    EXPECT_TRUE(result.logged("CMainFrame::_threadDownloadApk",
                              "package of Lost Game not downloaded, not installed"));
    // Only the xapk is installed, under its own file name.
    const auto console = waitForStandinRuns("console", consoleStart_ + 1);
    ASSERT_EQ(console.size(), consoleStart_ + 1);
    EXPECT_NE(console.back().commandLine.find(L"--filename \"" + kFiles + L"X Game.xapk\""),
              std::wstring::npos)
        << narrow(console.back().commandLine);
    EXPECT_TRUE(exists(kFiles + L"X Game.xapk"));
    EXPECT_FALSE(exists(kFiles + L"Lost Game.apk"));
    // The emulator still starts.
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_NE(players.back().commandLine.find(L"package=com.tamrix.x"), std::wstring::npos);
}

// Names and texts of a package document are data: a game name with separators makes a shortcut
// on the desktop and nowhere else, and a record whose package name or resolution would add an
// option to a command line is left out with a log line while the others are installed.
TEST_F(InstallerGames, NamesFromThePackageDocumentNeverBecomePathsOrOptions) {
    const std::string apk = kDemo + "com.tamrix.demo.apk";
    ASSERT_TRUE(writeScenario(scenario(
        "67890",
        {{.name = "..\\\\Planted Game",
          .package = "com.tamrix.planted",
          .url = apk,
          .icon = kDemo + "com.tamrix.demo.ico"},
         {.name = "Option Game",
          .package = "com.tamrix.opt --index 1",
          .url = apk,
          .obb = kDemo + "com.tamrix.demo.obb"},
         {.name = "Fine Game", .package = "com.tamrix.fine", .url = apk, .resolution = "1920x1080"},
         {.name = "Wide Game",
          .package = "com.tamrix.wide",
          .url = apk,
          .resolution = "1280x720 --index 1"}})));
    Installer run(folder_.path(), L"tamrix9_en_67890_x.exe");
    installAndFollow(run, L"games-untrusted");
    EXPECT_EQ(run.waitExit(), 0);
    // The shortcut is on the desktop under the safe name, not one folder above it.
    EXPECT_TRUE(exists(desktopLink(L".._Planted Game")));
    EXPECT_FALSE(exists(desktopLink(L"..\\Planted Game")));
    const auto result = run.record();
    const auto lookups = result.messages("DownloaderModel::_getPackageByOpenID");
    EXPECT_TRUE(result.logged("DownloaderModel::_getPackageByOpenID",
                              "skip game Option Game: package name not accepted: "
                              "com.tamrix.opt --index 1"))
        << testing::PrintToString(lookups);
    EXPECT_TRUE(result.logged("DownloaderModel::_getPackageByOpenID",
                              "skip game Wide Game: resolution not accepted: 1280x720 --index 1"))
        << testing::PrintToString(lookups);

    // The resolution of the game kept, then the two games kept; no command with another option.
    const auto console = waitForStandinRuns("console", consoleStart_ + 3);
    ASSERT_EQ(console.size(), consoleStart_ + 3);
    for (std::size_t i = consoleStart_; i < console.size(); ++i) {
        const std::wstring& line = console[i].commandLine;
        EXPECT_EQ(line.find(L"--index 1"), std::wstring::npos) << narrow(line);
        EXPECT_EQ(line.find(L"com.tamrix.opt"), std::wstring::npos) << narrow(line);
    }
    EXPECT_NE(console[consoleStart_].commandLine.find(L"modify --index 0 --resolution 1920x1080"),
              std::wstring::npos)
        << narrow(console[consoleStart_].commandLine);
    EXPECT_NE(console[consoleStart_ + 1].commandLine.find(L"\\.._Planted Game.apk\""),
              std::wstring::npos)
        << narrow(console[consoleStart_ + 1].commandLine);
    EXPECT_NE(console[consoleStart_ + 2].commandLine.find(L"Fine Game.apk"), std::wstring::npos);

    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_NE(players.back().commandLine.find(L"package=com.tamrix.fine"), std::wstring::npos)
        << narrow(players.back().commandLine);
}

TEST_F(InstallerGames, AGameIdOrAnAppStoreGameGoesToTheEmulatorAtOnce) {
    struct Case {
        const char* openId;
        Game game;
        std::wstring arguments;
    };
    const std::wstring url = utility::utf8ToWide(kDemo) + L"com.tamrix.demo.apk";
    const Case cases[] = {
        {"34567",
         {.name = "Id Game", .package = "com.tamrix.id", .url = "", .gameId = "778899"},
         L"apk=|show=true|package=com.tamrix.id|downloadgameid=778899"},
        {"45678",
         {.name = "Store Game",
          .package = "com.tamrix.store",
          .url = kDemo + "com.tamrix.demo.apk",
          .appStore = "1"},
         L"apk=|show=true|package=com.tamrix.store|downloadapkurl=" + url +
             L";S.package=com.tamrix.store;S.appname=Store Game;S.appicon=" +
             utility::utf8ToWide(kDemo) + L"screenshot.png;S.appsize=96"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.openId);
        ASSERT_TRUE(writeScenario(scenario(c.openId, {c.game})));
        const std::size_t players = testing_support::world::readStandinRuns("player").size();
        const std::size_t requests = testing_support::world::requestCount();
        Installer run(folder_.path(), L"tamrix9_en_" + utility::utf8ToWide(c.openId) + L"_x.exe");
        const auto labels = installAndFollow(run, L"game-handed-over");
        EXPECT_EQ(run.waitExit(), 0);
        EXPECT_TRUE(labels.empty()) << "no game page: " << labelsText(labels);
        const auto started = waitForStandinRuns("player", players + 1);
        ASSERT_EQ(started.size(), players + 1);
        EXPECT_NE(started.back().commandLine.find(c.arguments), std::wstring::npos)
            << narrow(started.back().commandLine);
        for (const auto& r : testing_support::world::waitForRequests(0, requests, 0))
            EXPECT_NE(r.path.rfind("/games/", 0), 0u) << "nothing downloaded here: " << r.path;
    }
    EXPECT_EQ(testing_support::world::readStandinRuns("console").size(), consoleStart_);
}

// A console tool that never answers the resolution command holds the flow for two minutes at
// most; the packages are then installed and the emulator started.
TEST_F(InstallerGames, TheResolutionCommandIsWaitedForAtMostTwoMinutes) {
    const std::string games = scenario("56789", {{.name = "Slow Game",
                                                  .package = "com.tamrix.slow",
                                                  .url = kDemo + "com.tamrix.demo.apk",
                                                  .resolution = "1280x720"}});
    ASSERT_TRUE(writeScenario(games.substr(0, games.size() - 1) +
                              R"(, "standins": {"console": {"hang": true}}})"));
    Installer run(folder_.path(), L"tamrix9_en_56789_x.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto install = installer::waitInstallButton(run, main);
    ASSERT_TRUE(install);
    ASSERT_TRUE(run.click(*install));
    // The resolution command arrives and hangs; the commands after it answer again.
    const auto modify = waitForStandinRuns("console", consoleStart_ + 1, 90000);
    ASSERT_EQ(modify.size(), consoleStart_ + 1);
    const DWORD hung = GetTickCount();
    EXPECT_NE(modify.back().commandLine.find(L"modify --index 0 --resolution 1280x720"),
              std::wstring::npos);
    ASSERT_TRUE(writeScenario(games));
    const auto next = waitForStandinRuns("console", consoleStart_ + 2, 180000);
    ASSERT_EQ(next.size(), consoleStart_ + 2);
    const DWORD waited = GetTickCount() - hung;
    EXPECT_NE(next.back().commandLine.find(L"installapk"), std::wstring::npos);
    EXPECT_GE(waited, 115000u);
    EXPECT_LE(waited, 140000u);
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_NE(players.back().commandLine.find(L"package=com.tamrix.slow"), std::wstring::npos);
}

}  // namespace
