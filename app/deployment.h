// The deployment's values: every host, web address, analytics property, signing salt and signer
// name that differs between deployments of the installer. They are compiled in and kept in this
// one place; the rest of the program builds its addresses from them (mostly through ConfigImp).
#pragma once

#include <span>
#include <string_view>

namespace deployment {

// A text chosen by language code (exact, case-sensitive match).
struct LanguageText {
    std::wstring_view language;
    std::wstring_view text;
};

// One analytics property: measurement id ("G-" and 10 upper-case letters or digits) and its
// API secret (22 characters of the URL-safe base64 alphabet).
struct AnalyticsProperty {
    std::wstring_view language;
    std::wstring_view measurementId;
    std::wstring_view apiSecret;
};

struct Values {
    // Content and service hosts by role (host names only, no scheme).
    std::wstring_view cdnHost;               // version document, packages, package documents
    std::wstring_view spareResourceHost;     // second host for the version document and packages
    std::wstring_view domesticResourceHost;  // package documents for the "cn" language
    std::wstring_view serviceDomain;         // the channel service runs on "api<language>." + this
    std::wstring_view collectionHost;        // event uploads
    std::wstring_view analyticsHost;         // measurement-protocol posts

    // Web sites (host names; served over HTTPS unless noted).
    std::wstring_view mainWebSiteHost;
    std::wstring_view domesticWebSiteHost;  // plain HTTP
    std::wstring_view licencePageHost;
    std::span<const LanguageText> regionalWebSiteHosts;  // by region code

    // Community pages (full addresses) and the direct-download link of the offline installer.
    std::wstring_view mainCommunityPage;
    std::span<const LanguageText> communityPages;  // languages with a page of their own
    std::wstring_view fileSharingLink;

    // Analytics properties by region code, and the one every other language uses.
    std::span<const AnalyticsProperty> analyticsProperties;
    AnalyticsProperty defaultAnalyticsProperty;

    // Salt of the event upload signature: eight lower-case letters and "*".
    std::string_view signingSalt;

    // Common name of the certificate that signs the offline installer, whose Authenticode
    // signature is checked before it runs; empty for builds that ship unsigned installers (no
    // check).
    std::wstring_view installerSigner;
};

// The compiled-in values of this deployment.
const Values& values();

}  // namespace deployment
