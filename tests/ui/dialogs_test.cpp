// The exit dialog and the two error dialogs as real windows built from the skin folder: their
// texts, every button with what it starts, opens, sends and reports, and how each gives the owner
// window back. Telemetry goes to in-process posts; the model's operations to a recording stand-in.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>
#include <rapidjson/document.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/config_imp.h"
#include "telemetry/google_analytics.h"
#include "telemetry/tx_reporter.h"
#include "tests/support/test_support.h"
#include "tests/telemetry/fake_post.h"
#include "tests/ui/ui_harness.h"
#include "toolkit/control.h"
#include "ui/dialogs.h"

namespace {

using testing_support::FakePost;
using ui_test::AccessibleWindow;
using ui_test::OwnerWindow;
using ui_test::pumpUntil;

constexpr wchar_t kBrowserUrl[] = L"https://download.tamrix.test/TamrixSetup.exe";
constexpr wchar_t kTableLink[] = L"https://community.tamrix.test/invite";

bool gone(HWND hwnd) {
    return IsWindow(hwnd) == FALSE;
}

// Identity sources that never touch the installer's own registry value or file.
vadi::PcIdSources testSources(const testing_support::TempDir& dir) {
    vadi::PcIdSources sources;
    sources.registryKey = "Software\\tamrix-test\\dialogs\\";
    sources.identityFile = dir.path() + L"quenmar_sarvel.data";
    const std::wstring text = L"identity-from-the-test-file-0002";
    testing_support::writeFileBytes(
        sources.identityFile,
        std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    sources.listAdapters = [](std::vector<vadi::HardwareAddress>&) { return false; };
    return sources;
}

std::string eventName(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    return document.IsObject() ? document["events"][0]["name"].GetString() : std::string();
}

std::string eventLabel(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    return document.IsObject() ? document["events"][0]["params"]["event_label"].GetString()
                               : std::string();
}

// "eventKey ext_field" of every reported event of an upload.
std::vector<std::string> reportedEvents(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.c_str());
    std::vector<std::string> events;
    if (!document.IsArray()) return events;
    for (const auto& event : document.GetArray()) {
        std::string line = event["eventKey"].GetString();
        const auto& properties = event["properties"];
        if (properties.HasMember("ext_field"))
            line += std::string(" ") + properties["ext_field"].GetString();
        events.push_back(line);
    }
    return events;
}

// The run as the dialogs see it: values the test chooses, operations recorded, telemetry posted
// to in-process posts.
class RecordingServices final : public DialogServices {
public:
    explicit RecordingServices(const testing_support::TempDir& dir)
        : analytics_(testSources(dir),
                     [this](const std::string& body, std::string& response, const std::string& url,
                            const std::vector<std::string>& headers) {
                         visibleAtPost.push_back(watched && IsWindowVisible(watched));
                         return analyticsPost.function()(body, response, url, headers);
                     }),
          reporter_(config_, reportPost.function()) {
        analytics_.setMeasurementId(L"G-TESTTEST02");
        analytics_.setApiSecret(L"secretsecretsecret_-02");
        reporter_.initReporter(L"4321", L"PCID-DIALOGS", L"en");
    }

    std::wstring openId() const override { return L"4321"; }
    std::wstring installErrorText() const override { return errorText; }
    std::wstring customerLink() const override { return serviceLink; }
    std::wstring browserDownloadUrl() const override { return kBrowserUrl; }
    void startDownloadPlayer(bool resume) override { starts.push_back(resume); }
    vadi::GoogleAnalytics& analytics() override { return analytics_; }
    TxReporter& reporter() override { return reporter_; }
    void openUrl(const std::wstring& url) override { opened.push_back(url); }

    std::wstring errorText;
    std::wstring serviceLink;
    std::vector<bool> starts;
    std::vector<std::wstring> opened;
    // A window whose visibility each analytics post notes.
    HWND watched = nullptr;
    std::vector<bool> visibleAtPost;
    FakePost analyticsPost;
    FakePost reportPost;

private:
    ConfigImp config_;
    vadi::GoogleAnalytics analytics_;
    TxReporter reporter_;
};

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::setUpToolkit();
        ui_test::quitCount() = 0;
    }
    void TearDown() override {
        for (const wchar_t* name : {L"box", L"downloadErrorBox", L"TxInstallErrorBox"})
            for (HWND hwnd : ui_test::windowsOfClass(name)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(pumpUntil([] {
            return ui_test::windowsOfClass(L"box").empty() &&
                   ui_test::windowsOfClass(L"downloadErrorBox").empty() &&
                   ui_test::windowsOfClass(L"TxInstallErrorBox").empty();
        }));
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\tamrix-test\\dialogs");
    }

    // Opens an error dialog as the main window does; its closed callback counts.
    template <class Box>
    Box* openErrorBox() {
        auto* box = new Box([this] { ++closedCount_; }, services_);
        errorHwnd_ = box->create(owner_.hwnd());
        box->centerWindow();
        box->showWindow(true, true);
        return box;
    }

    testing_support::TempDir dir_;
    RecordingServices services_{dir_};
    OwnerWindow owner_;
    HWND errorHwnd_ = nullptr;
    int closedCount_ = 0;
};

int scaled(HWND hwnd, int length) {
    return MulDiv(length, tk::windowDpi(hwnd), 96);
}

void expectSize(HWND hwnd, int width, int height) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, scaled(hwnd, width));
    EXPECT_EQ(r.bottom - r.top, scaled(hwnd, height));
}

// Whether a comes before b in the z-order of top-level windows.
bool above(HWND a, HWND b) {
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (h == a) return true;
        if (h == b) return false;
    }
    return false;
}

TEST_F(DialogsTest, TheExitDialogShowsItsTextsAndStayingGivesTheMainWindowBack) {
    enum class Way { kNo, kCloseButton, kEscape };
    for (Way way : {Way::kNo, Way::kCloseButton, Way::kEscape}) {
        SCOPED_TRACE(testing::Message() << "way " << static_cast<int>(way));
        DownloaderBox* box = showExitDialog(owner_.hwnd(), services_);
        ASSERT_NE(box, nullptr);
        const HWND hwnd = box->hwnd();
        EXPECT_EQ(ui_test::windowsOfClass(L"box"), std::vector<HWND>{hwnd});
        EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner_.hwnd());
        EXPECT_EQ(GetClassLongPtrW(hwnd, GCL_STYLE), 3);
        expectSize(hwnd, 436, 236);
        EXPECT_TRUE(IsWindowVisible(hwnd));
        EXPECT_FALSE(owner_.enabled());
        EXPECT_EQ(box->findControl(L"btnSure")->text(), L"Yes");

        UpdateWindow(hwnd);  // laid out as painted
        AccessibleWindow view(hwnd);
        EXPECT_NE(view.find(L"Prompt", ROLE_SYSTEM_STATICTEXT).childId, 0);
        EXPECT_NE(view.find(L"Do you want to stop the installation?").childId, 0);
        const RECT yes = view.find(L"Yes", ROLE_SYSTEM_PUSHBUTTON).rect;
        const RECT no = view.find(L"No", ROLE_SYSTEM_PUSHBUTTON).rect;
        EXPECT_LT(yes.right, no.left);

        // Meanwhile the main window went away and another window covered it.
        ShowWindow(owner_.hwnd(), SW_HIDE);
        OwnerWindow cover;
        switch (way) {
            case Way::kNo:
                ASSERT_TRUE(view.press(L"No"));
                break;
            case Way::kCloseButton:
                ASSERT_TRUE(box->find<tk::Button>(L"closebtn")->activate());
                break;
            case Way::kEscape:
                PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
                break;
        }
        ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));
        EXPECT_TRUE(owner_.enabled());
        EXPECT_TRUE(IsWindowVisible(owner_.hwnd()));
        EXPECT_TRUE(above(owner_.hwnd(), cover.hwnd()));
        EXPECT_EQ(ui_test::quitCount(), 0);
        EXPECT_EQ(services_.analyticsPost.callCount(), 0u);
        EXPECT_EQ(services_.reportPost.callCount(), 0u);
    }
}

TEST_F(DialogsTest, LeavingFromTheExitDialogSendsReportsAndEndsTheRun) {
    DownloaderBox* box = showExitDialog(owner_.hwnd(), services_);
    ASSERT_NE(box, nullptr);
    const HWND hwnd = box->hwnd();
    services_.watched = hwnd;
    ASSERT_TRUE(AccessibleWindow(hwnd).press(L"Yes"));
    ASSERT_TRUE(pumpUntil([&] { return gone(hwnd); }));

    // "userCancel" went out at once on this thread with the dialog already hidden, then
    // "cancel_download" through the client's queue.
    ASSERT_TRUE(services_.analyticsPost.waitForCalls(2));
    const auto posts = services_.analyticsPost.calls();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(eventName(posts[0].body), "userCancel");
    EXPECT_EQ(eventLabel(posts[0].body), "4321");
    EXPECT_EQ(posts[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(services_.visibleAtPost.at(0), false);
    EXPECT_EQ(eventName(posts[1].body), "cancel_download");
    EXPECT_EQ(eventLabel(posts[1].body), "4321");
    EXPECT_NE(posts[1].threadId, GetCurrentThreadId());

    // The reporter uploads at once, without waiting for its period.
    ASSERT_TRUE(services_.reportPost.waitForCalls(1, 15000));
    EXPECT_EQ(reportedEvents(services_.reportPost.calls()[0].body),
              std::vector<std::string>{"cancel_download notDownload"});

    EXPECT_EQ(ui_test::quitCount(), 1);
    EXPECT_FALSE(IsWindowVisible(owner_.hwnd())) << "the main window stays hidden";
    EXPECT_TRUE(IsIconic(owner_.hwnd()));
    EXPECT_TRUE(services_.starts.empty());
}

TEST_F(DialogsTest, ASecondExitDialogReplacesTheFirst) {
    DownloaderBox* first = showExitDialog(owner_.hwnd(), services_);
    ASSERT_NE(first, nullptr);
    const HWND firstHwnd = first->hwnd();
    DownloaderBox* second = showExitDialog(owner_.hwnd(), services_);
    ASSERT_NE(second, nullptr);
    const HWND secondHwnd = second->hwnd();
    ASSERT_TRUE(pumpUntil([&] { return gone(firstHwnd); }));
    EXPECT_EQ(ui_test::windowsOfClass(L"box"), std::vector<HWND>{secondHwnd});
    EXPECT_FALSE(owner_.enabled()) << "the first dialog's end leaves the owner to the second";
    ASSERT_TRUE(AccessibleWindow(secondHwnd).press(L"No"));
    ASSERT_TRUE(pumpUntil([&] { return gone(secondHwnd); }));
    EXPECT_TRUE(owner_.enabled());
}

TEST_F(DialogsTest, EveryButtonOfTheErrorDialogs) {
    const std::wstring downloadTip = L"Sever connection timed out, download is interrupted ";
    const std::wstring installTip =
        L"Installation failed, please try to change your install path or temporarily disable "
        L"your antivirus and reinstall";
    const std::wstring service = L"https://help.tamrix.test/chat";
    struct Case {
        bool install;
        const wchar_t* control;
        std::wstring modelText;    // the model's error text
        std::wstring serviceLink;  // the customer link the service sent
        std::wstring shown;        // the dialog's message
        std::vector<bool> starts;
        std::vector<std::wstring> opened;
        int quits;
        bool closes;
    };
    const Case cases[] = {
        {false, L"btnLeft", L"", L"", downloadTip, {true}, {}, 0, true},
        // Install help from the service is no text for a download that broke off.
        {false,
         L"btnRight",
         L"Reinstall after disabling your antivirus",
         L"",
         downloadTip,
         {},
         {kBrowserUrl},
         1,
         true},
        {false, L"loadingContactUsBtn", L"", L"", downloadTip, {}, {kTableLink}, 0, false},
        {false, L"closebtn", L"", L"", downloadTip, {}, {}, 0, true},
        {true, L"btnLeft", L"Error 1603", L"", L"Error 1603", {}, {}, 1, false},
        {true, L"btnRight", L"", L"", installTip, {}, {}, 1, true},
        {true, L"loadingContactUsBtn", L"", service, installTip, {}, {service}, 0, false},
        {true, L"closebtn", L"", L"", installTip, {}, {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.install ? "install " : "download ")
                                        << testing::PrintToString(c.control));
        services_.errorText = c.modelText;
        services_.serviceLink = c.serviceLink;
        services_.starts.clear();
        services_.opened.clear();
        ui_test::quitCount() = 0;
        closedCount_ = 0;
        tk::WindowBase* box = c.install
                                  ? static_cast<tk::WindowBase*>(openErrorBox<TxInstallErrorBox>())
                                  : openErrorBox<TxDownloaderErrorBox>();
        ASSERT_NE(errorHwnd_, nullptr);
        const wchar_t* className = c.install ? L"TxInstallErrorBox" : L"downloadErrorBox";
        EXPECT_EQ(ui_test::windowsOfClass(className), std::vector<HWND>{errorHwnd_});
        EXPECT_EQ(GetWindow(errorHwnd_, GW_OWNER), owner_.hwnd());
        expectSize(errorHwnd_, 456, 296);
        EXPECT_EQ(box->findControl(L"titlelabel")->text(), L"Error");
        EXPECT_EQ(box->findControl(L"descriptlabel")->text(), c.shown);

        ASSERT_TRUE(box->find<tk::Button>(c.control)->activate());
        if (!c.closes) {
            ASSERT_TRUE(ui_test::pumpPending());
            EXPECT_FALSE(gone(errorHwnd_)) << "the dialog stays";
            box->close(1);
        }
        ASSERT_TRUE(pumpUntil([&] { return closedCount_ == 1; }));
        EXPECT_TRUE(gone(errorHwnd_));
        EXPECT_EQ(services_.starts, c.starts);
        EXPECT_EQ(services_.opened, c.opened);
        EXPECT_EQ(ui_test::quitCount(), c.quits);
        EXPECT_TRUE(owner_.enabled());
    }
}

TEST_F(DialogsTest, RetryClosesTheDownloadErrorDialogSoTheNextFailureOpensANewOne) {
    TxDownloaderErrorBox* current = nullptr;
    auto open = [&] {
        current = new TxDownloaderErrorBox([&] { current = nullptr; }, services_);
        const HWND hwnd = current->create(owner_.hwnd());
        current->showWindow(true, true);
        return hwnd;
    };
    const HWND first = open();
    ASSERT_TRUE(AccessibleWindow(first).press(L"Retry"));
    ASSERT_TRUE(pumpUntil([&] { return current == nullptr; }));
    EXPECT_TRUE(gone(first));
    const HWND second = open();
    EXPECT_EQ(ui_test::windowsOfClass(L"downloadErrorBox"), std::vector<HWND>{second});
    ASSERT_TRUE(AccessibleWindow(second).press(L"Retry"));
    ASSERT_TRUE(pumpUntil([&] { return current == nullptr; }));
    EXPECT_EQ(services_.starts, (std::vector<bool>{true, true}));
}

// The main window's one dialog of each kind: a dialog whose window cannot be made (an owner that
// is gone) leaves nothing behind, so the next request makes a new one; while one is open a request
// only shows it again; its end clears the reference.
TEST_F(DialogsTest, AnErrorDialogWhoseWindowWasNotMadeIsTriedAgain) {
    HWND goneOwner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(DestroyWindow(goneOwner));
    auto attempts = [&](auto* slot) {
        using Box = std::remove_pointer_t<decltype(slot)>;
        Box* box = nullptr;
        EXPECT_EQ(showOneDialog(box, goneOwner, services_), nullptr);
        EXPECT_EQ(box, nullptr) << "nothing is kept of a dialog without a window";
        Box* shown = showOneDialog(box, owner_.hwnd(), services_);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(box, shown);
        const HWND hwnd = shown->hwnd();
        ASSERT_TRUE(IsWindowVisible(hwnd));
        ShowWindow(hwnd, SW_HIDE);
        EXPECT_EQ(showOneDialog(box, owner_.hwnd(), services_), shown) << "the open one again";
        EXPECT_TRUE(IsWindowVisible(hwnd));
        shown->close(1);
        ASSERT_TRUE(pumpUntil([&] { return box == nullptr; }));
        EXPECT_TRUE(gone(hwnd));
    };
    attempts(static_cast<TxInstallErrorBox*>(nullptr));
    attempts(static_cast<TxDownloaderErrorBox*>(nullptr));
}

}  // namespace
