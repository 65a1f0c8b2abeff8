// The quit-anywhere soak in the default run: ten runs of the real installer from a fixed seed,
// each against a drawn scenario and ended at a drawn moment by a drawn means, none of which may
// lose anything (tests/support/soak_support.h lists what is judged). The hundred-run soak is
// bench/soak_bench.cpp.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/installer_support.h"
#include "tests/support/soak_support.h"

namespace {

class InstallerSoak : public installer::InstallerTest {};

TEST_F(InstallerSoak, TenInterruptedRunsFromAFixedSeedLoseNothing) {
    const soak::Report report = soak::run({20261209, 10, 6000, {}}, folder_.path());
    std::printf("%s", report.table().c_str());
    ASSERT_EQ(report.runs.size(), 10u);
    EXPECT_EQ(report.failedRuns(), 0) << report.table();
}

}  // namespace
