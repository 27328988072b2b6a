// The chart's ticks: round-trip scales by hand for the edges of each step,
// clock ticks at round local times across time zones and before 1970, and
// the counts a reader is promised over many spans and scales.
#include "echowatch/history/chart_ticks.h"

#include <gtest/gtest.h>

#include <random>

using namespace history;

namespace {

constexpr Milliseconds T0 = 1'800'000'000'000; // 2027-01-15 08:00:00 UTC
constexpr Milliseconds Second = 1'000;
constexpr Milliseconds Minute = 60 * Second;
constexpr Milliseconds Hour = 60 * Minute;

TEST(RoundTripTicks, StepsAreRoundAndTheScaleEndsJustAboveTheLongest)
{
    struct Row
    {
        double longest;
        double step;
        int decimals;
        int count;
    };
    const Row rows[] = {
        {0.0, 0.001, 3, 6},   // nothing answered: microsecond steps
        {0.07, 0.02, 2, 5},   // the lab's loopback-like answers
        {1.1, 0.5, 1, 4},     // 0, 0.5, 1, 1.5
        {3.0, 1.0, 0, 4},     // exactly on a tick: no tick above it
        {10.0, 2.0, 0, 6},    // exactly on the sixth tick
        {10.001, 5.0, 0, 4},  // just past it: the next step
        {480.0, 100.0, 0, 6}, // 0 .. 500
        {501.0, 200.0, 0, 4}, // 0 .. 600
        {99'000.0, 20'000.0, 0, 6},
    };
    for (const Row &row : rows) {
        const RoundTripTicks ticks = roundTripTicks(row.longest);
        EXPECT_DOUBLE_EQ(ticks.step, row.step) << row.longest;
        EXPECT_EQ(ticks.decimals, row.decimals) << row.longest;
        EXPECT_EQ(ticks.count, row.count) << row.longest;
    }
}

TEST(RoundTripTicks, FourToSixTicksCoverEveryScale)
{
    for (double longest = 0.005; longest < 1e6; longest *= 1.0137) {
        const RoundTripTicks ticks = roundTripTicks(longest);
        ASSERT_GE(ticks.count, 4) << longest;
        ASSERT_LE(ticks.count, 6) << longest;
        ASSERT_GE(ticks.top(), longest * (1 - 1e-12)) << longest;
        ASSERT_LT(ticks.top() - ticks.step, longest) << longest;
    }
}

TEST(ClockTicks, FallOnRoundTimesOfTheLocalClock)
{
    struct Row
    {
        const char *what;
        TimeSpan span;
        Milliseconds utcOffset;
        int maximumCount;
        ClockTicks expected;
    };
    const Row rows[] = {
        {"9 s of a run", {T0 + 6'300, T0 + 15'500}, 0, 6, {T0 + 8 * Second, 2 * Second, 4}},
        {"10 min", {T0 + 200 * Second, T0 + 800 * Second}, 0, 6, {T0 + 4 * Minute, 2 * Minute, 5}},
        {"10 min, room for 2",
         {T0 + 200 * Second, T0 + 800 * Second},
         0,
         2,
         {T0 + 5 * Minute, 5 * Minute, 2}},
        {"ends on a tick", {T0 + 1, T0 + 5 * Second}, 0, 6, {T0 + Second, Second, 5}},
        {"half-hour zone",
         {T0, T0 + 6 * Hour},
         5 * Hour + 30 * Minute,
         6,
         {T0 + 30 * Minute, Hour, 6}},
        {"days west of UTC", {T0, T0 + 72 * Hour}, -5 * Hour, 6, {T0 + 9 * Hour, 12 * Hour, 6}},
        {"before 1970", {-10'500, -500}, 0, 6, {-10 * Second, 2 * Second, 5}},
        {"empty span", {T0, T0}, 0, 6, {0, 0, 0}},
    };
    for (const Row &row : rows) {
        const ClockTicks ticks = clockTicks(row.span, row.utcOffset, row.maximumCount);
        EXPECT_EQ(ticks.first, row.expected.first) << row.what;
        EXPECT_EQ(ticks.step, row.expected.step) << row.what;
        EXPECT_EQ(ticks.count, row.expected.count) << row.what;
    }
}

TEST(ClockTicks, AtMostSixRoundTicksInsideAnySpan)
{
    std::mt19937_64 random(7);
    std::uniform_int_distribution<Milliseconds> length(1, 400 * 24 * Hour);
    std::uniform_int_distribution<Milliseconds> offset(-12, 14);
    for (int run = 0; run < 20'000; ++run) {
        const Milliseconds from = T0 + length(random);
        const TimeSpan span{from, from + (length(random) >> (run % 40))};
        if (span.to <= span.from)
            continue;
        const Milliseconds utcOffset = offset(random) * 30 * Minute;
        const ClockTicks ticks = clockTicks(span, utcOffset, 6);
        const Milliseconds last = ticks.first + (ticks.count - 1) * ticks.step;
        ASSERT_LE(ticks.count, 6);
        ASSERT_GE(ticks.count, std::min<Milliseconds>(3, (span.to - span.from) / Second));
        ASSERT_EQ((ticks.first + utcOffset) % ticks.step, 0);
        ASSERT_GE(ticks.first, span.from);
        ASSERT_LT(ticks.first - ticks.step, span.from);
        ASSERT_LE(last, span.to);
    }
}

} // namespace
