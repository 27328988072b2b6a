// The chart's reduction to pixel columns against a brute-force scan of every
// probe recorded: probes kept in full count at their own time, with the
// nearest-rank band of their round trips, folded ones at the start of
// their minute and in no band.
#include "echowatch/history/column_reduction.h"
#include "echowatch/history/probe_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace history;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;

std::vector<ProbeSample> randomProbes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    const EchoStatus statuses[] = {0, 0, 0, 0, 11010, 11003, 11050, -1};
    std::uniform_int_distribution<int> pick(0, 7);
    std::uniform_int_distribution<Milliseconds> gap(1, 900);
    std::uniform_int_distribution<std::int64_t> roundTrip(20, 400'000);
    std::vector<ProbeSample> probes;
    Milliseconds time = Start + 12'345;
    for (std::size_t i = 0; i < count; ++i) {
        const EchoStatus status = statuses[pick(random)];
        probes.emplace_back(time, status, status == 0 ? roundTrip(random) : -1, 32);
        time += gap(random);
    }
    return probes;
}

// The smallest round trip with at least numerator/denominator of them at or
// below it, from all of them in order.
std::uint32_t nearestRank(std::vector<std::uint32_t> sorted, std::size_t numerator,
                          std::size_t denominator)
{
    std::sort(sorted.begin(), sorted.end());
    std::size_t rank = 1;
    while (rank * denominator < sorted.size() * numerator)
        ++rank;
    return sorted[rank - 1];
}

void addBands(std::vector<ChartColumn> &columns,
              const std::vector<std::vector<std::uint32_t>> &roundTrips)
{
    for (std::size_t index = 0; index < columns.size(); ++index) {
        if (!roundTrips[index].empty())
            columns[index].band = RoundTripBand{nearestRank(roundTrips[index], 1, 10),
                                                nearestRank(roundTrips[index], 1, 2),
                                                nearestRank(roundTrips[index], 9, 10)};
    }
}

std::vector<ChartColumn> bruteForce(const std::vector<ProbeSample> &probes, std::size_t retained,
                                    TimeSpan span, std::size_t columnCount)
{
    std::vector<ChartColumn> columns(columnCount);
    std::vector<std::vector<std::uint32_t>> inFull(columnCount);
    for (std::size_t i = 0; i < probes.size(); ++i) {
        Milliseconds time = probes[i].sentAt();
        const bool folded = i < probes.size() - retained;
        if (folded)
            time -= time % MillisecondsPerMinute;
        if (time < span.from || time >= span.to)
            continue;
        const auto index = static_cast<std::size_t>((time - span.from) * Milliseconds(columnCount) /
                                                    (span.to - span.from));
        ChartColumn &column = columns[index];
        switch (probes[i].status()) {
        case 0:
            ++column.answered;
            column.minimumMicroseconds = std::min<std::uint32_t>(
                column.minimumMicroseconds, std::uint32_t(probes[i].roundTripMicroseconds()));
            column.maximumMicroseconds = std::max<std::uint32_t>(
                column.maximumMicroseconds, std::uint32_t(probes[i].roundTripMicroseconds()));
            if (!folded)
                inFull[index].push_back(std::uint32_t(probes[i].roundTripMicroseconds()));
            break;
        case 11010:
            ++column.timeouts;
            break;
        case 11003:
            ++column.unreachables;
            break;
        case 11050:
            ++column.otherFailures;
            break;
        }
    }
    addBands(columns, inFull);
    return columns;
}

TEST(ColumnReduction, AgreesWithABruteForceScan)
{
    const std::vector<ProbeSample> probes = randomProbes(3000, 7);
    for (const std::size_t capacity : {std::size_t{5000}, std::size_t{700}}) {
        ProbeRecord record(capacity);
        for (const ProbeSample &probe : probes)
            record.record(probe);
        const TimeSpan whole = record.wholeRun();
        const Milliseconds middle = whole.from + (whole.to - whole.from) / 2;
        const TimeSpan spans[] = {whole,
                                  {middle, whole.to},
                                  {whole.from - 5000, middle + 777},
                                  {whole.to, whole.to + 60'000}};
        for (const TimeSpan span : spans) {
            for (const std::size_t columnCount : {1u, 7u, 333u, 1000u, 4096u}) {
                SCOPED_TRACE(testing::Message()
                             << "capacity " << capacity << ", span " << span.from - whole.from
                             << ".." << span.to - whole.from << ", " << columnCount << " columns");
                std::vector<ChartColumn> columns(columnCount);
                reduceToColumns(record, span, columns);
                EXPECT_EQ(columns, bruteForce(probes, record.retainedCount(), span, columnCount));
            }
        }
    }
}

// What the pointer reads must be what the column drew: each stretch holds
// exactly the times columnOf puts in its column, the stretches tile the span.
TEST(ColumnReduction, TheColumnUnderThePointerCoversTheTimesDrawnThere)
{
    const TimeSpan spans[] = {
        {Start, Start + 600'000}, {Start, Start + 7}, {Start - 1, Start + 999}};
    for (const TimeSpan span : spans) {
        for (const std::size_t count : {std::size_t{1}, std::size_t{13}, std::size_t{560}}) {
            SCOPED_TRACE(testing::Message() << span.to - span.from << " ms, " << count);
            Milliseconds expectedFrom = span.from;
            for (std::size_t index = 0; index < count; ++index) {
                const auto stretch = columnAt(static_cast<int>(index), span, count);
                ASSERT_TRUE(stretch);
                ASSERT_EQ(stretch->index, index);
                ASSERT_EQ(stretch->time.from, expectedFrom);
                for (Milliseconds time = stretch->time.from; time < stretch->time.to; ++time)
                    ASSERT_EQ(columnOf(time, span, count), index) << time;
                expectedFrom = stretch->time.to;
            }
            EXPECT_EQ(expectedFrom, span.to);
        }
    }
    struct Outside
    {
        int offset;
        TimeSpan span;
        std::size_t count;
    };
    for (const Outside &outside :
         {Outside{-1, {Start, Start + 10}, 5}, Outside{5, {Start, Start + 10}, 5},
          Outside{0, {Start, Start}, 5}, Outside{0, {Start, Start + 10}, 0}})
        EXPECT_FALSE(columnAt(outside.offset, outside.span, outside.count)) << outside.offset;
}

TEST(ColumnReduction, APointerBesideAProbeReadsIt)
{
    ChartColumn answered;
    answered.answered = 1;
    ChartColumn timedOut;
    timedOut.timeouts = 1;
    //                                   0    1    2         3    4    5    6    7
    const std::vector<ChartColumn> columns{{}, {}, answered, {}, {}, {}, timedOut, {}};
    struct Row
    {
        std::size_t index;
        std::size_t radius;
        std::size_t expected;
    };
    const Row rows[] = {
        {2, 3, 2}, // on a probe
        {0, 3, 2}, // the probe to the right
        {0, 1, 0}, // too far: the gap itself
        {4, 2, 2}, // a tie: the earlier
        {5, 3, 6}, // the nearer of two
        {7, 3, 6}, // at the last column
    };
    for (const Row &row : rows)
        EXPECT_EQ(nearestWithProbes(columns, row.index, row.radius), row.expected) << row.index;
}

} // namespace

TEST(ColumnReduction, BandsAreNearestRanks)
{
    struct Row
    {
        std::vector<std::uint32_t> roundTrips;
        std::optional<RoundTripBand> expected;
    };
    const Row rows[] = {
        {{}, std::nullopt},
        {{700}, RoundTripBand{700, 700, 700}},
        {{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, RoundTripBand{1, 5, 9}},
        // 11 of them: the tenth is the 2nd (1.1 rounded up), the ninetieth
        // the 10th.
        {{11, 1, 10, 2, 9, 3, 8, 4, 7, 5, 6}, RoundTripBand{2, 6, 10}},
        {{300, 300, 300, 90'000}, RoundTripBand{300, 300, 90'000}},
    };
    for (const Row &row : rows) {
        std::vector<std::uint32_t> values = row.roundTrips;
        EXPECT_EQ(bandOf(values), row.expected) << values.size() << " round trips";
    }
}
