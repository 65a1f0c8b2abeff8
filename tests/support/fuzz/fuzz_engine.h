// The fuzz engine shared by the harness test and the fuzz benchmark: seeded, deterministic
// mutation of real seed inputs; a corpus that keeps the inputs that reach code no earlier input
// reached (the parsers are built with -fsanitize-coverage=trace-pc, whose hook lives here); a
// watchdog thread that bounds each input's time and the process's memory and, like the crash
// handlers, writes the input at fault as a replay file before it ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fuzz {

using Bytes = std::string;

// splitmix64: the same seed gives the same inputs on every machine.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // 0 up to n - 1 (0 when n is 0).
    std::size_t below(std::size_t n);
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t state_;
};

// How a target reads its bytes; it decides what the text mutations insert and where.
enum class Encoding { kBinary, kUtf8, kUtf16 };

struct Target {
    std::string name;
    Encoding encoding = Encoding::kUtf8;
    std::vector<Bytes> seeds;
    std::vector<std::string> dictionary;  // tokens of the input's language (UTF-8)
    std::size_t maxSize = 64 * 1024;      // mutated inputs are cut to this many bytes
    // Runs one input: empty when every invariant held, else what broke.
    std::function<std::string(const Bytes&)> check;
    // Optional: puts a mutated input's checksums right, so mutations reach past them.
    std::function<void(Bytes&)> reseal;
};

// A mutated copy of base: one to eight stacked edits (bit flips, boundary bytes and numbers,
// truncation, splices with other corpus entries, repeated and deleted spans, long runs of one
// character, invalid UTF-8 and lone surrogates, dictionary tokens, random bytes).
Bytes mutate(Rng& rng, const Target& target, const Bytes& base, const std::vector<Bytes>& corpus);

struct Limits {
    unsigned inputMs = 10000;                             // one input's time
    std::uint64_t privateBytes = std::uint64_t{1} << 30;  // the process's private memory
};

// Starts the watchdog and the crash handlers once per process; replay files go into folder
// (created when missing).
void startWatchdog(const Limits& limits, const std::wstring& folder);

struct Finding {
    std::string problem;
    std::wstring replayFile;
};

struct RunStats {
    std::string target;
    std::uint64_t inputs = 0;
    double seconds = 0;
    double slowestMs = 0;
    std::size_t corpus = 0;
    std::vector<Finding> findings;
};

// Fuzzes the target from the seed until maxInputs inputs ran or maxSeconds passed; every input
// whose check fails is written as a replay file and listed.
RunStats fuzzTarget(const Target& target, std::uint64_t seed, std::uint64_t maxInputs,
                    double maxSeconds);

// Runs one input under the watchdog: empty when its invariants held, else what broke.
std::string runInput(const Target& target, const Bytes& input);

// The replay file's name for an input of a target: "<target>-<16 hex digits of its hash>.bin".
std::wstring replayName(const std::string& target, const Bytes& input);

// Files of a folder (full paths, sorted); none when it does not exist.
std::vector<std::wstring> filesIn(const std::wstring& folder);

}  // namespace fuzz
