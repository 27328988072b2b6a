// The ticks of many hosts over one interval: spread out, kept on their grid
// however late one is taken, never bunched after a stall.
#include "echowatch/fleet/tick_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using namespace std::chrono_literals;
using fleet::HostKey;
using fleet::SteadyClock;
using fleet::TickSchedule;

constexpr SteadyClock::time_point Origin{1h};

std::vector<TickSchedule::Tick> due(TickSchedule &schedule, SteadyClock::time_point now)
{
    std::vector<TickSchedule::Tick> ticks;
    schedule.takeDue(now, ticks);
    return ticks;
}

// Sorted phases of one round of ticks, from the origin.
std::vector<std::chrono::nanoseconds> firstRound(TickSchedule &schedule)
{
    std::vector<std::chrono::nanoseconds> phases;
    for (const auto &tick : due(schedule, Origin + schedule.interval() - 1ns))
        phases.push_back(tick.at - Origin);
    std::sort(phases.begin(), phases.end());
    return phases;
}

TEST(TickSchedule, HostsAddedTogetherShareTheIntervalEvenly)
{
    TickSchedule schedule(1000ms, Origin);
    const std::vector<HostKey> hosts{1, 2, 3, 4};
    schedule.add(hosts, Origin - 1ns);
    EXPECT_EQ(firstRound(schedule),
              (std::vector<std::chrono::nanoseconds>{0ms, 250ms, 500ms, 750ms}));
}

TEST(TickSchedule, AHostAddedLaterTakesTheMiddleOfTheWidestGap)
{
    TickSchedule schedule(1000ms, Origin);
    schedule.add(std::vector<HostKey>{1, 2, 3, 4}, Origin - 1ns);
    schedule.remove(2); // the gap from 0 to 500 ms is now the widest
    schedule.add(std::vector<HostKey>{5}, Origin - 1ns);
    schedule.add(std::vector<HostKey>{6}, Origin - 1ns);
    EXPECT_EQ(firstRound(schedule),
              (std::vector<std::chrono::nanoseconds>{0ms, 250ms, 500ms, 750ms, 875ms}));
}

TEST(TickSchedule, TheFirstTickComesAfterTheHostIsAddedNeverAtOnce)
{
    TickSchedule schedule(1000ms, Origin);
    schedule.add(std::vector<HostKey>{1}, Origin);
    EXPECT_TRUE(due(schedule, Origin).empty());
    EXPECT_EQ(schedule.nextDue(), Origin + 1000ms);
}

TEST(TickSchedule, ALateTickLeavesTheNextOnesOnTheGrid)
{
    TickSchedule schedule(100ms, Origin);
    schedule.add(std::vector<HostKey>{7}, Origin - 1ns);
    const auto late = due(schedule, Origin + 30ms);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].at, Origin);
    EXPECT_EQ(schedule.nextDue(), Origin + 100ms);
    EXPECT_EQ(schedule.skipped(), 0u);
}

TEST(TickSchedule, TicksMissedWholeAreSkippedNotBunched)
{
    TickSchedule schedule(100ms, Origin);
    schedule.add(std::vector<HostKey>{7}, Origin - 1ns);
    const auto stalled = due(schedule, Origin + 350ms);
    ASSERT_EQ(stalled.size(), 1u);
    EXPECT_EQ(stalled[0].at, Origin + 300ms);
    EXPECT_EQ(schedule.skipped(), 3u);
    EXPECT_EQ(schedule.nextDue(), Origin + 400ms);
}

TEST(TickSchedule, ARemovedHostHasNoMoreTicksAndOneAddedAgainStartsAfresh)
{
    TickSchedule schedule(100ms, Origin);
    schedule.add(std::vector<HostKey>{1, 2}, Origin - 1ns);
    schedule.remove(1);
    auto ticks = due(schedule, Origin + 99ms);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].host, 2u);
    schedule.add(std::vector<HostKey>{1}, Origin + 99ms);
    ticks = due(schedule, Origin + 199ms);
    EXPECT_EQ(ticks.size(), 2u);
    EXPECT_EQ(schedule.size(), 2u);
}

TEST(TickSchedule, TicksComeEarliestFirstAcrossHosts)
{
    TickSchedule schedule(90ms, Origin);
    schedule.add(std::vector<HostKey>{1, 2, 3}, Origin - 1ns);
    std::vector<TickSchedule::Tick> ticks;
    for (auto now = Origin; now < Origin + 180ms; now += 20ms)
        schedule.takeDue(now, ticks);
    ASSERT_EQ(ticks.size(), 6u);
    for (std::size_t index = 1; index < ticks.size(); ++index)
        EXPECT_LT(ticks[index - 1].at, ticks[index].at);
    EXPECT_EQ(schedule.skipped(), 0u);
}

} // namespace
