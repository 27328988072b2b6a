// The history file written through the writer and read back: every field
// of a probe, the minutes summed as the writer goes and as retention folds
// them, outages with their path verdicts, runs, and the reader's bound on
// the probes it reads in full.
#include "store_files.h"

#include "echowatch/history/outage_list.h"
#include "echowatch/store/history_writer.h"
#include "echowatch/store/retention.h"
#include "echowatch/store/schema.h"

#include <gtest/gtest.h>

#include <vector>

using history::Milliseconds;
using history::ProbeSample;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000; // 2027-01-15 08:00:00 UTC
constexpr EchoStatus TimedOut = 11010;
constexpr EchoStatus HostUnreachable = 11003;
constexpr EchoStatus GeneralFailure = 11050;
constexpr const char *Host = "192.0.2.7";

using ::writerFor;

store::HistoryWriter writerFor(const std::string &file)
{
    return ::writerFor(file, {Host});
}

void expectSameProbes(const std::vector<ProbeSample> &read, const std::vector<ProbeSample> &written)
{
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t index = 0; index < read.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(read[index].sentAt(), written[index].sentAt());
        EXPECT_EQ(read[index].status(), written[index].status());
        EXPECT_EQ(read[index].roundTripMicroseconds(), written[index].roundTripMicroseconds());
        EXPECT_EQ(read[index].replySize(), written[index].replySize());
    }
}

// The minutes the samples make, summed apart from the file.
std::vector<store::StoredMinute> minutesOf(const std::vector<ProbeSample> &samples)
{
    std::vector<store::StoredMinute> minutes;
    store::MinuteSummer minute;
    for (const ProbeSample &sample : samples) {
        if (!minute.empty() && minute.minuteStart() != store::minuteOf(sample.sentAt()))
            minutes.push_back(minute.take());
        minute.add(sample);
    }
    if (!minute.empty())
        minutes.push_back(minute.take());
    return minutes;
}

void expectSameMinute(const store::StoredMinute &read, const store::StoredMinute &expected)
{
    SCOPED_TRACE(read.minuteStart);
    EXPECT_EQ(read.minuteStart, expected.minuteStart);
    const history::RunStatistics &a = read.statistics;
    const history::RunStatistics &b = expected.statistics;
    EXPECT_EQ(history::transmissionLine(a), history::transmissionLine(b));
    EXPECT_EQ(history::roundTripLine(a), history::roundTripLine(b));
    EXPECT_EQ(a.notSent, b.notSent);
    EXPECT_EQ(a.firstSentAt, b.firstSentAt);
    EXPECT_EQ(a.lastSentAt, b.lastSentAt);
    EXPECT_EQ(read.timeouts, expected.timeouts);
    EXPECT_EQ(read.unreachables, expected.unreachables);
    EXPECT_EQ(read.otherFailures, expected.otherFailures);
    EXPECT_EQ(read.quantiles, expected.quantiles);
}

// Every kind of probe, over three minutes, with two outages of which the
// second has two causes.
std::vector<ProbeSample> mixedProbes()
{
    return {
        ProbeSample(Start + 100, 0, 250, 32),
        ProbeSample(Start + 1'100, 0, 0, 0),
        ProbeSample(Start + 2'100, TimedOut, -1, 0),
        ProbeSample(Start + 3'100, TimedOut, -1, 0),
        ProbeSample(Start + 4'100, BadAddressStatus, -1, 0),
        ProbeSample(Start + 61'000, 0, 4'000'000'000, 65'000),
        ProbeSample(Start + 62'000, HostUnreachable, -1, 0),
        ProbeSample(Start + 63'000, GeneralFailure, -1, 0),
        ProbeSample(Start + 64'000, HostUnreachable, -1, 0),
        ProbeSample(Start + 125'000, 0, 1'234'567, 56),
    };
}

struct QuantileCase
{
    const char *name;
    std::vector<std::uint32_t> roundTrips;
    std::optional<store::RoundTripQuantiles> quantiles;
};

class Quantiles : public testing::TestWithParam<QuantileCase>
{};

// The nearest rank: the smallest value with at least that share of them
// at or below it.
TEST_P(Quantiles, AreTheNearestRanks)
{
    std::vector<std::uint32_t> roundTrips = GetParam().roundTrips;
    EXPECT_EQ(store::quantilesOf(roundTrips), GetParam().quantiles);
}

INSTANTIATE_TEST_SUITE_P(
    RoundTrips, Quantiles,
    testing::Values(QuantileCase{"None", {}, std::nullopt},
                    QuantileCase{"One", {700}, store::RoundTripQuantiles{700, 700, 700}},
                    QuantileCase{"Two", {900, 100}, store::RoundTripQuantiles{100, 100, 900}},
                    QuantileCase{"Ten", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
                                 store::RoundTripQuantiles{1, 5, 9}},
                    QuantileCase{"Eleven", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                                 store::RoundTripQuantiles{2, 6, 10}},
                    QuantileCase{"Repeated", {5, 5, 5, 1, 5}, store::RoundTripQuantiles{1, 5, 5}}),
    [](const testing::TestParamInfo<QuantileCase> &info) { return info.param.name; });

TEST(HistoryFile, KeepsEveryFieldOfEveryProbe)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    const std::vector<ProbeSample> probes = mixedProbes();
    {
        store::HistoryWriter writer = writerFor(file);
        ASSERT_TRUE(writer.write(batchOf({probes.begin(), probes.begin() + 4})));
        ASSERT_TRUE(writer.writeLast(batchOf({probes.begin() + 4, probes.end()})));
        EXPECT_EQ(writer.commits(), 2u);
    }
    const store::HostHistory read = everything(file, Host);
    expectSameProbes(read.probes, probes);
    ASSERT_EQ(read.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].started, probes.front().sentAt());
    EXPECT_EQ(read.runs[0].lastSent, probes.back().sentAt());
    EXPECT_TRUE(everything(file, "192.0.2.8").probes.empty());
    EXPECT_EQ(integrityCheck(file), "ok");
}

TEST(HistoryFile, SumsEachMinuteAsItEnds)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    const std::vector<ProbeSample> probes = mixedProbes();
    {
        store::HistoryWriter writer = writerFor(file);
        ASSERT_TRUE(writer.writeLast(batchOf(probes)));
    }
    // Read with no probe in full: every minute comes from its summary.
    const store::HostHistory read = everything(file, Host, 0);
    const std::vector<store::StoredMinute> expected = minutesOf(probes);
    ASSERT_EQ(read.minutes.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index)
        expectSameMinute(read.minutes[index], expected[index]);
}

TEST(HistoryFile, KeepsOutagesAsTheRecordCountsThemWithTheirPathVerdicts)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    const std::vector<ProbeSample> probes = mixedProbes();
    history::OutageList expected;
    for (const ProbeSample &sample : probes)
        expected.add(sample);
    {
        store::HistoryWriter writer = writerFor(file);
        store::Batch batch = batchOf(probes);
        batch.verdicts.push_back({0, Start + 62'000,
                                  "beyond the gateway: stops after hop 2 (198.51.100.1)",
                                  "beyond the gateway"});
        ASSERT_TRUE(writer.writeLast(batch));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.outages.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        const store::StoredOutage &outage = read.outages[index];
        EXPECT_EQ(outage.start, expected[index].start);
        EXPECT_EQ(outage.lastFailure, expected[index].lastFailure);
        EXPECT_EQ(outage.end, expected[index].end);
        EXPECT_EQ(outage.probesLost, expected[index].probesLost);
        EXPECT_EQ(outage.cause, expected[index].cause());
        EXPECT_EQ(outage.mixed, expected[index].mixed());
    }
    EXPECT_FALSE(read.outages[0].pathVerdict);
    EXPECT_FALSE(read.outages[0].side);
    EXPECT_EQ(read.outages[1].pathVerdict, "beyond the gateway: stops after hop 2 (198.51.100.1)");
    EXPECT_EQ(read.outages[1].side, "beyond the gateway");
}

// A verdict without a class (its trace found nothing to decide by) leaves
// the class unknown, NULL, not an empty word.
TEST(HistoryFile, KeepsAVerdictWithoutAClassWithoutOne)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    const std::vector<ProbeSample> probes = mixedProbes();
    {
        store::HistoryWriter writer = writerFor(file);
        store::Batch batch = batchOf(probes);
        batch.verdicts.push_back({0, Start + 62'000, "nothing answered from hop 1", ""});
        ASSERT_TRUE(writer.writeLast(batch));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_GE(read.outages.size(), 2u);
    EXPECT_EQ(read.outages[1].pathVerdict, "nothing answered from hop 1");
    EXPECT_FALSE(read.outages[1].side);
}

TEST(HistoryFile, KeepsAnOutageGoingOnAsFarAsItWentWhenTheWriterStops)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file);
        ASSERT_TRUE(writer.write(batchOf({ProbeSample(Start, TimedOut, -1, 0)})));
        ASSERT_TRUE(writer.write(batchOf({ProbeSample(Start + 1000, TimedOut, -1, 0)})));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.outages.size(), 1u);
    EXPECT_FALSE(read.outages[0].end);
    EXPECT_EQ(read.outages[0].lastFailure, Start + 1000);
    EXPECT_EQ(read.outages[0].probesLost, 2u);
}

struct ClockCase
{
    const char *name;
    std::vector<Milliseconds> sentAt;
    std::vector<Milliseconds> storedAt;
    std::size_t runs;
};

class HistoryFileClock : public testing::TestWithParam<ClockCase>
{};

// A run's probes are keyed by their offset, which must rise.
TEST_P(HistoryFileClock, KeepsEveryProbeInTheOrderItCame)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    std::vector<ProbeSample> probes;
    for (const Milliseconds time : GetParam().sentAt)
        probes.emplace_back(time, 0, 100, 32);
    {
        store::HistoryWriter writer = writerFor(file);
        ASSERT_TRUE(writer.writeLast(batchOf(probes)));
    }
    const store::HostHistory read = everything(file, Host);
    EXPECT_EQ(read.runs.size(), GetParam().runs);
    std::vector<Milliseconds> stored;
    for (const ProbeSample &sample : read.probes)
        stored.push_back(sample.sentAt());
    EXPECT_EQ(stored, GetParam().storedAt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryFileClock,
    testing::Values(
        ClockCase{
            "Rising", {Start, Start + 1000, Start + 2000}, {Start, Start + 1000, Start + 2000}, 1},
        ClockCase{
            "TwoInOneMillisecond", {Start, Start, Start + 1}, {Start, Start + 1, Start + 2}, 1},
        ClockCase{"SetBackALittle",
                  {Start, Start + 500, Start + 200},
                  {Start, Start + 500, Start + 501},
                  1},
        ClockCase{"SetBackAnHour",
                  {Start, Start + 1000, Start - 3'600'000},
                  {Start - 3'600'000, Start, Start + 1000},
                  2}),
    [](const testing::TestParamInfo<ClockCase> &info) { return info.param.name; });

TEST(HistoryFile, KeepsTheRunsOfTwoWindowsSharingTheFile)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    store::HistoryWriter first = writerFor(file, {Host, "192.0.2.9"});
    store::HistoryWriter second = writerFor(file);
    ASSERT_TRUE(first.write(batchOf({ProbeSample(Start, 0, 100, 32)})));
    ASSERT_TRUE(second.write(batchOf({ProbeSample(Start + 500, 0, 200, 32)})));
    ASSERT_TRUE(first.write(batchOf({ProbeSample(Start + 1000, 0, 300, 32)})));
    ASSERT_TRUE(first.write(batchOf({ProbeSample(Start + 1000, 0, 400, 32)}, 1)));
    const store::HostHistory read = everything(file, Host);
    EXPECT_EQ(read.runs.size(), 2u);
    expectSameProbes(read.probes,
                     {ProbeSample(Start, 0, 100, 32), ProbeSample(Start + 500, 0, 200, 32),
                      ProbeSample(Start + 1000, 0, 300, 32)});
    EXPECT_EQ(everything(file, "192.0.2.9").probes.size(), 1u);
}

TEST(HistoryFile, ReadsAFileNoWindowWroteInAsEmpty)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    std::string error;
    std::optional<store::Connection> created =
        store::Connection::open(file, store::Access::ReadWrite, error);
    ASSERT_TRUE(created) << error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    ASSERT_TRUE(connection) << error;
    std::optional<store::HostHistory> read =
        store::readHostHistory(*connection, Host, {0, Start}, 10, error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(read->probes.empty() && read->runs.empty());
}

// A probe every 20 s for 40 days in one run, and a second run whose writer
// was killed before it summed its minutes.
class Retention : public testing::Test
{
protected:
    static constexpr Milliseconds Step = 20'000;
    static constexpr Milliseconds Days = 40;

    void SetUp() override
    {
        for (Milliseconds time = Start; time < Start + Days * store::MillisecondsPerDay;
             time += Step)
            m_probes.emplace_back(time, time % 7 == 0 ? TimedOut : 0, time % 997, 32);
        store::HistoryWriter writer = writerFor(m_file);
        ASSERT_TRUE(writer.writeLast(batchOf(m_probes)));
        store::HistoryWriter killed = writerFor(m_file, {"192.0.2.99"});
        ASSERT_TRUE(killed.write(batchOf(
            {ProbeSample(Start + 10, 0, 5, 32), ProbeSample(Start + 20, TimedOut, -1, 0)})));
    }

    std::string retain(Milliseconds now, store::RetentionPolicy policy)
    {
        std::string error;
        std::optional<store::Connection> connection =
            store::Connection::open(m_file, store::Access::ReadWrite, error);
        if (connection && store::applyRetention(*connection, now, policy, error))
            return {};
        return error.empty() ? "failed" : error;
    }

    ScratchFolder m_folder;
    std::string m_file = m_folder.file("history.sqlite");
    std::vector<ProbeSample> m_probes;
};

TEST_F(Retention, FoldsProbesBeyondTheirDaysIntoTheMinutesTheyMade)
{
    const Milliseconds now = Start + Days * store::MillisecondsPerDay;
    ASSERT_EQ(retain(now, {30, 400}), "");
    const Milliseconds cutoff = now - 30 * store::MillisecondsPerDay;
    const store::HostHistory read = everything(m_file, Host);
    ASSERT_FALSE(read.probes.empty());
    EXPECT_EQ(read.probes.front().sentAt(), cutoff);
    const std::vector<store::StoredMinute> expected = minutesOf(m_probes);
    ASSERT_EQ(read.minutes.size(), 10u * 24 * 60);
    for (std::size_t index = 0; index < read.minutes.size(); index += 97)
        expectSameMinute(read.minutes[index], expected[index]);
    EXPECT_EQ(integrityCheck(m_file), "ok");
}

TEST_F(Retention, FoldsTheMinuteAKilledWriterNeverSummed)
{
    ASSERT_EQ(retain(Start + Days * store::MillisecondsPerDay, {30, 400}), "");
    const store::HostHistory read = everything(m_file, "192.0.2.99");
    EXPECT_TRUE(read.probes.empty());
    ASSERT_EQ(read.minutes.size(), 1u);
    EXPECT_EQ(read.minutes[0].statistics.transmitted, 2u);
    EXPECT_EQ(read.minutes[0].timeouts, 1u);
    EXPECT_EQ(read.outages.size(), 1u);
}

TEST_F(Retention, DropsSummariesOutagesRunsAndHostsBeyondTheirDays)
{
    const Milliseconds now = Start + Days * store::MillisecondsPerDay;
    ASSERT_EQ(retain(now, {1, 5}), "");
    const store::HostHistory read = everything(m_file, Host);
    ASSERT_FALSE(read.minutes.empty());
    EXPECT_EQ(read.minutes.front().minuteStart, now - 5 * store::MillisecondsPerDay);
    EXPECT_GE(read.outages.front().start, now - 5 * store::MillisecondsPerDay);
    EXPECT_TRUE(everything(m_file, "192.0.2.99").runs.empty());
    EXPECT_EQ(retain(now, {1, 5}), "");
}

TEST_F(Retention, KeepsEverythingWithinItsDays)
{
    ASSERT_EQ(retain(Start + Days * store::MillisecondsPerDay, {41, 400}), "");
    EXPECT_EQ(everything(m_file, Host).probes.size(), m_probes.size());
}

// Summaries before the probes read in full, and the two together say
// what all the probes said.
TEST_F(Retention, ReaderBoundsTheProbesInFullAndSumsTheRestByTheMinute)
{
    const store::HostHistory read = everything(m_file, Host, 10'000);
    ASSERT_LE(read.probes.size(), 10'000u);
    ASSERT_GT(read.probes.size(), 9'900u);
    EXPECT_EQ(read.probes.front().sentAt() % history::MillisecondsPerMinute, 0);
    EXPECT_EQ(read.minutes.back().minuteStart + history::MillisecondsPerMinute,
              read.probes.front().sentAt());
    history::RunStatistics whole;
    for (const ProbeSample &sample : m_probes)
        whole.add(sample);
    history::RunStatistics summed;
    for (const store::StoredMinute &minute : read.minutes)
        summed.add(minute.statistics);
    for (const ProbeSample &sample : read.probes)
        summed.add(sample);
    EXPECT_EQ(history::transmissionLine(summed), history::transmissionLine(whole));
    EXPECT_EQ(history::roundTripLine(summed), history::roundTripLine(whole));
}

} // namespace
