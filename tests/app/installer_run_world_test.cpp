// The installer a person uses, from the start page to the emulator: the real TamrixInstaller.exe
// in the world with Wine reporting Windows 10, its controls found through accessibility and
// clicked with xdotool, judged by what the window shows and by what the run leaves (the log, the
// double's records, the stand-ins' records, the default browser's record). Screenshots of every
// stage are kept in <build>/tests/screens.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/deployment.h"
#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"
#include "utility/text.h"

namespace {

using installer::AccessibleElement;
using installer::Installer;
using testing_support::narrow;
using testing_support::waitUntil;
using testing_support::world::waitForStandinRuns;
using testing_support::world::writeScenario;

const auto kTexts = installer::tableTexts("en_US");

std::wstring text(const char* key) {
    const auto found = kTexts.find(key);
    return found == kTexts.end() ? std::wstring() : found->second;
}

std::string joined(const std::vector<std::wstring>& texts) {
    std::string all;
    for (const auto& t : texts) all += "'" + narrow(t) + "' ";
    return all;
}

bool startsWith(const std::wstring& value, const std::wstring& prefix) {
    return value.rfind(prefix, 0) == 0;
}

std::string communityPage(std::wstring_view language) {
    const auto& values = deployment::values();
    for (const auto& page : values.communityPages)
        if (page.language == language) return utility::wideToUtf8(std::wstring(page.text));
    return utility::wideToUtf8(std::wstring(values.mainCommunityPage));
}

// The run's last log lines, each as "function message", fewer when the log is shorter.
std::vector<std::string> logTail(const road::Run& run, std::size_t count) {
    std::vector<std::string> tail(count);
    const std::size_t from = run.log.size() > count ? run.log.size() - count : 0;
    for (std::size_t i = from; i < run.log.size(); ++i)
        tail[i - from] = run.log[i].function + " " + run.log[i].message;
    return tail;
}

// What the progress page showed while it was sampled.
struct Progress {
    std::vector<std::wstring> stageTexts;  // each new text of the stage label
    std::vector<int> bar;                  // each new value of the bar
    std::vector<std::wstring> sizeTexts;   // each new text of the size label
};

class InstallerRun : public installer::InstallerTest {
protected:
    // The control the person presses to install.
    std::optional<AccessibleElement> installButton(const Installer& run, HWND window) {
        return run.waitElement(window, [](const AccessibleElement& e) {
            return installer::isButton(e) && e.name == text("Button_install_fast");
        });
    }
};

TEST_F(InstallerRun, TheDefaultRunFromTheStartPageToTheEmulator) {
    // A download that takes a few seconds and an installer that takes four, so that a person
    // sees the bar move through both.
    ASSERT_TRUE(writeScenario(
        R"({"rules": [)" +
        road::rule(road::cdnHost(), "/download/package/*", R"("rateLimit": 3145728)") +
        R"(], "standins": {"installer": {"delayMs": 4000}}})"));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    ASSERT_TRUE(run.started());
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main) << "no main window";

    // The start page: title, licence accepted, the install button available.
    const auto install = installButton(run, main);
    ASSERT_TRUE(install) << installer::describe(run.elements(main));
    EXPECT_FALSE(install->has(STATE_SYSTEM_UNAVAILABLE));
    const auto elements = run.elements(main);
    EXPECT_TRUE(testing_support::findElement(elements, text("Title_wndTitle")));
    const auto licence = std::find_if(elements.begin(), elements.end(), [](const auto& e) {
        return e.role == ROLE_SYSTEM_CHECKBUTTON;
    });
    ASSERT_NE(licence, elements.end());
    EXPECT_TRUE(licence->has(STATE_SYSTEM_CHECKED));
    EXPECT_TRUE(run.screenshot(main, L"default-1-start.png"));

    ASSERT_TRUE(run.click(*install));

    // The progress page, sampled until the window goes: the stage texts, the size texts and the
    // bar, with a screenshot of the download, of the install and of the end.
    Progress seen;
    bool downloadShot = false, installShot = false, endShot = false;
    const std::wstring downloading = text("Label_downloading") + L"(";
    const std::wstring installing = text("Label_installing_waiting");
    waitUntil(
        [&] {
            if (!IsWindowVisible(main)) return true;
            std::optional<AccessibleElement> stage, size, bar;
            for (const auto& e : run.elements(main)) {
                if (installer::isProgressBar(e)) bar = e;
                if (e.role != ROLE_SYSTEM_STATICTEXT) continue;
                if (startsWith(e.name, downloading) || e.name == installing ||
                    e.name == text("Label_getversion_info"))
                    stage = e;
                if (e.name.find(L"M/") != std::wstring::npos) size = e;
            }
            if (stage && (seen.stageTexts.empty() || seen.stageTexts.back() != stage->name))
                seen.stageTexts.push_back(stage->name);
            if (size && (seen.sizeTexts.empty() || seen.sizeTexts.back() != size->name))
                seen.sizeTexts.push_back(size->name);
            const int value = bar ? installer::progressValue(*bar) : -1;
            if (value >= 0 && (seen.bar.empty() || seen.bar.back() != value))
                seen.bar.push_back(value);
            if (!downloadShot && stage && startsWith(stage->name, downloading) && value >= 20)
                downloadShot = run.screenshot(main, L"default-2-downloading.png");
            if (!installShot && stage && stage->name == installing && value >= 64)
                installShot = run.screenshot(main, L"default-3-installing.png");
            if (!endShot && value == 100)
                endShot = run.screenshot(main, L"default-4-installed.png");
            return false;
        },
        90000);
    EXPECT_EQ(run.waitExit(), 0);

    // The stage text counted the download up, then told of the install.
    ASSERT_GE(seen.stageTexts.size(), 3u) << joined(seen.stageTexts);
    std::vector<std::wstring> percents;
    for (const auto& t : seen.stageTexts)
        if (startsWith(t, downloading)) percents.push_back(t);
    EXPECT_GE(percents.size(), 3u);
    for (const auto& t : percents) EXPECT_EQ(t.back(), L')') << narrow(t);
    EXPECT_EQ(seen.stageTexts.back(), installing);
    EXPECT_FALSE(seen.sizeTexts.empty());
    for (const auto& t : seen.sizeTexts) EXPECT_NE(t.find(L"/11.00M"), std::wstring::npos);
    // The bar moved forward only: through the download's part, then the install animation.
    EXPECT_TRUE(std::is_sorted(seen.bar.begin(), seen.bar.end()))
        << testing::PrintToString(seen.bar);
    const auto downloadValues =
        std::count_if(seen.bar.begin(), seen.bar.end(), [](int v) { return v > 0 && v <= 63; });
    EXPECT_GE(downloadValues, 3) << testing::PrintToString(seen.bar);
    EXPECT_TRUE(std::find(seen.bar.begin(), seen.bar.end(), 64) != seen.bar.end())
        << testing::PrintToString(seen.bar);
    EXPECT_TRUE(std::find(seen.bar.begin(), seen.bar.end(), 66) != seen.bar.end())
        << testing::PrintToString(seen.bar);
    EXPECT_TRUE(downloadShot && installShot);

    const road::Run result = run.record();
    // The page of a fresh install, opened in the default browser.
    EXPECT_EQ(installer::waitForBrowser(browserStart_),
              std::vector<std::string>{communityPage(L"en")});
    const auto events = result.reporterEvents();
    for (const char* event : {R"({"event":"run_downloader"})", R"({"event":"start_downloader"})",
                              R"({"event":"install_success"})", R"({"event":"jump_to_web"})"}) {
        EXPECT_TRUE(road::contains(events, event)) << event << "\n"
                                                   << testing::PrintToString(events);
    }
    EXPECT_TRUE(result.allUploadsSigned());
    const auto analytics = result.analyticsEvents();
    for (const char* event : {"download_run", "start_downloader", "install_Sucess"})
        EXPECT_TRUE(road::contains(analytics, event)) << event;
    // The installer got the default folder; the emulator was started.
    const auto installs = waitForStandinRuns("installer", installerStart_ + 1);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_STREQ(installs.back().json()["options"]["path"].GetString(), "D:\\Tamrix\\Tamrix9\\");
    const auto players = waitForStandinRuns("player", playerStart_ + 1);
    ASSERT_EQ(players.size(), playerStart_ + 1);
    EXPECT_EQ(players.back().exePath, L"D:\\Tamrix\\Tamrix9\\gxplayer.exe");
    // On Windows 10 the emulator starts un-elevated, with the desktop shell's token: the default
    // start-up information (Wine does not pass the token itself on), and the log says so.
    EXPECT_EQ(result.messages("DownloaderModel::runPlayer"),
              std::vector<std::string>{"runPlayer no amdin"});
    EXPECT_EQ(players.back().json()["startup"]["flags"].GetUint() & STARTF_USESHOWWINDOW, 0u)
        << players.back().line;
    // The log ends with the shutdown's lines: after the emulator's start, the reporter's last
    // upload, sent when it stops, then the model's stop and end.
    const std::size_t started = result.logIndex("DownloaderModel::runPlayer", "runPlayer no amdin");
    ASSERT_NE(started, std::string::npos);
    const auto tail = logTail(result, 3);
    EXPECT_EQ(tail[0].rfind("TxReporter::_threadReport report ret:", 0), 0u)
        << testing::PrintToString(tail);
    EXPECT_EQ(tail[1], "DownloadImpl::shutdown model stopped");
    EXPECT_EQ(tail[2], "DownloadImpl::shutdown model destroyed");
    EXPECT_GT(result.log.size() - 3, started);
}

TEST_F(InstallerRun, ClearingTheLicenceOptionMakesInstallUnavailableUntilItIsSelectedAgain) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto install = installButton(run, main);
    ASSERT_TRUE(install);
    const auto licence = run.waitElement(
        main, [](const AccessibleElement& e) { return e.role == ROLE_SYSTEM_CHECKBUTTON; });
    ASSERT_TRUE(licence);
    ASSERT_TRUE(licence->has(STATE_SYSTEM_CHECKED));

    ASSERT_TRUE(run.click(*licence));
    EXPECT_TRUE(waitUntil([&] {
        const auto now = run.reread(main, *install);
        return now && now->has(STATE_SYSTEM_UNAVAILABLE);
    })) << installer::describe(run.elements(main));
    EXPECT_FALSE(run.reread(main, *licence)->has(STATE_SYSTEM_CHECKED));
    EXPECT_TRUE(run.screenshot(main, L"licence-cleared.png"));
    // A press on the unavailable button does nothing: the start page stays.
    ASSERT_TRUE(run.click(*install));
    ASSERT_TRUE(run.click(*licence));
    EXPECT_TRUE(waitUntil([&] {
        const auto now = run.reread(main, *install);
        return now && !now->has(STATE_SYSTEM_UNAVAILABLE);
    }));
    EXPECT_TRUE(run.reread(main, *licence)->has(STATE_SYSTEM_CHECKED));
    EXPECT_TRUE(run.reread(main, *install)) << "the start page is still shown";

    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_FALSE(road::contains(result.reporterEvents(), R"({"event":"start_downloader"})"));
}

TEST_F(InstallerRun, EscapeInTheMainWindowEndsTheRunAtOnceWithoutAsking) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    ASSERT_TRUE(installButton(run, main));
    const std::size_t before = run.log().size();
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    // No box and no dialog asks: the window goes and the process ends.
    bool asked = false;
    waitUntil([&] {
        asked = asked || run.windows(installer::kMessageBox).size() > 0 ||
                run.windows(installer::kExitDialog).size() > 0;
        return WaitForSingleObject(run.process(), 0) == WAIT_OBJECT_0;
    });
    EXPECT_FALSE(asked);
    EXPECT_EQ(run.waitExit(), 0);
    // Teardown: the reporter's last upload (sent when it stops) and the one-second pause.
    EXPECT_LT(GetTickCount() - pressed, 12000u);
    const auto result = run.record();
    std::vector<std::string> after;
    for (std::size_t i = before; i < result.log.size(); ++i)
        after.push_back(result.log[i].function + " " + result.log[i].message);
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(after[after.size() - 3].rfind("TxReporter::_threadReport report ret:", 0), 0u)
        << testing::PrintToString(after);
    EXPECT_EQ(after.back(), "DownloadImpl::shutdown model destroyed");
    for (const auto& line : after) EXPECT_EQ(line.find("CMainFrame::"), std::string::npos) << line;
    EXPECT_TRUE(road::contains(result.reporterEvents(), R"({"event":"run_downloader"})"));
    EXPECT_TRUE(result.allUploadsSigned());
}

// Escape while the version lookup is still waiting for its answer: the answer arrives while the
// window's teardown stops the lookup, and its handling never runs against the model that is gone.
TEST_F(InstallerRun, EscapeWhileTheVersionLookupWaitsEndsTheRunCleanly) {
    ASSERT_TRUE(writeScenario(
        R"({"rules": [)" +
        road::rule(road::cdnHost(), "/player_files/en/sarvel", R"("delayMs": 700)") + "]}"));
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_FALSE(result.logged("DownloaderModel::_threadGetPlayerUrl::parse", "start parse data"))
        << "the answer was handled after the window had gone";
}

TEST_F(InstallerRun, ASecondCopyRaisesTheFirstAndEnds) {
    Installer first(folder_.path(), L"TamrixInstaller.exe");
    HWND main = first.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto minimise = first.waitElement(main, text("minimize_tip"));
    ASSERT_TRUE(minimise) << installer::describe(first.elements(main));
    ASSERT_TRUE(first.click(*minimise));
    ASSERT_TRUE(waitUntil([&] { return IsIconic(main) != FALSE; }));

    testing_support::TempDir other;
    Installer second(other.path(), L"TamrixInstaller.exe");
    EXPECT_EQ(second.waitExit(), 0);
    EXPECT_TRUE(waitUntil([&] { return !IsIconic(main) && IsWindowVisible(main); }));
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == main; }));
    const auto log = second.record();
    EXPECT_TRUE(log.logged("DownloaderModel::popupExistPwnd", "wnd exist"));
    EXPECT_TRUE(log.logged("DownloadImpl::entrance", "It's exist"));
    // The first copy was asked to show itself.
    EXPECT_TRUE(
        first.waitForLog("DownloadImpl::onHandleWindowIPC", "onHandleWindowIPC, msg = 11123"));
    EXPECT_TRUE(first.screenshot(main, L"second-copy-raised.png"));

    ASSERT_TRUE(first.pressKeys(main, "Escape"));
    EXPECT_EQ(first.waitExit(), 0);
}

TEST_F(InstallerRun, OnWindowsXpTheUnsupportedBoxEndsTheRun) {
    const std::wstring name = L"tamrix9_en_100_xp.exe";
    Installer run(folder_.path(), name, {.commandLine = L"", .windowsVersion = L"winxp"});
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    HWND box = run.waitForWindow(installer::kMessageBox);
    ASSERT_TRUE(box);
    const auto sure = run.waitElement(box, text("sure"));
    ASSERT_TRUE(sure) << installer::describe(run.elements(box));
    EXPECT_TRUE(run.waitElement(box, text("MsgBox_error")));
    EXPECT_TRUE(run.waitElement(box, [](const AccessibleElement& e) {
        return startsWith(e.name, L"This version is not compatible");
    })) << installer::describe(run.elements(box));
    EXPECT_TRUE(run.screenshot(box, L"xp-box.png"));
    ASSERT_TRUE(run.click(*sure));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_TRUE(road::contains(result.reporterEvents(),
                               R"({"event":"cancel_download","properties":{"ext_field":"xp"}})"))
        << testing::PrintToString(result.reporterEvents());
    EXPECT_TRUE(road::contains(result.analyticsEvents(), "download_xp"));
    EXPECT_TRUE(result.allUploadsSigned());
}

TEST_F(InstallerRun, TheCloseButtonBeforeTheDownloadAsksAndNoGivesTheWindowBack) {
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main);
    const auto close = run.waitElement(main, text("download_close"));
    ASSERT_TRUE(close) << installer::describe(run.elements(main));

    ASSERT_TRUE(run.click(*close));
    HWND dialog = run.waitForWindow(installer::kExitDialog);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(run.waitElement(dialog, text("MsgBox_exit")));
    EXPECT_TRUE(waitUntil([&] { return !IsWindowEnabled(main); }));
    EXPECT_TRUE(run.screenshot(dialog, L"exit-dialog.png"));
    const auto no = run.waitElement(dialog, text("No"));
    ASSERT_TRUE(no) << installer::describe(run.elements(dialog));
    ASSERT_TRUE(run.click(*no));
    EXPECT_TRUE(run.waitHidden(dialog));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) && IsWindowVisible(main); }));

    ASSERT_TRUE(run.click(*close));
    dialog = run.waitForWindow(installer::kExitDialog);
    ASSERT_TRUE(dialog);
    const auto yes = run.waitElement(dialog, text("Yes"));
    ASSERT_TRUE(yes);
    ASSERT_TRUE(run.click(*yes));
    EXPECT_EQ(run.waitExit(), 0);
    const auto result = run.record();
    EXPECT_TRUE(
        road::contains(result.reporterEvents(),
                       R"({"event":"cancel_download","properties":{"ext_field":"notDownload"}})"))
        << testing::PrintToString(result.reporterEvents());
    const auto analytics = result.analyticsEvents();
    EXPECT_TRUE(road::contains(analytics, "userCancel"));
    EXPECT_TRUE(road::contains(analytics, "cancel_download"));
    EXPECT_FALSE(road::contains(result.reporterEvents(), R"({"event":"start_downloader"})"));
}

}  // namespace
