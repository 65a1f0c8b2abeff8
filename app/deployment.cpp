#include "app/deployment.h"

#include <array>

namespace deployment {
namespace {

constexpr std::array<LanguageText, 13> kRegionalWebSiteHosts{{
    {L"tw", L"tw.tamrix.test"},
    {L"kr", L"kr.tamrix.test"},
    {L"vn", L"vn.tamrix.test"},
    {L"th", L"th.tamrix.test"},
    {L"ru", L"ru.tamrix.test"},
    {L"pt", L"pt.tamrix.test"},
    {L"id", L"id.tamrix.test"},
    {L"es", L"es.tamrix.test"},
    {L"fr", L"fr.tamrix.test"},
    {L"jp", L"jp.tamrix.test"},
    {L"ar", L"ar.tamrix.test"},
    {L"fa", L"fa.tamrix.test"},
    {L"de", L"de.tamrix.test"},
}};

constexpr std::array<LanguageText, 8> kCommunityPages{{
    {L"es", L"https://chat.messenger.test/invite/tamrix-es"},
    {L"jp", L"https://chat.messenger.test/invite/tamrix-jp"},
    {L"tw", L"https://www.social.test/TamrixTW"},
    {L"vn", L"https://www.social.test/TamrixVN"},
    {L"th", L"https://www.social.test/TamrixTH"},
    {L"pt", L"https://www.social.test/TamrixPT"},
    {L"kr", L"https://forum.portal.test/tamrix"},
    {L"ru", L"https://social2.test/tamrix_ru"},
}};

constexpr std::array<AnalyticsProperty, 13> kAnalyticsProperties{{
    {L"tw", L"G-QBSQW8I2OV", L"ahS5Tr961GS8B4DzTdhvTi"},
    {L"kr", L"G-9BUHN7KB6T", L"VeNPeQfEbxR4OuluiSDQnM"},
    {L"vn", L"G-87OU3261C3", L"wE3XF_ttAc9qf7CdMZhe7F"},
    {L"th", L"G-B3DX7BYRAW", L"OIrM-oCzfK2MJ-UALAQuf-"},
    {L"ru", L"G-44VZ298FYJ", L"Wsk33EQxbyV1P0ZwpaKPmE"},
    {L"pt", L"G-NMXRGBJP27", L"2PkYsNAX5j6o5WznFANEks"},
    {L"jp", L"G-T9ET3DNS9T", L"5K8yuP7sp31J2H8Jsg_4om"},
    {L"id", L"G-CK7P6E7XMY", L"u4s93k2Qq6SgexsIgieg1X"},
    {L"fr", L"G-TNOAVZ3YFH", L"yW17_fp3VLus4a7FgtWnN4"},
    {L"es", L"G-JEXZQ9M4SO", L"XYCPXU8hb47ewVAnLDlp42"},
    {L"de", L"G-X0XSCS5PUK", L"_U_da5StK4_0D0kllfphoH"},
    {L"ar", L"G-72XYDEDIYI", L"pQKwOvH9aCXbc7GWoFzqOY"},
    {L"fa", L"G-EGAW7PXDPU", L"anY_tUqrScYzGTx1FmODMy"},
}};

constexpr Values kValues{
    .cdnHost = L"cdn.tamrix.test",
    .spareResourceHost = L"res2.tamrix.test",
    .domesticResourceHost = L"res.sarvel.test",
    .serviceDomain = L"tamrix.test",
    .collectionHost = L"collect.tamrix.test",
    .analyticsHost = L"analytics.metrics.test",
    .mainWebSiteHost = L"www.tamrix.test",
    .domesticWebSiteHost = L"www.sarvel.test",
    .licencePageHost = L"www.tamrix.test",
    .regionalWebSiteHosts = kRegionalWebSiteHosts,
    .mainCommunityPage = L"https://chat.messenger.test/invite/tamrix",
    .communityPages = kCommunityPages,
    .fileSharingLink = L"https://files.share.test/uc?export=download&id=TamrixOfflineSetup",
    .analyticsProperties = kAnalyticsProperties,
    .defaultAnalyticsProperty = {L"", L"G-XBSGNAEEZI", L"7ZSu6HTBekm7zFyGmhmfTh"},
    .signingSalt = "onlfqlhq*",
    .installerSigner = L"Vorlund Interactive Ltd",
};

}  // namespace

const Values& values() {
    return kValues;
}

}  // namespace deployment
