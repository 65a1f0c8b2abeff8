#include "engine/game_packages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using game_packages::HandOver;

GameRecord game(const wchar_t* name, const wchar_t* package, const wchar_t* url = L"") {
    GameRecord g;
    g.gameName = name;
    g.packageName = package;
    g.downloadUrl = url;
    return g;
}

TEST(GamePackages, HandOverAndArgumentTexts) {
    GameRecord store = game(L"Sky", L"com.sky", L"https://apk.example/sky.apk");
    store.fromAppStore = true;
    store.gameId = L"77";  // the app store wins over the game id
    store.screenshotUrl = L"https://img.example/s.png";
    EXPECT_EQ(game_packages::handOverOf(store), HandOver::kAppStore);
    EXPECT_EQ(game_packages::appStoreArguments(store),
              L"apk=|show=true|package=com.sky|downloadapkurl=https://apk.example/sky.apk"
              L";S.package=com.sky;S.appname=Sky;S.appicon=https://img.example/s.png;S.appsize=96");

    GameRecord byId = game(L"Sky", L"com.sky", L"https://apk.example/sky.apk");
    byId.gameId = L"77";
    EXPECT_EQ(game_packages::handOverOf(byId), HandOver::kGameId);
    EXPECT_EQ(game_packages::gameIdArguments(byId),
              L"apk=|show=true|package=com.sky|downloadgameid=77");

    EXPECT_EQ(game_packages::handOverOf(game(L"Sky", L"com.sky", L"u")), HandOver::kDownloadHere);
    EXPECT_EQ(game_packages::handOverOf(game(L"Sky", L"")), HandOver::kDownloadHere);
    const GameRecord byPackage = game(L"Sky", L"com.sky");
    EXPECT_EQ(game_packages::handOverOf(byPackage), HandOver::kPackage);
    EXPECT_EQ(game_packages::packageArguments(byPackage),
              L"apk=|show=true|package=com.sky|downloadpackage=com.sky");
}

TEST(GamePackages, FilesStayInsideTheFolderAndUnsafeNamesAreRefused) {
    GameRecord plain = game(L"Sky Quest", L"com.sky");
    plain.obbUrl = L"https://obb.example/main.obb";
    auto files = game_packages::gameFiles(L"D:\\Tamrix", plain);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->package, L"D:\\Tamrix\\Sky Quest.apk");
    EXPECT_EQ(files->packageTmp, L"D:\\Tamrix\\Sky Quest.apk.tmp");
    EXPECT_EQ(files->obb, L"D:\\Tamrix\\com.sky.obb");
    EXPECT_EQ(files->obbTmp, L"D:\\Tamrix\\com.sky.obb.tmp");
    EXPECT_EQ(files->icon, L"D:\\Tamrix\\com.sky.ico");
    EXPECT_EQ(game_packages::installParameters(*files, plain),
              L"installapk --index 0 --filename \"D:\\Tamrix\\Sky Quest.apk\" --packagename "
              L"com.sky --fileobb \"D:\\Tamrix\\com.sky.obb\" --wait --hide");

    GameRecord xapk = game(L"Sky", L"com.sky");
    xapk.xapk = true;
    files = game_packages::gameFiles(L"D:\\Tamrix", xapk);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->package, L"D:\\Tamrix\\Sky.xapk");
    EXPECT_EQ(game_packages::installParameters(*files, xapk),
              L"installapk --index 0 --filename \"D:\\Tamrix\\Sky.xapk\" --wait --hide");

    // Separators and reserved characters become one component; names that cannot be made safe
    // skip the game.
    files = game_packages::gameFiles(L"D:\\T", game(L"..\\..\\Windows\\evil", L"a/b:c"));
    ASSERT_TRUE(files);
    EXPECT_EQ(files->package.find(L'\\', 5), std::wstring::npos);
    EXPECT_EQ(files->obb.rfind(L'\\'), 4u);
    for (const auto& bad : {game(L"", L"com.sky"), game(L"...", L"com.sky"), game(L"CON", L"x"),
                            game(L"Sky", L".."), game(L"Sky", L"nul")})
        EXPECT_FALSE(game_packages::gameFiles(L"D:\\T", bad)) << bad.gameName << bad.packageName;
    // Without a package name there are no data or icon files, only the package.
    files = game_packages::gameFiles(L"D:\\T", game(L"Sky", L""));
    ASSERT_TRUE(files);
    EXPECT_TRUE(files->obb.empty());
    EXPECT_TRUE(files->icon.empty());
}

TEST(GamePackages, ProgressTextsBarAndInstallSteps) {
    EXPECT_EQ(game_packages::progressLabel(L"Downloading", L"Sky", 1, 1, 512000, 512000),
              L"Downloading Sky\xFF1A"
              L"500KB / 0M (<c #268fd6>100%</c>)");
    EXPECT_EQ(
        game_packages::progressLabel(L"Downloading", L"Sky", 2, 2, 3 * 1048576 + 7, 10 * 1048576),
        L"Downloading Sky (2/2)\xFF1A"
        L"3M / 10M (<c #268fd6>30%</c>)");
    EXPECT_EQ(game_packages::progressPercent(1, 0), 0);
    const std::pair<int, int> bars[] = {{0, 0},   {1, 3},   {2, 3},    {3, 3},
                                        {50, 50}, {99, 99}, {100, 99}, {140, 99}};
    for (const auto& [percent, bar] : bars) EXPECT_EQ(game_packages::progressBar(percent), bar);

    int step = 0, ticks = 0;
    std::vector<int> seen;
    while (game_packages::nextInstallStep(step)) {
        seen.push_back(step);
        ++ticks;
    }
    EXPECT_EQ(seen.front(), 3);
    EXPECT_EQ(seen.back(), 97);
    EXPECT_EQ(step, 98);
    EXPECT_EQ(ticks, 95);  // 3 to 97, then the tick that reaches 98 stops the timer
}

// Package names and resolutions go onto command lines as they are: a record with one that could
// add an option is refused, the others are kept in order.
TEST(GamePackages, RecordsWhoseTextsCouldAddOptionsAreLeftOut) {
    struct Case {
        const wchar_t* package;
        const wchar_t* resolution;
        bool accepted;
    };
    const Case cases[] = {
        {L"com.tamrix.demo", L"1280x720", true},
        {L"", L"", true},  // a game fetched here without package name or resolution
        {L"a", L"1x1", true},
        {L"com.Game_2.x9", L"", true},
        {L"com.tamrix.demo --index 1", L"", false},
        {L"com.tamrix.demo\t", L"", false},
        {L"com..demo", L"", false},
        {L".com.demo", L"", false},
        {L"com.demo.", L"", false},
        {L"com.9demo", L"", false},
        {L"com._demo", L"", false},
        {L"com.d\u00e9mo", L"", false},
        {L"com.demo", L"1280x720 --index 1", false},
        {L"com.demo", L"1280X720", false},
        {L"com.demo", L"x720", false},
        {L"com.demo", L"1280x", false},
        {L"com.demo", L"12x80x720", false},
        {L"com.demo", L"-1x720", false},
    };
    std::vector<GameRecord> games;
    std::vector<std::wstring> kept;
    for (const Case& c : cases) {
        GameRecord g = game(c.package, c.package);
        g.resolution = c.resolution;
        EXPECT_EQ(!game_packages::refusalOf(g), c.accepted) << c.package << " " << c.resolution;
        games.push_back(g);
        if (c.accepted) kept.push_back(c.package);
    }
    std::vector<std::wstring> names;
    for (const auto& g : game_packages::acceptedGames(games, "test")) names.push_back(g.gameName);
    EXPECT_EQ(names, kept);
}

// Progress is shown once a second whatever the total says, and the last chunk of a known total
// at once.
TEST(GamePackages, ProgressIsShownOnceASecondWhateverTheTotal) {
    struct Case {
        DWORD now, last;
        std::int64_t received, total;
        bool due;
    };
    const Case cases[] = {
        {5000, 4500, 10, 100, false},   {5000, 4000, 10, 100, true},
        {5000, 4500, 100, 100, true},   {5000, 4500, 10, -1, false},
        {5000, 4500, 10, 0, false},     {5000, 3999, 10, -1, true},
        {5000, 4500, 200, 100, false},  {100, 0xFFFFFF00, 5, -1, false},
        {900, 0xFFFFFF00, 5, -1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(game_packages::progressDue(c.now, c.last, c.received, c.total), c.due)
            << c.now << " " << c.last << " " << c.received << "/" << c.total;
}

}  // namespace
