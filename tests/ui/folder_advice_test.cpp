// The install folder advice with given drive probes: when each advice box opens and what it
// names, what every choice stores, the log lines, and the formatting of the advice texts.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/ui/ui_harness.h"
#include "tests/utility/log_capture.h"
#include "toolkit/control.h"
#include "ui/folder_advice.h"
#include "utility/text.h"

namespace {

using testing_support::LogCapture;
using ui_test::AccessibleWindow;
using ui_test::OwnerWindow;
using ui_test::pumpUntil;

constexpr char kTag[] = "CMainFrame::changePathClac";
constexpr wchar_t kSsdDC[] =
    L"HDD (Disk D) may lead to game stuttering, please choose SSD (Disk C) for better "
    L"performance, do you want to change the path?";

std::wstring spaceAdvice(const wchar_t* drive) {
    return std::wstring(
               L"There is not enough space available on this disk for installation, "
               L"it's recommended to use Disk ") +
           drive + L", do you want to change the path?";
}

// The main window's and the drives' side of the advice.
struct World {
    std::wstring installFolder;
    std::wstring bestFolder;
    bool bestSsd = false;
    std::set<std::wstring> ssdDrives;            // "C:"
    std::map<wchar_t, std::deque<double>> free;  // answers per drive letter, the last repeats
    std::vector<std::wstring> stored;            // folders given to setInstallPath
    std::vector<std::wstring> probedDrives;
    bool completes = true;  // false: the folder is stored as chosen (it is complete already)

    // Stores the folder completed as the model does, so it differs from what was chosen.
    folder_advice::Hooks hooks() {
        return {[this] { return installFolder; },
                [this] { return bestFolder; },
                [this] { return bestSsd; },
                [this](const std::wstring& folder) {
                    stored.push_back(folder);
                    installFolder = completes ? folder + L"\\Tamrix\\" : folder;
                },
                [this](const std::wstring& drive) {
                    probedDrives.push_back(drive);
                    return ssdDrives.count(drive) != 0;
                },
                [this](const std::wstring& folder) {
                    std::deque<double>& answers = free[folder.empty() ? L'?' : folder[0]];
                    if (answers.empty()) return 0.0;
                    const double value = answers.front();
                    if (answers.size() > 1) answers.pop_front();
                    return value;
                }};
    }
};

HWND theBox() {
    const auto boxes = ui_test::windowsOfClass(L"MessageBoxWindow");
    return boxes.size() == 1 ? boxes[0] : nullptr;
}

// The advice box's body text, or empty when no box is open.
std::wstring boxText(HWND box) {
    if (!box) return {};
    for (const ui_test::Element& e : AccessibleWindow(box).elements())
        if (e.role == ROLE_SYSTEM_STATICTEXT && e.name != L"Installation tips") return e.name;
    return {};
}

class FolderAdviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::setUpToolkit();
        LogCapture::instance().newLines();
    }
    void TearDown() override {
        for (HWND box : ui_test::windowsOfClass(L"MessageBoxWindow"))
            PostMessageW(box, WM_CLOSE, 0, 0);
        EXPECT_TRUE(pumpUntil([] { return ui_test::windowsOfClass(L"MessageBoxWindow").empty(); }));
    }

    std::vector<std::string> logged() {
        return testing_support::messagesOf(LogCapture::instance().newLines(), kTag);
    }

    // Presses a box button by caption and waits for that box to go.
    void choose(HWND box, const std::wstring& caption) {
        ASSERT_TRUE(AccessibleWindow(box).press(caption));
        ASSERT_TRUE(pumpUntil([&] { return !IsWindow(box); }));
    }

    OwnerWindow owner_;
};

TEST_F(FolderAdviceTest, WhichAdviceACandidateGets) {
    struct Case {
        const char* what;
        const wchar_t* install;
        const wchar_t* best;
        bool bestSsd;
        bool checkSsd;
        const wchar_t* candidate;
        std::vector<double> freeOfCandidate;
        std::vector<std::wstring> stored;
        std::wstring text;  // of the box that opens; empty: none
        std::vector<std::string> log;
    };
    const std::wstring best = L"C:\\Program Files\\Tamrix\\";
    const Case cases[] = {
        {"the folder already stored",
         L"D:\\Games\\Tamrix\\",
         best.c_str(),
         true,
         true,
         L"D:\\Games\\Tamrix\\",
         {100},
         {},
         L"",
         {}},
        {"the best folder's drive",
         L"E:\\Tamrix\\",
         best.c_str(),
         true,
         true,
         L"C:\\Games",
         {100},
         {L"C:\\Games"},
         L"",
         {"same best path"}},
        {"another drive, both SSD checks set",
         L"E:\\Tamrix\\",
         best.c_str(),
         true,
         true,
         L"D:\\Games",
         {100},
         {L"D:\\Games"},
         kSsdDC,
         {}},
        {"the drive letter in lower case is another drive",
         L"E:\\Tamrix\\",
         best.c_str(),
         true,
         true,
         L"d:\\Games",
         {100},
         {L"d:\\Games"},
         L"HDD (Disk d) may lead to game stuttering, please choose SSD (Disk C) for better "
         L"performance, do you want to change the path?",
         {}},
        {"no SSD check asked for",
         L"E:\\Tamrix\\",
         best.c_str(),
         true,
         false,
         L"D:\\Games",
         {10000},
         {L"D:\\Games"},
         spaceAdvice(L"C"),
         {"left 17G"}},
        {"the best drive is no SSD",
         L"E:\\Tamrix\\",
         best.c_str(),
         false,
         true,
         L"D:\\Games",
         {10000},
         {L"D:\\Games"},
         spaceAdvice(L"C"),
         {"left 17G"}},
        {"the candidate's drive is an SSD too",
         L"E:\\Tamrix\\",
         best.c_str(),
         true,
         true,
         L"F:\\Games",
         {10000},
         {L"F:\\Games"},
         spaceAdvice(L"C"),
         {"left 17G"}},
        {"enough space",
         L"E:\\Tamrix\\",
         best.c_str(),
         false,
         true,
         L"D:\\Games",
         {17408},
         {L"D:\\Games"},
         L"",
         {}},
        {"the space grew between the measures",
         L"E:\\Tamrix\\",
         best.c_str(),
         false,
         true,
         L"D:\\Games",
         {10000, 17408.9},
         {L"D:\\Games"},
         L"",
         {"left 17G", "all left 24G"}},
        {"just short of the space, measured as a whole number the second time",
         L"E:\\Tamrix\\",
         best.c_str(),
         false,
         true,
         L"D:\\Games",
         {17407.5, 17407.9},
         {L"D:\\Games"},
         spaceAdvice(L"C"),
         {"left 17G"}},
        {"no best folder: the previous folder's drive",
         L"E:\\Tamrix\\",
         L"",
         true,
         true,
         L"D:\\Games",
         {10000},
         {L"D:\\Games"},
         spaceAdvice(L"E"),
         {"left 17G"}},
        {"a best folder of two characters is no drive to compare",
         L"E:\\Tamrix\\",
         L"C:",
         false,
         true,
         L"C:\\Games",
         {10000},
         {L"C:\\Games"},
         spaceAdvice(L"C"),
         {"left 17G"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World world;
        world.installFolder = c.install;
        world.bestFolder = c.best;
        world.bestSsd = c.bestSsd;
        world.ssdDrives = {L"C:", L"F:"};
        world.free[c.candidate[0]] = {c.freeOfCandidate.begin(), c.freeOfCandidate.end()};
        folder_advice::changePathClac(owner_.hwnd(), c.checkSsd, c.candidate, world.hooks());
        EXPECT_EQ(world.stored, c.stored);
        EXPECT_EQ(boxText(theBox()), c.text);
        EXPECT_EQ(logged(), c.log);
        if (HWND box = theBox()) {
            EXPECT_EQ(GetWindow(box, GW_OWNER), owner_.hwnd());
            PostMessageW(box, WM_CLOSE, 0, 0);
            ASSERT_TRUE(pumpUntil([&] { return !IsWindow(box); }));
        }
        EXPECT_EQ(world.stored, c.stored) << "closing with Escape or by the system changes nothing";
    }
}

TEST_F(FolderAdviceTest, EveryChoiceOfBothAdvices) {
    enum class Choice { kOk, kNot, kCloseButton };
    struct Case {
        bool ssdAdvice;
        Choice choice;
        std::vector<std::wstring> storedAfter;  // after the first "D:\Games"
        std::wstring next;                      // text of the box that follows
    };
    const Case cases[] = {
        {true, Choice::kOk, {L"C:\\Best\\"}, L""},
        {true, Choice::kNot, {L"D:\\Games"}, spaceAdvice(L"C")},
        {true, Choice::kCloseButton, {L"D:\\Games"}, spaceAdvice(L"C")},
        {false, Choice::kOk, {L"C:\\Best\\"}, L""},
        {false, Choice::kNot, {}, L""},
        {false, Choice::kCloseButton, {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "ssd " << c.ssdAdvice << " choice " << static_cast<int>(c.choice));
        World world;
        world.installFolder = L"E:\\Tamrix\\";
        world.bestFolder = L"C:\\Best\\";
        world.bestSsd = c.ssdAdvice;
        world.free[L'D'] = {5000};
        folder_advice::changePathClac(owner_.hwnd(), true, L"D:\\Games", world.hooks());
        HWND box = theBox();
        ASSERT_EQ(boxText(box), c.ssdAdvice ? std::wstring(kSsdDC) : spaceAdvice(L"C"));
        switch (c.choice) {
            case Choice::kOk:
                choose(box, L"Yes");
                break;
            case Choice::kNot:
                choose(box, L"No, thanks");
                break;
            case Choice::kCloseButton: {
                // The close button is the one button that is neither choice.
                std::wstring closeName;
                for (const ui_test::Element& e : AccessibleWindow(box).elements())
                    if (e.role == ROLE_SYSTEM_PUSHBUTTON && e.name != L"Yes" &&
                        e.name != L"No, thanks")
                        closeName = e.name;
                choose(box, closeName);
                break;
            }
        }
        std::vector<std::wstring> stored{L"D:\\Games"};
        stored.insert(stored.end(), c.storedAfter.begin(), c.storedAfter.end());
        EXPECT_EQ(world.stored, stored);
        EXPECT_EQ(boxText(theBox()), c.next);
        if (HWND next = theBox()) {
            choose(next, L"No, thanks");
            EXPECT_EQ(world.stored, stored) << "declining the space advice keeps the folder";
        }
        EXPECT_TRUE(owner_.enabled());
        // The space check ran once unless the SSD advice was taken; a second pass asks about no
        // drive.
        const bool spaceChecked = !(c.ssdAdvice && c.choice == Choice::kOk);
        EXPECT_EQ(logged(),
                  spaceChecked ? std::vector<std::string>{"left 17G"} : std::vector<std::string>{});
        EXPECT_EQ(world.probedDrives,
                  c.ssdAdvice ? std::vector<std::wstring>{L"D:"} : std::vector<std::wstring>{});
    }
}

// The answers a person gives box after box, and what the advice stored and logged meanwhile.
TEST_F(FolderAdviceTest, TheSsdAdvicesNoChecksTheSpaceAndNoEmptyFolderIsEverStored) {
    const std::wstring ssdDC = kSsdDC;
    const struct {
        const char* what;
        const wchar_t* install;
        const wchar_t* best;
        bool bestSsd;
        bool completes;
        const wchar_t* candidate;
        std::vector<std::pair<std::wstring, std::wstring>> boxes;  // text shown, answer given
        std::vector<std::wstring> stored;
    } cases[] = {
        {"a complete folder on a hard disk with little room",
         L"E:\\Tamrix\\",
         L"C:\\Best\\",
         true,
         false,
         L"D:\\Games\\Tamrix\\",
         {{ssdDC, L"No, thanks"}, {spaceAdvice(L"C"), L"Yes"}},
         {L"D:\\Games\\Tamrix\\", L"D:\\Games\\Tamrix\\", L"C:\\Best\\"}},
        {"neither a best nor a previous folder to advise",
         L"",
         L"",
         true,
         true,
         L"D:\\Games",
         {{spaceAdvice(L""), L"Yes"}},
         {L"D:\\Games"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        World world;
        world.installFolder = c.install;
        world.bestFolder = c.best;
        world.bestSsd = c.bestSsd;
        world.completes = c.completes;
        world.free[L'D'] = {5000};
        folder_advice::changePathClac(owner_.hwnd(), true, c.candidate, world.hooks());
        for (const auto& [text, answer] : c.boxes) {
            ASSERT_TRUE(pumpUntil([&] { return theBox() != nullptr; }))
                << "no box for " << utility::wideToUtf8(text);
            EXPECT_EQ(boxText(theBox()), text);
            choose(theBox(), answer);
        }
        EXPECT_EQ(theBox(), nullptr);
        EXPECT_EQ(world.stored, c.stored);
        EXPECT_EQ(logged(), std::vector<std::string>{"left 17G"});
        EXPECT_TRUE(owner_.enabled());
    }
}

TEST(FolderAdviceText, FormattingFillsEachPlaceInTurnAndKeeps255Characters) {
    using folder_advice::formatAdvice;
    EXPECT_EQ(formatAdvice(L"HDD (Disk %s) or SSD (Disk %s)?", L"D", L"C"),
              L"HDD (Disk D) or SSD (Disk C)?");
    EXPECT_EQ(formatAdvice(L"use Disk %s", L"E"), L"use Disk E");
    EXPECT_EQ(formatAdvice(L"100%% on %s, %s and %s", L"D", L"C"), L"100% on D, C and ");
    EXPECT_EQ(formatAdvice(L"%d stays, a lone % too%", L"D"), L"%d stays, a lone % too%");
    const std::wstring longText = std::wstring(250, L'x') + L" %s and more";
    EXPECT_EQ(formatAdvice(longText, L"Z"), std::wstring(250, L'x') + L" Z an");
    EXPECT_EQ(formatAdvice(longText, L"Z").size(), 255u);
}

}  // namespace
