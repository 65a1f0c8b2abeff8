#include "tests/support/fuzz/fuzz_engine.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "tests/support/test_support.h"

// ---- Coverage ----------------------------------------------------------------------------------
// The hook -fsanitize-coverage=trace-pc calls at every edge of the instrumented code. It counts
// pairs of successive call sites in a small map; the engine compares the map after each input
// with what earlier inputs reached. This file itself is built without the instrumentation.

namespace {
constexpr std::size_t kMapSize = std::size_t{1} << 16;
unsigned char g_map[kMapSize];
std::uintptr_t g_previous = 0;
}  // namespace

extern "C" void __sanitizer_cov_trace_pc() {
    const auto pc = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    const std::uintptr_t mixed = (pc ^ (pc >> 13)) * 0x9E3779B1u;
    const std::size_t edge = (mixed ^ g_previous) & (kMapSize - 1);
    if (g_map[edge] != 255) ++g_map[edge];
    g_previous = mixed >> 1;
}

namespace fuzz {
namespace {

// AFL's hit-count classes: 1, 2, 3, 4-7, 8-15, 16-31, 32-127, 128+.
unsigned char bucketOf(unsigned char count) {
    if (count < 4) return static_cast<unsigned char>(1u << (count - 1));
    if (count < 8) return 8;
    if (count < 16) return 16;
    if (count < 32) return 32;
    if (count < 128) return 64;
    return 128;
}

class CoverageSeen {
public:
    // Takes in what the last input reached; true when some of it is new.
    bool absorb() {
        bool novel = false;
        for (std::size_t i = 0; i < kMapSize; ++i) {
            if (g_map[i] == 0) continue;
            const unsigned char bucket = bucketOf(g_map[i]);
            if ((seen_[i] & bucket) == 0) {
                seen_[i] |= bucket;
                novel = true;
            }
        }
        return novel;
    }

private:
    std::vector<unsigned char> seen_ = std::vector<unsigned char>(kMapSize);
};

// ---- Watchdog and crash handlers ---------------------------------------------------------------

struct Current {
    std::mutex mutex;
    const Target* target = nullptr;
    const Bytes* input = nullptr;
    std::atomic<bool> running{false};
    std::atomic<DWORD> startTick{0};
};
Current g_current;
Limits g_limits;
std::wstring g_folder;
HANDLE g_crashEvent = nullptr;
std::atomic<DWORD> g_crashCode{0};
std::atomic<void*> g_crashAddress{nullptr};
constexpr DWORD kAbortCode = 0xE0000ABD;  // abort(): failed assertion, stack smashing, terminate

std::uint64_t fnv1a(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return hash;
}

std::wstring writeReplay(const std::string& target, const Bytes& input) {
    CreateDirectoryW(g_folder.c_str(), nullptr);
    const std::wstring path = g_folder + replayName(target, input);
    testing_support::writeFileBytes(path, input);
    return path;
}

// Writes the input at fault and ends the process: a crash, a hang or a memory blow-up cannot be
// survived, so it is reported from here.
[[noreturn]] void endWithFinding(const std::string& problem) {
    std::lock_guard lock(g_current.mutex);
    if (g_current.target && g_current.input) {
        const std::wstring path = writeReplay(g_current.target->name, *g_current.input);
        std::fprintf(stderr, "fuzz: %s: %s\nfuzz: replay file %ls\n",
                     g_current.target->name.c_str(), problem.c_str(), path.c_str());
    } else {
        std::fprintf(stderr, "fuzz: %s outside any input\n", problem.c_str());
    }
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

std::uint64_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage;
}

// "module+offset" of a code address, for telling a crash in the program from one in a DLL.
std::string placeOf(void* address) {
    if (address == nullptr) return "an unknown place";
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module))
        GetModuleFileNameA(module, name, MAX_PATH);
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof(text), "%s+0x%llx", name,
                  static_cast<unsigned long long>(static_cast<char*>(address) -
                                                  reinterpret_cast<char*>(module)));
    return text;
}

void watch() {
    char text[MAX_PATH + 200];
    for (;;) {
        if (WaitForSingleObject(g_crashEvent, 50) == WAIT_OBJECT_0) {
            std::snprintf(text, sizeof(text), "crashed with code 0x%08lX at %s",
                          static_cast<unsigned long>(g_crashCode.load()),
                          placeOf(g_crashAddress.load()).c_str());
            endWithFinding(text);
        }
        const DWORD elapsed = GetTickCount() - g_current.startTick.load();
        if (g_current.running.load() && elapsed > g_limits.inputMs) {
            std::snprintf(text, sizeof(text), "input still running after %lu ms",
                          static_cast<unsigned long>(elapsed));
            endWithFinding(text);
        }
        if (const std::uint64_t bytes = privateBytes(); bytes > g_limits.privateBytes) {
            std::snprintf(text, sizeof(text), "private bytes %llu over the limit",
                          static_cast<unsigned long long>(bytes));
            endWithFinding(text);
        }
    }
}

// Both handlers run on the failing thread, perhaps with little stack left: they only wake the
// watchdog, which writes the replay file from its own stack.
LONG WINAPI onUnhandled(EXCEPTION_POINTERS* pointers) {
    g_crashCode = pointers->ExceptionRecord->ExceptionCode;
    g_crashAddress = pointers->ExceptionRecord->ExceptionAddress;
    SetEvent(g_crashEvent);
    for (;;) Sleep(INFINITE);
}

void onAbort(int) {
    g_crashCode = kAbortCode;
    SetEvent(g_crashEvent);
    for (;;) Sleep(INFINITE);
}

// ---- Mutations ---------------------------------------------------------------------------------

const std::array<const char*, 23> kNumbers = {"0",
                                              "-1",
                                              "1",
                                              "127",
                                              "128",
                                              "255",
                                              "256",
                                              "-2147483648",
                                              "2147483647",
                                              "2147483648",
                                              "4294967295",
                                              "4294967296",
                                              "-9223372036854775808",
                                              "9223372036854775807",
                                              "18446744073709551616",
                                              "1e308",
                                              "-1e308",
                                              "1e-320",
                                              "NaN",
                                              "99999999999999999999999999",
                                              "0x7fffffff",
                                              "0xFFFFFFFF",
                                              "000000000000000000001"};
const std::array<std::uint64_t, 12> kBinaryNumbers = {0,
                                                      1,
                                                      0x7F,
                                                      0x80,
                                                      0xFF,
                                                      0x7FFF,
                                                      0xFFFF,
                                                      0x7FFFFFFF,
                                                      0x80000000,
                                                      0xFFFFFFFF,
                                                      0x8000000000000000ull,
                                                      ~0ull};
const std::array<unsigned char, 18> kBoundaryBytes = {
    0, 1, 0x7F, 0x80, 0xFF, '<', '>', '"', '\'', '&', '\\', '/', '@', ',', '=', '\n', '\r', '\t'};
const char kRunCharacters[] = "<>A\\/@{[\"0 \t\n_|=.:#%&;";
// Invalid UTF-8: overlong forms, encoded surrogates, past U+10FFFF, stray and cut sequences.
const std::array<const char*, 9> kBadUtf8 = {"\xC0\x80",         "\xED\xA0\x80", "\xED\xBF\xBF",
                                             "\xF4\x90\x80\x80", "\xFF",         "\xE2\x82",
                                             "\xF0\x9F\x98",     "\x80",         "\xEF\xBB\xBF"};
// UTF-16 units that stand alone badly: lone surrogates, non-characters, byte order mark, zero.
const std::array<unsigned short, 7> kBadUtf16 = {0xD800, 0xDBFF, 0xDC00, 0xDFFF,
                                                 0xFFFF, 0xFEFF, 0x0000};

Bytes encodeText(const std::string& utf8, Encoding encoding) {
    if (encoding != Encoding::kUtf16) return utf8;
    Bytes out;
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(count, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), count);
    for (const wchar_t c : wide)
        out.append({static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)});
    return out;
}

class Mutator {
public:
    Mutator(Rng& rng, const Target& target, const std::vector<Bytes>& corpus)
        : rng_(rng), target_(target), corpus_(corpus) {}

    void apply(Bytes& data) {
        switch (rng_.below(11)) {
            case 0:
                flipBit(data);
                break;
            case 1:
                boundaryByte(data);
                break;
            case 2:
                data.resize(position(data));
                break;
            case 3:
                splice(data);
                break;
            case 4:
                repeatSpan(data);
                break;
            case 5:
                deleteSpan(data);
                break;
            case 6:
                number(data);
                break;
            case 7:
                longRun(data);
                break;
            case 8:
                badText(data);
                break;
            case 9:
                token(data);
                break;
            default:
                randomBytes(data);
                break;
        }
    }

private:
    bool wide() const { return target_.encoding == Encoding::kUtf16; }
    // A position from 0 to the size, on a character boundary for UTF-16 inputs.
    std::size_t position(const Bytes& data) {
        std::size_t at = rng_.below(data.size() + 1);
        if (wide()) at &= ~std::size_t{1};
        return at;
    }
    std::size_t spanLength() {
        const std::size_t length = 1 + rng_.below(rng_.chance(80) ? 16 : 512);
        return wide() ? length * 2 : length;
    }

    void flipBit(Bytes& data) {
        if (data.empty()) return;
        data[rng_.below(data.size())] ^= static_cast<char>(1u << rng_.below(8));
    }
    void boundaryByte(Bytes& data) {
        if (data.empty()) return;
        data[rng_.below(data.size())] =
            static_cast<char>(kBoundaryBytes[rng_.below(kBoundaryBytes.size())]);
    }
    void splice(Bytes& data) {
        const Bytes& other = corpus_[rng_.below(corpus_.size())];
        const std::size_t cut = position(data);
        std::size_t from = rng_.below(other.size() + 1);
        if (wide()) from &= ~std::size_t{1};
        data = data.substr(0, cut) + other.substr(from);
    }
    void repeatSpan(Bytes& data) {
        if (data.empty()) return;
        const std::size_t at = position(data);
        const Bytes span = data.substr(at, spanLength());
        const std::size_t times = 1 + rng_.below(rng_.chance(90) ? 8 : 256);
        Bytes repeated;
        for (std::size_t i = 0; i < times && repeated.size() < target_.maxSize; ++i)
            repeated += span;
        data.insert(at, repeated);
    }
    void deleteSpan(Bytes& data) {
        const std::size_t at = position(data);
        data.erase(at, spanLength());
    }
    void number(Bytes& data) {
        if (target_.encoding == Encoding::kBinary) {
            const std::uint64_t value = kBinaryNumbers[rng_.below(kBinaryNumbers.size())];
            const std::size_t width = std::size_t{1} << rng_.below(4);
            if (data.size() < width) return;
            const std::size_t at = rng_.below(data.size() - width + 1);
            for (std::size_t i = 0; i < width; ++i)
                data[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
            return;
        }
        data.insert(position(data),
                    encodeText(kNumbers[rng_.below(kNumbers.size())], target_.encoding));
    }
    void longRun(Bytes& data) {
        const unsigned roll = static_cast<unsigned>(rng_.below(100));
        const std::size_t length = 1 + rng_.below(roll < 70 ? 300 : roll < 95 ? 5000 : 70000);
        const char c = target_.encoding == Encoding::kBinary && rng_.chance(30)
                           ? '\xFF'
                           : kRunCharacters[rng_.below(sizeof(kRunCharacters) - 1)];
        data.insert(position(data), encodeText(std::string(length, c), target_.encoding));
    }
    void badText(Bytes& data) {
        if (wide()) {
            const unsigned short unit = kBadUtf16[rng_.below(kBadUtf16.size())];
            data.insert(position(data),
                        {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
            return;
        }
        data.insert(position(data), kBadUtf8[rng_.below(kBadUtf8.size())]);
    }
    void token(Bytes& data) {
        if (target_.dictionary.empty()) return randomBytes(data);
        const std::string& word = target_.dictionary[rng_.below(target_.dictionary.size())];
        data.insert(position(data), encodeText(word, target_.encoding));
    }
    void randomBytes(Bytes& data) {
        const std::size_t at = position(data);
        const std::size_t length = spanLength();
        for (std::size_t i = 0; i < length; ++i) {
            const char c = static_cast<char>(rng_.next() & 0xFF);
            if (at + i < data.size())
                data[at + i] = c;
            else
                data.push_back(c);
        }
    }

    Rng& rng_;
    const Target& target_;
    const std::vector<Bytes>& corpus_;
};

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

constexpr std::size_t kMaxCorpus = 4096;
constexpr std::size_t kMaxFindings = 16;

}  // namespace

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::size_t Rng::below(std::size_t n) {
    return n == 0 ? 0 : static_cast<std::size_t>(next() % n);
}

Bytes mutate(Rng& rng, const Target& target, const Bytes& base, const std::vector<Bytes>& corpus) {
    Bytes data = base;
    const std::vector<Bytes> alone{base};
    Mutator mutator(rng, target, corpus.empty() ? alone : corpus);
    const std::size_t edits = std::size_t{1} << rng.below(4);
    for (std::size_t i = 0; i < edits; ++i) mutator.apply(data);
    if (data.size() > target.maxSize) data.resize(target.maxSize);
    return data;
}

void startWatchdog(const Limits& limits, const std::wstring& folder) {
    static std::once_flag once;
    std::call_once(once, [&] {
        g_limits = limits;
        g_folder = folder;
        if (!g_folder.empty() && g_folder.back() != L'\\') g_folder.push_back(L'\\');
        g_crashEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetUnhandledExceptionFilter(onUnhandled);
        std::signal(SIGABRT, onAbort);
        std::thread(watch).detach();
    });
}

std::string runInput(const Target& target, const Bytes& input) {
    {
        std::lock_guard lock(g_current.mutex);
        g_current.target = &target;
        g_current.input = &input;
        g_current.startTick = GetTickCount();
        g_current.running = true;
    }
    std::string problem;
    try {
        problem = target.check(input);
    } catch (const std::exception& e) {
        problem = std::string("an exception left the parser: ") + e.what();
    } catch (...) {
        problem = "an exception left the parser";
    }
    std::lock_guard lock(g_current.mutex);
    g_current.running = false;
    return problem;
}

std::wstring replayName(const std::string& target, const Bytes& input) {
    wchar_t hash[24];
    swprintf(hash, 24, L"%016llx", static_cast<unsigned long long>(fnv1a(input)));
    return std::wstring(target.begin(), target.end()) + L"-" + hash + L".bin";
}

RunStats fuzzTarget(const Target& target, std::uint64_t seed, std::uint64_t maxInputs,
                    double maxSeconds) {
    RunStats stats;
    stats.target = target.name;
    Rng rng(seed ^ fnv1a(target.name));
    CoverageSeen seen;
    std::vector<Bytes> corpus;
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    const auto run = [&](const Bytes& input, bool keep) {
        std::memset(g_map, 0, sizeof(g_map));
        LARGE_INTEGER begin{};
        QueryPerformanceCounter(&begin);
        const std::string problem = runInput(target, input);
        stats.slowestMs = std::max(stats.slowestMs, secondsSince(begin) * 1000.0);
        ++stats.inputs;
        if (!problem.empty()) {
            if (stats.findings.size() < kMaxFindings)
                stats.findings.push_back({problem, writeReplay(target.name, input)});
            return;
        }
        if ((seen.absorb() || keep) && corpus.size() < kMaxCorpus) corpus.push_back(input);
    };
    for (const Bytes& s : target.seeds) run(s, true);
    if (corpus.empty()) corpus.push_back(Bytes());
    while (stats.inputs < maxInputs && secondsSince(start) < maxSeconds) {
        Bytes input = mutate(rng, target, corpus[rng.below(corpus.size())], corpus);
        if (target.reseal && rng.chance(50)) target.reseal(input);
        run(input, false);
    }
    stats.seconds = secondsSince(start);
    stats.corpus = corpus.size();
    return stats;
}

std::vector<std::wstring> filesIn(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data{};
    const std::wstring base = folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\";
    HANDLE find = FindFirstFileW((base + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(base + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace fuzz
