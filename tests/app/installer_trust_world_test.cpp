// The offline installer runs as administrator only when it is the vendor's, as a person meets it:
// a package the world serves unsigned, signed by another name, altered after signing, or with a
// chain the machine cannot trust is refused on every attempt and never run, and the user is told
// that the download failed; the checked installer cannot be changed between its check and its
// start. The real TamrixInstaller.exe in the world, driven through accessibility and xdotool,
// judged by its windows, its log and the records the run leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"
#include "utility/file.h"
#include "utility/process.h"
#include "utility/text.h"

namespace {

using installer::englishText;
using installer::Installer;
using testing_support::world::readStandinRuns;
using testing_support::world::waitForStandinRuns;
using testing_support::world::writeScenario;

// The two tags under which the download's attempts check the installer.
constexpr char kSystemClientTag[] = "DownloaderModel::_downloadByIE";
constexpr char kCurlTag[] = "DownloaderModel::_threadDownloadPlayer";

// Every refusal of the run, whichever attempt made it.
std::vector<std::string> refusals(const road::Run& result) {
    std::vector<std::string> found;
    for (const char* tag : {kSystemClientTag, kCurlTag}) {
        for (const auto& message : result.messages(tag)) {
            if (message.rfind("installer refused: ", 0) == 0) found.push_back(message);
        }
    }
    return found;
}

// The file a refusal names as removed.
std::wstring removedFile(const std::string& refusal) {
    const auto at = refusal.rfind("; removing ");
    return at == std::string::npos ? std::wstring() : utility::utf8ToWide(refusal.substr(at + 11));
}

bool reported(const road::Run& result, const std::string& event) {
    for (const auto& e : result.reporterEvents()) {
        if (e.find("\"event\":\"" + event + "\"") != std::string::npos) return true;
    }
    return false;
}

class InstallerTrust : public installer::InstallerTest {
protected:
    // Starts the download from the start page; the main window, null on failure.
    HWND pressInstall(Installer& run) {
        HWND main = run.waitForWindow(installer::kMainWindow);
        if (!main) return nullptr;
        const auto install = installer::waitInstallButton(run, main);
        return install && run.click(*install) ? main : nullptr;
    }
};

struct Refused {
    const char* signature;  // as the world signs the package
    const char* reason;     // as the log names the refusal
};

TEST_F(InstallerTrust, AnInstallerThatIsNotTheVendorsIsNeverRun) {
    const Refused cases[] = {
        {"none", "unsigned"},
        {"other-signer", "another signer"},
        {"altered", "broken signature"},
        {"unknown-ca", "untrusted chain"},
        {"no-issuer", "untrusted chain"},
    };
    for (const auto& refused : cases) {
        SCOPED_TRACE(refused.signature);
        ASSERT_TRUE(writeScenario(std::string(R"({"content": {"installerSignature": ")") +
                                  refused.signature + "\"}}"));
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        ASSERT_TRUE(pressInstall(run));
        // All four attempts refused their file: the user gets the download error dialog (the
        // whole file came each time, so it is not the box of a download without any byte).
        HWND dialog = run.waitForWindow(installer::kDownloadErrorDialog, 120000);
        ASSERT_TRUE(dialog) << "no download error dialog";
        EXPECT_TRUE(run.waitElement(dialog, englishText("downloading_error_tip")))
            << installer::describe(run.elements(dialog));
        EXPECT_TRUE(run.windows(installer::kMessageBox).empty());
        if (std::string(refused.signature) == "none") {
            EXPECT_TRUE(run.screenshot(dialog, L"refused-installer.png"));
        }
        const auto browser = installer::waitButton(run, dialog, englishText("downloadBybrowser"));
        ASSERT_TRUE(browser) << installer::describe(run.elements(dialog));
        ASSERT_TRUE(run.click(*browser));
        EXPECT_EQ(run.waitExit(), 0);

        const auto result = run.record();
        const auto lines = refusals(result);
        ASSERT_EQ(lines.size(), 4u) << testing::PrintToString(result.messages(kSystemClientTag));
        for (const auto& line : lines) {
            EXPECT_EQ(line.rfind(std::string("installer refused: ") + refused.reason, 0), 0u)
                << line;
            EXPECT_FALSE(utility::ufile::exists(removedFile(line))) << line;
        }
        EXPECT_TRUE(result.logged(kCurlTag, "download finished, success = 0"));
        EXPECT_EQ(readStandinRuns("installer").size(), installerStart_) << "a refused file ran";
        EXPECT_FALSE(reported(result, "install_fail")) << "a file that never ran failed to install";
        EXPECT_TRUE(reported(result, "download_fail"));
    }
}

// Something on the machine tries to write into the installer from the moment it lies in the
// install folder. A running emulator makes the installer stage stop it first, so that the time
// between the check and the start is long. The file the installer process runs is the one that
// was checked.
TEST_F(InstallerTrust, TheCheckedInstallerCannotBeChangedBeforeItStarts) {
    testing_support::TempDir players;
    const std::wstring player = players.path() + L"gxplayer.exe";
    ASSERT_TRUE(writeScenario(R"({"standins": {"player": {"stay": true}}})"));
    ASSERT_TRUE(CopyFileW(road::standinPath(L"gxplayer").c_str(), player.c_str(), FALSE));
    const std::size_t playersBefore = readStandinRuns("player").size();
    const auto running = utility::process::create(player, L"", false);
    ASSERT_TRUE(running);
    ASSERT_EQ(waitForStandinRuns("player", playersBefore + 1).size(), playersBefore + 1);

    Installer run(folder_.path(), L"TamrixInstaller.exe");
    // The folder a clean world proposes: the second disk, which has the most room.
    testing_support::PipedPeer swapper(
        L"swap_peer", L"\"D:\\Tamrix\\Tamrix9\\Tamrix.exe\" edition=9 edition=3 90000");
    ASSERT_TRUE(swapper.started());
    ASSERT_TRUE(pressInstall(run));

    const auto installs = waitForStandinRuns("installer", installerStart_ + 1, 120000);
    ASSERT_EQ(installs.size(), installerStart_ + 1);
    EXPECT_EQ(installs.back().json()["edition"].GetString(), std::string("9"))
        << "the installer ran from a file changed after its check";
    EXPECT_EQ(run.waitExit(60000), 0);
    const auto result = run.record();
    EXPECT_NE(result.logIndex(kSystemClientTag, "installer held and checked in "),
              std::string::npos);
    // The swapper was kept out while the file was held (it swaps at the latest once the
    // installer has ended); had it opened the file before it was held, the hold or the digest
    // would have refused that attempt.
    const auto said = swapper.nextLine(100000);
    ASSERT_TRUE(said);
    const auto digits = said->find_first_of("0123456789");
    const int kept = digits == std::string::npos ? 0 : std::stoi(said->substr(digits));
    const bool caughtEarly =
        result.logIndex(kSystemClientTag, "installer cannot be held") != std::string::npos ||
        result.logIndex(kSystemClientTag, "md5 mismatch: ") != std::string::npos;
    EXPECT_TRUE(kept > 0 || caughtEarly) << *said;
    TerminateProcess(running.get(), 0);
}

}  // namespace
