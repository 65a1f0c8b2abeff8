// The analytics client: keeps the PC identity and sends named events to the measurement-protocol
// endpoint, either through its own queue and on-demand worker or at once on the calling thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "telemetry/pc_identity.h"

namespace vadi {

class GoogleAnalytics {
public:
    // Posts the body with the extra header lines; the response goes into the output.
    using PostFunction =
        std::function<bool(const std::string& body, std::string& response, const std::string& url,
                           const std::vector<std::string>& headers)>;

    // Events waiting for the worker beyond this many are dropped.
    static constexpr std::size_t kQueueLimit = 100;

    // A client that posts through the curl client and keeps the installer's own identity.
    GoogleAnalytics();
    // A client with its own identity sources and post (tests, benchmarks).
    GoogleAnalytics(PcIdSources sources, PostFunction post);
    // Stops the worker after the task it runs; queued events that have not run are discarded.
    ~GoogleAnalytics();
    GoogleAnalytics(const GoogleAnalytics&) = delete;
    GoogleAnalytics& operator=(const GoogleAnalytics&) = delete;

    // The analytics property of the configuration language.
    void setMeasurementId(const std::wstring& measurementId);
    void setApiSecret(const std::wstring& apiSecret);

    // Computes the PC id once; later calls do nothing.
    void calcPCID();
    std::wstring getPCID();

    // Unless closed: queues the event for the worker, starting the worker when none runs.
    void sendEvent(const std::wstring& name, const std::wstring& label);
    // Unless closed: posts the event on the calling thread (blocks up to the post's time-out).
    void sendEventNow(const std::wstring& name, const std::wstring& label);
    // Both send operations do nothing from now on; queued events are still sent.
    void close();

    // True while the worker posts an event.
    bool isBusy() const { return busy_; }
    // Events waiting for the worker.
    std::size_t queuedCount();

private:
    void workerLoop();
    void post(const std::wstring& name, const std::wstring& label);
    std::string pcId();

    PcIdSources sources_;
    PostFunction post_;

    std::mutex idLock_;  // the PC id; never held together with lock_
    std::string pcId_;

    std::mutex lock_;  // the queue, the stop flag, the worker and the property
    std::condition_variable signal_;
    std::list<std::function<void()>> queue_;
    std::future<void> worker_;
    bool stop_ = false;
    std::wstring measurementId_;
    std::wstring apiSecret_;

    std::atomic<bool> busy_{false};
    std::atomic<bool> closed_{false};
};

}  // namespace vadi
