#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstddef>

namespace history {

// Columns wider than this are read from a history file by the minute, and
// those this wide or wider by the hour (as store's span reader has it), so
// they are whole minutes or whole hours wide, their edges on the clock's:
// where the file's part of a span meets the record's, no minute or hour
// of the file lies on both sides.
inline constexpr Milliseconds ColumnsOfProbesUpTo = 2 * MillisecondsPerMinute;
inline constexpr Milliseconds ColumnsOfHoursFrom = 120 * MillisecondsPerMinute;

// A chart's columns, each a whole number of milliseconds wide, so that any
// run of them is a grid of its own with the same boundaries: the part of a
// span read from the history file and the part the record holds meet on a
// column's edge, whatever each is reduced by.
struct ChartGrid
{
    TimeSpan span;
    std::size_t columns = 0;
    Milliseconds width = 1;

    Milliseconds columnStart(std::size_t index) const noexcept
    {
        return span.from + static_cast<Milliseconds>(index) * width;
    }
    // How many columns start before the time, from none to all.
    std::size_t columnsBefore(Milliseconds time) const noexcept;
    // The columns [first, first + count).
    ChartGrid part(std::size_t first, std::size_t count) const noexcept;

    bool operator==(const ChartGrid &) const = default;
};

// At most `columns` columns over at least the length, the last of them the
// one the time `end` falls in (or, on a column's edge, ends at), their
// edges on whole multiples of their width since the epoch: a span that
// follows the latest probe keeps its columns until the probes cross into
// the next.
ChartGrid trailingGrid(Milliseconds length, Milliseconds end, std::size_t columns) noexcept;
// At most `columns` columns over all of the span, from the edge at or
// before its start.
ChartGrid gridOver(TimeSpan span, std::size_t columns) noexcept;

} // namespace history
