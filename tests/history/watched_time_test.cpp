#include "echowatch/history/watched_time.h"

#include <gtest/gtest.h>

namespace {

using history::Milliseconds;
using history::TimeSpan;
using history::WatchedTime;

// Watched 0-10 s, then (the program closed) 20-25 s, then since 40 s.
WatchedTime threeWatches()
{
    WatchedTime watched;
    watched.start(0);
    watched.start(5'000); // one going on goes on
    watched.end(10'000);
    watched.add(20'000, 25'000);
    watched.start(40'000);
    return watched;
}

TEST(WatchedTime, CountsOnlyTheWatchedTimeWithinASpan)
{
    const WatchedTime watched = threeWatches();
    const struct
    {
        TimeSpan span;
        Milliseconds now;
        Milliseconds expected;
    } rows[] = {
        {{0, 100'000}, 50'000, 25'000},                                   // 10 + 5 + 10 going on
        {{5'000, 22'000}, 50'000, 7'000},  {{10'000, 20'000}, 50'000, 0}, // the gap
        {{0, 100'000}, 40'000, 15'000}, // the one going on, not yet long
        {{45'000, 46'000}, 50'000, 1'000},
    };
    for (const auto &row : rows)
        EXPECT_EQ(watched.within(row.span, row.now), row.expected)
            << row.span.from << "-" << row.span.to << " at " << row.now;
}

TEST(WatchedTime, GapsAreTheSpanLessTheWatches)
{
    const WatchedTime watched = threeWatches();
    EXPECT_EQ(
        watched.gapsIn({-5'000, 60'000}, 50'000),
        (std::vector<TimeSpan>{{-5'000, 0}, {10'000, 20'000}, {25'000, 40'000}, {50'000, 60'000}}));
    EXPECT_EQ(watched.gapsIn({2'000, 8'000}, 50'000), std::vector<TimeSpan>{});
    EXPECT_EQ(watched.gapsIn({12'000, 21'000}, 50'000), (std::vector<TimeSpan>{{12'000, 20'000}}));
}

// Watches read back from a file come in any order, and may overlap one
// another or the one going on: each moment counts once.
TEST(WatchedTime, WatchesReadBackMergeWithThoseKnown)
{
    WatchedTime watched;
    watched.start(30'000);
    watched.add(10'000, 15'000);
    watched.add(0, 5'000);
    watched.add(4'000, 12'000);
    watched.add(25'000, 31'000);
    EXPECT_EQ(watched.watches(35'000), (std::vector<TimeSpan>{{0, 15'000}, {25'000, 35'000}}));
    EXPECT_EQ(watched.within({0, 100'000}, 35'000), 25'000);
    watched.end(32'000);
    EXPECT_EQ(watched.within({0, 100'000}, 99'000), 22'000);
    EXPECT_TRUE(WatchedTime().empty());
    EXPECT_EQ(WatchedTime().within({0, 100}, 100), 0);
}

} // namespace
