// The vendor's host names as the world serves them, all taken from the deployment table, and the
// role each one plays.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vendor_double {

enum class HostRole {
    Unknown,
    Cdn,               // version document, packages, package documents, game files
    SpareResource,     // second host for the version document and packages
    DomesticResource,  // package documents for "cn"
    Channel,           // "api<language>." + service domain
    Collection,        // event uploads
    Analytics,         // measurement-protocol posts
    WebSite,           // main, regional and licence pages
    DomesticWebSite,   // plain HTTP
    Community,         // community pages
    FileSharing,       // direct download of the offline installer
};

// Every host name the world resolves to the double, sorted and without repeats (lower case).
const std::vector<std::string>& vendorHosts();

// The role of a host name (compared case-insensitively); Unknown for anything else.
HostRole roleOf(std::string_view host);

// The language of a channel host ("apikr.<domain>" gives "kr"); empty for other hosts.
std::string channelLanguage(std::string_view host);

// Host names narrowed from the deployment's wide texts, for documents the double serves.
std::string cdnHost();
std::string spareResourceHost();
std::string mainWebSiteHost();
std::string regionalWebSiteHost(std::string_view language);  // main site when none
std::string communityPage(std::string_view language);        // full address
std::string signingSalt();
// The common name the vendor signs its installers with.
std::string installerSigner();

// One analytics property of the deployment; language empty for the default one.
struct AnalyticsPropertyText {
    std::string language;
    std::string measurementId;
    std::string apiSecret;
};
const std::vector<AnalyticsPropertyText>& analyticsProperties();

// The language codes whose channel host the world serves.
const std::vector<std::string>& channelLanguages();

// The host part of an address ("https://host/path" gives "host"); empty when there is none.
std::string hostOfUrl(std::string_view url);

// ASCII lower case.
std::string lowerAscii(std::string_view text);

}  // namespace vendor_double
