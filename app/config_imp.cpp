#include "app/config_imp.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "app/deployment.h"
#include "utility/log.h"

namespace {

using deployment::LanguageText;

constexpr std::wstring_view kPlayerInfoPath = L"/player_files/en/sarvel";
constexpr std::wstring_view kPackagePath = L"/download/package/";
constexpr std::wstring_view kOpenIdConfigPath = L"/player_files/openidconfig/";
constexpr std::wstring_view kCustomerPath = L"/player_files/en/sarvelex";
constexpr std::wstring_view kChannelPath = L"/check/machine/channel?m=";
constexpr std::wstring_view kLicencePath = L"/other/protocol.html";

// Languages that ship a language file of their own; every other one uses "en".
constexpr std::array<std::wstring_view, 15> kLanguageFileCodes{L"cn", L"tw", L"kr", L"vn", L"th",
                                                               L"ru", L"pt", L"fr", L"jp", L"es",
                                                               L"id", L"ar", L"fa", L"tr", L"de"};

std::wstring httpsUrl(std::wstring_view host, std::wstring_view path) {
    std::wstring url(L"https://");
    url.append(host).append(path);
    return url;
}

std::wstring_view findText(std::span<const LanguageText> table, std::wstring_view language,
                           std::wstring_view fallback) {
    const auto it = std::ranges::find(table, language, &LanguageText::language);
    return it == table.end() ? fallback : it->text;
}

// The domestic language shares the regional web site and analytics property of "tw".
std::wstring_view regionOf(const std::wstring& language) {
    return language == L"cn" ? std::wstring_view(L"tw") : std::wstring_view(language);
}

const deployment::AnalyticsProperty& analyticsProperty(const std::wstring& language) {
    const auto& values = deployment::values();
    const auto it = std::ranges::find(values.analyticsProperties, regionOf(language),
                                      &deployment::AnalyticsProperty::language);
    return it == values.analyticsProperties.end() ? values.defaultAnalyticsProperty : *it;
}

}  // namespace

ConfigImp& ConfigImp::instance() {
    static ConfigImp config;
    return config;
}

void ConfigImp::setPlayer4() {
    LOG_AT("ConfigImp::setPlayer4", L"player is 4");
    edition_.store(Edition::Player4);
}

void ConfigImp::setPlayer64() {
    LOG_AT("ConfigImp::setPlayer64", L"player is 64");
    edition_.store(Edition::Player64);
}

void ConfigImp::setPlayer3() {
    edition_.store(Edition::Player3);
}

void ConfigImp::setPlayer9() {
    edition_.store(Edition::Player9);
}

void ConfigImp::setJumpUrl(const std::wstring& url) {
    LOG_AT("ConfigImp::setJumpUrl", L"jump url is:%s", url.c_str());
    jumpUrl_ = url;
}

std::wstring ConfigImp::getPlayerInfoUrl() const {
    return httpsUrl(deployment::values().cdnHost, kPlayerInfoPath);
}

std::wstring ConfigImp::getPlayerInfoSpareUrl() const {
    return httpsUrl(deployment::values().spareResourceHost, kPlayerInfoPath);
}

std::wstring ConfigImp::getPackageUrl() const {
    return httpsUrl(deployment::values().cdnHost, kPackagePath) + getPackageFile();
}

std::wstring ConfigImp::getPackageSpareUrl() const {
    return httpsUrl(deployment::values().spareResourceHost, kPackagePath) + getPackageFile();
}

std::wstring ConfigImp::getOpenIdConfigUrl(const std::wstring& openId) const {
    const auto& values = deployment::values();
    const auto host = isDomestic() ? values.domesticResourceHost : values.cdnHost;
    return httpsUrl(host, kOpenIdConfigPath) + openId + L".data";
}

std::wstring ConfigImp::getCustomerUrl() const {
    return httpsUrl(deployment::values().cdnHost, kCustomerPath);
}

std::wstring ConfigImp::getChannelUrl() const {
    std::wstring host(L"api");
    host.append(language_).append(L".").append(deployment::values().serviceDomain);
    std::wstring url = httpsUrl(host, kChannelPath);
    // The address has always been bounded by a 256-character buffer; a language set at run
    // time must not make it grow past that.
    if (url.size() > kChannelUrlMaxLength) url.resize(kChannelUrlMaxLength);
    return url;
}

std::wstring ConfigImp::getPackageFile() const {
    switch (getEdition()) {
        case Edition::Player4:
            return L"Tamrix4.0.exe";
        case Edition::Player64:
            return L"Tamrix64.exe";
        case Edition::Player9:
            return L"Tamrix9.0.exe";
        case Edition::Player3:
            break;
    }
    return L"Tamrix3.0.exe";
}

std::wstring ConfigImp::getInstallerPath(const std::wstring& folder) const {
    return folder + (isDomestic() ? L"\\txinst.exe" : L"\\Tamrix.exe");
}

std::wstring ConfigImp::getInstallFolderName() const {
    switch (getEdition()) {
        case Edition::Player4:
            return isDomestic() ? L"Tamrix4.0\\" : L"4.0\\";
        case Edition::Player64:
            return L"Tamrix64\\";
        case Edition::Player9:
            return L"Tamrix9\\";
        case Edition::Player3:
            break;
    }
    return L"Tamrix3.0\\";
}

std::wstring ConfigImp::getDefaultInstallSubPath() const {
    std::wstring path = isDomestic() ? L"Sarvel\\" : L"Tamrix\\";
    switch (getEdition()) {
        case Edition::Player4:
            return path + L"Tamrix4.0\\";
        case Edition::Player64:
            return path + L"Tamrix64\\";
        case Edition::Player9:
            return path + L"Tamrix9\\";
        case Edition::Player3:
            break;
    }
    return path + L"Tamrix3.0\\";
}

std::wstring ConfigImp::getRegistryKey() const {
    const bool domestic = isDomestic();
    switch (getEdition()) {
        case Edition::Player4:
            return domestic ? L"Software\\sarvel\\Tamrix" : L"Software\\Vorlund\\Tamrix";
        case Edition::Player64:
            return domestic ? L"Software\\sarvel\\Tamrix64" : L"Software\\Vorlund\\Tamrix64";
        case Edition::Player9:
            return domestic ? L"Software\\sarvel\\Tamrix9" : L"Software\\Vorlund\\Tamrix9";
        case Edition::Player3:
            break;
    }
    return domestic ? L"Software\\Quenmar2\\gxplayer" : L"Software\\Quenmar\\Tamrix";
}

std::wstring ConfigImp::getLanguageFile() const {
    const bool known = std::ranges::find(kLanguageFileCodes, language_) != kLanguageFileCodes.end();
    return L"language\\downloader_" + (known ? language_ : std::wstring(L"en")) + L".xml";
}

std::wstring ConfigImp::getProductName() const {
    return L"Tamrix";
}

std::wstring ConfigImp::getInstallerSigner() const {
    return std::wstring(deployment::values().installerSigner);
}

std::wstring ConfigImp::getHomePage() const {
    const auto& values = deployment::values();
    return httpsUrl(
        findText(values.regionalWebSiteHosts, regionOf(language_), values.mainWebSiteHost), L"/");
}

std::wstring ConfigImp::getHomePage2() const {
    LOG_AT("ConfigImp::getHomePage2", L"jump url: %s", jumpUrl_.c_str());
    if (jumpUrl_ != L"00") return jumpUrl_;  // also the empty text: no community page
    const auto& values = deployment::values();
    return std::wstring(findText(values.communityPages, language_, values.mainCommunityPage));
}

std::wstring ConfigImp::getBrowserDownloadUrl() const {
    const auto& values = deployment::values();
    if (isDomestic()) return L"http://" + std::wstring(values.domesticWebSiteHost) + L"/";
    return std::wstring(values.fileSharingLink);
}

std::wstring ConfigImp::getLicensePageUrl() const {
    return httpsUrl(deployment::values().licencePageHost, kLicencePath);
}

std::wstring ConfigImp::getMeasurementId() const {
    return std::wstring(analyticsProperty(language_).measurementId);
}

std::wstring ConfigImp::getApiSecret() const {
    return std::wstring(analyticsProperty(language_).apiSecret);
}
