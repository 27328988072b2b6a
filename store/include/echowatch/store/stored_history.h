#pragma once

#include "echowatch/history/column_reduction.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/history/run_statistics.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace store {

using history::Milliseconds;

inline constexpr Milliseconds MillisecondsPerDay = 24 * 60 * history::MillisecondsPerMinute;

using history::minuteOf;

// Where the round trips of answered probes lay, in microseconds, each the
// nearest rank: the tenth of them, the median, the ninetieth; the chart's
// bands are the same figures.
using RoundTripQuantiles = history::RoundTripBand;

// Of these round trips, which it puts partly in order; none when empty.
std::optional<RoundTripQuantiles> quantilesOf(std::span<std::uint32_t> roundTrips);
// The nearest-rank median of values that are not empty, put partly in
// order.
std::uint32_t medianOf(std::span<std::uint32_t> values);

// One minute of one run, as the file keeps it once its probes are gone: the
// statistics, for the chart's colours the failures by kind, and for its
// bands the quantiles of the round trips (none when nothing answered, and
// in minutes of the previous release).
struct StoredMinute
{
    Milliseconds minuteStart = 0;
    history::RunStatistics statistics;
    std::uint64_t timeouts = 0;
    std::uint64_t unreachables = 0;
    std::uint64_t otherFailures = 0;
    std::optional<RoundTripQuantiles> quantiles;

    void add(const history::ProbeSample &sample) noexcept;
    bool empty() const noexcept { return statistics.transmitted == 0 && statistics.notSent == 0; }
};

inline constexpr Milliseconds MillisecondsPerHour = 60 * history::MillisecondsPerMinute;
// The start of the hour a time falls in.
Milliseconds hourOf(Milliseconds time) noexcept;

// Sums summaries (minutes, or hours) into a longer stretch: the counts add
// up, and its quantiles are the medians of theirs.
class SummarySum
{
public:
    void add(const StoredMinute &part);
    bool empty() const noexcept { return m_sum.empty(); }
    // The sum, starting at the time given; the sum starts afresh.
    StoredMinute take(Milliseconds start);

private:
    StoredMinute m_sum;
    std::vector<std::uint32_t> m_p10;
    std::vector<std::uint32_t> m_median;
    std::vector<std::uint32_t> m_p90;
};

// Sums a minute's probes as they come, keeping their round trips until the
// minute is taken, for its quantiles.
class MinuteSummer
{
public:
    // A probe of the minute under way, or the first of one.
    void add(const history::ProbeSample &sample);
    bool empty() const noexcept { return m_minute.empty(); }
    Milliseconds minuteStart() const noexcept { return m_minute.minuteStart; }
    // The minute with its quantiles; the summer starts afresh.
    StoredMinute take();

private:
    StoredMinute m_minute;
    std::vector<std::uint32_t> m_roundTrips;
};

// What ended an outage in the file.
enum class OutageEnd
{
    // Not ended there: it went on, or its program was killed during it.
    None,
    // The host answered again: end is that answer's send time.
    Answer,
    // Its watch ended first: end is the watch's end, and the host was never
    // seen back. Neither up nor down from then on.
    NotWatched,
};

struct StoredOutage
{
    Milliseconds start = 0;
    Milliseconds lastFailure = 0;
    // None while it went on, also when its program was killed during it.
    std::optional<Milliseconds> end;
    std::uint64_t probesLost = 0;
    EchoStatus cause = 0;
    bool mixed = false;
    std::optional<std::string> pathVerdict;
    OutageEnd endedBy = OutageEnd::None;
    // Whose side it was on, when that was found.
    std::optional<std::string> side;
};

// Why somebody stopped watching a host.
enum class WatchEndReason
{
    Stopped,
    AddressChanged,
    Closed,
    Sleep,
    // Its end was never written: its program was killed, or is still
    // watching. It ends at its latest probe or commit in the file.
    Unknown,
};

// As the file names them: "stopped", "address changed", "closed", "sleep";
// an unknown end is none (NULL).
const char *reasonText(WatchEndReason why) noexcept;
WatchEndReason reasonFromText(const std::optional<std::string> &text) noexcept;
// "answer", "not watched"; none while the outage went on.
const char *outageEndText(OutageEnd end) noexcept;
OutageEnd outageEndFromText(const std::optional<std::string> &text) noexcept;

// A stretch of time in which the host was watched: outside every watch
// nobody looked, which counts neither as up nor as down.
struct StoredWatch
{
    Milliseconds started = 0;
    Milliseconds ended = 0;
    WatchEndReason why = WatchEndReason::Unknown;
};

// A stretch of one writer's probes of the host (a watch's, or the part of
// it after the wall clock was set back): between runs nothing probed it,
// which a chart draws as a gap rather than as an outage.
struct StoredRun
{
    Milliseconds started = 0;
    Milliseconds lastSent = 0;
};

// What the file holds of one host over a span, oldest first: the latest
// probes in full, and before them one summary a minute.
struct HostHistory
{
    std::vector<StoredWatch> watches;
    std::vector<StoredRun> runs;
    std::vector<StoredMinute> minutes;
    std::vector<history::ProbeSample> probes;
    std::vector<StoredOutage> outages;
    // When the host monitor called the host slow, oldest first.
    std::vector<history::TimeSpan> slowPeriods;
};

} // namespace store
