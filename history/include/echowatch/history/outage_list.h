#pragma once

#include "echowatch/history/probe_sample.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

namespace history {

// A run of consecutive failed probes. Probes never sent (bad address)
// neither start nor end one.
struct Outage
{
    Milliseconds start = 0;          // its first failed probe
    Milliseconds lastFailure = 0;    // its latest failed probe
    std::optional<Milliseconds> end; // its first answered probe; none while ongoing
    std::uint64_t probesLost = 0;

    // The most frequent status of its failures.
    EchoStatus cause() const noexcept;
    // Whether its failures had more than one status.
    bool mixed() const noexcept { return m_kinds > 1; }
    Milliseconds duration() const noexcept { return end.value_or(lastFailure) - start; }

    void addFailure(Milliseconds sentAt, EchoStatus status) noexcept;

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

// Every outage of the run, oldest first. A host that fails every other
// probe makes one outage per two probes, so beyond MaximumOutages the oldest
// are dropped and counted.
class OutageList
{
public:
    static constexpr std::size_t MaximumOutages = 100'000;

    void add(const ProbeSample &sample);

    const std::deque<Outage> &outages() const noexcept { return m_outages; }
    std::uint64_t dropped() const noexcept { return m_dropped; }
    bool ongoing() const noexcept { return !m_outages.empty() && !m_outages.back().end; }

private:
    std::deque<Outage> m_outages;
    std::uint64_t m_dropped = 0;
};

} // namespace history
