#include "echowatch/history/probe_record.h"

#include <algorithm>

namespace history {

namespace {

constexpr std::size_t FirstRingSize = 4096;
// Room for a day of minute summaries, and for their failure counts at two
// kinds a minute, from the first fold on, so that a day's recording never
// has to grow them; a longer run grows them once per doubling of its length.
constexpr std::size_t SummariesReserved = 24 * 60;
constexpr std::size_t FailureCountsReserved = 2 * SummariesReserved;

} // namespace

ProbeRecord::ProbeRecord(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1)) {}

void ProbeRecord::record(const ProbeSample &sample, Milliseconds monotonicAt)
{
    Milliseconds at = sample.sentAt() + m_offset;
    if (m_lastMonotonic && m_recorded > 0) {
        const Milliseconds expected = m_lastPlace + (monotonicAt - *m_lastMonotonic);
        if (at > expected + ClockStepTolerance || at < expected - ClockStepTolerance)
            at = expected;
    }
    m_lastMonotonic = monotonicAt;
    place(sample, at);
}

void ProbeRecord::record(const ProbeSample &sample)
{
    m_lastMonotonic.reset();
    place(sample, sample.sentAt() + m_offset);
}

// Never before the latest: a wall clock set back by less than the
// tolerance, or two probes in one millisecond, keep their order.
void ProbeRecord::place(const ProbeSample &sample, Milliseconds at)
{
    if (m_recorded > 0)
        at = std::max(at, m_lastPlace);
    if (at - sample.sentAt() != m_offset) {
        m_offset = at - sample.sentAt();
        m_steps.push_back(ClockStep{m_recorded, m_offset});
    }
    m_lastPlace = at;
    keep(ProbeSample(at, sample.status(), sample.roundTripMicroseconds(), sample.replySize()));
}

void ProbeRecord::keep(const ProbeSample &sample)
{
    ++m_recorded;
    m_totals.add(sample);
    m_outages.add(sample);
    if (m_count == m_ring.size() && m_count < m_capacity)
        growRing();
    if (m_count < m_ring.size()) {
        m_ring[(m_oldest + m_count) % m_ring.size()] = sample;
        ++m_count;
        return;
    }
    fold(m_ring[m_oldest]);
    m_ring[m_oldest] = sample;
    m_oldest = (m_oldest + 1) % m_ring.size();
    forgetStepsBefore(m_recorded - m_count);
}

// A step only the folded probes needed goes: the latest before the oldest
// retained one still tells that probe's offset.
void ProbeRecord::forgetStepsBefore(std::uint64_t recorded)
{
    std::size_t needless = 0;
    while (needless + 1 < m_steps.size() && m_steps[needless + 1].from <= recorded)
        ++needless;
    if (needless > 0)
        m_steps.erase(m_steps.begin(), m_steps.begin() + static_cast<std::ptrdiff_t>(needless));
}

Milliseconds ProbeRecord::offsetOf(std::uint64_t recorded) const noexcept
{
    const auto after = std::upper_bound(
        m_steps.begin(), m_steps.end(), recorded,
        [](std::uint64_t number, const ClockStep &step) { return number < step.from; });
    return after == m_steps.begin() ? 0 : std::prev(after)->offset;
}

Milliseconds ProbeRecord::wallTimeOf(std::size_t index) const noexcept
{
    return retained(index).sentAt() - offsetOf(m_recorded - m_count + index);
}

// The ring only grows while it has never wrapped, so its contents are in
// order from index 0 and stay valid when resized.
void ProbeRecord::growRing()
{
    const std::size_t size = std::min(m_capacity, std::max(FirstRingSize, m_ring.size() * 2));
    m_ring.reserve(size);
    m_ring.resize(size);
}

void ProbeRecord::fold(const ProbeSample &sample)
{
    const Milliseconds minute = minuteOf(sample.sentAt());
    if (m_summaries.capacity() == 0) {
        m_summaries.reserve(SummariesReserved);
        m_failures.reserve(FailureCountsReserved);
    }
    if (m_summaries.empty() || m_summaries.back().minuteStart != minute) {
        MinuteSummary &summary = m_summaries.emplace_back();
        summary.minuteStart = minute;
        summary.failureBegin = static_cast<std::uint32_t>(m_failures.size());
    }
    MinuteSummary &summary = m_summaries.back();
    summary.statistics.add(sample);
    const ProbeKind kind = kindOf(sample.status());
    if (kind == ProbeKind::Answered || kind == ProbeKind::NotSent)
        return;
    // This minute's failures are the last entries of m_failures.
    const auto begin = m_failures.begin() + summary.failureBegin;
    const auto known = std::find_if(begin, m_failures.end(), [&](const StatusCount &entry) {
        return entry.status == sample.status();
    });
    if (known != m_failures.end()) {
        ++known->count;
        return;
    }
    m_failures.push_back(StatusCount{sample.status(), 1});
    ++summary.failureKinds;
}

const ProbeSample &ProbeRecord::retained(std::size_t index) const noexcept
{
    const std::size_t position = m_oldest + index;
    return m_ring[position < m_ring.size() ? position : position - m_ring.size()];
}

std::array<std::span<const ProbeSample>, 2>
ProbeRecord::retainedFrom(std::size_t index) const noexcept
{
    if (index >= m_count)
        return {};
    const std::span<const ProbeSample> ring(m_ring);
    const std::size_t first = m_oldest + index;
    const std::size_t end = m_oldest + m_count;
    if (first >= ring.size())
        return {ring.subspan(first - ring.size(), m_count - index), {}};
    if (end <= ring.size())
        return {ring.subspan(first, m_count - index), {}};
    return {ring.subspan(first), ring.first(end - ring.size())};
}

std::size_t ProbeRecord::firstRetainedFrom(Milliseconds time) const noexcept
{
    std::size_t low = 0;
    std::size_t high = m_count;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (retained(middle).sentAt() < time)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::span<const StatusCount> ProbeRecord::failures(const MinuteSummary &summary) const noexcept
{
    return std::span<const StatusCount>(m_failures)
        .subspan(summary.failureBegin, summary.failureKinds);
}

RunStatistics ProbeRecord::statisticsIn(TimeSpan span) const noexcept
{
    RunStatistics statistics;
    for (const MinuteSummary &summary : m_summaries) {
        if (summary.minuteStart >= span.from && summary.minuteStart < span.to)
            statistics.add(summary.statistics);
    }
    for (const auto part : retainedFrom(firstRetainedFrom(span.from))) {
        for (const ProbeSample &sample : part) {
            if (sample.sentAt() >= span.to)
                return statistics;
            statistics.add(sample);
        }
    }
    return statistics;
}

TimeSpan ProbeRecord::wholeRun() const noexcept
{
    if (m_count == 0)
        return {};
    const Milliseconds first =
        m_summaries.empty() ? retained(0).sentAt() : m_summaries.front().minuteStart;
    return TimeSpan{first, retained(m_count - 1).sentAt() + 1};
}

std::size_t ProbeRecord::memoryBytes() const noexcept
{
    const std::size_t outageBytes = m_outages.memoryBytes();
    return m_ring.capacity() * sizeof(ProbeSample) +
           m_summaries.capacity() * sizeof(MinuteSummary) +
           m_failures.capacity() * sizeof(StatusCount) + m_steps.capacity() * sizeof(ClockStep) +
           outageBytes;
}

} // namespace history
