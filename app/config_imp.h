// The installer's built-in configuration: the edition this run installs, the language the
// service endpoints and analytics properties are chosen for, and every fixed address, file name,
// folder name and registry location that follows from them.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>

class ConfigImp {
public:
    enum class Edition { Player3, Player4, Player64, Player9 };

    // The process-wide configuration, created with the defaults on first use and never destroyed.
    static ConfigImp& instance();

    // A configuration with the defaults; the program uses instance(), tests make their own.
    ConfigImp() = default;
    ConfigImp(const ConfigImp&) = delete;
    ConfigImp& operator=(const ConfigImp&) = delete;

    // Edition. Exactly one is selected; edition 9 by default.
    void setPlayer4();
    void setPlayer64();
    void setPlayer3();
    void setPlayer9();
    Edition getEdition() const { return edition_.load(); }
    bool isPlayer4() const { return getEdition() == Edition::Player4; }
    bool isPlayer64() const { return getEdition() == Edition::Player64; }
    bool isPlayer9() const { return getEdition() == Edition::Player9; }

    // Configuration language ("en" by default; "cn" selects the domestic variants).
    const std::wstring& getLanguage() const { return language_; }
    void setLanguage(std::wstring language) { language_ = std::move(language); }

    // Advertising label; only logged.
    const std::wstring& getAdLabel() const { return adLabel_; }
    void setAdLabel(std::wstring label) { adLabel_ = std::move(label); }

    // Flags describing the running package download attempt.
    bool isSpareUrl() const { return spareUrl_.load(); }
    void setSpareUrl(bool inUse) { spareUrl_.store(inUse); }
    bool isSystemHttp() const { return systemHttp_.load(); }
    void setSystemHttp(bool inUse) { systemHttp_.store(inUse); }

    // Jump URL from the version document: "00" stands for the language's community page.
    const std::wstring& getJumpUrl() const { return jumpUrl_; }
    void setJumpUrl(const std::wstring& url);

    // Version information and package downloads.
    std::wstring getPlayerInfoUrl() const;
    std::wstring getPlayerInfoSpareUrl() const;
    std::wstring getPackageUrl() const;
    std::wstring getPackageSpareUrl() const;
    std::wstring getOpenIdConfigUrl(const std::wstring& openId) const;
    // The customer document with the install error dialog's help texts.
    std::wstring getCustomerUrl() const;
    // Channel service address up to "?m="; the caller appends the PC identity.
    std::wstring getChannelUrl() const;

    // Files, folders and registry.
    std::wstring getPackageFile() const;
    std::wstring getInstallerPath(const std::wstring& folder) const;
    std::wstring getInstallFolderName() const;
    std::wstring getDefaultInstallSubPath() const;
    std::wstring getRegistryKey() const;
    std::wstring getLanguageFile() const;
    std::wstring getProductName() const;
    // Common name that must have signed the offline installer; empty: signatures are not checked.
    std::wstring getInstallerSigner() const;

    // Web pages.
    std::wstring getHomePage() const;
    std::wstring getHomePage2() const;
    std::wstring getBrowserDownloadUrl() const;
    std::wstring getLicensePageUrl() const;

    // Analytics property of the configuration language.
    std::wstring getMeasurementId() const;
    std::wstring getApiSecret() const;

    // Longest text getChannelUrl returns; longer results are cut to this length.
    static constexpr std::size_t kChannelUrlMaxLength = 255;

private:
    bool isDomestic() const { return language_ == L"cn"; }

    // The edition and the download flags are read by worker threads (the reporter, the
    // download thread) while the UI thread may switch them, hence atomic.
    std::atomic<Edition> edition_{Edition::Player9};
    std::atomic<bool> spareUrl_{false};
    std::atomic<bool> systemHttp_{true};
    std::wstring language_{L"en"};
    std::wstring adLabel_{L"Downloader"};
    std::wstring jumpUrl_{L"00"};
};
