#pragma once

#include "echowatch/store/stored_history.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Connection;

// One pixel column of a chart over a span: the probes sent in its stretch.
struct SpanColumn
{
    history::TimeSpan time;
    std::uint64_t transmitted = 0;
    std::uint64_t received = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t unreachables = 0;
    std::uint64_t otherFailures = 0;
    std::uint64_t notSent = 0;
    // The shortest and longest round trip answered, in microseconds; 0 and
    // 0 when nothing was.
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    // Read probe by probe, the column's own quantiles; read by the minute
    // or the hour, for each the median of its minutes' or hours' own (the
    // previous release kept none). None when nothing answered.
    std::optional<RoundTripQuantiles> quantiles;
};

// How finely a span is read: the narrower its columns, the finer.
enum class SpanDetail
{
    // Probe by probe where the file holds them, by the minute before.
    Probes,
    Minutes,
    Hours,
};

// A chart's worth of one host's history over any span, from the hour to
// all the file holds.
struct HostSpan
{
    history::TimeSpan span;
    SpanDetail detail = SpanDetail::Probes;
    std::vector<SpanColumn> columns;
    // ping's statistics of the probes in the span, to the minute or hour
    // it was read by at its ends.
    history::RunStatistics statistics;
    std::vector<StoredWatch> watches;
    std::vector<StoredOutage> outages;
    // When the host monitor called the host slow, oldest first.
    std::vector<history::TimeSpan> slowPeriods;
};

// Columns as narrow as this or narrower are read probe by probe where the
// file holds them: a minute's summary would fill some and leave others
// empty. Columns as wide as the second or wider are read by the hour,
// which is what makes a year quick; the others by the minute.
inline constexpr Milliseconds ColumnsOfProbesUpTo = 2 * history::MillisecondsPerMinute;
inline constexpr Milliseconds ColumnsOfHoursFrom = 2 * MillisecondsPerHour;

// The host's history over the span, already reduced to `columns` columns
// that split it evenly. None, with the reason in error, when any of it
// cannot be read.
std::optional<HostSpan> readSpan(Connection &connection, std::string_view address,
                                 history::TimeSpan span, std::size_t columns, std::string &error);

} // namespace store
