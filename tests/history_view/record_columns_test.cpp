// The record's columns kept from one refresh to the next against the same
// columns put together from scratch, over runs of appends, grids that move
// or change width, a record whose ring lets its oldest probes go, and
// another record shown.
#include "echowatch/history_view/record_columns.h"

#include "echowatch/history/probe_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using history::ChartGrid;
using history::Milliseconds;
using history::ProbeRecord;

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr Milliseconds Second = 1000;

// How the grid follows the record at a step.
enum class Grid
{
    // Over the 20 s before the first probe and the 100 s after it.
    Fixed,
    // The last minute, to the latest probe.
    Trailing,
    // From the first probe to the latest.
    All,
};

struct Step
{
    int probes = 0;
    std::size_t columns = 10;
    Grid grid = Grid::Fixed;
    // Show the other record from this step on.
    bool otherRecord = false;
    // Rebuild the record in place with earlier probes before its own.
    bool earlierMerged = false;
};

struct Case
{
    std::string name;
    std::size_t capacity = 1'000;
    std::vector<Step> steps;
};

// A probe a second, every seventh lost and every thirteenth unreachable.
void append(ProbeRecord &record, int count)
{
    for (int added = 0; added < count; ++added) {
        const auto index = static_cast<std::int64_t>(record.recordedCount());
        const EchoStatus status = index % 7 == 3 ? 11010 : (index % 13 == 5 ? 11003 : 0);
        record.record(history::ProbeSample(Start + index * Second, status,
                                           status ? -1 : 200 + index * 37 % 900, 32));
    }
}

// Ten probes in the 40 s before the record's own, then its own: from
// before the grid into it.
void mergeEarlier(ProbeRecord &record, std::size_t capacity)
{
    ProbeRecord merged(capacity);
    for (Milliseconds before = 10; before > 0; --before)
        merged.record(history::ProbeSample(Start - 4 * before * Second, 0, 500 + before, 32));
    for (const auto part : record.retainedFrom(0)) {
        for (const history::ProbeSample &sample : part)
            merged.record(sample);
    }
    record = std::move(merged);
}

ChartGrid gridFor(const Step &step, const ProbeRecord &record)
{
    const history::TimeSpan whole = record.wholeRun();
    switch (step.grid) {
    case Grid::Trailing:
        return history::trailingGrid(60 * Second, whole.to, step.columns);
    case Grid::All:
        return history::gridOver(whole, step.columns);
    case Grid::Fixed:
        break;
    }
    return history::gridOver({Start - 20 * Second, Start + 100 * Second}, step.columns);
}

void expectSame(const history::RunStatistics &kept, const history::RunStatistics &fresh)
{
    EXPECT_EQ(kept.transmitted, fresh.transmitted);
    EXPECT_EQ(kept.received, fresh.received);
    EXPECT_EQ(kept.errors, fresh.errors);
    EXPECT_EQ(kept.notSent, fresh.notSent);
    EXPECT_EQ(kept.roundTrips.count, fresh.roundTrips.count);
    EXPECT_EQ(kept.roundTrips.minimum, fresh.roundTrips.minimum);
    EXPECT_EQ(kept.roundTrips.maximum, fresh.roundTrips.maximum);
    EXPECT_EQ(kept.roundTrips.sum, fresh.roundTrips.sum);
    EXPECT_EQ(kept.roundTrips.sumOfSquares, fresh.roundTrips.sumOfSquares);
    EXPECT_EQ(kept.firstSentAt, fresh.firstSentAt);
    EXPECT_EQ(kept.lastSentAt, fresh.lastSentAt);
}

class RecordColumnsTest : public testing::TestWithParam<Case>
{};

TEST_P(RecordColumnsTest, keptColumnsAreTheColumnsPutTogetherAfresh)
{
    const Case &test = GetParam();
    ProbeRecord records[] = {ProbeRecord(test.capacity), ProbeRecord(test.capacity)};
    append(records[1], 30);
    history_view::RecordColumns kept;
    ProbeRecord *shown = &records[0];
    for (std::size_t index = 0; index < test.steps.size(); ++index) {
        SCOPED_TRACE("step " + std::to_string(index));
        const Step &step = test.steps[index];
        if (step.otherRecord)
            shown = &records[1];
        if (step.earlierMerged)
            mergeEarlier(*shown, test.capacity);
        append(*shown, step.probes);
        const ChartGrid grid = gridFor(step, *shown);
        kept.update(*shown, grid);
        std::vector<history::ChartColumn> fresh(grid.columns);
        history::reduceToColumns(*shown, grid.span, fresh);
        EXPECT_EQ(std::vector(kept.columns().begin(), kept.columns().end()), fresh);
        expectSame(kept.statistics(), shown->statisticsIn(grid.span));
    }
}

std::vector<Step> repeated(Step step, int times)
{
    return std::vector<Step>(static_cast<std::size_t>(times), step);
}

std::vector<Step> widths()
{
    std::vector<Step> steps;
    for (const std::size_t columns : {10, 7, 7, 10, 3, 100, 100})
        steps.push_back({4, columns, Grid::Fixed, false});
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Refreshes, RecordColumnsTest,
    testing::Values(
        Case{"aProbeAtATimeWithinColumns", 1'000, repeated({1, 10, Grid::Fixed, false}, 25)},
        Case{"manyProbesAcrossColumns", 1'000, repeated({23, 10, Grid::Fixed, false}, 6)},
        Case{"probesPastTheGridsEnd", 1'000, repeated({40, 4, Grid::Fixed, false}, 5)},
        Case{"widthsChanging", 1'000, widths()},
        Case{"aTrailingSpan", 1'000, repeated({7, 12, Grid::Trailing, false}, 20)},
        Case{"allGrowing", 1'000, repeated({9, 5, Grid::All, false}, 15)},
        Case{"aRingLettingProbesGo", 50, repeated({17, 10, Grid::All, false}, 12)},
        Case{"aRingLettingProbesGoUnderAGrid", 50, repeated({3, 10, Grid::Fixed, false}, 40)},
        Case{"earlierProbesMergedIn",
             1'000,
             {{5, 10, Grid::Fixed, false, false},
              {0, 10, Grid::Fixed, false, true},
              {3, 10, Grid::Fixed, false, false}}},
        Case{"anotherRecordShown",
             1'000,
             {{5, 10, Grid::Fixed, false},
              {5, 10, Grid::Fixed, false},
              {0, 10, Grid::Fixed, true},
              {3, 10, Grid::Fixed, false}}}),
    [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

} // namespace
