// The installer on a network that lets only a proxy through, as users at work or school have
// it: the machine's Internet settings name a real proxy (a fixed one with a bypass list, or an
// auto-config file), the direct route to the vendor's hosts is closed, and every request the
// installer makes (lookups, package download on both clients, telemetry) reaches the double
// through the proxy alone; a proxy that goes away mid-run makes the next attempts and the
// telemetry fail without anything hanging; with no proxy set, nothing changes. The real
// TamrixInstaller.exe in the world, driven as a person drives it, judged by its windows, its log,
// the proxy's log and the double's records.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/deployment.h"
#include "tests/support/installer_support.h"
#include "tests/support/proxy_support.h"
#include "tests/support/world_support.h"
#include "utility/text.h"

namespace {

using installer::Installer;
using testing_support::proxy::InternetSettings;
using testing_support::world::readStandinRuns;
using testing_support::world::writeScenario;

constexpr char kProxyTag[] = "net_proxy::MachineProxy";

std::string host(std::wstring_view name) {
    return utility::wideToUtf8(std::wstring(name));
}
const std::string kCollection = host(deployment::values().collectionHost);
const std::string kAnalytics = host(deployment::values().analyticsHost);
const std::string kCdn = road::cdnHost();

InternetSettings fixedProxy(const std::wstring& bypass = {}) {
    InternetSettings settings;
    settings.proxy = L"127.0.0.1:3128";
    settings.bypass = bypass;
    return settings;
}

InternetSettings autoConfig(const std::wstring& url) {
    InternetSettings settings;
    settings.autoConfigUrl = url;
    return settings;
}

bool tunnelled(const std::vector<std::string>& connects, const std::string& name) {
    return std::find(connects.begin(), connects.end(), name + ":443") != connects.end();
}

std::size_t uploadsTo(const road::Run& result, const std::string& name) {
    std::size_t count = 0;
    for (const auto& request : result.requests) count += request.host == name ? 1 : 0;
    return count;
}

class InstallerProxy : public installer::InstallerTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(testing_support::proxy::clearInternetSettings());
        InstallerTest::TearDown();
    }
    // Presses Install on the start page; the main window, null on failure.
    HWND pressInstall(Installer& run) {
        HWND main = run.waitForWindow(installer::kMainWindow);
        if (!main) return nullptr;
        const auto install = installer::waitInstallButton(run, main);
        return install && run.click(*install) ? main : nullptr;
    }
    // A whole default run: install, emulator started, the run ended.
    road::Run installs() {
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        EXPECT_TRUE(pressInstall(run));
        EXPECT_EQ(run.waitExit(120000), 0);
        return run.record();
    }
    testing_support::proxy::WorldProxy proxy_;
};

TEST_F(InstallerProxy, WithoutAProxyEverythingGoesDirectAsBefore) {
    ASSERT_TRUE(testing_support::proxy::clearInternetSettings());
    const auto result = installs();
    EXPECT_EQ(readStandinRuns("installer").size(), installerStart_ + 1);
    EXPECT_TRUE(result.logged(kProxyTag, "libcurl proxy: direct"));
    EXPECT_TRUE(result.logged(kProxyTag, "system client proxy: direct"));
    EXPECT_TRUE(result.allUploadsSigned());
}

// The system client's two attempts are refused, so that libcurl downloads the package too.
TEST_F(InstallerProxy, AFixedProxyCarriesEveryRequestOfBothClients) {
    ASSERT_TRUE(proxy_.start());
    ASSERT_TRUE(testing_support::proxy::writeInternetSettings(fixedProxy()));
    ASSERT_TRUE(writeScenario(R"({"rules": [{"host": "*", "path": "/download/package/*",)"
                              R"( "status": 503, "times": 2}]})"));
    const auto result = installs();
    EXPECT_EQ(readStandinRuns("installer").size(), installerStart_ + 1);
    EXPECT_TRUE(result.logged("DownloaderModel::_threadDownloadPlayer", "download by txcurl"));
    EXPECT_NE(result.logIndex(kProxyTag, "libcurl proxy: 127.0.0.1:3128, bypass"),
              std::string::npos);
    const auto connects = proxy_.connects();
    for (const auto& name : {kCdn, kCollection, kAnalytics}) {
        EXPECT_TRUE(tunnelled(connects, name)) << name << testing::PrintToString(connects);
    }
    EXPECT_TRUE(result.allUploadsSigned());
}

// The collection host is on the bypass list: its uploads go direct, and the closed direct route
// loses them, while the analytics posts still go through the proxy.
TEST_F(InstallerProxy, ABypassedHostIsNotSentToTheProxy) {
    ASSERT_TRUE(proxy_.start());
    ASSERT_TRUE(testing_support::proxy::writeInternetSettings(
        fixedProxy(utility::utf8ToWide(kCollection) + L";<local>")));
    const auto result = installs();
    EXPECT_EQ(readStandinRuns("installer").size(), installerStart_ + 1);
    const auto connects = proxy_.connects();
    EXPECT_FALSE(tunnelled(connects, kCollection)) << testing::PrintToString(connects);
    EXPECT_TRUE(tunnelled(connects, kAnalytics)) << testing::PrintToString(connects);
    EXPECT_EQ(uploadsTo(result, kCollection), 0u);
    EXPECT_GT(uploadsTo(result, kAnalytics), 0u);
    EXPECT_NE(result.logIndex("TxCurlDownloader::postRequest", "curl download error"),
              std::string::npos);
}

// The auto-config file comes from the office's server (the double, at its address); it sends the
// vendor's hosts to the proxy.
TEST_F(InstallerProxy, AnAutoConfigFileNamesTheProxyPerHost) {
    ASSERT_TRUE(proxy_.start());
    ASSERT_TRUE(
        writeScenario(R"({"rules": [{"host": "127.0.0.1", "path": "/proxy.pac", "body": {"text": )"
                      R"("function FindProxyForURL(url, host) { if (shExpMatch(host, \"*.test\")) )"
                      R"(return \"PROXY 127.0.0.1:3128\"; return \"DIRECT\"; }"},)"
                      R"( "contentType": "application/x-ns-proxy-autoconfig"}]})"));
    ASSERT_TRUE(
        testing_support::proxy::writeInternetSettings(autoConfig(L"http://127.0.0.1/proxy.pac")));
    const auto result = installs();
    EXPECT_EQ(readStandinRuns("installer").size(), installerStart_ + 1);
    EXPECT_TRUE(result.logged(kProxyTag,
                              "libcurl proxy: auto-config http://127.0.0.1/proxy.pac, per host"));
    EXPECT_TRUE(result.logged(kProxyTag, "proxy for https://" + kCollection + ": 127.0.0.1:3128"));
    EXPECT_TRUE(tunnelled(proxy_.connects(), kCollection));
    EXPECT_GT(uploadsTo(result, kCollection), 0u);
    EXPECT_TRUE(result.allUploadsSigned());
}

// The proxy ends while the package streams in: the remaining attempts fail at once, the user is
// told, the telemetry's uploads fail, and the run ends when the user answers.
TEST_F(InstallerProxy, AProxyThatGoesAwayMidRunFailsTheRestWithoutHanging) {
    ASSERT_TRUE(proxy_.start());
    ASSERT_TRUE(testing_support::proxy::writeInternetSettings(fixedProxy()));
    ASSERT_TRUE(writeScenario(
        R"({"rules": [{"host": "*", "path": "/download/package/*", "rateLimit": 1048576}]})"));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = pressInstall(run);
    ASSERT_TRUE(main);
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return installer::shownPercent(run, main) >= 1; }, 60000));
    ASSERT_TRUE(proxy_.stop());
    HWND box = run.waitForWindow(installer::kMessageBox, 60000);
    ASSERT_TRUE(box) << "the download failure was not shown";
    EXPECT_TRUE(run.waitElement(box, installer::englishText("download_error_tip2")));
    EXPECT_TRUE(run.waitForLog("TxCurlDownloader::postRequest", "curl download error", 60000));
    const auto no = installer::waitButton(run, box, installer::englishText("No"));
    ASSERT_TRUE(no);
    ASSERT_TRUE(run.click(*no));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_TRUE(result.logged("DownloaderModel::_threadDownloadPlayer", "download by txcurl too"));
    EXPECT_TRUE(
        result.logged("DownloaderModel::_threadDownloadPlayer", "download finished, success = 0"));
    EXPECT_EQ(readStandinRuns("installer").size(), installerStart_);
}

}  // namespace
