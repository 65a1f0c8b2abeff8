#include "app/config_imp.h"

#include <gtest/gtest.h>

#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/deployment.h"

namespace {

using Edition = ConfigImp::Edition;

std::wstring https(std::wstring_view host, std::wstring_view path) {
    return L"https://" + std::wstring(host) + std::wstring(path);
}

// The deployment's text for the language in one of its tables; empty when it has none.
std::wstring deployedFor(std::span<const deployment::LanguageText> table,
                         std::wstring_view language) {
    for (const auto& row : table) {
        if (row.language == language) return std::wstring(row.text);
    }
    return {};
}

void selectEdition(ConfigImp& config, Edition edition) {
    switch (edition) {
        case Edition::Player3:
            config.setPlayer3();
            break;
        case Edition::Player4:
            config.setPlayer4();
            break;
        case Edition::Player64:
            config.setPlayer64();
            break;
        case Edition::Player9:
            config.setPlayer9();
            break;
    }
}

const wchar_t* editionName(Edition edition) {
    switch (edition) {
        case Edition::Player3:
            return L"3";
        case Edition::Player4:
            return L"4";
        case Edition::Player64:
            return L"64";
        case Edition::Player9:
            return L"9";
    }
    return L"?";
}

// A fresh configuration with the given edition and language.
struct Configured {
    Configured(Edition edition, const std::wstring& language) {
        selectEdition(config, edition);
        config.setLanguage(language);
    }
    ConfigImp config;
};

TEST(ConfigImpTest, StartsWithTheBuiltInDefaults) {
    ConfigImp config;
    EXPECT_EQ(config.getLanguage(), L"en");
    EXPECT_EQ(config.getAdLabel(), L"Downloader");
    EXPECT_EQ(config.getEdition(), Edition::Player9);
    EXPECT_TRUE(config.isPlayer9());
    EXPECT_FALSE(config.isPlayer4());
    EXPECT_FALSE(config.isPlayer64());
    EXPECT_FALSE(config.isSpareUrl());
    EXPECT_TRUE(config.isSystemHttp());
    EXPECT_EQ(config.getJumpUrl(), L"00");
}

TEST(ConfigImpTest, ProcessWideInstanceIsOneObject) {
    EXPECT_EQ(&ConfigImp::instance(), &ConfigImp::instance());
}

TEST(ConfigImpTest, EachEditionSetterLeavesExactlyItsOwnFlag) {
    struct Case {
        Edition edition;
        bool player4, player64, player9;
    };
    const Case cases[] = {
        {Edition::Player4, true, false, false},
        {Edition::Player64, false, true, false},
        {Edition::Player3, false, false, false},
        {Edition::Player9, false, false, true},
    };
    // Start from every other edition so a setter that forgets to clear a flag shows.
    for (const auto& c : cases) {
        for (const auto& before : cases) {
            ConfigImp config;
            selectEdition(config, before.edition);
            selectEdition(config, c.edition);
            SCOPED_TRACE(std::wstring(editionName(before.edition)) + L" -> " +
                         editionName(c.edition));
            EXPECT_EQ(config.isPlayer4(), c.player4);
            EXPECT_EQ(config.isPlayer64(), c.player64);
            EXPECT_EQ(config.isPlayer9(), c.player9);
            EXPECT_EQ(config.getEdition(), c.edition);
        }
    }
}

TEST(ConfigImpTest, RunTimeValuesAreKept) {
    ConfigImp config;
    config.setLanguage(L"kr");
    config.setAdLabel(L"Tamrix Installer_200");
    config.setSpareUrl(true);
    config.setSystemHttp(false);
    config.setJumpUrl(L"https://page.tamrix.test/x");
    EXPECT_EQ(config.getLanguage(), L"kr");
    EXPECT_EQ(config.getAdLabel(), L"Tamrix Installer_200");
    EXPECT_TRUE(config.isSpareUrl());
    EXPECT_FALSE(config.isSystemHttp());
    EXPECT_EQ(config.getJumpUrl(), L"https://page.tamrix.test/x");
}

TEST(ConfigImpTest, VersionDocumentComesFromCdnThenSpareHost) {
    const auto& hosts = deployment::values();
    for (const wchar_t* language : {L"en", L"cn", L"kr"}) {
        Configured c(Edition::Player9, language);
        EXPECT_EQ(c.config.getPlayerInfoUrl(), https(hosts.cdnHost, L"/player_files/en/sarvel"));
        EXPECT_EQ(c.config.getPlayerInfoSpareUrl(),
                  https(hosts.spareResourceHost, L"/player_files/en/sarvel"));
    }
}

TEST(ConfigImpTest, PackageFileAndUrlsFollowTheEdition) {
    const std::pair<Edition, std::wstring> cases[] = {
        {Edition::Player4, L"Tamrix4.0.exe"},
        {Edition::Player64, L"Tamrix64.exe"},
        {Edition::Player9, L"Tamrix9.0.exe"},
        {Edition::Player3, L"Tamrix3.0.exe"},
    };
    const auto& hosts = deployment::values();
    for (const auto& [edition, file] : cases) {
        Configured c(edition, L"en");
        SCOPED_TRACE(editionName(edition));
        EXPECT_EQ(c.config.getPackageFile(), file);
        EXPECT_EQ(c.config.getPackageUrl(), https(hosts.cdnHost, L"/download/package/" + file));
        EXPECT_EQ(c.config.getPackageSpareUrl(),
                  https(hosts.spareResourceHost, L"/download/package/" + file));
    }
}

TEST(ConfigImpTest, WithoutEditionFromTheNameEdition9IsInstalled) {
    ConfigImp config;
    EXPECT_EQ(config.getPackageFile(), L"Tamrix9.0.exe");
    EXPECT_EQ(config.getRegistryKey(), L"Software\\Vorlund\\Tamrix9");
}

TEST(ConfigImpTest, PackageDocumentUsesDomesticHostOnlyForCn) {
    const auto& hosts = deployment::values();
    const std::pair<std::wstring, std::wstring_view> cases[] = {
        {L"cn", hosts.domesticResourceHost},
        {L"en", hosts.cdnHost},
        {L"tw", hosts.cdnHost},
        {L"CN", hosts.cdnHost},
        {L"", hosts.cdnHost},
    };
    for (const auto& [language, host] : cases) {
        Configured c(Edition::Player9, language);
        SCOPED_TRACE(language);
        EXPECT_EQ(c.config.getOpenIdConfigUrl(L"2500"),
                  https(host, L"/player_files/openidconfig/2500.data"));
    }
}

TEST(ConfigImpTest, CustomerDocumentComesFromTheCdnWhateverTheLanguage) {
    for (const wchar_t* language : {L"cn", L"kr", L"en"}) {
        Configured c(Edition::Player4, language);
        EXPECT_EQ(c.config.getCustomerUrl(),
                  https(deployment::values().cdnHost, L"/player_files/en/sarvelex"));
    }
}

TEST(ConfigImpTest, ChannelServiceHostCarriesTheLanguage) {
    const std::wstring domain(deployment::values().serviceDomain);
    for (const wchar_t* language : {L"kr", L"en", L"cn", L"ens"}) {
        Configured c(Edition::Player9, language);
        SCOPED_TRACE(language);
        EXPECT_EQ(c.config.getChannelUrl(), L"https://api" + std::wstring(language) + L"." +
                                                domain + L"/check/machine/channel?m=");
    }
}

TEST(ConfigImpTest, ChannelUrlNeverExceedsItsBound) {
    Configured c(Edition::Player9, std::wstring(400, L'x'));
    const std::wstring url = c.config.getChannelUrl();
    EXPECT_EQ(url.size(), ConfigImp::kChannelUrlMaxLength);
    EXPECT_EQ(url.rfind(L"https://apixxx", 0), 0u);
}

TEST(ConfigImpTest, InstallerNameDependsOnCnOnly) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"cn", L"D:\\Sarvel\\Tamrix3.0\\txinst.exe"},
        {L"en", L"D:\\Sarvel\\Tamrix3.0\\Tamrix.exe"},
        {L"tw", L"D:\\Sarvel\\Tamrix3.0\\Tamrix.exe"},
        {L"CN", L"D:\\Sarvel\\Tamrix3.0\\Tamrix.exe"},
    };
    for (const auto& [language, path] : cases) {
        Configured c(Edition::Player3, language);
        EXPECT_EQ(c.config.getInstallerPath(L"D:\\Sarvel\\Tamrix3.0"), path) << language;
    }
}

TEST(ConfigImpTest, FolderNamesByEditionAndLanguage) {
    struct Case {
        Edition edition;
        std::wstring language, folderName, subPath;
    };
    const Case cases[] = {
        {Edition::Player4, L"cn", L"Tamrix4.0\\", L"Sarvel\\Tamrix4.0\\"},
        {Edition::Player4, L"en", L"4.0\\", L"Tamrix\\Tamrix4.0\\"},
        {Edition::Player4, L"tw", L"4.0\\", L"Tamrix\\Tamrix4.0\\"},
        {Edition::Player64, L"cn", L"Tamrix64\\", L"Sarvel\\Tamrix64\\"},
        {Edition::Player64, L"kr", L"Tamrix64\\", L"Tamrix\\Tamrix64\\"},
        {Edition::Player9, L"cn", L"Tamrix9\\", L"Sarvel\\Tamrix9\\"},
        {Edition::Player9, L"en", L"Tamrix9\\", L"Tamrix\\Tamrix9\\"},
        {Edition::Player3, L"cn", L"Tamrix3.0\\", L"Sarvel\\Tamrix3.0\\"},
        {Edition::Player3, L"br", L"Tamrix3.0\\", L"Tamrix\\Tamrix3.0\\"},
    };
    for (const auto& t : cases) {
        Configured c(t.edition, t.language);
        SCOPED_TRACE(std::wstring(editionName(t.edition)) + L"/" + t.language);
        EXPECT_EQ(c.config.getInstallFolderName(), t.folderName);
        EXPECT_EQ(c.config.getDefaultInstallSubPath(), t.subPath);
        EXPECT_EQ(c.config.getProductName(), L"Tamrix");
    }
}

TEST(ConfigImpTest, RegistryKeyByEditionAndLanguage) {
    struct Case {
        Edition edition;
        std::wstring domestic, international;
    };
    const Case cases[] = {
        {Edition::Player4, L"Software\\sarvel\\Tamrix", L"Software\\Vorlund\\Tamrix"},
        {Edition::Player64, L"Software\\sarvel\\Tamrix64", L"Software\\Vorlund\\Tamrix64"},
        {Edition::Player9, L"Software\\sarvel\\Tamrix9", L"Software\\Vorlund\\Tamrix9"},
        {Edition::Player3, L"Software\\Quenmar2\\gxplayer", L"Software\\Quenmar\\Tamrix"},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(editionName(t.edition));
        EXPECT_EQ(Configured(t.edition, L"cn").config.getRegistryKey(), t.domestic);
        for (const wchar_t* language : {L"en", L"tw", L"kr", L"br", L"Cn"}) {
            EXPECT_EQ(Configured(t.edition, language).config.getRegistryKey(), t.international)
                << language;
        }
    }
}

TEST(ConfigImpTest, LanguageFileUsesOwnCodeOnlyForShippedLanguages) {
    for (const wchar_t* code : {L"cn", L"tw", L"kr", L"vn", L"th", L"ru", L"pt", L"fr", L"jp",
                                L"es", L"id", L"ar", L"fa", L"tr", L"de"}) {
        Configured c(Edition::Player9, code);
        EXPECT_EQ(c.config.getLanguageFile(),
                  L"language\\downloader_" + std::wstring(code) + L".xml");
    }
    for (const wchar_t* code : {L"en", L"br", L"it", L"my", L"ua", L"in", L"ens", L"", L"KR"}) {
        Configured c(Edition::Player9, code);
        EXPECT_EQ(c.config.getLanguageFile(), L"language\\downloader_en.xml") << code;
    }
}

TEST(ConfigImpTest, HomePageIsTheRegionalSiteOrTheMainSite) {
    const auto& values = deployment::values();
    const std::wstring main = https(values.mainWebSiteHost, L"/");
    const std::wstring twSite = Configured(Edition::Player9, L"tw").config.getHomePage();
    EXPECT_EQ(Configured(Edition::Player9, L"cn").config.getHomePage(), twSite);

    std::set<std::wstring> regional{twSite};
    for (const wchar_t* code :
         {L"kr", L"vn", L"th", L"ru", L"pt", L"id", L"es", L"fr", L"jp", L"ar", L"fa", L"de"}) {
        regional.insert(Configured(Edition::Player9, code).config.getHomePage());
    }
    EXPECT_EQ(regional.size(), 13u) << "every region has a site of its own";
    EXPECT_EQ(regional.count(main), 0u);
    for (const auto& site : regional) {
        EXPECT_EQ(site.rfind(L"https://", 0), 0u) << site;
        EXPECT_EQ(site.back(), L'/') << site;
    }
    for (const wchar_t* code : {L"en", L"br", L"it", L"tr", L"", L"TW"}) {
        EXPECT_EQ(Configured(Edition::Player9, code).config.getHomePage(), main) << code;
    }
    EXPECT_EQ(Configured(Edition::Player9, L"kr").config.getHomePage(),
              https(deployedFor(values.regionalWebSiteHosts, L"kr"), L"/"));
}

TEST(ConfigImpTest, JumpUrlOtherThanDefaultIsTheCommunityPage) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L""},
        {L"https://event.tamrix.test/kr", L"https://event.tamrix.test/kr"},
        {L"0", L"0"},
        {L"000", L"000"},
    };
    for (const auto& [jump, expected] : cases) {
        for (const wchar_t* language : {L"en", L"kr", L"cn"}) {
            ConfigImp config;
            config.setLanguage(language);
            config.setJumpUrl(jump);
            EXPECT_EQ(config.getHomePage2(), expected) << jump << L" / " << language;
        }
    }
}

TEST(ConfigImpTest, DefaultJumpUrlGivesTheLanguagesCommunityPage) {
    const auto& values = deployment::values();
    const std::wstring mainChat(values.mainCommunityPage);
    auto pageOf = [](const wchar_t* language, bool setExplicitly) {
        ConfigImp config;
        config.setLanguage(language);
        if (setExplicitly) config.setJumpUrl(L"00");
        return config.getHomePage2();
    };
    for (bool explicitDefault : {false, true}) {
        for (const wchar_t* code : {L"cn", L"id", L"fr", L"en", L"br", L"de", L"ar", L""}) {
            EXPECT_EQ(pageOf(code, explicitDefault), mainChat) << code;
        }
        const std::wstring es = pageOf(L"es", explicitDefault);
        const std::wstring jp = pageOf(L"jp", explicitDefault);
        EXPECT_NE(es, mainChat);
        EXPECT_NE(jp, mainChat);
        EXPECT_NE(es, jp);
        for (const wchar_t* code : {L"es", L"jp", L"tw", L"vn", L"th", L"pt", L"kr", L"ru"}) {
            const std::wstring page = deployedFor(values.communityPages, code);
            EXPECT_FALSE(page.empty()) << code;
            EXPECT_EQ(pageOf(code, explicitDefault), page) << code;
        }
    }
}

TEST(ConfigImpTest, BrowserDownloadIsDomesticSiteForCnElseFileSharingLink) {
    const auto& values = deployment::values();
    EXPECT_EQ(Configured(Edition::Player9, L"cn").config.getBrowserDownloadUrl(),
              L"http://" + std::wstring(values.domesticWebSiteHost) + L"/");
    for (const wchar_t* code : {L"en", L"tw", L"kr", L"br", L""}) {
        EXPECT_EQ(Configured(Edition::Player9, code).config.getBrowserDownloadUrl(),
                  std::wstring(values.fileSharingLink))
            << code;
    }
}

TEST(ConfigImpTest, LicencePageIsOnTheVendorSite) {
    EXPECT_EQ(ConfigImp().getLicensePageUrl(),
              https(deployment::values().licencePageHost, L"/other/protocol.html"));
}

TEST(ConfigImpTest, AnalyticsPropertyByLanguageGroup) {
    auto pairOf = [](const wchar_t* language) {
        Configured c(Edition::Player9, language);
        return std::make_pair(c.config.getMeasurementId(), c.config.getApiSecret());
    };
    const auto fallback = pairOf(L"en");
    EXPECT_EQ(pairOf(L"cn"), pairOf(L"tw"));

    std::set<std::pair<std::wstring, std::wstring>> pairs{fallback, pairOf(L"tw")};
    for (const wchar_t* code :
         {L"kr", L"vn", L"th", L"ru", L"pt", L"jp", L"id", L"fr", L"es", L"de", L"ar", L"fa"}) {
        pairs.insert(pairOf(code));
    }
    EXPECT_EQ(pairs.size(), 14u);
    for (const wchar_t* code : {L"br", L"it", L"tr", L"in", L"", L"KR"}) {
        EXPECT_EQ(pairOf(code), fallback) << code;
    }
    EXPECT_EQ(fallback.first,
              std::wstring(deployment::values().defaultAnalyticsProperty.measurementId));
    for (const auto& row : deployment::values().analyticsProperties) {
        EXPECT_EQ(pairOf(std::wstring(row.language).c_str()),
                  std::make_pair(std::wstring(row.measurementId), std::wstring(row.apiSecret)));
    }
}

}  // namespace
