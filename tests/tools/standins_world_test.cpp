// The emulator's stand-ins as the installer meets them: the offline installer downloaded from the
// double and run with the installer command line, posting its result to the channel window;
// the console tool's two commands; the emulator recording how it was started.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/config_imp.h"
#include "tests/support/test_support.h"
#include "tests/support/world_support.h"
#include "tests/tools/wininet_fetch.h"
#include "utility/handle.h"
#include "utility/window_ipc.h"

namespace {

namespace world = testing_support::world;

constexpr UINT kInstallSucceeded = 11125;
constexpr UINT kInstallFailed = 11124;
constexpr DWORD kRunLimitMs = 60000;

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring registryText(const std::wstring& key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return {};
    return value;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The installer's peer: the channel window the stand-in installer posts its result to.
class ChannelWindow : public utility::IWindowIPCHandle {
public:
    ChannelWindow() { listening_ = ipc_.listen(utility::kChannelName, this); }
    ~ChannelWindow() {
        if (ipc_.window()) DestroyWindow(ipc_.window());
    }
    ChannelWindow(const ChannelWindow&) = delete;
    ChannelWindow& operator=(const ChannelWindow&) = delete;

    int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM) override {
        messages.emplace_back(message, wParam);
        return 0;
    }
    bool listening() const { return listening_; }

    std::vector<std::pair<UINT, WPARAM>> messages;

private:
    utility::WindowIPC ipc_;
    bool listening_ = false;
};

struct Ended {
    utility::UniqueHandle process;
    long exitCode = -1;  // -1: still running when the wait ended
};

// Starts the program and dispatches this thread's messages until it ends (or the limit).
Ended runPumping(const std::wstring& program, const std::wstring& parameters,
                 const std::wstring& folder = L"", DWORD limitMs = kRunLimitMs) {
    Ended run;
    std::wstring commandLine = L"\"" + program + L"\" " + parameters;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return run;
    CloseHandle(info.hThread);
    run.process.reset(info.hProcess);
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return run;
        HANDLE process = run.process.get();
        const DWORD woke = MsgWaitForMultipleObjects(
            1, &process, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    DWORD code = 0;
    GetExitCodeProcess(run.process.get(), &code);
    run.exitCode = static_cast<long>(code);
    return run;
}

class Standins : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world::inWorld()) << "run through scripts/world.sh";
        ASSERT_TRUE(world::resetScenario());
        ASSERT_TRUE(channel_.listening());
        for (const char* program : {"installer", "console", "player"})
            marks_[program] = world::readStandinRuns(program).size();
    }

    // The runs of the program since this test began; waits until there are count of them.
    std::vector<world::StandinRun> runsSince(const char* program, std::size_t count) {
        auto runs = world::waitForStandinRuns(program, marks_[program] + count);
        runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(marks_[program], runs.size())));
        return runs;
    }
    void TearDown() override { world::resetScenario(); }

    // Downloads the edition's package from the double as the downloader names it.
    std::wstring downloadInstaller(ConfigImp& config) {
        const auto answer = world_test::fetch(config.getPackageUrl());
        EXPECT_EQ(answer.status, 200u);
        const std::wstring path = config.getInstallerPath(folder_.path() + L"download");
        CreateDirectoryW((folder_.path() + L"download").c_str(), nullptr);
        EXPECT_TRUE(testing_support::writeFileBytes(path, answer.body));
        return path;
    }

    static std::wstring installerParameters(const std::wstring& folder, const wchar_t* language) {
        std::wstring parameters = L"-silence -downloader -openid=100";
        if (language) parameters += std::wstring(L" -language=") + language;
        return parameters + L" -path=\"" + folder + L"\"";
    }

    testing_support::TempDir folder_;
    ChannelWindow channel_;
    std::map<std::string, std::size_t> marks_;
};

TEST_F(Standins, OfflineInstallerInstallsTheEmulatorRecordsTheFolderAndReportsSuccess) {
    ConfigImp config;
    const std::wstring installer = downloadInstaller(config);
    const std::wstring target = folder_.path() + L"Tamrix\\Tamrix9\\";  // ends in a backslash
    const Ended run = runPumping(installer, installerParameters(target, L"en"));
    ASSERT_EQ(run.exitCode, 0);

    ASSERT_EQ(channel_.messages.size(), 1u);
    EXPECT_EQ(channel_.messages[0].first, kInstallSucceeded);
    EXPECT_TRUE(exists(target + L"\\gxplayer.exe"));
    EXPECT_TRUE(exists(target + L"gxconsole.exe"));
    const std::string settings =
        testing_support::readFileBytes(target + L"vms\\config\\sarvels.config");
    rapidjson::Document document;
    document.Parse(settings.data(), settings.size());
    ASSERT_TRUE(document.IsObject()) << settings;
    EXPECT_TRUE(document["channelOpenId"].IsString());
    EXPECT_EQ(registryText(config.getRegistryKey(), L"InstallDir"), target);

    const auto runs = runsSince("installer", 1);
    ASSERT_EQ(runs.size(), 1u);
    const auto record = runs[0].json();
    EXPECT_STREQ(record["edition"].GetString(), "9");
    EXPECT_EQ(record["options"]["path"].GetString(), narrow(target));
    EXPECT_STREQ(record["options"]["openid"].GetString(), "100");
    EXPECT_TRUE(record["options"]["silence"].GetBool());
    EXPECT_EQ(record["options"]["unexpected"].Size(), 0u);
    EXPECT_TRUE(record["messagePosted"].GetBool());
}

TEST_F(Standins, EachEditionsPackageInstallsUnderItsOwnRegistryKey) {
    ConfigImp config;
    config.setPlayer64();
    config.setLanguage(L"cn");
    const std::wstring installer = downloadInstaller(config);
    const std::wstring target = folder_.path() + L"Tamrix64\\";
    ASSERT_EQ(runPumping(installer, installerParameters(target, L"cn")).exitCode, 0);
    EXPECT_EQ(registryText(L"Software\\sarvel\\Tamrix64", L"InstallDir"), target);
    EXPECT_EQ(config.getRegistryKey(), L"Software\\sarvel\\Tamrix64");
    const auto runs = runsSince("installer", 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_STREQ(runs.back().json()["edition"].GetString(), "64");
}

TEST_F(Standins, InstallerFailsSilentlyEndsCrashesOrHangsAsTheScenarioSays) {
    ConfigImp config;
    const std::wstring installer = downloadInstaller(config);

    ASSERT_TRUE(
        world::writeScenario(R"({"standins":{"installer":{"behaviour":"fail","errorCode":7}}})"));
    const std::wstring failedTarget = folder_.path() + L"failed\\";
    EXPECT_EQ(runPumping(installer, installerParameters(failedTarget, L"en")).exitCode, 1);
    ASSERT_EQ(channel_.messages.size(), 1u);
    EXPECT_EQ(channel_.messages[0], std::make_pair(kInstallFailed, WPARAM{7}));
    EXPECT_FALSE(exists(failedTarget + L"gxplayer.exe"));

    ASSERT_TRUE(world::writeScenario(R"({"standins":{"installer":{"behaviour":"silent"}}})"));
    const std::wstring silentTarget = folder_.path() + L"silent\\";
    EXPECT_EQ(runPumping(installer, installerParameters(silentTarget, nullptr)).exitCode, 0);
    EXPECT_EQ(channel_.messages.size(), 1u) << "no message from a silent installer";
    EXPECT_TRUE(exists(silentTarget + L"gxplayer.exe"));

    ASSERT_TRUE(world::writeScenario(R"({"standins":{"installer":{"behaviour":"crash"}}})"));
    const Ended crashed =
        runPumping(installer, installerParameters(folder_.path() + L"crash\\", L"en"));
    EXPECT_NE(crashed.exitCode, -1) << "a crashed installer ends";
    EXPECT_NE(crashed.exitCode, 0);
    EXPECT_EQ(channel_.messages.size(), 1u);

    ASSERT_TRUE(world::writeScenario(R"({"standins":{"installer":{"behaviour":"hang"}}})"));
    std::wstring commandLine =
        L"\"" + installer + L"\" " + installerParameters(folder_.path() + L"hang\\", L"en");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    const utility::UniqueHandle hanging(info.hProcess);
    CloseHandle(info.hThread);
    const auto runs = runsSince("installer", 4);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_STREQ(runs[3].json()["behaviour"].GetString(), "hang");
    EXPECT_EQ(WaitForSingleObject(hanging.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(hanging.get(), 9);
    EXPECT_STREQ(runs[2].json()["behaviour"].GetString(), "crash");
    EXPECT_TRUE(runs[2].json()["exitCode"].IsNull());
}

TEST_F(Standins, ConsoleToolAnswersInstallapkAndModify) {
    ConfigImp config;
    const std::wstring installer = downloadInstaller(config);
    const std::wstring target = folder_.path() + L"emu\\";
    ASSERT_EQ(runPumping(installer, installerParameters(target, L"en")).exitCode, 0);
    const std::wstring console = target + L"gxconsole.exe";
    ASSERT_TRUE(testing_support::writeFileBytes(target + L"My Game.apk", "apk"));
    ASSERT_TRUE(testing_support::writeFileBytes(target + L"com.x.obb", "obb!"));

    EXPECT_EQ(runPumping(console, L"modify --index 0 --resolution 1280x720").exitCode, 0);
    EXPECT_EQ(runPumping(console, L"installapk --index 0 --filename \"" + target +
                                      L"My Game.apk\" --packagename com.x --fileobb \"" + target +
                                      L"com.x.obb\" --wait --hide")
                  .exitCode,
              0);
    EXPECT_EQ(runPumping(console, L"installapk --index 0 --filename \"" + target +
                                      L"missing.apk\" --wait --hide")
                  .exitCode,
              2);
    EXPECT_EQ(runPumping(console, L"uninstall --index 0").exitCode, 1);

    const auto runs = runsSince("console", 4);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_STREQ(runs[0].json()["values"]["--resolution"].GetString(), "1280x720");
    const auto install = runs[1].json();
    EXPECT_STREQ(install["command"].GetString(), "installapk");
    EXPECT_EQ(install["values"]["--filename"].GetString(), narrow(target) + "My Game.apk");
    EXPECT_STREQ(install["values"]["--packagename"].GetString(), "com.x");
    EXPECT_EQ(install["packageSize"].GetInt(), 3);
    EXPECT_EQ(install["obbSize"].GetInt(), 4);
    EXPECT_EQ(install["flags"].Size(), 2u);
    EXPECT_EQ(runs[2].json()["packageSize"].GetInt(), -1);
}

TEST_F(Standins, PlayerRecordsCommandLineFolderAndElevation) {
    ConfigImp config;
    const std::wstring installer = downloadInstaller(config);
    const std::wstring target = folder_.path() + L"emu\\";
    ASSERT_EQ(runPumping(installer, installerParameters(target, L"en")).exitCode, 0);
    ASSERT_EQ(runPumping(target + L"gxplayer.exe", L"downloadpackage=com.x|package=com.x", target)
                  .exitCode,
              0);
    const auto runs = runsSince("player", 1);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].arguments.size(), 1u);
    EXPECT_EQ(runs[0].arguments[0], L"downloadpackage=com.x|package=com.x");
    EXPECT_EQ(runs[0].workingDir + L"\\", target);

    // Started with this process's token, so its elevation is this process's.
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    const utility::UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size));
    EXPECT_EQ(runs[0].elevated, elevation.TokenIsElevated != 0);
}

}  // namespace
