#include "app/deployment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const deployment::Values& values() {
    return deployment::values();
}

bool isTestHostName(std::wstring_view host) {
    const bool allowed = std::ranges::all_of(host, [](wchar_t ch) {
        return (ch >= L'a' && ch <= L'z') || (ch >= L'0' && ch <= L'9') || ch == L'.' || ch == L'-';
    });
    return allowed && !host.starts_with(L".") && host.find(L"..") == std::wstring_view::npos &&
           host.ends_with(L".test");
}

// The host of an absolute address with the given scheme; empty when it has another form.
std::wstring_view hostOf(std::wstring_view url, std::wstring_view scheme) {
    if (!url.starts_with(scheme)) return {};
    url.remove_prefix(scheme.size());
    return url.substr(0, url.find(L'/'));
}

TEST(DeploymentTest, EveryHostIsANameUnderTheTestDomain) {
    const std::wstring_view hosts[] = {
        values().cdnHost,         values().spareResourceHost,   values().domesticResourceHost,
        values().serviceDomain,   values().collectionHost,      values().analyticsHost,
        values().mainWebSiteHost, values().domesticWebSiteHost, values().licencePageHost,
    };
    for (const auto host : hosts) EXPECT_TRUE(isTestHostName(host)) << std::wstring(host);
    for (const auto& site : values().regionalWebSiteHosts) {
        EXPECT_TRUE(isTestHostName(site.text)) << std::wstring(site.language);
    }
    EXPECT_NE(values().cdnHost, values().spareResourceHost) << "the spare host must be another one";
}

TEST(DeploymentTest, RegionalSitesCoverEveryRegionOnce) {
    const std::set<std::wstring_view> expected{L"tw", L"kr", L"vn", L"th", L"ru", L"pt", L"id",
                                               L"es", L"fr", L"jp", L"ar", L"fa", L"de"};
    std::set<std::wstring_view> regions, hosts;
    for (const auto& site : values().regionalWebSiteHosts) {
        regions.insert(site.language);
        hosts.insert(site.text);
    }
    EXPECT_EQ(regions, expected);
    EXPECT_EQ(hosts.size(), values().regionalWebSiteHosts.size());
    EXPECT_EQ(hosts.count(values().mainWebSiteHost), 0u);
}

TEST(DeploymentTest, PagesAndLinksAreHttpsAddressesUnderTheTestDomain) {
    std::set<std::wstring_view> pages{values().mainCommunityPage};
    EXPECT_TRUE(isTestHostName(hostOf(values().mainCommunityPage, L"https://")));
    EXPECT_TRUE(isTestHostName(hostOf(values().fileSharingLink, L"https://")));
    for (const auto& page : values().communityPages) {
        EXPECT_TRUE(isTestHostName(hostOf(page.text, L"https://"))) << std::wstring(page.language);
        pages.insert(page.text);
    }
    EXPECT_EQ(pages.size(), values().communityPages.size() + 1) << "pages must be distinct";
}

TEST(DeploymentTest, AnalyticsPropertiesHaveTheStatedForms) {
    std::vector<deployment::AnalyticsProperty> all(values().analyticsProperties.begin(),
                                                   values().analyticsProperties.end());
    all.push_back(values().defaultAnalyticsProperty);
    ASSERT_EQ(all.size(), 14u);

    std::set<std::wstring_view> ids, secrets, languages;
    for (const auto& property : all) {
        SCOPED_TRACE(std::wstring(property.language));
        const auto id = property.measurementId;
        ASSERT_EQ(id.size(), 12u);
        EXPECT_TRUE(id.starts_with(L"G-"));
        EXPECT_TRUE(std::ranges::all_of(id.substr(2), [](wchar_t ch) {
            return (ch >= L'A' && ch <= L'Z') || (ch >= L'0' && ch <= L'9');
        })) << std::wstring(id);
        EXPECT_EQ(property.apiSecret.size(), 22u);
        EXPECT_TRUE(std::ranges::all_of(property.apiSecret, [](wchar_t ch) {
            return (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z') ||
                   (ch >= L'0' && ch <= L'9') || ch == L'-' || ch == L'_';
        })) << std::wstring(property.apiSecret);
        ids.insert(id);
        secrets.insert(property.apiSecret);
        languages.insert(property.language);
    }
    EXPECT_EQ(ids.size(), 14u);
    EXPECT_EQ(secrets.size(), 14u);
    EXPECT_EQ(languages.size(), 14u) << "one row per language group";
}

TEST(DeploymentTest, SigningSaltIsEightLowerCaseLettersAndAStar) {
    const auto salt = values().signingSalt;
    ASSERT_EQ(salt.size(), 9u);
    EXPECT_TRUE(std::ranges::all_of(salt.substr(0, 8), [](char ch) {
        return ch >= 'a' && ch <= 'z';
    })) << std::string(salt);
    EXPECT_EQ(salt.back(), '*');
}

}  // namespace
