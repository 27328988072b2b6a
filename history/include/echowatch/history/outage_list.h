#pragma once

#include "echowatch/history/probe_sample.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace history {

// A run of consecutive failed probes. Probes never sent (bad address)
// neither start nor end one.
struct Outage
{
    Milliseconds start = 0;          // its first failed probe
    Milliseconds lastFailure = 0;    // its latest failed probe
    std::optional<Milliseconds> end; // its first answered probe; none while ongoing
    std::uint64_t probesLost = 0;
    // Nobody watched the host any more before it answered: end is when the
    // watch ended, and the host was never seen back.
    bool endedUnwatched = false;

    // The most frequent status of its failures.
    EchoStatus cause() const noexcept;
    // Whether its failures had more than one status.
    bool mixed() const noexcept { return m_kinds > 1; }
    Milliseconds duration() const noexcept { return end.value_or(lastFailure) - start; }

    void addFailure(Milliseconds sentAt, EchoStatus status) noexcept;

    // One as a history file kept it: its figures, its most frequent status
    // and whether it had others, not each failure.
    static Outage restored(Milliseconds start, Milliseconds lastFailure,
                           std::optional<Milliseconds> end, std::uint64_t probesLost,
                           EchoStatus cause, bool mixed, bool endedUnwatched) noexcept;

private:
    struct CauseCount
    {
        EchoStatus status = 0;
        std::uint64_t count = 0;
    };
    // A few kinds are counted; see addFailure for what happens beyond them.
    std::array<CauseCount, 4> m_causes{};
    std::uint8_t m_kinds = 0;
};

// Where the path broke in an outage, as a trace at its start found it, by
// the outage's start. Kept beside the outages rather than in them: only
// the outages a trace was asked for have one, and a record rebuilt with
// earlier runs keeps them.
using OutageWhere = std::map<Milliseconds, std::string>;

// Every outage of the run, oldest first, in a ring whose room is reserved
// once: address space only, the pages are touched as outages come, so a
// run never allocates for an outage and a quiet run costs no memory. A host
// that fails every other probe makes one outage per two probes, so beyond
// MaximumOutages the oldest are dropped and counted.
class OutageList
{
public:
    static constexpr std::size_t MaximumOutages = 100'000;

    OutageList() { m_ring.reserve(MaximumOutages); }

    class Iterator
    {
    public:
        Iterator(const OutageList &list, std::size_t index) : m_list(&list), m_index(index) {}
        const Outage &operator*() const { return (*m_list)[m_index]; }
        Iterator &operator++()
        {
            ++m_index;
            return *this;
        }
        bool operator==(const Iterator &) const = default;

    private:
        const OutageList *m_list;
        std::size_t m_index;
    };

    void add(const ProbeSample &sample);
    // The watch ended at the time: an outage going on ends there, not
    // watched, so that time nobody watched is not counted as down.
    void endOngoing(Milliseconds time) noexcept;

    std::size_t size() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    const Outage &operator[](std::size_t index) const noexcept;
    Iterator begin() const noexcept { return Iterator(*this, 0); }
    Iterator end() const noexcept { return Iterator(*this, m_count); }

    std::uint64_t dropped() const noexcept { return m_dropped; }
    // How long the host was down within the span: each outage from its
    // first failed probe to its first answered one (to its latest failure
    // while it goes on), the part inside the span. Outages dropped from the
    // list count in the whole run's figure, not in a span's.
    Milliseconds downTimeIn(TimeSpan span) const noexcept;
    Milliseconds downTime() const noexcept;
    bool ongoing() const noexcept { return m_count > 0 && !latest().end; }
    // What the outages kept occupy; the reserved room beyond is untouched.
    std::size_t memoryBytes() const noexcept { return m_ring.size() * sizeof(Outage); }

private:
    const Outage &latest() const noexcept { return (*this)[m_count - 1]; }
    Outage &latest() noexcept { return const_cast<Outage &>((*this)[m_count - 1]); }
    Outage &startOutage();

    std::vector<Outage> m_ring;
    std::size_t m_oldest = 0;
    std::size_t m_count = 0;
    std::uint64_t m_dropped = 0;
    Milliseconds m_droppedDownTime = 0;
};

} // namespace history
