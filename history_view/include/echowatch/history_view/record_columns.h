#pragma once

#include "echowatch/history/chart_grid.h"
#include "echowatch/history/column_reduction.h"
#include "echowatch/history/run_statistics.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace history {
class ProbeRecord;
} // namespace history

namespace history_view {

// A record's part of a chart, kept from one refresh to the next: probes
// only ever come in at the record's end, so only the columns from the one
// its latest probe fell in are put together again, and those up to its
// first probe kept in full where its ring let the oldest go into minute
// summaries or earlier runs were merged in before it. Another grid or
// record, or a record that started over, puts all of them together again;
// forget() does too, for a record replaced in place in any other way.
class RecordColumns
{
public:
    // The record over the grid; the same as reduceToColumns and
    // statisticsIn over all of it.
    void update(const history::ProbeRecord &record, const history::ChartGrid &grid);

    void forget() noexcept { m_columns.clear(); }

    std::span<const history::ChartColumn> columns() const noexcept { return m_columns; }
    const history::RunStatistics &statistics() const noexcept { return m_statistics; }

private:
    // What the columns were put together from.
    struct Mark
    {
        const history::ProbeRecord *record = nullptr;
        history::ChartGrid grid;
        std::uint64_t recorded = 0;
        std::size_t summaries = 0;
        std::optional<history::Milliseconds> firstKept;
    };

    bool grownFrom(const Mark &mark) const noexcept;
    std::size_t changedHead(const Mark &mark) const noexcept;
    void compose(const history::ProbeRecord &record, std::size_t from, std::size_t to);

    Mark m_mark;
    std::vector<history::ChartColumn> m_columns;
    std::vector<history::RunStatistics> m_columnStatistics;
    // The columns before this one can get no more probes.
    std::size_t m_growing = 0;
    history::RunStatistics m_statistics;
};

} // namespace history_view
