#include "engine/installer_run.h"

#include "telemetry/event_catalogue.h"
#include "telemetry/google_analytics.h"

namespace installer_run {

std::wstring parameterText(const std::wstring& openId, const std::wstring& language,
                           const std::wstring& installFolder, const std::wstring& googleId) {
    std::wstring text = L"-silence -downloader -openid=" + openId;
    if (!language.empty()) text += L" -language=" + language;
    text += L" -path=\"" + installFolder + L"\"";
    if (!googleId.empty()) text += L" -googleid=" + googleId;
    return text;
}

std::vector<std::wstring> runningBlockers(const utility::process::ProcessList& processes) {
    std::vector<std::wstring> running;
    for (const wchar_t* name : kBlockingProcesses) {
        if (processes.count(name) != 0) running.push_back(name);
    }
    return running;
}

void stopEmulatorProcesses() {
    for (const auto& name : runningBlockers(utility::process::listProcesses())) {
        utility::process::execute(L"taskkill", L"/F /IM " + name + L" /T", false, 2000);
    }
}

WaitOutcome classifyWait(DWORD waitResult) {
    switch (waitResult) {
        case WAIT_OBJECT_0:
            return WaitOutcome::Ended;
        case WAIT_TIMEOUT:
            return WaitOutcome::TimedOut;
        case WAIT_OBJECT_0 + 1:
            return WaitOutcome::Stopped;
        case WAIT_FAILED:
            return WaitOutcome::Failed;
        default:
            return WaitOutcome::Other;
    }
}

void reportStartFailure(DWORD systemError, const Reporting& reporting) {
    telemetry::deliver(reporting.analytics,
                       telemetry::analytics::installFailPackageError(reporting.openId));
    telemetry::report::installFailPackageError(systemError, reporting.reporter);
}

bool reportWaitOutcome(WaitOutcome outcome, const Reporting& reporting) {
    switch (outcome) {
        case WaitOutcome::Ended:
            return true;
        case WaitOutcome::Stopped:
            return false;
        case WaitOutcome::TimedOut:
            telemetry::deliver(reporting.analytics,
                               telemetry::analytics::installFailTimeout(reporting.openId));
            telemetry::report::installFailTimeout(reporting.reporter);
            return false;
        case WaitOutcome::Failed:
            telemetry::deliver(reporting.analytics,
                               telemetry::analytics::installFailOther(reporting.openId));
            telemetry::report::installFailWaitFailed(reporting.reporter);
            return false;
        case WaitOutcome::Other:
            break;
    }
    telemetry::deliver(reporting.analytics,
                       telemetry::analytics::installFailOther(reporting.openId));
    telemetry::report::installFailOther(reporting.reporter);
    return false;
}

bool runInstaller(const std::wstring& installerPath, const std::wstring& parameters, DWORD waitMs,
                  HANDLE stop, const Reporting& reporting, HeldInstaller held) {
    const auto process =
        utility::process::createWithShowCommand(installerPath, parameters, SW_SHOW);
    const DWORD startError = GetLastError();
    held.release();
    SetLastError(startError);
    if (!process) {
        reportStartFailure(GetLastError(), reporting);
        return false;
    }
    const HANDLE waited[] = {process.get(), stop};
    const DWORD count = stop == nullptr ? 1 : 2;
    return reportWaitOutcome(classifyWait(WaitForMultipleObjects(count, waited, FALSE, waitMs)),
                             reporting);
}

}  // namespace installer_run
