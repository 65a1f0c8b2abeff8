// Runs the engine driver (a whole downloader run as the main window drives it) inside the
// world, and reads what the run left behind: its log lines, the requests, the events.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/world_support.h"
#include "tests/utility/log_capture.h"

namespace road {

using testing_support::LogLine;
using testing_support::world::RecordedRequest;

struct Run {
    long exitCode = -1;
    std::vector<LogLine> log;               // the driver's log lines of this run
    std::vector<RecordedRequest> requests;  // recorded since the run started
    std::wstring folder;                    // the folder the driver ran in (trailing backslash)
    std::wstring installFolder;             // as the driver chose it before the download

    bool logged(const std::string& function, const std::string& message) const;
    // Messages logged under the tag, in order.
    std::vector<std::string> messages(const std::string& function) const;
    // Requests to the host whose path starts with the prefix, in order.
    std::vector<RecordedRequest> requestsTo(const std::string& host,
                                            const std::string& pathPrefix) const;
    // Requests to the host for exactly that path, in order.
    std::vector<RecordedRequest> requestsAt(const std::string& host, const std::string& path) const;
    // Position of the first log line with the tag and message start; npos when none.
    std::size_t logIndex(const std::string& function, const std::string& messageStart) const;
    // Milliseconds of the day at which that line was logged; -1 when there is none.
    long logTime(const std::string& function, const std::string& messageStart) const;
    // Reporter events of every upload, in order, as compact JSON of {"event":..,"properties":..}.
    std::vector<std::string> reporterEvents() const;
    // Names of the analytics events posted, in order.
    std::vector<std::string> analyticsEvents() const;
    // One line per request (method, host, target, status, outcome, agent): for failure messages.
    std::string describeRequests() const;
    // True when there were uploads and each carried a signature the double accepted and events
    // of the reporter's form.
    bool allUploadsSigned() const;
    std::size_t uploadCount() const;
};

// Fills the run's requests with those recorded since `since`. The process ended once its last
// request had its answer; the double writes its record a moment after, so this waits until the
// record holds as many uploads as the run's log announced.
void collectRecords(Run& run, std::size_t since);

// Clean start for one run: no installation registered, no autorun value, the default world.
void resetMachine();

// Copies the driver under baseName + ".exe" into a new folder and runs it there with the command
// line and the driver options (TAMRIX_DRIVER_*), until it ends. Unless the options name one, the
// install folder is "Emu" in that folder (completed with the edition's folders). Waits for the
// analytics and collection requests the run made before it ended.
Run runDriver(const std::wstring& baseName, const std::wstring& commandLine,
              const std::map<std::wstring, std::wstring>& options,
              const testing_support::TempDir& folder);

// Windows path of a file in the build folder ("app\\TamrixInstaller.exe").
std::wstring buildPath(const std::wstring& relative);
// Windows path of an emulator stand-in built with the tests ("gxplayer").
std::wstring standinPath(const std::wstring& name);

// The Windows version that programs of this executable name see, through Wine's per-program
// setting ("win7", "winxp", ...); empty: the world's own (Windows 10). False on failure.
bool setProgramWindowsVersion(const std::wstring& exeName, const std::wstring& version);

// Milliseconds of the day, in local time as the log writes it, of the file's last write; -1 when
// it cannot be read.
long lastWriteTimeOfDay(const std::wstring& path);
// The same for the last write of a key under the current user (its values included).
long registryWriteTimeOfDay(const std::wstring& subKey);

// The version document the double serves by default, for a test to change and serve instead.
std::string defaultVersionDocument();

// Host names of the deployment, as the double records them.
std::string cdnHost();
std::string spareHost();

bool contains(const std::vector<std::string>& list, const std::string& item);

// A rule object for the scenario.
std::string rule(const std::string& host, const std::string& path, const std::string& answer);

// A test of whole runs: a clean machine and default world for each case, and a folder of its own
// to run the driver in.
class RoadTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Runs the driver under the file name without starting the emulator unless the options say
    // otherwise.
    road::Run run(const std::wstring& baseName, std::map<std::wstring, std::wstring> options = {});

    testing_support::TempDir folder_;
};

}  // namespace road
