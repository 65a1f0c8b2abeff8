// The fuzz harness in the default test run: every input a fuzz run ever found at fault replays
// clean, and a short run of every target from a fixed seed finds nothing. The same targets run
// for as long as asked in bench/fuzz_bench.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "tests/support/fuzz/fuzz_engine.h"
#include "tests/support/fuzz/fuzz_targets.h"
#include "tests/support/test_support.h"
#include "utility/log.h"

namespace {

constexpr std::uint64_t kSeed = 20261209;

// Inputs per target in the default run, after the seeds; the harness stays within about 45 s
// under Wine's heap checks. The deadline guards against a slower machine.
struct Budget {
    const char* target;
    std::uint64_t inputs;
};
constexpr Budget kBudgets[] = {{"layout", 150},
                               {"text_table", 400},
                               {"markup", 3000},
                               {"image_string", 3000},
                               {"attribute_values", 150},
                               {"language_file", 1500},
                               {"version_document", 2000},
                               {"package_document", 2000},
                               {"channel_answer", 2000},
                               {"customer_document", 2000},
                               {"emulator_config", 200},
                               {"run_identity", 400},
                               {"install_folder", 3000},
                               {"archive", 250}};
constexpr double kSecondsPerTarget = 4.0;

const std::vector<fuzz::Target>& targets() {
    static testing_support::TempDir sandbox;
    static const std::vector<fuzz::Target> all = [] {
        initUtilities();  // the log's formatting runs on every logged input
        fuzz::startWatchdog(fuzz::Limits{}, TAMRIX_FUZZ_FINDINGS);
        return fuzz::allTargets(
            {TAMRIX_FUZZ_SKIN_ARCHIVE, testing_support::dataDir(), sandbox.path()});
    }();
    return all;
}

const fuzz::Target* findTarget(const std::string& name) {
    for (const auto& t : targets())
        if (t.name == name) return &t;
    return nullptr;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(FuzzTargets, EveryTargetHasSeedsAndABudget) {
    std::set<std::string> budgeted;
    for (const auto& b : kBudgets) budgeted.insert(b.target);
    for (const auto& t : targets()) {
        EXPECT_FALSE(t.seeds.empty()) << t.name << " has no seeds";
        EXPECT_TRUE(budgeted.count(t.name)) << t.name << " has no budget";
        for (const auto& seed : t.seeds)
            EXPECT_EQ(fuzz::runInput(t, seed), "") << t.name << " seed";
    }
    EXPECT_EQ(targets().size(), std::size(kBudgets));
}

// tests/fuzz/regressions/<target>/: each file an input that once broke its target.
TEST(FuzzRegressions, EveryKeptInputReplaysClean) {
    const std::wstring root = TAMRIX_FUZZ_REGRESSIONS;
    std::size_t replayed = 0;
    for (const auto& t : targets()) {
        const std::wstring folder = root + L"\\" + std::wstring(t.name.begin(), t.name.end());
        for (const std::wstring& file : fuzz::filesIn(folder)) {
            EXPECT_EQ(fuzz::runInput(t, testing_support::readFileBytes(file)), "") << narrow(file);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no regression inputs found below " << narrow(root);
}

class FuzzRun : public testing::TestWithParam<Budget> {};

TEST_P(FuzzRun, FixedSeedFindsNothing) {
    const fuzz::Target* target = findTarget(GetParam().target);
    ASSERT_NE(target, nullptr);
    const std::uint64_t inputs = target->seeds.size() + GetParam().inputs;
    const fuzz::RunStats stats = fuzz::fuzzTarget(*target, kSeed, inputs, kSecondsPerTarget);
    std::printf("fuzz %-18s %6llu inputs %7.1f/s corpus %4zu slowest %6.1f ms\n",
                stats.target.c_str(), static_cast<unsigned long long>(stats.inputs),
                stats.inputs / std::max(stats.seconds, 1e-6), stats.corpus, stats.slowestMs);
    for (const auto& f : stats.findings)
        ADD_FAILURE() << target->name << ": " << f.problem << "; replay file "
                      << narrow(f.replayFile);
    EXPECT_GT(stats.inputs, target->seeds.size()) << "no mutated input ran";
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRun, testing::ValuesIn(kBudgets),
                         [](const testing::TestParamInfo<Budget>& info) {
                             return std::string(info.param.target);
                         });

std::size_t longestRun(const std::string& text) {
    std::size_t longest = 0;
    for (std::size_t i = 0, run = 0; i < text.size(); ++i) {
        run = i > 0 && text[i] == text[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// The same seed gives the same inputs, another seed others; every kind of edit shows up.
TEST(FuzzEngine, MutationIsSeededAndVaried) {
    fuzz::Target text, wide;
    text.seeds = {"<Window><Label text=\"@sure\"/></Window>"};
    wide.encoding = fuzz::Encoding::kUtf16;
    wide.seeds = {fuzz::utf16Bytes(L"D:\\Tamrix\\")};
    fuzz::Rng a(7), b(7), c(8), w(7);
    bool differs = false, shorter = false, longRun = false, badUtf8 = false, loneSurrogate = false;
    for (int i = 0; i < 2000; ++i) {
        const fuzz::Bytes x = fuzz::mutate(a, text, text.seeds[0], text.seeds);
        ASSERT_EQ(x, fuzz::mutate(b, text, text.seeds[0], text.seeds)) << "round " << i;
        differs |= x != fuzz::mutate(c, text, text.seeds[0], text.seeds);
        shorter |= x.size() < text.seeds[0].size();
        longRun |= longestRun(x) >= 300;
        badUtf8 |=
            x.find("\xED\xA0\x80") != std::string::npos || x.find("\xC0\x80") != std::string::npos;
        const std::wstring u = fuzz::wideOf(fuzz::mutate(w, wide, wide.seeds[0], wide.seeds));
        loneSurrogate |=
            u.find(L'\xD800') != std::wstring::npos || u.find(L'\xDC00') != std::wstring::npos;
    }
    EXPECT_TRUE(differs);
    EXPECT_TRUE(shorter);
    EXPECT_TRUE(longRun);
    EXPECT_TRUE(badUtf8);
    EXPECT_TRUE(loneSurrogate);
}

}  // namespace
