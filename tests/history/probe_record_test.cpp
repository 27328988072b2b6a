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

} // namespace
