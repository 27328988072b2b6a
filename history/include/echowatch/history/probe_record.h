#pragma once

#include "echowatch/history/outage_list.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/history/run_statistics.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace history {

// The probes of one minute that no longer fit the record in full.
struct MinuteSummary
{
    Milliseconds minuteStart = 0;
    RunStatistics statistics;
    // Failures per status: the entries [failureBegin, failureBegin +
    // failureKinds) of the record's failures.
    std::uint32_t failureBegin = 0;
    std::uint32_t failureKinds = 0;
};

struct StatusCount
{
    EchoStatus status = 0;
    std::uint32_t count = 0;
};

// Every probe the window showed: the latest `capacity` in full, in a ring
// that grows up to it and is then reused; older ones folded into one-minute
// summaries kept for the whole run, with the run's totals and outages.
// Recording allocates only while the ring grows, when a new minute starts,
// when an outage starts and when the wall clock is set.
//
// The record keeps its probes on a timeline of its own, which the search,
// the summaries, the outages and the chart go by: a probe's send time by
// the wall clock, carried on across a step of that clock by a monotonic
// stamp, so that a clock set back or forward neither breaks the order nor
// moves the probes after it. Without a step the timeline is the wall clock;
// wallTimeOf() gives back a probe's own wall time for display.
class ProbeRecord
{
public:
    static constexpr std::size_t DefaultCapacity = 1'000'000;
    // A wall clock that moved this much more or less than the monotonic
    // stamps between two probes was set; less is the clock's own drift.
    static constexpr Milliseconds ClockStepTolerance = 1000;

    explicit ProbeRecord(std::size_t capacity = DefaultCapacity);

    // monotonicAt: when it was sent by a clock that is never set and goes
    // on while the machine sleeps (CLOCK_BOOTTIME), in milliseconds.
    void record(const ProbeSample &sample, Milliseconds monotonicAt);
    // A probe with no monotonic stamp (read back from a file): placed at
    // its wall time, or just after the latest if that is earlier.
    void record(const ProbeSample &sample);
    // The host's watch ended at the time: an outage going on ends there,
    // not watched.
    void recordWatchEnd(Milliseconds time) noexcept { m_outages.endOngoing(time); }

    // The probes kept in full, oldest first, each with its place on the
    // timeline as its send time.
    std::size_t retainedCount() const noexcept { return m_count; }
    const ProbeSample &retained(std::size_t index) const noexcept;
    // When a retained probe was sent by the wall clock, for display.
    Milliseconds wallTimeOf(std::size_t index) const noexcept;
    // The retained probes from the index on, oldest first, in the two runs
    // of memory the ring keeps them in (the second may be empty).
    std::array<std::span<const ProbeSample>, 2> retainedFrom(std::size_t index) const noexcept;
    // The first retained probe placed at or after the time on the timeline
    // (retainedCount() when none).
    std::size_t firstRetainedFrom(Milliseconds time) const noexcept;

    const std::vector<MinuteSummary> &summaries() const noexcept { return m_summaries; }
    std::span<const StatusCount> failures(const MinuteSummary &summary) const noexcept;

    const RunStatistics &totals() const noexcept { return m_totals; }
    // The statistics of the probes sent in the span; the folded ones count
    // by the start of their minute.
    RunStatistics statisticsIn(TimeSpan span) const noexcept;
    // From the first probe to just after the latest; empty before any.
    TimeSpan wholeRun() const noexcept;
    const OutageList &outages() const noexcept { return m_outages; }
    std::uint64_t recordedCount() const noexcept { return m_recorded; }

    // The heap this record holds, in bytes.
    std::size_t memoryBytes() const noexcept;

private:
    // From the probe recorded as number `from` on, the timeline is the wall
    // clock plus the offset.
    struct ClockStep
    {
        std::uint64_t from = 0;
        Milliseconds offset = 0;
    };

    void place(const ProbeSample &sample, Milliseconds at);
    void keep(const ProbeSample &sample);
    void fold(const ProbeSample &sample);
    void growRing();
    Milliseconds offsetOf(std::uint64_t recorded) const noexcept;
    void forgetStepsBefore(std::uint64_t recorded);

    std::size_t m_capacity;
    std::vector<ProbeSample> m_ring;
    std::size_t m_oldest = 0;
    std::size_t m_count = 0;
    std::vector<MinuteSummary> m_summaries;
    std::vector<StatusCount> m_failures;
    RunStatistics m_totals;
    OutageList m_outages;
    std::uint64_t m_recorded = 0;
    // The steps of the wall clock the retained probes span, oldest first.
    std::vector<ClockStep> m_steps;
    Milliseconds m_offset = 0;
    Milliseconds m_lastPlace = 0;
    std::optional<Milliseconds> m_lastMonotonic;
};

} // namespace history
