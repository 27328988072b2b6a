#pragma once

#include "echowatch/history/outage_list.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/history/run_statistics.h"

#include <array>
#include <cstddef>
#include <cstdint>
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
// Recording allocates only while the ring grows, when a new minute starts
// and when an outage starts.
class ProbeRecord
{
public:
    static constexpr std::size_t DefaultCapacity = 1'000'000;

    explicit ProbeRecord(std::size_t capacity = DefaultCapacity);

    void record(const ProbeSample &sample);
    // The host's watch ended at the time: an outage going on ends there,
    // not watched.
    void recordWatchEnd(Milliseconds time) noexcept { m_outages.endOngoing(time); }

    // The probes kept in full, oldest first.
    std::size_t retainedCount() const noexcept { return m_count; }
    const ProbeSample &retained(std::size_t index) const noexcept;
    // The retained probes from the index on, oldest first, in the two runs
    // of memory the ring keeps them in (the second may be empty).
    std::array<std::span<const ProbeSample>, 2> retainedFrom(std::size_t index) const noexcept;
    // The first retained probe sent at or after the time (retainedCount()
    // when none), assuming the wall clock did not step back.
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
    void fold(const ProbeSample &sample);
    void growRing();

    std::size_t m_capacity;
    std::vector<ProbeSample> m_ring;
    std::size_t m_oldest = 0;
    std::size_t m_count = 0;
    std::vector<MinuteSummary> m_summaries;
    std::vector<StatusCount> m_failures;
    RunStatistics m_totals;
    OutageList m_outages;
    std::uint64_t m_recorded = 0;
};

} // namespace history
