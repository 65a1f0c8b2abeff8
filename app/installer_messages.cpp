#include "app/installer_messages.h"

#include <cstdint>

#include "engine/downloader_model.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "utility/log.h"

namespace installer_messages {

constexpr char kTag[] = "DownloadImpl::onHandleWindowIPC";

void onInstallFailed(WPARAM errorCode, DownloaderModel& model, TxReporter& reporter) {
    const auto code = static_cast<std::int32_t>(static_cast<std::uint32_t>(errorCode));
    LOG_AT(kTag, L"player install error! %d", code);
    model.noteInstallerFailure();
    telemetry::report::installFailErrorCode(code, reporter);
    model.raise(telemetry::analytics::installFail(model.openId()));
}

void onInstallSucceeded(DownloaderModel& model, TxReporter& reporter) {
    LOG_AT(kTag, L"player install sucess");
    telemetry::report::installSuccess(reporter);
    model.raise(telemetry::analytics::installSuccess(model.openId()));
    const DWORD elapsed = GetTickCount() - model.installStartTick();
    // Reports the duration and wakes the reporter, so the batch leaves at once.
    telemetry::report::downloaderFullDuration(elapsed, reporter);
}

}  // namespace installer_messages
