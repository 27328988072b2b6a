#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstddef>

namespace history {

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

// Columns over at least the length, the last of them the one the time
// `end` falls in (or, on a column's edge, ends at), their edges on whole
// multiples of their width since the epoch: a span that follows the
// latest probe keeps its columns until the probes cross into the next.
ChartGrid trailingGrid(Milliseconds length, Milliseconds end, std::size_t columns) noexcept;
// Columns from the span's start over at least all of it.
ChartGrid gridOver(TimeSpan span, std::size_t columns) noexcept;

} // namespace history
