#include "echowatch/store/span_reader.h"

#include "echowatch/history/column_reduction.h"
#include "echowatch/store/history_rows.h"
#include "echowatch/store/minute_rows.h"

#include <algorithm>
#include <limits>

namespace store {

namespace {

constexpr Milliseconds Never = std::numeric_limits<Milliseconds>::max();

// What one column gathers before its figures are worked out: its probes,
// and the summaries read where there were none.
struct ColumnSum
{
    MinuteSummer probes;
    SummarySum summaries;
};

SpanDetail detailFor(history::TimeSpan span, std::size_t columns)
{
    const Milliseconds width = (span.to - span.from) / static_cast<Milliseconds>(columns);
    if (width <= ColumnsOfProbesUpTo)
        return SpanDetail::Probes;
    return width >= ColumnsOfHoursFrom ? SpanDetail::Hours : SpanDetail::Minutes;
}

// Where the summaries read of one run lie.
struct Covered
{
    Milliseconds from = Never;
    Milliseconds to = Never;
};

class SpanReader
{
public:
    SpanReader(Connection &connection, history::TimeSpan span, std::size_t columns)
        : m_connection(connection), m_span(span), m_sums(columns)
    {
        m_history.span = span;
        m_history.detail = detailFor(span, columns);
        m_history.columns.resize(columns);
        for (std::size_t index = 0; index < columns; ++index) {
            m_history.columns[index].time =
                history::columnAt(static_cast<int>(index), span, columns)->time;
        }
    }

    bool read(std::string_view address);
    HostSpan take();

private:
    bool readRun(const RunRow &run);
    bool readByProbe(const RunRow &run);
    bool readBySummary(const RunRow &run);
    bool readSummaries(const RunRow &run, Period period, history::TimeSpan within,
                       Covered &covered);
    bool readProbes(const RunRow &run, Milliseconds from, bool summed);
    ColumnSum &columnFor(Milliseconds time);
    void addSummary(const StoredMinute &summary);

    Connection &m_connection;
    history::TimeSpan m_span;
    HostSpan m_history;
    std::vector<ColumnSum> m_sums;
};

ColumnSum &SpanReader::columnFor(Milliseconds time)
{
    return m_sums[history::columnOf(time, m_span, m_sums.size())];
}

void SpanReader::addSummary(const StoredMinute &summary)
{
    m_history.statistics.add(summary.statistics);
    columnFor(summary.minuteStart).summaries.add(summary);
}

// The run's minutes or hours that start within the span's stretch given.
bool SpanReader::readSummaries(const RunRow &run, Period period, history::TimeSpan within,
                               Covered &covered)
{
    const std::string start = period == Period::Minute ? "minute_ms" : "hour_ms";
    Statement select = m_connection.prepare("SELECT " + columnsOf(period) + " FROM " +
                                            tableOf(period) + " WHERE run = ? AND " + start +
                                            " >= ? AND " + start + " < ? ORDER BY " + start);
    select.bind(1, run.id).bind(2, within.from).bind(3, within.to);
    const Milliseconds length =
        period == Period::Minute ? history::MillisecondsPerMinute : MillisecondsPerHour;
    while (select.nextRow()) {
        const StoredMinute summary = readMinute(select, 0);
        addSummary(summary);
        covered.from = std::min(covered.from, summary.minuteStart);
        covered.to = summary.minuteStart + length;
    }
    return select.finished();
}

// From `from` on; summed, a minute at a time, as a killed writer's last
// minutes are where the rest is read by summary.
bool SpanReader::readProbes(const RunRow &run, Milliseconds from, bool summed)
{
    Statement select =
        m_connection.prepare("SELECT at_ms, status, rtt_us, bytes FROM probes WHERE run = ? AND "
                             "at_ms >= ? AND at_ms < ? ORDER BY at_ms");
    select.bind(1, run.id)
        .bind(2, std::max(from, m_span.from) - run.start)
        .bind(3, m_span.to - run.start);
    if (summed) {
        foldMinutes(select, run.start, [this](const StoredMinute &minute) {
            addSummary(minute);
            return true;
        });
        return select.finished();
    }
    while (select.nextRow()) {
        const history::ProbeSample probe = readProbe(select, run.start);
        m_history.statistics.add(probe);
        columnFor(probe.sentAt()).probes.add(probe);
    }
    return select.finished();
}

// Probe by probe from the first whole minute of probes the run still has,
// by the minute before it.
bool SpanReader::readByProbe(const RunRow &run)
{
    bool failed = false;
    const std::optional<Milliseconds> first = valueForRun(
        m_connection, "SELECT min(at_ms) FROM probes WHERE run = ?", run.id, failed);
    const Milliseconds probesFrom = first ? minuteOf(run.start + *first) : Never;
    Covered covered;
    return !failed &&
           readSummaries(run, Period::Minute, {m_span.from, std::min(probesFrom, m_span.to)},
                         covered) &&
           (!first || readProbes(run, probesFrom, false));
}

// By the hour where the file has hours, by the minute around them (an hour
// is written once it is over, so the latest is read by its minutes), and
// what a killed writer never summed from its probes.
bool SpanReader::readBySummary(const RunRow &run)
{
    Covered hours;
    if (m_history.detail == SpanDetail::Hours &&
        !readSummaries(run, Period::Hour, m_span, hours))
        return false;
    Covered before;
    Covered after;
    if (hours.from != Never &&
        !readSummaries(run, Period::Minute, {m_span.from, hours.from}, before))
        return false;
    const Milliseconds minutesFrom = hours.from == Never ? m_span.from : hours.to;
    if (!readSummaries(run, Period::Minute, {minutesFrom, m_span.to}, after))
        return false;
    bool failed = false;
    const std::optional<Milliseconds> last = valueForRun(
        m_connection, "SELECT max(at_ms) FROM probes WHERE run = ?", run.id, failed);
    const Milliseconds summedTo = after.to == Never ? minutesFrom : after.to;
    return !failed && (!last || run.start + *last < summedTo || readProbes(run, summedTo, true));
}

bool SpanReader::readRun(const RunRow &run)
{
    const bool read =
        m_history.detail == SpanDetail::Probes ? readByProbe(run) : readBySummary(run);
    return read && readOutages(m_connection, run.id, m_span, m_history.outages);
}

bool SpanReader::read(std::string_view address)
{
    const std::optional<std::vector<RunRow>> runs = runsBefore(m_connection, address, m_span.to);
    return runs && readWatches(m_connection, address, m_span, m_history.watches) &&
           readSlowPeriods(m_connection, address, m_span, m_history.slowPeriods) &&
           std::all_of(runs->begin(), runs->end(),
                       [this](const RunRow &run) { return readRun(run); });
}

// A column's probes give its own quantiles; with summaries beside them,
// they count as one more summary.
void fill(SpanColumn &column, ColumnSum &sum)
{
    if (!sum.probes.empty())
        sum.summaries.add(sum.probes.take());
    const StoredMinute figures = sum.summaries.take(column.time.from);
    const history::RunStatistics &statistics = figures.statistics;
    column.transmitted = statistics.transmitted;
    column.received = statistics.received;
    column.notSent = statistics.notSent;
    column.timeouts = figures.timeouts;
    column.unreachables = figures.unreachables;
    column.otherFailures = figures.otherFailures;
    if (statistics.roundTrips.count > 0) {
        column.minimum = statistics.roundTrips.minimum;
        column.maximum = statistics.roundTrips.maximum;
    }
    column.quantiles = figures.quantiles;
}

HostSpan SpanReader::take()
{
    for (std::size_t index = 0; index < m_sums.size(); ++index)
        fill(m_history.columns[index], m_sums[index]);
    std::stable_sort(
        m_history.outages.begin(), m_history.outages.end(),
        [](const StoredOutage &a, const StoredOutage &b) { return a.start < b.start; });
    return std::move(m_history);
}

} // namespace

std::optional<HostSpan> readSpan(Connection &connection, std::string_view address,
                                 history::TimeSpan span, std::size_t columns, std::string &error)
{
    if (columns == 0 || span.to <= span.from) {
        error = "an empty span";
        return std::nullopt;
    }
    SpanReader reader(connection, span, columns);
    std::optional<HostSpan> read = readInTransaction<HostSpan>(
        connection, error, [&](HostSpan &) { return reader.read(address); });
    // A file no window wrote in yet has empty columns.
    if (read)
        read = reader.take();
    return read;
}

} // namespace store
