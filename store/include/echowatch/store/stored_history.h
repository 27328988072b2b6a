#pragma once

#include "echowatch/history/probe_sample.h"
#include "echowatch/history/run_statistics.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {

using history::Milliseconds;

inline constexpr Milliseconds MillisecondsPerDay = 24 * 60 * history::MillisecondsPerMinute;

using history::minuteOf;

// One minute of one run, as the file keeps it once its probes are gone: the
// statistics and, for the chart's colours, the failures by kind.
struct StoredMinute
{
    Milliseconds minuteStart = 0;
    history::RunStatistics statistics;
    std::uint64_t timeouts = 0;
    std::uint64_t unreachables = 0;
    std::uint64_t otherFailures = 0;

    void add(const history::ProbeSample &sample) noexcept;
    bool empty() const noexcept { return statistics.transmitted == 0 && statistics.notSent == 0; }
};

struct StoredOutage
{
    Milliseconds start = 0;
    Milliseconds lastFailure = 0;
    // None while it went on, also when its run ended during it.
    std::optional<Milliseconds> end;
    std::uint64_t probesLost = 0;
    EchoStatus cause = 0;
    bool mixed = false;
    std::optional<std::string> pathVerdict;
};

// A stretch in which one window watched the host: between runs nothing
// probed it, which a chart draws as a gap rather than as an outage.
struct StoredRun
{
    Milliseconds started = 0;
    Milliseconds lastSent = 0;
};

// What the file holds of one host over a span, oldest first: the latest
// probes in full, and before them one summary a minute.
struct HostHistory
{
    std::vector<StoredRun> runs;
    std::vector<StoredMinute> minutes;
    std::vector<history::ProbeSample> probes;
    std::vector<StoredOutage> outages;
};

} // namespace store
