// What lies beside the installer, in the Downloads folder where anyone can put files, neither
// breaks nor subverts it: a text table that cannot be used gives way to the skin archive's,
// libraries planted under system names are never loaded, and an address from a table that is no
// web address never reaches the shell. The real TamrixInstaller.exe in the world with Wine
// reporting Windows 10, driven through accessibility and xdotool, judged by what its window
// shows, its log, the browser's record and the stand-ins' records.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/installer_support.h"
#include "tests/support/world_support.h"
#include "utility/handle.h"
#include "utility/text.h"

namespace {

using installer::englishText;
using installer::Installer;
using testing_support::narrow;

constexpr char kTableTag[] = "tk::TextTable::loadForProcess";

// The shipped table with the English cell of one key replaced.
std::string shippedTableWith(const std::string& key, const std::string& english) {
    const std::string table =
        testing_support::readFileBytes(installer::sourceRoot() + L"skin\\multi_language.tsv");
    const std::string head = "\t" + key + "\t";
    const std::size_t row = table.find(head);
    if (row == std::string::npos) return {};
    // Fields: kind, key, zh_CN, zh_TW, en_US, ...
    std::size_t start = row + head.size();
    for (int skip = 0; skip < 2; ++skip) start = table.find('\t', start) + 1;
    const std::size_t end = table.find_first_of("\t\r\n", start);
    return table.substr(0, start) + english + table.substr(end);
}

class InstallerBeside : public installer::InstallerTest {
protected:
    std::wstring besideInstaller(const std::wstring& name) const { return folder_.path() + name; }

    // The start page is up with its English texts, and Escape then ends the run cleanly.
    void expectEnglishStartPageThenLeave(Installer& run, const std::wstring& screenshot) {
        HWND main = run.waitForWindow(installer::kMainWindow);
        ASSERT_TRUE(main) << "no main window";
        EXPECT_TRUE(installer::waitButton(run, main, englishText("Button_install_fast")))
            << installer::describe(run.elements(main));
        EXPECT_TRUE(run.waitElement(main, englishText("Title_wndTitle")));
        EXPECT_TRUE(run.screenshot(main, screenshot));
        ASSERT_TRUE(run.pressKeys(main, "Escape"));
        EXPECT_EQ(run.waitExit(), 0);
    }
};

TEST_F(InstallerBeside, ATextTableBesideItThatIsRefusedGivesWayToTheArchivesTable) {
    enum class Kind { kEmpty, kNoHeader, kLocked };
    const struct {
        const char* what;
        Kind kind;
    } cases[] = {
        {"empty", Kind::kEmpty}, {"no-header", Kind::kNoHeader}, {"locked", Kind::kLocked}};
    const std::wstring table = besideInstaller(L"multi_language.tsv");
    // Read, the locked table would name the install button "From disk".
    const std::string valid = shippedTableWith("Button_install_fast", "From disk");
    ASSERT_FALSE(valid.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = c.kind == Kind::kEmpty      ? ""
                                  : c.kind == Kind::kNoHeader ? valid.substr(valid.find('\n') + 1)
                                                              : valid;
        ASSERT_TRUE(testing_support::writeFileBytes(table, bytes));
        const utility::UniqueHandle lock(
            c.kind == Kind::kLocked ? CreateFileW(table.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : nullptr);
        ASSERT_EQ(lock.valid(), c.kind == Kind::kLocked);
        Installer run(folder_.path(), L"TamrixInstaller.exe");
        expectEnglishStartPageThenLeave(
            run, L"beside-table-" + testing_support::widen(c.what) + L".png");
        const auto result = run.record();
        EXPECT_TRUE(result.logged(
            kTableTag, "text table [ " + narrow(table) + " ] refused, the skin archive's is used."))
            << testing::PrintToString(result.messages(kTableTag));
    }
}

TEST_F(InstallerBeside, LibrariesPlantedBesideItUnderSystemNamesAreNeverLoaded) {
    // The libraries it links outside Windows' KnownDLLs, and some the system loads for it. Not
    // shcore: Wine's shlwapi, a KnownDLL the program imports, takes it from the program's folder
    // while the process loads, before any code of the program runs (on Windows it is a KnownDLL
    // too, and Windows 7's shlwapi does without it).
    const wchar_t* const names[] = {
        L"bcrypt",        L"comctl32", L"crypt32", L"gdiplus",  L"iphlpapi",
        L"msimg32",       L"oleacc",   L"secur32", L"usp10",    L"version",
        L"windowscodecs", L"winmm",    L"wininet", L"dnsapi",   L"dwmapi",
        L"mpr",           L"netapi32", L"propsys", L"rsaenh",   L"schannel",
        L"userenv",       L"uxtheme",  L"winhttp", L"wintrust", L"wtsapi32"};
    const std::wstring planted = testing_support::peerLibraryPath(L"planted_library");
    for (const wchar_t* name : names)
        ASSERT_TRUE(CopyFileW(planted.c_str(),
                              besideInstaller(std::wstring(name) + L".dll").c_str(), FALSE));
    const std::size_t requests = testing_support::world::requestCount();
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main) << "no main window";
    // Both HTTP stacks have been at work: the lookups through the system client, the analytics
    // post through libcurl.
    const auto analytics = testing_support::world::waitForRequest(
        [](const auto& r) { return r.path == "/mp/collect"; }, requests);
    EXPECT_TRUE(analytics) << "no analytics post";
    EXPECT_TRUE(testing_support::world::waitForRequest(
        [](const auto& r) { return r.path == "/player_files/en/sarvelex"; }, requests));
    expectEnglishStartPageThenLeave(run, L"beside-planted-libraries.png");
    const auto result = run.record();
    EXPECT_TRUE(result.logged("wWinMain", "library search: system folder only"));
    for (const wchar_t* name : names) {
        const std::wstring marker = besideInstaller(std::wstring(name) + L".dll.loaded");
        EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
            << narrow(name) << ".dll beside the installer was loaded";
    }
}

TEST_F(InstallerBeside, OnlyWebAddressesFromItsTablesReachTheDefaultBrowser) {
    // The community link of a table beside the installer names a program; the service's own
    // link is empty, so the table's is the one used.
    const std::wstring program = road::standinPath(L"gxplayer");
    ASSERT_TRUE(testing_support::writeFileBytes(
        besideInstaller(L"multi_language.tsv"),
        shippedTableWith("customerLink", utility::wideToUtf8(program))));
    ASSERT_TRUE(testing_support::world::writeScenario(
        R"({"content": {"customer": {"en": {"installError": "", "customerLink": ""}}}})"));
    const std::size_t requests = testing_support::world::requestCount();
    Installer run(folder_.path(), L"TamrixInstaller.exe");
    HWND main = run.waitForWindow(installer::kMainWindow);
    ASSERT_TRUE(main) << "no main window";
    ASSERT_TRUE(testing_support::world::waitForRequest(
        [](const auto& r) { return r.path == "/player_files/en/sarvelex"; }, requests));

    const auto community = run.waitElement(main, englishText("facebook_tip"));
    ASSERT_TRUE(community) << installer::describe(run.elements(main));
    ASSERT_TRUE(run.click(*community));
    // The licence link, pressed after it, opens its https page: by then the first press has been
    // handled.
    const auto licence = run.waitElement(main, englishText("protocol_accept_btn"));
    ASSERT_TRUE(licence) << installer::describe(run.elements(main));
    ASSERT_TRUE(run.click(*licence));
    const auto opened = installer::waitForBrowser(browserStart_);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(opened[0].find("/other/protocol.html"), std::string::npos) << opened[0];
    EXPECT_TRUE(
        run.waitForLog("utility::process::openUrl",
                       "refused [ " + narrow(program) + " ]: not an http or https address."));
    EXPECT_EQ(testing_support::world::readStandinRuns("player").size(), playerStart_)
        << "the table's program was started";
    ASSERT_TRUE(run.pressKeys(main, "Escape"));
    EXPECT_EQ(run.waitExit(), 0);
}

}  // namespace
