#include "echowatch/history_view/shown_span.h"

#include "echowatch/history/probe_record.h"
#include "echowatch/history/watched_time.h"

#include <algorithm>

namespace history_view {

namespace {

using history::Milliseconds;
using history::Outage;
using history::TimeSpan;

Milliseconds overlap(Milliseconds from, Milliseconds to, TimeSpan span) noexcept
{
    return std::max<Milliseconds>(std::min(to, span.to) - std::max(from, span.from), 0);
}

// An outage that ended as the span began is not in it; one going on is
// from its start to its latest failure.
bool overlaps(const Outage &outage, TimeSpan span) noexcept
{
    if (outage.start >= span.to)
        return false;
    return outage.end ? *outage.end > span.from : outage.lastFailure >= span.from;
}

void keepWhere(ShownSpan &shown, const history::OutageWhere &where, Milliseconds start)
{
    const auto found = where.find(start);
    if (found != where.end())
        shown.where.insert(*found);
}

// The record knows every outage from its first probe on, and better than
// the file: one the file has as going on may have ended since.
void addOutages(ShownSpan &shown, const RecordedHost &host, const FileSpan *file)
{
    const TimeSpan span = shown.grid.span;
    const Milliseconds recordFrom =
        host.record.retainedCount() > 0 ? host.record.wholeRun().from : span.to;
    if (file) {
        for (const Outage &outage : file->outages) {
            if (outage.start < recordFrom && overlaps(outage, span)) {
                shown.outages.push_back(outage);
                keepWhere(shown, file->where, outage.start);
            }
        }
    }
    for (const Outage &outage : host.record.outages()) {
        if (overlaps(outage, span)) {
            shown.outages.push_back(outage);
            keepWhere(shown, host.where, outage.start);
        }
    }
}

void addDownShares(ShownSpan &shown)
{
    const history::ChartGrid &grid = shown.grid;
    shown.downShares.assign(grid.columns, 0.0F);
    for (const Outage &outage : shown.outages) {
        const Milliseconds from = std::max(outage.start, grid.span.from);
        const Milliseconds to = std::min(outage.start + outage.duration(), grid.span.to);
        if (to <= from)
            continue;
        for (std::size_t column = static_cast<std::size_t>((from - grid.span.from) / grid.width);
             column < grid.columns && grid.columnStart(column) < to; ++column) {
            const TimeSpan stretch{grid.columnStart(column), grid.columnStart(column + 1)};
            shown.downShares[column] += static_cast<float>(overlap(from, to, stretch)) /
                                        static_cast<float>(grid.width);
        }
    }
}

// A watch going on counts up to the latest probe; after it nothing has
// happened yet, watched or not.
void addWatches(ShownSpan &shown, const RecordedHost &host, const FileSpan *file)
{
    history::WatchedTime watched = host.watched;
    if (file) {
        for (const TimeSpan &watch : file->watches)
            watched.add(watch.from, watch.to);
    }
    const Milliseconds now = host.record.wholeRun().to;
    shown.watched = watched.within(shown.grid.span, now);
    const Milliseconds latest = latestTime(host);
    for (TimeSpan gap : watched.gapsIn(shown.grid.span, now)) {
        gap.to = std::min(gap.to, latest);
        if (gap.to > gap.from)
            shown.unwatched.push_back(gap);
    }
}

} // namespace

Milliseconds latestTime(const RecordedHost &host)
{
    const Milliseconds now = host.record.wholeRun().to;
    const std::vector<TimeSpan> watches = host.watched.watches(now);
    return watches.empty() ? now : std::max(now, watches.back().to);
}

std::optional<Milliseconds> firstKept(const history::ProbeRecord &record)
{
    if (record.retainedCount() == 0)
        return std::nullopt;
    return record.retained(0).sentAt();
}

ShownSpan composeSpan(const RecordedHost &host, const history::ChartGrid &grid,
                      const FileSpan *file, std::size_t fileColumns, RecordColumns *kept)
{
    RecordColumns fresh;
    RecordColumns &recordColumns = kept ? *kept : fresh;
    ShownSpan shown;
    shown.grid = grid;
    shown.fileColumns = file ? std::min(fileColumns, grid.columns) : 0;
    shown.columns.resize(grid.columns);
    if (file) {
        std::copy_n(file->columns.begin(), std::min(shown.fileColumns, file->columns.size()),
                    shown.columns.begin());
        shown.statistics = file->statistics;
    }
    const history::ChartGrid recordPart =
        grid.part(shown.fileColumns, grid.columns - shown.fileColumns);
    recordColumns.update(host.record, recordPart);
    std::copy(recordColumns.columns().begin(), recordColumns.columns().end(),
              shown.columns.begin() + static_cast<std::ptrdiff_t>(shown.fileColumns));
    shown.statistics.add(recordColumns.statistics());
    addOutages(shown, host, file);
    shown.down = downTimeIn(shown.outages, grid.span);
    addDownShares(shown);
    addWatches(shown, host, file);
    if (file)
        shown.slow = joinedStretches(file->slowPeriods);
    return shown;
}

std::vector<TimeSpan> joinedStretches(std::vector<TimeSpan> stretches)
{
    std::sort(stretches.begin(), stretches.end(),
              [](TimeSpan a, TimeSpan b) { return a.from < b.from; });
    std::vector<TimeSpan> joined;
    for (const TimeSpan &stretch : stretches) {
        if (!joined.empty() && stretch.from <= joined.back().to)
            joined.back().to = std::max(joined.back().to, stretch.to);
        else
            joined.push_back(stretch);
    }
    return joined;
}

Milliseconds downTimeIn(const std::vector<history::Outage> &outages, TimeSpan span) noexcept
{
    Milliseconds down = 0;
    for (const Outage &outage : outages)
        down += overlap(outage.start, outage.start + outage.duration(), span);
    return down;
}

} // namespace history_view
