// The chart's grids: whole-millisecond columns whose runs are grids of
// their own, whole minutes or hours where the history file is read by
// them, a trailing span that keeps its columns until the latest probe
// crosses into the next, and the split between the file's columns and the
// record's.
#include "echowatch/history/chart_grid.h"
#include "echowatch/history/column_reduction.h"

#include <gtest/gtest.h>

using namespace history;

namespace {

constexpr Milliseconds Start = 1'800'000'000'123;
constexpr Milliseconds Day = 86'400'000;

TEST(ChartGrid, TrailingSpansCoverTheirLengthAndEndWithTheLatest)
{
    struct Row
    {
        Milliseconds length;
        std::size_t columns;
    };
    for (const Row row : {Row{300'000, 613}, Row{3'600'000, 1}, Row{365 * Day, 1920},
                          Row{90 * Day, 587}, Row{Day, 600}, Row{7 * Day, 600}, Row{7, 600}}) {
        for (const Milliseconds end : {Start, Start + 1, Start + 4'999'999}) {
            SCOPED_TRACE(testing::Message() << row.length << " ms over " << row.columns
                                            << " columns, ending at " << end);
            const ChartGrid grid = trailingGrid(row.length, end, row.columns);
            EXPECT_LE(grid.columns, row.columns);
            EXPECT_EQ(grid.span.to - grid.span.from, grid.width * Milliseconds(grid.columns));
            // Its length, and less than a column more.
            EXPECT_GE(grid.span.to - grid.span.from, row.length);
            EXPECT_LT(grid.span.to - grid.span.from, row.length + grid.width);
            EXPECT_EQ(grid.span.to % grid.width, 0);
            if (grid.width > ColumnsOfProbesUpTo) {
                EXPECT_EQ(grid.width % (grid.width >= ColumnsOfHoursFrom ? 3'600'000 : 60'000), 0);
            }
            // The latest probe, sent at end - 1, is in the last column.
            EXPECT_GE(end - 1, grid.columnStart(grid.columns - 1));
            EXPECT_LT(end - 1, grid.span.to);
        }
    }
}

TEST(ChartGrid, KeepsItsColumnsUntilTheLatestProbeCrossesIntoTheNext)
{
    const ChartGrid grid = trailingGrid(3'600'000, Start, 600);
    EXPECT_EQ(trailingGrid(3'600'000, grid.span.to, 600), grid);
    EXPECT_EQ(trailingGrid(3'600'000, grid.columnStart(599) + 1, 600), grid);
    const ChartGrid next = trailingGrid(3'600'000, grid.span.to + 1, 600);
    EXPECT_EQ(next.span.from, grid.span.from + grid.width);
    EXPECT_EQ(next.width, grid.width);
}

// The file's part and the record's part of a span meet on a column's
// edge, and each reduces into exactly the whole grid's columns.
TEST(ChartGrid, ItsPartsAreGridsWithTheSameColumns)
{
    const ChartGrid grid = gridOver({Start, Start + 7 * Day + 5}, 577);
    EXPECT_LE(grid.span.from, Start);
    EXPECT_GE(grid.span.to, Start + 7 * Day + 5);
    EXPECT_LE(grid.columns, std::size_t{577});
    for (const std::size_t first : {std::size_t{0}, std::size_t{1}, std::size_t{300}}) {
        const ChartGrid part = grid.part(first, grid.columns - first);
        for (std::size_t index = 0; index < part.columns; ++index) {
            const auto whole = columnAt(static_cast<int>(first + index), grid.span, grid.columns);
            const auto own = columnAt(static_cast<int>(index), part.span, part.columns);
            ASSERT_TRUE(whole && own);
            ASSERT_EQ(whole->time, own->time) << first << " + " << index;
        }
    }
}

TEST(ChartGrid, CoversAnySpanInAtMostItsColumns)
{
    for (const TimeSpan span : {TimeSpan{Start, Start + 1}, TimeSpan{Start, Start + 59'999},
                                TimeSpan{Start - 5, Start + 365 * Day},
                                TimeSpan{Start + 1, Start + Milliseconds{2 * 3'600'000} * 600}}) {
        for (const std::size_t columns : {std::size_t{1}, std::size_t{2}, std::size_t{600}}) {
            const ChartGrid grid = gridOver(span, columns);
            EXPECT_LE(grid.columns, columns) << span.to - span.from;
            EXPECT_LE(grid.span.from, span.from);
            EXPECT_GE(grid.span.to, span.to);
            EXPECT_EQ(grid.span.from % grid.width, 0);
        }
    }
}

TEST(ChartGrid, CountsTheColumnsThatStartBeforeATime)
{
    const ChartGrid grid{{1000, 2000}, 10, 100};
    struct Row
    {
        Milliseconds time;
        std::size_t before;
    };
    for (const Row row : {Row{0, 0}, Row{1000, 0}, Row{1001, 1}, Row{1100, 1}, Row{1101, 2},
                          Row{1999, 10}, Row{5000, 10}})
        EXPECT_EQ(grid.columnsBefore(row.time), row.before) << row.time;
}

} // namespace
