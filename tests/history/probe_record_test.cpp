// The record against figures worked out by hand: ping's two summary lines,
// folding into minute summaries once the ring is full, and where outages
// begin and end.
#include "echowatch/history/probe_record.h"

#include <gtest/gtest.h>

#include <vector>

using namespace history;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000; // 2027-01-15 08:00:00 UTC
constexpr EchoStatus TimedOut = 11010;
constexpr EchoStatus HostUnreachable = 11003;
constexpr EchoStatus NotSent = -1;

struct Probe
{
    EchoStatus status;
    std::int64_t roundTripMicroseconds = -1;
};

// One probe a second from Start.
ProbeRecord recordOf(const std::vector<Probe> &probes, std::size_t capacity = 100)
{
    ProbeRecord record(capacity);
    Milliseconds time = Start;
    for (const Probe &probe : probes) {
        record.record(ProbeSample(time, probe.status, probe.roundTripMicroseconds, 32));
        time += 1000;
    }
    return record;
}

std::vector<Probe> repeated(Probe probe, int count)
{
    return std::vector<Probe>(static_cast<std::size_t>(count), probe);
}

struct StatisticsCase
{
    const char *name;
    std::vector<Probe> probes;
    const char *transmission;
    const char *roundTrip;
    const char *notSent;
};

class StatisticsText : public testing::TestWithParam<StatisticsCase>
{};

TEST_P(StatisticsText, ReadsAsPingWouldPrintIt)
{
    const StatisticsCase &row = GetParam();
    const ProbeRecord record = recordOf(row.probes);
    EXPECT_EQ(transmissionLine(record.totals()), row.transmission);
    EXPECT_EQ(roundTripLine(record.totals()), row.roundTrip);
    EXPECT_EQ(notSentLine(record.totals()), row.notSent);
}

std::vector<Probe> lossOfSixIn1204()
{
    std::vector<Probe> probes = repeated({0, 1000}, 1198);
    const std::vector<Probe> lost = repeated({TimedOut}, 6);
    probes.insert(probes.begin() + 600, lost.begin(), lost.end());
    return probes;
}

// avg = 900 / 3 = 300 us; mean of squares = floor(410000 / 3) = 136666;
// mdev = floor(sqrt(136666 - 90000)) = 216 us.
INSTANTIATE_TEST_SUITE_P(
    Record, StatisticsText,
    testing::Values(
        StatisticsCase{"single_answer",
                       {{0, 412}},
                       "1 packets transmitted, 1 received, 0% packet loss, time 0ms",
                       "rtt min/avg/max/mdev = 0.412/0.412/0.412/0.000 ms",
                       ""},
        StatisticsCase{"only_failures", repeated({TimedOut}, 3),
                       "3 packets transmitted, 0 received, 100% packet loss, time 2000ms", "", ""},
        StatisticsCase{"only_not_sent", repeated({NotSent}, 2), "0 packets transmitted, 0 received",
                       "", "2 not sent (bad address)"},
        StatisticsCase{"mixed",
                       {{0, 100}, {TimedOut}, {0, 200}, {HostUnreachable}, {NotSent}, {0, 600}},
                       "5 packets transmitted, 3 received, +1 errors, 40% packet loss, time 5000ms",
                       "rtt min/avg/max/mdev = 0.100/0.300/0.600/0.216 ms",
                       "1 not sent (bad address)"},
        StatisticsCase{
            "loss_to_six_digits", lossOfSixIn1204(),
            "1204 packets transmitted, 1198 received, 0.498339% packet loss, time 1203000ms",
            "rtt min/avg/max/mdev = 1.000/1.000/1.000/0.000 ms", ""},
        StatisticsCase{"seconds_long_answer",
                       {{0, 12'307'000}, {0, 31}},
                       "2 packets transmitted, 2 received, 0% packet loss, time 1000ms",
                       "rtt min/avg/max/mdev = 0.031/6153.515/12307.000/6153.485 ms",
                       ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProbeRecord, FoldsTheOldestIntoMinuteSummariesOnceFull)
{
    // 90 probes a second apart from 08:00:00: minutes 08:00 (60) and 08:01
    // (30). Every fifth times out, every seventh is not sent.
    std::vector<Probe> probes;
    for (int i = 0; i < 90; ++i)
        probes.push_back(i % 7 == 0   ? Probe{NotSent}
                         : i % 5 == 0 ? Probe{TimedOut}
                                      : Probe{0, 100 + i});
    const ProbeRecord record = recordOf(probes, 20);

    ASSERT_EQ(record.retainedCount(), 20u);
    EXPECT_EQ(record.retained(0).sentAt(), Start + 70'000);
    EXPECT_EQ(record.retained(19).sentAt(), Start + 89'000);
    ASSERT_EQ(record.summaries().size(), 2u);
    const MinuteSummary &first = record.summaries()[0];
    EXPECT_EQ(first.minuteStart, Start);
    // 0..59: 9 not sent (0, 7, ..., 56), 10 timeouts less 0 and 35 = 10.
    EXPECT_EQ(first.statistics.notSent, 9u);
    EXPECT_EQ(first.statistics.transmitted, 51u);
    EXPECT_EQ(first.statistics.received, 41u);
    EXPECT_EQ(first.statistics.roundTrips.minimum, 101u);
    EXPECT_EQ(first.statistics.roundTrips.maximum, 159u);
    ASSERT_EQ(record.failures(first).size(), 1u);
    EXPECT_EQ(record.failures(first)[0].status, TimedOut);
    EXPECT_EQ(record.failures(first)[0].count, 10u);
    EXPECT_EQ(record.summaries()[1].minuteStart, Start + 60'000);
    EXPECT_EQ(record.summaries()[1].statistics.transmitted +
                  record.summaries()[1].statistics.notSent,
              10u);

    const RunStatistics whole = record.statisticsIn(record.wholeRun());
    EXPECT_EQ(transmissionLine(whole), transmissionLine(record.totals()));
    EXPECT_EQ(roundTripLine(whole), roundTripLine(record.totals()));
    EXPECT_EQ(record.totals().transmitted + record.totals().notSent, 90u);
}

TEST(ProbeRecord, RecordingInTheSteadyStateKeepsItsMemory)
{
    ProbeRecord record(1000);
    for (int i = 0; i < 1001; ++i)
        record.record(ProbeSample(Start + i, 0, 300, 32));
    const std::size_t full = record.memoryBytes();
    for (int i = 1001; i < 50'000; ++i)
        record.record(ProbeSample(Start + i, 0, 300, 32));
    // Room for a day of minute summaries is taken at the first fold.
    EXPECT_EQ(record.memoryBytes(), full);
    EXPECT_EQ(record.retainedCount(), 1000u);
}

struct OutageCase
{
    const char *name;
    std::vector<EchoStatus> statuses;
    struct Expected
    {
        int startProbe;
        int endProbe; // -1 while ongoing
        std::uint64_t lost;
        EchoStatus cause;
        bool mixed;
    };
    std::vector<Expected> outages;
};

class Outages : public testing::TestWithParam<OutageCase>
{};

TEST_P(Outages, RunFromTheFirstFailureToTheFirstAnswer)
{
    const OutageCase &row = GetParam();
    std::vector<Probe> probes;
    for (const EchoStatus status : row.statuses)
        probes.push_back({status, status == 0 ? 500 : -1});
    const ProbeRecord record = recordOf(probes);
    const auto &outages = record.outages();
    ASSERT_EQ(outages.size(), row.outages.size());
    for (std::size_t i = 0; i < outages.size(); ++i) {
        const auto &expected = row.outages[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(outages[i].start, Start + expected.startProbe * 1000);
        if (expected.endProbe < 0)
            EXPECT_FALSE(outages[i].end);
        else
            EXPECT_EQ(outages[i].end, Start + expected.endProbe * 1000);
        EXPECT_EQ(outages[i].probesLost, expected.lost);
        EXPECT_EQ(outages[i].cause(), expected.cause);
        EXPECT_EQ(outages[i].mixed(), expected.mixed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Record, Outages,
    testing::Values(OutageCase{"one", {0, TimedOut, TimedOut, 0}, {{1, 3, 2, TimedOut, false}}},
                    OutageCase{"not_sent_neither_starts_nor_ends",
                               {HostUnreachable, NotSent, HostUnreachable, TimedOut,
                                HostUnreachable, 0, 0, TimedOut, NotSent},
                               {{0, 5, 4, HostUnreachable, true}, {7, -1, 1, TimedOut, false}}},
                    OutageCase{"five_kinds",
                               {11002, 11003, 11004, 11005, 11050, 11050, 0},
                               {{0, 6, 6, 11050, true}}},
                    OutageCase{"none", {NotSent, 0, NotSent, 0}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

// An unanswered probe's missing round trip, and an answer of 0 µs.
TEST(ProbeSampleRoundTrip, TellsNoneAsMinusOne)
{
    EXPECT_EQ(ProbeSample(Start, TimedOut, -1, 0).roundTripMicroseconds(), -1);
    EXPECT_EQ(ProbeSample(Start, 0, 0, 32).roundTripMicroseconds(), 0);
    EXPECT_EQ(ProbeSample(Start, 0, 4'000'000'000, 32).roundTripMicroseconds(), 4'000'000'000);
}

// A probe a second by the monotonic clock while the wall clock is set by
// `step` before probe 60; probes 59 to 61 fail.
struct ClockStepCase
{
    const char *name;
    Milliseconds step;
    bool stamped;
    // Where probe 60 lands after probe 59 on the record's timeline.
    Milliseconds placedAfter;
};

class ClockStep : public testing::TestWithParam<ClockStepCase>
{
protected:
    static constexpr int Probes = 120;
    static constexpr int StepAt = 60;

    static Milliseconds wallTime(int probe, Milliseconds step)
    {
        return Start + probe * 1000 + (probe >= StepAt ? step : 0);
    }

    ProbeRecord recordWithStep(std::size_t capacity)
    {
        ProbeRecord record(capacity);
        for (int probe = 0; probe < Probes; ++probe) {
            const bool failed = probe >= StepAt - 1 && probe <= StepAt + 1;
            const ProbeSample sample(wallTime(probe, GetParam().step), failed ? TimedOut : 0,
                                     failed ? -1 : 100 + probe, 32);
            if (GetParam().stamped)
                record.record(sample, 5'000'000 + probe * 1000);
            else
                record.record(sample);
        }
        return record;
    }
};

TEST_P(ClockStep, NeitherBreaksTheSearchNorMovesTheProbesAfterIt)
{
    const ProbeRecord record = recordWithStep(1000);
    ASSERT_EQ(record.retainedCount(), static_cast<std::size_t>(Probes));
    for (std::size_t index = 0; index < record.retainedCount(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(record.wallTimeOf(index), wallTime(static_cast<int>(index), GetParam().step));
        // The first of those placed there: a probe unstamped and set back
        // shares its place with the one before.
        const Milliseconds place = record.retained(index).sentAt();
        const std::size_t first = record.firstRetainedFrom(place);
        EXPECT_LE(first, index);
        EXPECT_EQ(record.retained(first).sentAt(), place);
        EXPECT_TRUE(first == 0 || record.retained(first - 1).sentAt() < place);
    }
    const Milliseconds before = record.retained(StepAt - 1).sentAt();
    EXPECT_EQ(record.retained(StepAt).sentAt() - before, GetParam().placedAfter);
    // Half the run, whichever side of the step.
    const TimeSpan middle{record.retained(30).sentAt(), record.retained(90).sentAt()};
    EXPECT_EQ(record.statisticsIn(middle).transmitted, 60u);
    EXPECT_EQ(record.statisticsIn(record.wholeRun()).transmitted,
              static_cast<std::uint64_t>(Probes));
    ASSERT_EQ(record.outages().size(), 1u);
    EXPECT_EQ(record.outages()[0].duration(), 3000 + GetParam().placedAfter - 1000);
}

// Folded into minutes, the probes keep their order and the retained ones
// their wall time, the step's offset outliving the probes before it.
TEST_P(ClockStep, FoldsIntoMinutesInTheOrderSent)
{
    const ProbeRecord record = recordWithStep(40);
    ASSERT_EQ(record.retainedCount(), 40u);
    for (std::size_t index = 0; index < record.retainedCount(); ++index) {
        EXPECT_EQ(record.wallTimeOf(index),
                  wallTime(Probes - 40 + static_cast<int>(index), GetParam().step));
    }
    const auto &summaries = record.summaries();
    ASSERT_FALSE(summaries.empty());
    for (std::size_t index = 1; index < summaries.size(); ++index)
        EXPECT_LT(summaries[index - 1].minuteStart, summaries[index].minuteStart);
    EXPECT_EQ(record.statisticsIn(record.wholeRun()).transmitted,
              static_cast<std::uint64_t>(Probes));
}

INSTANTIATE_TEST_SUITE_P(
    Record, ClockStep,
    testing::Values(ClockStepCase{"None", 0, true, 1000},
                    ClockStepCase{"BackAnHour", -3'600'000, true, 1000},
                    ClockStepCase{"ForwardAnHour", 3'600'000, true, 1000},
                    ClockStepCase{"BackHalfASecond", -500, true, 500},
                    ClockStepCase{"ForwardHalfASecond", 500, true, 1500},
                    // Read back from a file: kept in order at least.
                    ClockStepCase{"BackAnHourUnstamped", -3'600'000, false, 0}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
