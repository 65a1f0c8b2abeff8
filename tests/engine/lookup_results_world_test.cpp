// The lookups' results cross from the lookup thread to the UI thread in posted tasks: however long
// the UI thread does not pump, the model's fields stay as they were, and they take the results when
// the tasks run. The model in process, inside a world whose double serves the package document
// of open id 50001, the channel answer and the customer texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/config_imp.h"
#include "engine/downloader_model.h"
#include "tests/support/world_support.h"
#include "tests/utility/log_capture.h"
#include "utility/task_runner.h"

namespace {

using testing_support::LogCapture;

// Dispatches this thread's messages until none is waiting.
void pumpAll() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

TEST(LookupResults, ReachTheModelOnlyThroughTheUiThread) {
    ASSERT_TRUE(testing_support::world::inWorld());
    createUiDispatcher();
    DownloaderModel model(ConfigImp::instance());
    LogCapture::instance().newLines();
    model.init(L"C:\\Downloads\\tamrix9_en_50001_x.exe", nullptr);

    // The lookup thread ends while this thread pumps nothing.
    ASSERT_TRUE(LogCapture::instance().waitForLine("DownloaderModel::_threadGetPlayerUrl",
                                                   "lookups finished", 60000))
        << "the lookups did not end";
    EXPECT_TRUE(model.games().empty());
    EXPECT_TRUE(model.launchSettings().title.empty());
    EXPECT_TRUE(model.serverOpenId().empty());
    EXPECT_TRUE(model.installErrorText().empty());
    EXPECT_TRUE(model.customerLink().empty());
    EXPECT_TRUE(model.downloadUrl().empty());
    EXPECT_FALSE(model.lookupDone());

    pumpAll();
    ASSERT_EQ(model.games().size(), 1u);
    EXPECT_EQ(model.games()[0].packageName, L"com.tamrix.demo");
    EXPECT_EQ(model.launchSettings().title, L"Tamrix Demo");
    EXPECT_EQ(model.serverOpenId(), L"2468");
    EXPECT_EQ(model.installErrorText(), L"Installation failed. Please contact customer support.");
    EXPECT_NE(model.customerLink().find(L"/support"), std::wstring::npos);
    EXPECT_NE(model.downloadUrl().find(L"/download/package/Tamrix9.0.exe"), std::wstring::npos);
    EXPECT_TRUE(model.lookupDone());
    model.stop();
}

}  // namespace
