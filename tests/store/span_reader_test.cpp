// A host's history over any span, reduced to the chart's columns: probe by
// probe where the file holds probes and the columns are narrow, by the
// minute otherwise, each column's figures and the span's statistics the
// same as those of the probes themselves.
#include "store_files.h"

#include "echowatch/history/column_reduction.h"
#include "echowatch/store/retention.h"
#include "echowatch/store/span_reader.h"

#include <gtest/gtest.h>

#include <map>

using history::Milliseconds;
using history::ProbeSample;
using history::TimeSpan;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr Milliseconds Minute = history::MillisecondsPerMinute;
constexpr const char *Host = "192.0.2.7";

// Round trips that vary within a minute, a timeout every 7th and an
// unreachable every 31st probe.
std::vector<ProbeSample> probesEvery(Milliseconds step, Milliseconds length)
{
    std::vector<ProbeSample> probes;
    for (Milliseconds time = Start; time < Start + length; time += step) {
        const Milliseconds index = (time - Start) / step;
        const EchoStatus status = index % 7 == 3 ? 11010 : index % 31 == 5 ? 11003 : 0;
        probes.emplace_back(time, status, status ? -1 : 300 + (index * 7919) % 2000, 32);
    }
    return probes;
}

store::HostSpan spanOf(const std::string &file, TimeSpan span, std::size_t columns)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    if (!connection)
        throw std::runtime_error(error);
    std::optional<store::HostSpan> read =
        store::readSpan(*connection, Host, span, columns, error);
    if (!read)
        throw std::runtime_error(error);
    return std::move(*read);
}

// What a column should say, from the probes in its stretch.
struct Expected
{
    store::SpanColumn column;
    std::vector<std::uint32_t> roundTrips;
};

// Each probe in the column of its send time, or of the start of its
// minute or hour (granularity).
std::vector<Expected> expectedColumns(const std::vector<ProbeSample> &probes, TimeSpan span,
                                      std::size_t columns, Milliseconds granularity)
{
    std::vector<Expected> expected(columns);
    for (const ProbeSample &probe : probes) {
        const Milliseconds at = probe.sentAt() - probe.sentAt() % std::max<Milliseconds>(granularity, 1);
        if (at < span.from || at >= span.to)
            continue;
        Expected &column = expected[history::columnOf(at, span, columns)];
        store::StoredMinute one;
        one.add(probe);
        column.column.transmitted += one.statistics.transmitted;
        column.column.received += one.statistics.received;
        column.column.timeouts += one.timeouts;
        column.column.unreachables += one.unreachables;
        if (probe.answered())
            column.roundTrips.push_back(static_cast<std::uint32_t>(probe.roundTripMicroseconds()));
    }
    return expected;
}

void expectCounts(const store::SpanColumn &read, const Expected &expected)
{
    EXPECT_EQ(read.transmitted, expected.column.transmitted);
    EXPECT_EQ(read.received, expected.column.received);
    EXPECT_EQ(read.timeouts, expected.column.timeouts);
    EXPECT_EQ(read.unreachables, expected.column.unreachables);
    if (expected.roundTrips.empty()) {
        EXPECT_FALSE(read.quantiles);
        return;
    }
    EXPECT_EQ(read.minimum, *std::min_element(expected.roundTrips.begin(), expected.roundTrips.end()));
    EXPECT_EQ(read.maximum, *std::max_element(expected.roundTrips.begin(), expected.roundTrips.end()));
}

history::RunStatistics statisticsOf(const std::vector<ProbeSample> &probes, TimeSpan span)
{
    history::RunStatistics statistics;
    for (const ProbeSample &probe : probes) {
        if (probe.sentAt() >= span.from && probe.sentAt() < span.to)
            statistics.add(probe);
    }
    return statistics;
}

void expectSameStatistics(const history::RunStatistics &read, const history::RunStatistics &expected)
{
    EXPECT_EQ(history::transmissionLine(read), history::transmissionLine(expected));
    EXPECT_EQ(history::roundTripLine(read), history::roundTripLine(expected));
}

class SpanReader : public testing::Test
{
protected:
    void write(const std::vector<ProbeSample> &probes, bool last = true)
    {
        m_probes = probes;
        store::HistoryWriter writer = writerFor(m_file, {Host});
        ASSERT_TRUE(last ? writer.writeLast(batchOf(probes)) : writer.write(batchOf(probes)));
    }

    ScratchFolder m_folder;
    std::string m_file = m_folder.file("history.sqlite");
    std::vector<ProbeSample> m_probes;
};

// Two hours a probe a second; the last hour in 90 columns of 40 s.
TEST_F(SpanReader, ReadsNarrowColumnsProbeByProbeWithTheirOwnQuantiles)
{
    write(probesEvery(1000, 120 * Minute));
    const TimeSpan hour{Start + 60 * Minute, Start + 120 * Minute};
    const store::HostSpan read = spanOf(m_file, hour, 90);
    EXPECT_EQ(read.detail, store::SpanDetail::Probes);
    const std::vector<Expected> expected = expectedColumns(m_probes, hour, 90, 1);
    ASSERT_EQ(read.columns.size(), 90u);
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        expectCounts(read.columns[index], expected[index]);
        std::vector<std::uint32_t> roundTrips = expected[index].roundTrips;
        EXPECT_EQ(read.columns[index].quantiles, store::quantilesOf(roundTrips));
        const TimeSpan stretch = history::columnAt(static_cast<int>(index), hour, 90)->time;
        EXPECT_EQ(read.columns[index].time.from, stretch.from);
        EXPECT_EQ(read.columns[index].time.to, stretch.to);
    }
    expectSameStatistics(read.statistics, statisticsOf(m_probes, hour));
}

// The median of each group's medians, the groups made by `groupOf` from
// the minutes of the probes.
template <typename GroupOf>
std::map<std::size_t, std::vector<std::uint32_t>> mediansBy(const std::vector<ProbeSample> &probes,
                                                           GroupOf groupOf)
{
    std::map<Milliseconds, std::vector<std::uint32_t>> minutes;
    for (const ProbeSample &probe : probes) {
        if (probe.answered())
            minutes[store::minuteOf(probe.sentAt())].push_back(
                static_cast<std::uint32_t>(probe.roundTripMicroseconds()));
    }
    std::map<std::size_t, std::vector<std::uint32_t>> medians;
    for (auto &[minute, roundTrips] : minutes)
        medians[groupOf(minute)].push_back(store::quantilesOf(roundTrips)->median);
    return medians;
}

void expectColumnsAndMedians(const store::HostSpan &read, const std::vector<Expected> &expected,
                             std::map<std::size_t, std::vector<std::uint32_t>> &medians)
{
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        expectCounts(read.columns[index], expected[index]);
        ASSERT_TRUE(read.columns[index].quantiles);
        EXPECT_EQ(read.columns[index].quantiles->median, store::medianOf(medians[index]));
    }
}

// Forty days a probe every 20 s, in 1,000 columns of 57.6 minutes: the
// median of each column's minutes' medians.
TEST_F(SpanReader, ReadsColumnsOfAnHourByTheMinute)
{
    write(probesEvery(20'000, 40 * store::MillisecondsPerDay));
    const TimeSpan all{Start, Start + 40 * store::MillisecondsPerDay};
    const store::HostSpan read = spanOf(m_file, all, 1000);
    EXPECT_EQ(read.detail, store::SpanDetail::Minutes);
    const std::vector<Expected> expected = expectedColumns(m_probes, all, 1000, Minute);
    auto medians =
        mediansBy(m_probes, [&](Milliseconds minute) { return history::columnOf(minute, all, 1000); });
    expectColumnsAndMedians(read, expected, medians);
    expectSameStatistics(read.statistics, statisticsOf(m_probes, all));
}

// The same in 100 columns of 9.6 hours: by the hour, each column the
// median of its hours' medians, which are those of their minutes'.
TEST_F(SpanReader, ReadsWideColumnsByTheHour)
{
    write(probesEvery(20'000, 40 * store::MillisecondsPerDay));
    const TimeSpan all{Start, Start + 40 * store::MillisecondsPerDay};
    const store::HostSpan read = spanOf(m_file, all, 100);
    EXPECT_EQ(read.detail, store::SpanDetail::Hours);
    const std::vector<Expected> expected =
        expectedColumns(m_probes, all, 100, store::MillisecondsPerHour);
    auto hourMedians = mediansBy(m_probes, [](Milliseconds minute) {
        return static_cast<std::size_t>(store::hourOf(minute) / store::MillisecondsPerHour);
    });
    std::map<std::size_t, std::vector<std::uint32_t>> medians;
    for (auto &[hour, minuteMedians] : hourMedians) {
        const Milliseconds start = static_cast<Milliseconds>(hour) * store::MillisecondsPerHour;
        medians[history::columnOf(start, all, 100)].push_back(store::medianOf(minuteMedians));
    }
    expectColumnsAndMedians(read, expected, medians);
    expectSameStatistics(read.statistics, statisticsOf(m_probes, all));
}

// Beyond the probes' days only minutes are left; a span across that line
// reads minutes before it and probes after, the counts the probes' own.
TEST_F(SpanReader, ReadsMinutesWhereProbesAreGoneAndProbesWhereKept)
{
    write(probesEvery(10'000, 3 * store::MillisecondsPerDay));
    std::string error;
    {
        std::optional<store::Connection> connection =
            store::Connection::open(m_file, store::Access::ReadWrite, error);
        ASSERT_TRUE(connection && store::applyRetention(
                                      *connection, Start + 3 * store::MillisecondsPerDay, {1, 366},
                                      error))
            << error;
    }
    const Milliseconds cutoff = Start + 2 * store::MillisecondsPerDay;
    const TimeSpan across{cutoff - 60 * Minute, cutoff + 60 * Minute};
    const store::HostSpan read = spanOf(m_file, across, 120);
    EXPECT_EQ(read.detail, store::SpanDetail::Probes);
    const std::vector<Expected> expected = expectedColumns(m_probes, across, 120, 1);
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        expectCounts(read.columns[index], expected[index]);
    }
    expectSameStatistics(read.statistics, statisticsOf(m_probes, across));
}

// A writer killed three and a half hours in, before it summed its last
// hour and minute: read by the minute or by the hour, what it left
// unsummed is summed from its minutes and its probes.
TEST_F(SpanReader, SumsWhatAKilledWriterLeftUnsummed)
{
    write(probesEvery(1000, 210 * Minute + 30'000), false);
    const TimeSpan day{Start, Start + store::MillisecondsPerDay};
    for (const auto &[columns, detail] :
         {std::pair{24, store::SpanDetail::Minutes}, std::pair{12, store::SpanDetail::Hours}}) {
        SCOPED_TRACE(columns);
        const store::HostSpan read = spanOf(m_file, day, columns);
        EXPECT_EQ(read.detail, detail);
        const std::vector<Expected> expected = expectedColumns(m_probes, day, columns, 1);
        for (int index = 0; index < columns; ++index)
            expectCounts(read.columns[index], expected[index]);
        expectSameStatistics(read.statistics, statisticsOf(m_probes, day));
    }
}

TEST_F(SpanReader, ReadsTheWatchesAndOutagesOfTheSpan)
{
    write(probesEvery(1000, 10 * Minute));
    const store::HostSpan read = spanOf(m_file, {Start + Minute, Start + 2 * Minute}, 60);
    ASSERT_EQ(read.watches.size(), 1u);
    EXPECT_EQ(read.watches[0].started, Start);
    EXPECT_EQ(read.watches[0].why, store::WatchEndReason::Closed);
    // A timeout every 7th probe, each an outage of its own.
    EXPECT_GE(read.outages.size(), 8u);
    for (const store::StoredOutage &outage : read.outages)
        EXPECT_EQ(outage.endedBy, store::OutageEnd::Answer);
}

TEST_F(SpanReader, ReadsAFileNoWindowWroteInAsEmptyColumns)
{
    { std::string error; store::Connection::open(m_file, store::Access::ReadWrite, error); }
    const store::HostSpan read = spanOf(m_file, {Start, Start + Minute}, 10);
    ASSERT_EQ(read.columns.size(), 10u);
    EXPECT_EQ(read.statistics.transmitted, 0u);
}

} // namespace
