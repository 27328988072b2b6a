#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace history {

class ProbeRecord;

// What one pixel column of the chart stands for: the shortest and longest
// round trip answered in it, and how many probes failed there, by kind.
struct ChartColumn
{
    std::uint32_t answered = 0;
    std::uint32_t minimumMicroseconds = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t maximumMicroseconds = 0;
    std::uint32_t timeouts = 0;
    std::uint32_t unreachables = 0;
    std::uint32_t otherFailures = 0;

    std::uint32_t probes() const noexcept
    {
        return answered + timeouts + unreachables + otherFailures;
    }

    bool operator==(const ChartColumn &) const = default;
};

// Fills the columns, which split the span evenly, from the record: the
// probes it keeps in full by their time, the older ones by the minute of
// their summary. One pass over the probes in the span, nothing allocated.
void reduceToColumns(const ProbeRecord &record, TimeSpan span, std::span<ChartColumn> columns);

// The column a time falls in; only for times inside the span.
std::size_t columnOf(Milliseconds time, TimeSpan span, std::size_t columnCount) noexcept;

// A column and the stretch of the span its probes were sent in.
struct ColumnStretch
{
    std::size_t index = 0;
    TimeSpan time;
};

// The column a pointer `offset` pixels right of the first column's is over,
// none when it is outside them; the probes reduceToColumns puts in that
// column are exactly those sent in its stretch.
std::optional<ColumnStretch> columnAt(int offset, TimeSpan span, std::size_t columnCount) noexcept;

// The column nearest the index that holds probes, at most radius columns
// away, the earlier on a tie; the index itself when none does. A pointer
// over a sparse chart reads the probe beside it rather than a gap.
std::size_t nearestWithProbes(std::span<const ChartColumn> columns, std::size_t index,
                              std::size_t radius) noexcept;

} // namespace history
