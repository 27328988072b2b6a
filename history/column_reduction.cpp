#include "echowatch/history/column_reduction.h"

#include "echowatch/history/probe_record.h"

#include <algorithm>

namespace history {

namespace {

void addSample(ChartColumn &column, const ProbeSample &sample)
{
    switch (kindOf(sample.status())) {
    case ProbeKind::Answered: {
        const auto microseconds =
            static_cast<std::uint32_t>(std::max<std::int64_t>(sample.roundTripMicroseconds(), 0));
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

} // namespace

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
    for (const auto part : record.retainedFrom(record.firstRetainedFrom(span.from))) {
        for (const ProbeSample &sample : part) {
            if (sample.sentAt() >= span.to)
                return;
            if (sample.sentAt() >= span.from)
                addSample(columns[cursor.columnFor(sample.sentAt())], sample);
        }
    }
}

} // namespace history
