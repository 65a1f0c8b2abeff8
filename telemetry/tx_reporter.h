// The event reporter: collects named events from every part of the installer and uploads them in
// signed JSON batches to the vendor's collection service. Callers never wait for the network:
// addEvent only appends to a queue that a worker thread drains every 20 seconds, or at once after
// flush.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "telemetry/report_batch.h"
#include "utility/handle.h"
#include "utility/task_runner.h"

class ConfigImp;

class TxReporter {
public:
    // Posts the body with the extra header lines; the response goes into the output.
    using PostFunction =
        std::function<bool(const std::string& body, std::string& response, const std::string& url,
                           const std::vector<std::string>& headers)>;

    // The process-wide reporter. It lives until the process ends, so a worker that was never
    // shut down cannot outlive its queue.
    static TxReporter& instance();

    // A reporter that uploads through the curl client and follows the process-wide configuration.
    TxReporter();
    // A reporter with its own configuration and upload (tests, benchmarks).
    TxReporter(const ConfigImp& config, PostFunction post);
    // Shuts the worker down if it still runs.
    ~TxReporter();
    TxReporter(const TxReporter&) = delete;
    TxReporter& operator=(const TxReporter&) = delete;

    // Stores the run's identity, creates the wake event and starts the worker. Once.
    void initReporter(const std::wstring& openId, const std::wstring& pcId,
                      const std::wstring& language);
    // Queues the event; with edition 4 selected the event is dropped and its properties callable
    // destroyed without being called. The callable captures its values by copy.
    void addEvent(const wchar_t* name, telemetry::EventProperties properties = {});
    // Wakes the worker so that it uploads the queue now.
    void flush();
    // Uploads what is queued and stops the worker, cutting an upload off after 8 seconds.
    void shutdown();

private:
    static constexpr DWORD kWaitMs = 20000;
    static constexpr DWORD kRetryDelayMs = 100;
    static constexpr DWORD kStopTimeoutMs = 8000;

    void _threadReport();
    // One wait-and-upload cycle of the worker; no wait when waitMs is 0.
    void reportCycle(DWORD waitMs);
    // Takes the whole queue; returns the number of events taken.
    std::size_t takeQueue(std::list<telemetry::EventRecord>& batch);
    void upload(const std::string& body, std::size_t eventCount);

    const ConfigImp& config_;
    PostFunction post_;
    std::mutex lock_;
    std::list<telemetry::EventRecord> queue_;
    WorkerThread worker_;
    utility::UniqueHandle wakeEvent_;
    telemetry::ReporterIdentity identity_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
};
