#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace history {

class ProbeRecord;

// Where the round trips of a column's answers lay, in microseconds, each
// the nearest rank (the smallest with at least that share of them at or
// below it), as the history file keeps them for each minute and hour.
struct RoundTripBand
{
    std::uint32_t p10 = 0;
    std::uint32_t median = 0;
    std::uint32_t p90 = 0;

    bool operator==(const RoundTripBand &) const = default;
};

// Of these round trips, which it puts partly in order; none when empty.
std::optional<RoundTripBand> bandOf(std::span<std::uint32_t> roundTrips);
// The nearest rank of the fraction numerator / denominator of values that
// are not empty, which it puts partly in order.
std::uint32_t nearestRank(std::span<std::uint32_t> values, std::size_t numerator,
                          std::size_t denominator);

// A column drawn as a band (the middle 80% shaded, the median a line)
// rather than from its shortest to its longest answer holds at least this
// many: with fewer, the tenth and the shortest are the same answer.
inline constexpr std::uint32_t BandFromAnswers = 10;

// What one pixel column of the chart stands for: the shortest and longest
// round trip answered in it, where most of them lay, and how many probes
// failed there, by kind.
struct ChartColumn
{
    std::uint32_t answered = 0;
    std::uint32_t minimumMicroseconds = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t maximumMicroseconds = 0;
    std::uint32_t timeouts = 0;
    std::uint32_t unreachables = 0;
    std::uint32_t otherFailures = 0;
    // None where the answers were only counted (the record's minute
    // summaries, and a file's minutes of the previous release).
    std::optional<RoundTripBand> band;

    std::uint32_t probes() const noexcept
    {
        return answered + timeouts + unreachables + otherFailures;
    }
    std::uint32_t failures() const noexcept { return timeouts + unreachables + otherFailures; }
    bool drawnAsBand() const noexcept { return band && answered >= BandFromAnswers; }

    bool operator==(const ChartColumn &) const = default;
};

// Fills the columns, which split the span evenly, from the record: the
// probes it keeps in full by their time, with the band of their round
// trips, the older ones by the minute of their summary. One pass over the
// probes in the span.
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
