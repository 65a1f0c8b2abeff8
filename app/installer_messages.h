// What the application does when the emulator's installer reports its result on the window
// channel: the telemetry of both channels and the immediate upload. The main window adds its
// own reaction (the install error dialog) on top.
#pragma once

#include <windows.h>

class DownloaderModel;
class TxReporter;

namespace installer_messages {

// Message ids of the window channel.
constexpr UINT kShowRunningCopy = 11123;
constexpr UINT kInstallFailed = 11124;  // word parameter: the installer's error code
constexpr UINT kInstallSucceeded = 11125;

// The installer failed with the (signed 32-bit) error code: reports it and marks the model, so
// that the stage's end after it is never taken for a success.
void onInstallFailed(WPARAM errorCode, DownloaderModel& model, TxReporter& reporter);
// The installer succeeded: reports it, the whole run's duration, and uploads at once.
void onInstallSucceeded(DownloaderModel& model, TxReporter& reporter);

}  // namespace installer_messages
