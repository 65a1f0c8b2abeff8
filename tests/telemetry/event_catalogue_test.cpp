// Every reporter event of the catalogue as it leaves the reporter: name, the members it adds and
// their JSON types, and which events flush; the analytics events' names, labels and delivery.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <string>
#include <vector>

#include "app/config_imp.h"
#include "telemetry/event_catalogue.h"
#include "tests/telemetry/fake_post.h"

namespace {

using namespace telemetry;
using testing_support::FakePost;

// The members each event adds after the six fixed ones, as "name=value" (numbers bare).
std::vector<std::string> eventMembers(const rapidjson::Value& event) {
    std::vector<std::string> members{event["eventKey"].GetString()};
    const rapidjson::Value& properties = event["properties"];
    int index = 0;
    for (auto it = properties.MemberBegin(); it != properties.MemberEnd(); ++it, ++index) {
        if (index < 6) continue;
        const std::string name = it->name.GetString();
        if (it->value.IsString()) {
            members.push_back(name + "=\"" + it->value.GetString() + "\"");
        } else if (it->value.IsInt64()) {
            members.push_back(name + "=" + std::to_string(it->value.GetInt64()));
        } else {
            members.push_back(name + "=?");
        }
    }
    return members;
}

class EventCatalogueTest : public ::testing::Test {
protected:
    // Every event of the single upload that follows a flush.
    std::vector<std::vector<std::string>> upload() {
        reporter_.flush();
        return lastUpload();
    }
    std::vector<std::vector<std::string>> lastUpload() {
        EXPECT_TRUE(post_.waitForCalls(++uploads_));
        rapidjson::Document document;
        document.Parse(post_.calls().back().body.c_str());
        std::vector<std::vector<std::string>> events;
        if (!document.IsArray()) return events;
        for (const auto& event : document.GetArray()) events.push_back(eventMembers(event));
        return events;
    }

    ConfigImp config_;
    FakePost post_;
    TxReporter reporter_{config_, post_.function()};
    std::size_t uploads_ = 0;

    void SetUp() override { reporter_.initReporter(L"1234", L"pc", L"en"); }
};

using Events = std::vector<std::vector<std::string>>;

TEST_F(EventCatalogueTest, DownloadEvents) {
    report::runDownloader(reporter_);
    report::startDownloader(reporter_);
    report::downloadAddressFail(reporter_);
    report::downloadSuccess(DownloadUrl::Primary, reporter_);
    report::downloadSuccess(DownloadUrl::Spare, reporter_);
    report::downloadDuration(83125, DownloadUrl::Primary, TransferClient::Curl, reporter_);
    report::downloadDuration(7, DownloadUrl::Spare, TransferClient::SystemHttp, reporter_);
    report::downloadFail(9999, 0, reporter_);
    report::downloadFail(2, 12029, reporter_);
    EXPECT_EQ(upload(), (Events{
                            {"run_downloader"},
                            {"start_downloader"},
                            {"download_address_fail"},
                            {"download_success", "ext_field=\"aws\""},
                            {"download_success", "ext_field=\"res\""},
                            {"download_duration", "duration=83125", "ext_field=\"aws_curl\""},
                            {"download_duration", "duration=7", "ext_field=\"res_ie\""},
                            {"download_fail", "failure_reason=\"9999_0\""},
                            {"download_fail", "failure_reason=\"2_12029\""},
                        }));
}

TEST_F(EventCatalogueTest, InstallEvents) {
    report::installFailPackageError(0xC0000135u, reporter_);
    report::installFailPackageError(2, reporter_);
    report::installFailTimeout(reporter_);
    report::installFailWaitFailed(reporter_);
    report::installFailOther(reporter_);
    report::installFailErrorCode(-3, reporter_);
    report::installFailErrorCode(1603, reporter_);
    report::jumpToWeb(reporter_);
    EXPECT_EQ(upload(), (Events{
                            {"install_fail", "failure_reason=\"package_error_3221225781\""},
                            {"install_fail", "failure_reason=\"package_error_2\""},
                            {"install_fail", "failure_reason=\"timeout\""},
                            {"install_fail", "failure_reason=\"failed\""},
                            {"install_fail", "failure_reason=\"other\""},
                            {"install_fail", "failure_reason=\"errorcode_-3\""},
                            {"install_fail", "failure_reason=\"errorcode_1603\""},
                            {"jump_to_web"},
                        }));
}

TEST_F(EventCatalogueTest, InstallSuccessAndItsDurationAreUploadedAtOnce) {
    report::installSuccess(reporter_);
    report::downloaderFullDuration(600001, reporter_);  // flushes by itself
    EXPECT_EQ(lastUpload(),
              (Events{{"install_success"}, {"downloader_full_duration", "duration=600001"}}));
}

TEST_F(EventCatalogueTest, LeavingBeforeTheDownloadIsUploadedAtOnce) {
    report::cancelDownloadNotDownload(reporter_);
    EXPECT_EQ(lastUpload(), (Events{{"cancel_download", "ext_field=\"notDownload\""}}));
}

TEST_F(EventCatalogueTest, CancelEvents) {
    report::cancelDownloadXp(reporter_);
    report::cancelDownloadSystem32(reporter_);
    report::cancelDownloadSlowTip(45, 120, DownloadUrl::Primary, TransferClient::Curl, reporter_);
    report::cancelDownloadSlowTip(0, 7, DownloadUrl::Spare, TransferClient::SystemHttp, reporter_);
    EXPECT_EQ(upload(), (Events{
                            {"cancel_download", "ext_field=\"xp\""},
                            {"cancel_download", "ext_field=\"system32\""},
                            {"cancel_download", "ext_field=\"45_120_aws_Curl\""},
                            {"cancel_download", "ext_field=\"0_7_res_IE\""},
                        }));
}

TEST_F(EventCatalogueTest, TheSystem32CancelIsDroppedOnceEditionFourIsSelected) {
    config_.setPlayer4();
    report::cancelDownloadSystem32(reporter_);
    config_.setPlayer9();
    report::runDownloader(reporter_);
    EXPECT_EQ(upload(), (Events{{"run_downloader"}}));
}

TEST(EventCatalogue, DownloadFlagsOfTheConfiguration) {
    ConfigImp config;
    EXPECT_EQ(downloadUrlOf(config), DownloadUrl::Primary);
    EXPECT_EQ(transferClientOf(config), TransferClient::SystemHttp);
    config.setSpareUrl(true);
    config.setSystemHttp(false);
    EXPECT_EQ(downloadUrlOf(config), DownloadUrl::Spare);
    EXPECT_EQ(transferClientOf(config), TransferClient::Curl);
}

TEST(EventCatalogue, AnalyticsEvents) {
    struct Row {
        AnalyticsEvent event;
        const wchar_t* name;
        const wchar_t* label;
        bool immediate;
    };
    const std::wstring id = L"2500";
    const Row rows[] = {
        {analytics::downloadRun(id), L"download_run", L"2500", false},
        {analytics::startDownloader(id), L"start_downloader", L"2500", false},
        {analytics::downloadDefaultUrl(id), L"download_defaultUrl", L"2500", false},
        {analytics::downloadSuccess(id), L"download_Success", L"2500", false},
        {analytics::downloadError(id), L"download_Error", L"2500", false},
        {analytics::installPlayerNotExist(id), L"download_installPlayerNotExit", L"2500_1", false},
        {analytics::installFailPackageError(id), L"install_fail_packageerror", L"2500", false},
        {analytics::installFailTimeout(id), L"install_fail_timeout", L"2500", false},
        {analytics::installFailOther(id), L"install_fail_other", L"2500", false},
        {analytics::installFail(id), L"install_fail", L"2500", false},
        {analytics::installSuccess(id), L"install_Sucess", L"2500", false},
        {analytics::downloadXp(id), L"download_xp", L"2500", false},
        {analytics::downloadSystem32(id), L"download_system32", L"2500", false},
        {analytics::userCancel(id), L"userCancel", L"2500", true},
        {analytics::cancelDownload(id), L"cancel_download", L"2500", false},
        {analytics::cancelDownloadDownloading(id), L"cancel_download_downloading", L"2500", false},
        {analytics::downloadGoogleDriver(), L"Download_googleDriver", L"downloadingPage", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.event.name, row.name);
        EXPECT_EQ(row.event.label, row.label) << row.name;
        EXPECT_EQ(row.event.immediate, row.immediate) << row.name;
    }
}

}  // namespace
