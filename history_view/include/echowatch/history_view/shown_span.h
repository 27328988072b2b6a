#pragma once

#include "echowatch/history/chart_grid.h"
#include "echowatch/history/column_reduction.h"
#include "echowatch/history/outage_list.h"
#include "echowatch/history/run_statistics.h"
#include "echowatch/history_view/file_span.h"
#include "echowatch/history_view/record_columns.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace history {
class ProbeRecord;
class WatchedTime;
} // namespace history

namespace history_view {

// What the History window shows of one host over a span: the chart's
// columns, how long the host was down and watched, its statistics and its
// outages, from the history file where it tells more than the run's own
// record and from the record after.
struct ShownSpan
{
    history::ChartGrid grid;
    std::vector<history::ChartColumn> columns;
    // The share of each column's time the host was down, 0 to 1.
    std::vector<float> downShares;
    // When nobody watched the host, oldest first, up to the latest probe.
    std::vector<history::TimeSpan> unwatched;
    history::RunStatistics statistics;
    history::Milliseconds down = 0;
    history::Milliseconds watched = 0;
    // Those that overlap the span, oldest first, and where their paths
    // broke.
    std::vector<history::Outage> outages;
    history::OutageWhere where;
    // Columns [0, fileColumns) were read from the history file.
    std::size_t fileColumns = 0;
    // When the host monitor called the host slow, oldest first, none
    // overlapping another.
    std::vector<history::TimeSpan> slow;
};

// What the window keeps of the host: its record, when it was watched, and
// the verdicts of its outages.
struct RecordedHost
{
    const history::ProbeRecord &record;
    const history::WatchedTime &watched;
    const history::OutageWhere &where;
};

// The latest time known of the host: its latest probe's, or its watch's
// end when that came after (Stop, or another host probed).
history::Milliseconds latestTime(const RecordedHost &host);

// When the record's first probe kept in full was sent, none when it keeps
// none: the history file tells the columns before it better than the
// record (the file keeps the quantiles of the minutes the record only
// counts).
std::optional<history::Milliseconds> firstKept(const history::ProbeRecord &record);

// The host over the grid: its first fileColumns columns from the file's
// span (which covers them, and whose outages from before the record's first
// probe it adds, and its slow periods), the rest from the record; without a
// file, all from the record. Given kept, the record's columns are kept there
// from one call to the next, and only what the record gained since is put
// together again.
ShownSpan composeSpan(const RecordedHost &host, const history::ChartGrid &grid,
                      const FileSpan *file = nullptr, std::size_t fileColumns = 0,
                      RecordColumns *kept = nullptr);

// The stretches, those that overlap or touch joined into one, oldest first:
// the file and the run may both tell of one.
std::vector<history::TimeSpan> joinedStretches(std::vector<history::TimeSpan> stretches);

// How long the outages were down within the span: each from its first
// failed probe to its first answered one (to its latest failure while it
// goes on).
history::Milliseconds downTimeIn(const std::vector<history::Outage> &outages,
                                 history::TimeSpan span) noexcept;

} // namespace history_view
