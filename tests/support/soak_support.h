// The quit-anywhere soak: the real installer started again and again inside the world, against
// scenarios drawn from a seed (downloads cut at a random byte on either client, slow or failing
// hosts, a failing, hanging or crashing installer stand-in), and ended at a random moment by a
// random means (the close button and its prompts, Escape, WM_CLOSE from this process, taskkill
// with and without /F, a second copy). Every run is judged from outside: it ended in time
// without a crash; no truncated installer was started; nothing was written after the log's stop
// line; at most one partial download is left, and the next download over it is whole; every
// upload was signed validly. The install folder persists from run to run, as on a user's disk.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace soak {

struct Options {
    std::uint64_t seed = 1;
    int runs = 10;
    unsigned maxMomentMs = 12000;  // the latest moment after Install at which a run is ended
    // Replays only these runs (by index; the plans are still drawn in order); empty: all runs.
    std::set<int> only;
};

struct RunOutcome {
    int index = 0;
    std::string scenario;
    std::string means;
    unsigned momentMs = 0;
    bool beforeInstall = false;
    std::string note;                   // what the run went through ("refused while installing")
    std::vector<std::string> problems;  // empty: nothing lost
    // A run that had not ended in time: the windows the process still had, as a person would
    // have seen them (their screenshots and the run's log are kept beside the screens).
    std::string windowsLeft;
};

struct Report {
    std::vector<RunOutcome> runs;
    // Outcomes by scenario and means, then every problem.
    std::string table() const;
    int failedRuns() const;
};

// Runs the soak in the folder (where the installer is copied); call inside the world, with COM
// initialised on the calling thread. Prints a line per run as it ends.
Report run(const Options& options, const std::wstring& folder);

}  // namespace soak
