#include "telemetry/google_analytics.h"

#include <chrono>
#include <system_error>

#include "telemetry/analytics_body.h"
#include "utility/text.h"

namespace vadi {

GoogleAnalytics::GoogleAnalytics(PcIdSources sources, PostFunction post)
    : sources_(std::move(sources)), post_(std::move(post)) {}

GoogleAnalytics::~GoogleAnalytics() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    signal_.notify_all();
    if (worker_.valid()) worker_.wait();
}

void GoogleAnalytics::setMeasurementId(const std::wstring& measurementId) {
    const std::lock_guard<std::mutex> guard(lock_);
    measurementId_ = measurementId;
}

void GoogleAnalytics::setApiSecret(const std::wstring& apiSecret) {
    const std::lock_guard<std::mutex> guard(lock_);
    apiSecret_ = apiSecret;
}

void GoogleAnalytics::calcPCID() {
    // Locked so that a worker started before the first computation cannot compute it twice.
    const std::lock_guard<std::mutex> guard(idLock_);
    if (pcId_.empty()) pcId_ = computePcId(sources_);
}

std::wstring GoogleAnalytics::getPCID() {
    calcPCID();
    return utility::ansiToWide(pcId());
}

std::string GoogleAnalytics::pcId() {
    const std::lock_guard<std::mutex> guard(idLock_);
    return pcId_;
}

void GoogleAnalytics::sendEvent(const std::wstring& name, const std::wstring& label) {
    if (closed_) return;
    std::list<std::function<void()>> task;
    task.emplace_back([this, name, label] { post(name, label); });
    const std::lock_guard<std::mutex> guard(lock_);
    if (queue_.size() < kQueueLimit) queue_.splice(queue_.end(), task);
    signal_.notify_one();
    const bool running =
        worker_.valid() && worker_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    if (running) return;
    try {
        worker_ = std::async(std::launch::async, [this] { workerLoop(); });
    } catch (const std::system_error&) {
        // No thread could be started: the event stays queued for the next call's attempt.
        worker_ = {};
    }
}

void GoogleAnalytics::sendEventNow(const std::wstring& name, const std::wstring& label) {
    if (closed_) return;
    post(name, label);
}

std::size_t GoogleAnalytics::queuedCount() {
    const std::lock_guard<std::mutex> guard(lock_);
    return queue_.size();
}

void GoogleAnalytics::close() {
    closed_ = true;
}

void GoogleAnalytics::workerLoop() {
    for (;;) {
        calcPCID();
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> guard(lock_);
            signal_.wait(guard, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        busy_ = true;
        task();
        busy_ = false;
    }
}

void GoogleAnalytics::post(const std::wstring& name, const std::wstring& label) {
    std::string url;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        url = analyticsUrl(measurementId_, apiSecret_);
    }
    std::string response;
    post_(analyticsBody(pcId(), name, label), response, url, {});
}

}  // namespace vadi
