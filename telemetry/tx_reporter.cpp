#include "telemetry/tx_reporter.h"

#include <time.h>

#include "app/config_imp.h"
#include "telemetry/md5.h"
#include "utility/log.h"
#include "utility/system_info.h"
#include "utility/text.h"

namespace {

constexpr const char* kWorkerTag = "TxReporter::_threadReport";

std::int64_t calendarSeconds() {
    return static_cast<std::int64_t>(_time64(nullptr));
}

}  // namespace

TxReporter::TxReporter(const ConfigImp& config, PostFunction post)
    : config_(config), post_(std::move(post)) {}

TxReporter::~TxReporter() {
    if (worker_.hasThread()) shutdown();
}

void TxReporter::initReporter(const std::wstring& openId, const std::wstring& pcId,
                              const std::wstring& language) {
    if (started_) return;
    started_ = true;
    identity_ = {openId, pcId, language};
    wakeEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    Runable* task = new MemberFuncRunable<TxReporter>(this, &TxReporter::_threadReport);
    if (!worker_.start(task)) task->release();
}

void TxReporter::addEvent(const wchar_t* name, telemetry::EventProperties properties) {
    if (config_.isPlayer4()) {
        LOG_AT("TxReporter::addEvent", L"player 4 32. not report!");
        return;
    }
    // The node is made outside the lock, so the lock only covers linking it in.
    std::list<telemetry::EventRecord> node;
    node.push_back({name ? name : L"", calendarSeconds() * 1000, std::move(properties)});
    const std::lock_guard<std::mutex> guard(lock_);
    queue_.splice(queue_.end(), node);
}

void TxReporter::flush() {
    if (wakeEvent_) SetEvent(wakeEvent_.get());
}

void TxReporter::shutdown() {
    stop_ = true;
    flush();
    worker_.stop(kStopTimeoutMs);
}

void TxReporter::_threadReport() {
    while (!stop_) reportCycle(kWaitMs);
    // Events added while the last cycle was uploading, or before the first cycle began, would
    // otherwise be lost at shutdown.
    bool pending = false;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        pending = !queue_.empty();
    }
    if (pending) reportCycle(0);
}

void TxReporter::reportCycle(DWORD waitMs) {
    if (waitMs != 0) {
        LOG_AT(kWorkerTag, L"waitfor event");
        // Without a wake event (it could not be created) the cycle still keeps its pace.
        if (WaitForSingleObject(wakeEvent_.get(), waitMs) == WAIT_FAILED) Sleep(waitMs);
        LOG_AT(kWorkerTag, L"event comming");
    }
    std::list<telemetry::EventRecord> batch;
    const std::size_t count = takeQueue(batch);
    // The records' callables run here, on the worker, outside the lock.
    telemetry::JsonDocument array;
    array.SetArray();
    for (const telemetry::EventRecord& record : batch) {
        telemetry::appendEventObject(array, record, identity_, utility::makeGuidText());
    }
    batch.clear();
    const std::string body = telemetry::prettyJson(array);
    if (body.size() <= telemetry::kEmptyBodyLimit) {
        LOG_AT(kWorkerTag, L"no body");
        return;
    }
    upload(body, count);
}

std::size_t TxReporter::takeQueue(std::list<telemetry::EventRecord>& batch) {
    const std::lock_guard<std::mutex> guard(lock_);
    batch.splice(batch.end(), queue_);
    return batch.size();
}

void TxReporter::upload(const std::string& body, std::size_t eventCount) {
    const std::int64_t time = telemetry::requestTime(calendarSeconds(), GetTickCount());
    const std::string signature = telemetry::signatureOf(
        telemetry::md5Hex(telemetry::signingInput(telemetry::signingPrefix(), time, eventCount)));
    if (signature.empty()) {
        LOG_AT(kWorkerTag, L"md5 calc error!!");
        return;
    }
    const std::vector<std::string> headers = telemetry::uploadHeaders(time, signature);
    const std::string url = telemetry::collectionUrl();
    // The client takes its body in the system code page and sends it as UTF-8.
    const std::string sent = utility::wideToAnsi(utility::utf8ToWide(body));
    LOG_AT(kWorkerTag, L"post report quest");
    std::string response;
    if (!post_(sent, response, url, headers)) {
        Sleep(kRetryDelayMs);
        response.clear();
        post_(sent, response, url, headers);
    }
    LOG_AT(kWorkerTag, L"report ret:%s", utility::utf8ToWide(response).c_str());
}
