// Reading the services' documents: which members count, with which types and encodings.
#include "engine/service_documents.h"

#include <gtest/gtest.h>

namespace {

using namespace service_documents;

TEST(VersionDocument, EditionObjectsAndTheirStringMembers) {
    const auto document = parseVersionDocument(R"({
        "mnq4": {"ver": "4.1", "url": "https://h/4.exe", "url_spare": "https://s/4.exe", "md5": "x"},
        "mnq9": {"ver": "9.0", "url": "https://h/9.exe"},
        "mnq": {"ver": 3, "url": null, "url_spare": "https://s/3.exe", "md5": 5},
        "mnq64": "not an object"
    })");
    ASSERT_TRUE(document);
    ASSERT_TRUE(document->edition4);
    EXPECT_EQ(document->edition4->version, L"4.1");
    EXPECT_EQ(document->edition4->spareUrl, L"https://s/4.exe");
    EXPECT_EQ(document->edition4->md5, L"x");
    ASSERT_TRUE(document->edition9);
    EXPECT_EQ(document->edition9->url, L"https://h/9.exe");
    EXPECT_FALSE(document->edition9->spareUrl);
    EXPECT_FALSE(document->edition9->md5);
    ASSERT_TRUE(document->edition3);
    EXPECT_FALSE(document->edition3->version) << "a number is not a version text";
    EXPECT_FALSE(document->edition3->url);
    EXPECT_FALSE(document->edition3->md5);
    EXPECT_FALSE(document->edition64);
    EXPECT_FALSE(document->hasHomeUrls);
}

TEST(VersionDocument, AnythingButAnObjectIsRejected) {
    for (const char* text :
         {"", "[]", "\"x\"", "<html><body>404</body></html>", "{\"a\":", "null"}) {
        EXPECT_FALSE(parseVersionDocument(text)) << text;
    }
    EXPECT_TRUE(parseVersionDocument("{}"));
}

TEST(VersionDocument, JumpUrlOfTheLanguageOrEnglish) {
    auto document = parseVersionDocument(
        R"({"homeurl": {"kr": "https://kr.example/", "en": "https://en.example/", "jp": 5}})");
    ASSERT_TRUE(document);
    EXPECT_EQ(jumpUrlFor(*document, L"kr"), L"https://kr.example/");
    EXPECT_EQ(jumpUrlFor(*document, L"tw"), L"https://en.example/");
    EXPECT_EQ(jumpUrlFor(*document, L"jp"), L"https://en.example/") << "not a string";
    document = parseVersionDocument(R"({"homeurl": {"kr": "https://kr.example/"}})");
    EXPECT_FALSE(jumpUrlFor(*document, L"tw"));
    document = parseVersionDocument(R"({"homeurl": "https://x/"})");
    EXPECT_FALSE(jumpUrlFor(*document, L"en"));
}

TEST(GameList, QualifyingElementsInOrderWithTheirMembersAsText) {
    const auto games = parseGameList(R"({"result": [
        {"app_download_url": "https://g/a.apk", "app_package_name": "com.a", "gamename": "Gäme",
         "app_icon": "https://g/a.png", "app_obb": "", "game_slt_url": "https://g/s.jpg",
         "resolution": "1280x720", "gameid": 42, "xapk": "1", "from_appstore": 1},
        {"gamename": "nothing that qualifies", "xapk": "1"},
        "not an object",
        {"gameid": "7", "app_obb": "https://g/b.obb", "xapk": "true", "from_appstore": "01"}
    ]})");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[0].downloadUrl, L"https://g/a.apk");
    EXPECT_EQ(games[0].packageName, L"com.a");
    EXPECT_EQ(games[0].gameName, L"G\u00e4me");
    EXPECT_EQ(games[0].iconUrl, L"https://g/a.png");
    EXPECT_EQ(games[0].obbUrl, L"");
    EXPECT_EQ(games[0].screenshotUrl, L"https://g/s.jpg");
    EXPECT_EQ(games[0].resolution, L"1280x720");
    EXPECT_EQ(games[0].gameId, L"42");
    EXPECT_TRUE(games[0].xapk);
    EXPECT_TRUE(games[0].fromAppStore) << "the number 1 reads as the text 1";
    EXPECT_EQ(games[1].gameId, L"7");
    EXPECT_EQ(games[1].obbUrl, L"https://g/b.obb");
    EXPECT_FALSE(games[1].xapk);
    EXPECT_FALSE(games[1].fromAppStore);
}

TEST(GameList, OtherDocumentsAddNothing) {
    for (const char* text : {R"({"result": {}})", R"({"results": []})", "[]", "oops", ""}) {
        EXPECT_TRUE(parseGameList(text).empty()) << text;
    }
}

TEST(LaunchSettings, MembersOfTheRightTypeOnly) {
    LaunchSettings settings;
    parseLaunchSettings(R"({"launch_h": "https://i/h.jpg", "launch_V": "https://i/v.jpg",
        "title": "Tïtle", "runapp": "com.run", "qqlink": "https://group", "shortcutname": "My Game",
        "shortcuturl": "https://i/icon.ico", "heapsize": "512", "ad": 0, "cleanmodel": 1,
        "runappstore": 0, "root": false})",
                        settings);
    EXPECT_EQ(settings.landscapeImageUrl, L"https://i/h.jpg");
    EXPECT_EQ(settings.portraitImageUrl, L"https://i/v.jpg");
    EXPECT_EQ(settings.title, L"T\u00eftle");
    EXPECT_EQ(settings.appToRun, L"com.run");
    EXPECT_EQ(settings.groupLink, L"https://group");
    EXPECT_EQ(settings.shortcutName, L"My Game");
    EXPECT_EQ(settings.shortcutIconUrl, L"https://i/icon.ico");
    EXPECT_EQ(settings.heapSize, L"512");
    EXPECT_FALSE(settings.ad);
    EXPECT_TRUE(settings.cleanMode);
    EXPECT_FALSE(settings.appStore);
    EXPECT_EQ(settings.root, 0);

    LaunchSettings defaults;
    parseLaunchSettings(R"({"ad": "0", "cleanmodel": true, "root": 1, "title": 5})", defaults);
    EXPECT_TRUE(defaults.ad);
    EXPECT_FALSE(defaults.cleanMode);
    EXPECT_EQ(defaults.root, -1) << "root must be a boolean";
    EXPECT_EQ(defaults.title, L"");
    parseLaunchSettings(R"({"root": true})", defaults);
    EXPECT_EQ(defaults.root, 1);
}

TEST(ChannelAnswer, OpenIdOnlyFromASuccessfulAnswerAboveZero) {
    auto answer = parseChannelAnswer(R"({"code":200,"data":1234})");
    EXPECT_TRUE(answer.isObject);
    EXPECT_TRUE(answer.codeOk);
    EXPECT_EQ(answer.openId, 1234);
    answer = parseChannelAnswer(R"({"code":200,"data":0})");
    EXPECT_TRUE(answer.codeOk);
    EXPECT_FALSE(answer.openId);
    answer = parseChannelAnswer(R"({"code":"200","data":5})");
    EXPECT_FALSE(answer.codeOk);
    EXPECT_FALSE(answer.openId);
    answer = parseChannelAnswer(R"({"code":500,"data":5})");
    EXPECT_FALSE(answer.codeOk);
    answer = parseChannelAnswer(R"({"code":200,"data":"5"})");
    EXPECT_FALSE(answer.openId);
    EXPECT_FALSE(parseChannelAnswer("<html>").isObject);
}

TEST(CustomerDocument, TextsOfTheLanguage) {
    const std::string text =
        R"({"en": {"installError": "Try again", "customerLink": "https://help/en"},
                                 "kr": {"installError": 3}})";
    auto texts = parseCustomerDocument(text, L"en");
    EXPECT_TRUE(texts.isObject);
    EXPECT_EQ(texts.installError, L"Try again");
    EXPECT_EQ(texts.customerLink, L"https://help/en");
    texts = parseCustomerDocument(text, L"kr");
    EXPECT_FALSE(texts.installError);
    EXPECT_FALSE(texts.customerLink);
    texts = parseCustomerDocument(text, L"tw");
    EXPECT_TRUE(texts.isObject);
    EXPECT_FALSE(texts.installError);
    EXPECT_FALSE(parseCustomerDocument("[1]", L"en").isObject);
}

}  // namespace
