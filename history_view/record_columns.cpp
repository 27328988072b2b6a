#include "echowatch/history_view/record_columns.h"

#include "echowatch/history/probe_record.h"
#include "echowatch/history_view/shown_span.h"

#include <algorithm>

namespace history_view {

namespace {

using history::ChartGrid;
using history::Milliseconds;

// The column the time falls in, for times within the grid's span.
std::size_t columnIn(const ChartGrid &grid, Milliseconds time) noexcept
{
    return grid.columnsBefore(time + 1) - 1;
}

// The first column a later probe can still fall in: the latest probe's.
std::size_t growingColumn(const history::ProbeRecord &record, const ChartGrid &grid)
{
    if (record.retainedCount() == 0)
        return 0;
    const Milliseconds latest = record.retained(record.retainedCount() - 1).sentAt();
    if (latest >= grid.span.to)
        return grid.columns;
    return latest < grid.span.from ? 0 : columnIn(grid, latest);
}

// The statistics of each of the grid's columns within the span: the
// minutes summed and the probes kept in full, in one pass.
void statisticsByColumn(const history::ProbeRecord &record, const ChartGrid &grid,
                        history::TimeSpan span, std::span<history::RunStatistics> columns)
{
    for (const history::MinuteSummary &summary : record.summaries()) {
        if (summary.minuteStart >= span.from && summary.minuteStart < span.to)
            columns[columnIn(grid, summary.minuteStart)].add(summary.statistics);
    }
    for (const auto part : record.retainedFrom(record.firstRetainedFrom(span.from))) {
        for (const history::ProbeSample &sample : part) {
            if (sample.sentAt() >= span.to)
                return;
            columns[columnIn(grid, sample.sentAt())].add(sample);
        }
    }
}

} // namespace

bool RecordColumns::grownFrom(const Mark &mark) const noexcept
{
    return m_mark.record == mark.record && m_mark.grid == mark.grid &&
           m_mark.recorded <= mark.recorded && m_columns.size() == mark.grid.columns;
}

// The columns up to the first probe kept in full, once the ring let older
// probes go (they hold minute summaries where they held probes), or up to
// the one that was first, where earlier probes were merged in before it.
std::size_t RecordColumns::changedHead(const Mark &mark) const noexcept
{
    if (m_mark.summaries == mark.summaries && m_mark.firstKept == mark.firstKept)
        return 0;
    const ChartGrid &grid = mark.grid;
    if (!mark.firstKept || !m_mark.firstKept)
        return grid.columns;
    const Milliseconds changedTo = std::max(*mark.firstKept, *m_mark.firstKept);
    if (changedTo >= grid.span.to)
        return grid.columns;
    return changedTo < grid.span.from ? 0 : columnIn(grid, changedTo) + 1;
}

void RecordColumns::compose(const history::ProbeRecord &record, std::size_t from, std::size_t to)
{
    const ChartGrid part = m_mark.grid.part(from, to - from);
    const auto count = static_cast<std::ptrdiff_t>(to - from);
    history::reduceToColumns(record, part.span, std::span(m_columns).subspan(from, to - from));
    const auto statistics = m_columnStatistics.begin() + static_cast<std::ptrdiff_t>(from);
    std::fill(statistics, statistics + count, history::RunStatistics{});
    statisticsByColumn(record, m_mark.grid, part.span, m_columnStatistics);
}

void RecordColumns::update(const history::ProbeRecord &record, const ChartGrid &grid)
{
    const Mark mark{&record, grid, record.recordedCount(), record.summaries().size(),
                    firstKept(record)};
    const bool grown = grownFrom(mark);
    const std::size_t head = grown ? changedHead(mark) : grid.columns;
    const std::size_t tail = grown ? std::min(m_growing, grid.columns) : 0;
    if (!grown) {
        m_columns.assign(grid.columns, history::ChartColumn{});
        m_columnStatistics.assign(grid.columns, history::RunStatistics{});
    }
    m_mark = mark;
    if (head >= tail) {
        compose(record, 0, grid.columns);
    } else {
        compose(record, 0, head);
        compose(record, tail, grid.columns);
    }
    m_growing = growingColumn(record, grid);
    m_statistics = {};
    for (const history::RunStatistics &column : m_columnStatistics)
        m_statistics.add(column);
}

} // namespace history_view
