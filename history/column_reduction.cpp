#include "echowatch/history/column_reduction.h"

#include "echowatch/history/probe_record.h"

#include <algorithm>
#include <vector>

namespace history {

namespace {

std::uint32_t roundTripOf(const ProbeSample &sample)
{
    return static_cast<std::uint32_t>(std::max<std::int64_t>(sample.roundTripMicroseconds(), 0));
}

void addSample(ChartColumn &column, const ProbeSample &sample)
{
    switch (kindOf(sample.status())) {
    case ProbeKind::Answered: {
        const std::uint32_t microseconds = roundTripOf(sample);
        ++column.answered;
        column.minimumMicroseconds = std::min(column.minimumMicroseconds, microseconds);
        column.maximumMicroseconds = std::max(column.maximumMicroseconds, microseconds);
        break;
    }
    case ProbeKind::Timeout:
        ++column.timeouts;
        break;
    case ProbeKind::Unreachable:
        ++column.unreachables;
        break;
    case ProbeKind::OtherFailure:
        ++column.otherFailures;
        break;
    case ProbeKind::NotSent:
        break;
    }
}

void addSummary(ChartColumn &column, const ProbeRecord &record, const MinuteSummary &summary)
{
    const RoundTripTotals &roundTrips = summary.statistics.roundTrips;
    if (roundTrips.count > 0) {
        column.answered += static_cast<std::uint32_t>(roundTrips.count);
        column.minimumMicroseconds = std::min(column.minimumMicroseconds, roundTrips.minimum);
        column.maximumMicroseconds = std::max(column.maximumMicroseconds, roundTrips.maximum);
    }
    for (const StatusCount &failure : record.failures(summary)) {
        ChartColumn one;
        addSample(one, ProbeSample(summary.minuteStart, failure.status, -1, 0));
        column.timeouts += one.timeouts * failure.count;
        column.unreachables += one.unreachables * failure.count;
        column.otherFailures += one.otherFailures * failure.count;
    }
}

bool inside(Milliseconds time, TimeSpan span)
{
    return time >= span.from && time < span.to;
}

// The first time that falls in the column; the span's end past the last.
Milliseconds columnStart(std::size_t column, TimeSpan span, std::size_t columnCount)
{
    const auto length = static_cast<std::uint64_t>(span.to - span.from);
    const std::uint64_t scaled = column * length;
    return span.from + static_cast<Milliseconds>((scaled + columnCount - 1) / columnCount);
}

// Probes come in time order, so a division is needed only when one crosses
// into another column, not for every probe.
class ColumnCursor
{
public:
    ColumnCursor(TimeSpan span, std::size_t columnCount) : m_span(span), m_count(columnCount) {}

    std::size_t columnFor(Milliseconds time)
    {
        if (time < m_start || time >= m_end) {
            m_column = columnOf(time, m_span, m_count);
            m_start = columnStart(m_column, m_span, m_count);
            m_end = columnStart(m_column + 1, m_span, m_count);
        }
        return m_column;
    }

private:
    TimeSpan m_span;
    std::size_t m_count;
    std::size_t m_column = 0;
    Milliseconds m_start = 0;
    Milliseconds m_end = 0;
};

// Gathers the round trips of the column under way, for its band once the
// probes, which come in time order, move on to the next column.
class BandGatherer
{
public:
    explicit BandGatherer(std::span<ChartColumn> columns) : m_columns(columns) {}

    void add(std::size_t column, const ProbeSample &sample)
    {
        if (column != m_column) {
            finish();
            m_column = column;
        }
        if (sample.answered())
            m_roundTrips.push_back(roundTripOf(sample));
    }

    void finish()
    {
        if (!m_roundTrips.empty())
            m_columns[m_column].band = bandOf(m_roundTrips);
        m_roundTrips.clear();
    }

private:
    std::span<ChartColumn> m_columns;
    std::size_t m_column = 0;
    std::vector<std::uint32_t> m_roundTrips;
};

} // namespace

// The smallest value with at least that fraction of them at or below it.
std::uint32_t nearestRank(std::span<std::uint32_t> values, std::size_t numerator,
                          std::size_t denominator)
{
    const std::size_t rank = std::max<std::size_t>(
        (values.size() * numerator + denominator - 1) / denominator, 1);
    const auto nth = values.begin() + static_cast<std::ptrdiff_t>(rank - 1);
    std::nth_element(values.begin(), nth, values.end());
    return *nth;
}

std::optional<RoundTripBand> bandOf(std::span<std::uint32_t> roundTrips)
{
    if (roundTrips.empty())
        return std::nullopt;
    return RoundTripBand{nearestRank(roundTrips, 1, 10), nearestRank(roundTrips, 1, 2),
                         nearestRank(roundTrips, 9, 10)};
}

std::size_t columnOf(Milliseconds time, TimeSpan span, std::size_t columnCount) noexcept
{
    // Exact in 64 bits for spans up to 2^63 / columnCount milliseconds:
    // 290,000 years at 1,000 columns.
    const auto offset = static_cast<std::uint64_t>(time - span.from);
    const auto length = static_cast<std::uint64_t>(span.to - span.from);
    return std::min<std::size_t>(offset * columnCount / length, columnCount - 1);
}

std::optional<ColumnStretch> columnAt(int offset, TimeSpan span, std::size_t columnCount) noexcept
{
    if (offset < 0 || static_cast<std::size_t>(offset) >= columnCount || span.to <= span.from)
        return std::nullopt;
    const auto index = static_cast<std::size_t>(offset);
    return ColumnStretch{index, TimeSpan{columnStart(index, span, columnCount),
                                         columnStart(index + 1, span, columnCount)}};
}

std::size_t nearestWithProbes(std::span<const ChartColumn> columns, std::size_t index,
                              std::size_t radius) noexcept
{
    const auto holdsProbes = [&](std::size_t at) {
        return columns[at].probes() > 0;
    };
    for (std::size_t distance = 0; distance <= radius; ++distance) {
        if (distance <= index && index - distance < columns.size() && holdsProbes(index - distance))
            return index - distance;
        if (index + distance < columns.size() && holdsProbes(index + distance))
            return index + distance;
    }
    return index;
}

void reduceToColumns(const ProbeRecord &record, TimeSpan span, std::span<ChartColumn> columns)
{
    std::fill(columns.begin(), columns.end(), ChartColumn{});
    if (columns.empty() || span.to <= span.from)
        return;
    for (const MinuteSummary &summary : record.summaries()) {
        if (inside(summary.minuteStart, span))
            addSummary(columns[columnOf(summary.minuteStart, span, columns.size())], record,
                       summary);
    }
    ColumnCursor cursor(span, columns.size());
    BandGatherer bands(columns);
    for (const auto part : record.retainedFrom(record.firstRetainedFrom(span.from))) {
        for (const ProbeSample &sample : part) {
            if (sample.sentAt() >= span.to)
                return bands.finish();
            if (sample.sentAt() < span.from)
                continue;
            const std::size_t index = cursor.columnFor(sample.sentAt());
            addSample(columns[index], sample);
            bands.add(index, sample);
        }
    }
    bands.finish();
}

} // namespace history
