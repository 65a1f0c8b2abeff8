#include "hosts.h"

#include <algorithm>
#include <array>

#include "app/deployment.h"

namespace vendor_double {
namespace {

// Host names are ASCII; the deployment keeps them wide for the Windows program.
std::string narrow(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out.push_back(static_cast<char>(c));
    return out;
}

// Every code the installer's configuration language can take from the file name or the
// language selection: the user-interface short codes plus "br".
constexpr std::array<std::string_view, 21> kLanguageCodes{
    "cn", "tw", "en", "kr", "vn", "th", "ru", "pt", "tr", "es", "ar",
    "jp", "fa", "in", "de", "fr", "id", "it", "my", "ua", "br",
};

std::string channelHost(std::string_view language) {
    return "api" + std::string(language) + "." + narrow(deployment::values().serviceDomain);
}

std::vector<std::string> buildChannelLanguages() {
    std::vector<std::string> languages(kLanguageCodes.begin(), kLanguageCodes.end());
    for (const auto& site : deployment::values().regionalWebSiteHosts)
        languages.push_back(narrow(site.language));
    for (const auto& property : deployment::values().analyticsProperties)
        languages.push_back(narrow(property.language));
    std::sort(languages.begin(), languages.end());
    languages.erase(std::unique(languages.begin(), languages.end()), languages.end());
    return languages;
}

std::vector<std::string> buildHosts() {
    const auto& v = deployment::values();
    std::vector<std::string> hosts{
        narrow(v.cdnHost),
        narrow(v.spareResourceHost),
        narrow(v.domesticResourceHost),
        narrow(v.collectionHost),
        narrow(v.analyticsHost),
        narrow(v.mainWebSiteHost),
        narrow(v.licencePageHost),
        narrow(v.domesticWebSiteHost),
        hostOfUrl(narrow(v.mainCommunityPage)),
        hostOfUrl(narrow(v.fileSharingLink)),
    };
    for (const auto& site : v.regionalWebSiteHosts) hosts.push_back(narrow(site.text));
    for (const auto& page : v.communityPages) hosts.push_back(hostOfUrl(narrow(page.text)));
    for (const auto& language : channelLanguages()) hosts.push_back(channelHost(language));
    for (auto& host : hosts) host = lowerAscii(host);
    std::sort(hosts.begin(), hosts.end());
    hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
    hosts.erase(std::remove(hosts.begin(), hosts.end(), std::string()), hosts.end());
    return hosts;
}

bool sameHost(std::string_view host, std::wstring_view deploymentHost) {
    return lowerAscii(host) == lowerAscii(narrow(deploymentHost));
}

}  // namespace

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string hostOfUrl(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    url.remove_prefix(scheme + 3);
    const auto end = url.find_first_of("/:?#");
    return std::string(url.substr(0, end));
}

const std::vector<std::string>& channelLanguages() {
    static const std::vector<std::string> languages = buildChannelLanguages();
    return languages;
}

const std::vector<std::string>& vendorHosts() {
    static const std::vector<std::string> hosts = buildHosts();
    return hosts;
}

std::string channelLanguage(std::string_view host) {
    const std::string lower = lowerAscii(host);
    const std::string suffix = "." + lowerAscii(narrow(deployment::values().serviceDomain));
    if (lower.size() <= suffix.size() + 3 || lower.compare(0, 3, "api") != 0 ||
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0)
        return {};
    std::string language = lower.substr(3, lower.size() - suffix.size() - 3);
    const auto& known = channelLanguages();
    return std::find(known.begin(), known.end(), language) != known.end() ? language
                                                                          : std::string();
}

HostRole roleOf(std::string_view host) {
    const auto& v = deployment::values();
    if (sameHost(host, v.cdnHost)) return HostRole::Cdn;
    if (sameHost(host, v.spareResourceHost)) return HostRole::SpareResource;
    if (sameHost(host, v.domesticResourceHost)) return HostRole::DomesticResource;
    if (sameHost(host, v.collectionHost)) return HostRole::Collection;
    if (sameHost(host, v.analyticsHost)) return HostRole::Analytics;
    if (sameHost(host, v.domesticWebSiteHost)) return HostRole::DomesticWebSite;
    if (!channelLanguage(host).empty()) return HostRole::Channel;
    if (sameHost(host, v.mainWebSiteHost) || sameHost(host, v.licencePageHost))
        return HostRole::WebSite;
    for (const auto& site : v.regionalWebSiteHosts)
        if (sameHost(host, site.text)) return HostRole::WebSite;
    const std::string lower = lowerAscii(host);
    if (lower == lowerAscii(hostOfUrl(narrow(v.fileSharingLink)))) return HostRole::FileSharing;
    if (lower == lowerAscii(hostOfUrl(narrow(v.mainCommunityPage)))) return HostRole::Community;
    for (const auto& page : v.communityPages)
        if (lower == lowerAscii(hostOfUrl(narrow(page.text)))) return HostRole::Community;
    return HostRole::Unknown;
}

std::string cdnHost() {
    return narrow(deployment::values().cdnHost);
}

std::string spareResourceHost() {
    return narrow(deployment::values().spareResourceHost);
}

std::string mainWebSiteHost() {
    return narrow(deployment::values().mainWebSiteHost);
}

std::string regionalWebSiteHost(std::string_view language) {
    for (const auto& site : deployment::values().regionalWebSiteHosts)
        if (narrow(site.language) == language) return narrow(site.text);
    return mainWebSiteHost();
}

std::string communityPage(std::string_view language) {
    for (const auto& page : deployment::values().communityPages)
        if (narrow(page.language) == language) return narrow(page.text);
    return narrow(deployment::values().mainCommunityPage);
}

const std::vector<AnalyticsPropertyText>& analyticsProperties() {
    static const std::vector<AnalyticsPropertyText> properties = [] {
        std::vector<AnalyticsPropertyText> list;
        const auto add = [&](const deployment::AnalyticsProperty& p) {
            list.push_back({narrow(p.language), narrow(p.measurementId), narrow(p.apiSecret)});
        };
        for (const auto& property : deployment::values().analyticsProperties) add(property);
        add(deployment::values().defaultAnalyticsProperty);
        return list;
    }();
    return properties;
}

std::string signingSalt() {
    return std::string(deployment::values().signingSalt);
}

std::string installerSigner() {
    return narrow(deployment::values().installerSigner);
}

}  // namespace vendor_double
