// Byte ranges as the double answers them, faults included.
#include "ranges.h"

#include <gtest/gtest.h>

namespace vendor_double {
namespace {

using Kind = RangeAsk::Kind;

TEST(Ranges, ParsesTheThreeFormsAndClampsToTheBody) {
    EXPECT_EQ(parseRange("", 10).kind, Kind::None);
    auto ask = parseRange("bytes=5-", 10);
    ASSERT_EQ(ask.kind, Kind::Satisfiable);
    EXPECT_EQ(ask.range.first, 5u);
    EXPECT_EQ(ask.range.last, 9u);
    ask = parseRange("bytes=2-4", 10);
    EXPECT_EQ(ask.range.first, 2u);
    EXPECT_EQ(ask.range.last, 4u);
    ask = parseRange("bytes=2-400", 10);
    EXPECT_EQ(ask.range.last, 9u);
    ask = parseRange("bytes=-3", 10);
    EXPECT_EQ(ask.range.first, 7u);
    EXPECT_EQ(ask.range.last, 9u);
    ask = parseRange("bytes=-30", 10);
    EXPECT_EQ(ask.range.first, 0u);
    ask = parseRange(" bytes= 9 - ", 10);
    ASSERT_EQ(ask.kind, Kind::Satisfiable);
    EXPECT_EQ(ask.range.first, 9u);
}

TEST(Ranges, RangesPastTheEndAreUnsatisfiableAndOddFormsAreIgnored) {
    EXPECT_EQ(parseRange("bytes=10-", 10).kind, Kind::Unsatisfiable);
    EXPECT_EQ(parseRange("bytes=0-", 0).kind, Kind::Unsatisfiable);
    EXPECT_EQ(parseRange("bytes=-0", 10).kind, Kind::Unsatisfiable);
    for (const char* odd : {"bytes=4-2", "items=0-5", "bytes=0-1,3-4", "bytes=a-",
                            "bytes=", "bytes=-", "bytes 0-5", "bytes=18446744073709551616-"})
        EXPECT_EQ(parseRange(odd, 10).kind, Kind::Ignored) << odd;
}

TEST(Ranges, PlanGivesStatusPartAndContentRange) {
    BodyPlan plan = planBody("", 100, {});
    EXPECT_EQ(plan.status, 200);
    EXPECT_EQ(plan.length, 100u);
    EXPECT_TRUE(plan.contentRange.empty());

    plan = planBody("bytes=40-", 100, {});
    EXPECT_EQ(plan.status, 206);
    EXPECT_EQ(plan.offset, 40u);
    EXPECT_EQ(plan.length, 60u);
    EXPECT_EQ(plan.contentRange, "bytes 40-99/100");

    plan = planBody("bytes=100-", 100, {});
    EXPECT_EQ(plan.status, 416);
    EXPECT_EQ(plan.length, 0u);
    EXPECT_EQ(plan.contentRange, "bytes */100");

    plan = planBody("bytes=0-1,5-6", 100, {});
    EXPECT_EQ(plan.status, 200);
    EXPECT_EQ(plan.length, 100u);
}

TEST(Ranges, FaultsIgnoreShiftOrMislabelTheRange) {
    RangeFaults ignore;
    ignore.ignoreRange = true;
    BodyPlan plan = planBody("bytes=40-", 100, ignore);
    EXPECT_EQ(plan.status, 200);
    EXPECT_EQ(plan.offset, 0u);
    EXPECT_EQ(plan.length, 100u);

    RangeFaults shift;
    shift.rangeShift = -40;  // a server that starts over from the beginning
    plan = planBody("bytes=40-", 100, shift);
    EXPECT_EQ(plan.status, 206);
    EXPECT_EQ(plan.offset, 0u);
    EXPECT_EQ(plan.length, 100u);
    EXPECT_EQ(plan.contentRange, "bytes 0-99/100");
    shift.rangeShift = 500;  // never past the last byte
    plan = planBody("bytes=40-", 100, shift);
    EXPECT_EQ(plan.offset, 99u);
    EXPECT_EQ(plan.length, 1u);

    RangeFaults label;
    label.contentRange = "bytes 0-59/100";
    plan = planBody("bytes=40-", 100, label);
    EXPECT_EQ(plan.status, 206);
    EXPECT_EQ(plan.offset, 40u);
    EXPECT_EQ(plan.length, 60u);
    EXPECT_EQ(plan.contentRange, "bytes 0-59/100");
}

}  // namespace
}  // namespace vendor_double
