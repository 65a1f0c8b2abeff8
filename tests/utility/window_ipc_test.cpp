// The window channel between processes: what reaches the handler, in which order, and the
// client's look-up.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "utility/log.h"
#include "utility/window_ipc.h"

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string copied;  // dwData and bytes of a copy-data block
};

class Recorder : public utility::IWindowIPCHandle {
public:
    int onHandleWindowIPC(UINT message, WPARAM wParam, LPARAM lParam) override {
        std::string copied;
        if (message == WM_COPYDATA && lParam) {
            const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            copied = std::to_string(block->dwData) + ":" +
                     std::string(static_cast<const char*>(block->lpData), block->cbData - 1);
        }
        received.push_back({message, wParam, lParam, copied});
        return 0;
    }
    std::vector<Received> received;
};

bool pumpUntil(const std::vector<Received>& received, UINT lastMessage) {
    const ULONGLONG until = GetTickCount64() + 30000;
    while (received.empty() || received.back().message != lastMessage) {
        if (GetTickCount64() > until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

std::wstring testChannel() {
    return L"{tamrix-ipc-test-" + std::to_wstring(GetCurrentProcessId()) + L"}";
}

testing_support::TempDir* g_logDir = nullptr;

// The log is opened once for the whole program; the last test reads it.
class LogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_logDir = new testing_support::TempDir();
        initUtilities();
        openLogFile(g_logDir->path() + L"downloader.log");
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

TEST(WindowIPC, AnotherProcessReachesTheHandlerInOrderAboveTheUserBase) {
    Recorder recorder;
    utility::WindowIPC server;
    ASSERT_TRUE(server.listen(testChannel(), &recorder));
    ASSERT_TRUE(IsWindow(server.window()));

    testing_support::PeerProcess peer(L"ipc_peer", testChannel());
    ASSERT_TRUE(peer.started());
    ASSERT_TRUE(pumpUntil(recorder.received, 0x0500));
    EXPECT_EQ(peer.wait(), 0);

    // 0x0400 itself is not carried; everything above it and WM_COPYDATA arrive unchanged.
    // Posted messages keep their order; a sent WM_COPYDATA is delivered ahead of posted ones
    // still queued, so its place among them depends on timing.
    ASSERT_EQ(recorder.received.size(), 4u);
    std::vector<Received> posted;
    std::vector<Received> copies;
    for (const auto& received : recorder.received) {
        (received.message == WM_COPYDATA ? copies : posted).push_back(received);
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].wParam, 5u);
    EXPECT_EQ(copies[0].copied, "6:copy");
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].message, 0x0401u);
    EXPECT_EQ(posted[0].wParam, 1u);
    EXPECT_EQ(posted[0].lParam, 2);
    EXPECT_EQ(posted[1].message, 11124u);
    EXPECT_EQ(static_cast<int>(posted[1].wParam), -5);
    EXPECT_EQ(posted[2].lParam, 8);
}

TEST(WindowIPC, ClientFindsTheServerByClassAloneAndPostsToIt) {
    Recorder recorder;
    utility::WindowIPC server;
    const std::wstring channel = testChannel() + L"-local";
    ASSERT_TRUE(server.listen(channel, &recorder));

    utility::WindowIPC client;
    ASSERT_TRUE(client.open(channel));
    EXPECT_EQ(client.window(), server.window());
    EXPECT_TRUE(client.post(0x0401, 10, 20));
    EXPECT_TRUE(client.post(0x0402, 11, 21));
    ASSERT_TRUE(pumpUntil(recorder.received, 0x0402));
    ASSERT_EQ(recorder.received.size(), 2u);
    EXPECT_EQ(recorder.received[0].wParam, 10u);
}

TEST(WindowIPC, NoServerMeansNoWindowAndNothingToPostTo) {
    utility::WindowIPC client;
    EXPECT_FALSE(client.open(L"{tamrix-no-such-channel}"));
    EXPECT_FALSE(client.post(0x0401, 0, 0));

    testing_support::PeerProcess peer(L"ipc_peer", L"{tamrix-no-such-channel}");
    EXPECT_EQ(peer.wait(), 3);
}

// Runs last: it ends the program's log.
TEST(WindowIPC, ZNotFindingTheServerWritesNoLogLine) {
    utility::WindowIPC client;
    EXPECT_FALSE(client.open(L"{tamrix-still-no-channel}", L""));
    writeLog("test::marker", __LINE__, L"marker");
    closeLogFile();
    const std::string text = testing_support::readFileBytes(g_logDir->path() + L"downloader.log");
    EXPECT_NE(text.find("marker"), std::string::npos);
    EXPECT_EQ(text.find("utility::WindowIPC::open"), std::string::npos);
}
