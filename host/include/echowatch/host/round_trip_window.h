#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <utility>

namespace host {

// The round trips of the answers of a span of time (a minute), and one
// percentile of them by nearest rank: the shortest round trip that at
// least that share of the answers took no longer than. Kept in two ordered
// halves split at that rank, so that an answer costs a logarithmic time
// however fast the probes come. Plain C++.
class RoundTripWindow
{
public:
    RoundTripWindow(history::Milliseconds span, int percentile);

    void setPercentile(int percentile);
    // An answer sent at the time given; answers sent a span or more before
    // it leave the window.
    void add(history::Milliseconds sentAt, std::int64_t microseconds);
    // Answers sent a span or more before the time given leave the window.
    void passTo(history::Milliseconds now);
    void clear() noexcept;

    std::size_t answers() const noexcept { return m_answers.size(); }
    std::optional<std::int64_t> percentile() const;
    // The median of the answers held, for what is usual.
    std::optional<std::int64_t> median() const;

private:
    std::size_t rankFor(std::size_t count) const noexcept;
    void rebalance();
    void remove(std::int64_t microseconds);

    history::Milliseconds m_span;
    int m_percentile;
    std::deque<std::pair<history::Milliseconds, std::int64_t>> m_answers;
    // The rank's worth of the shortest round trips, and the rest.
    std::multiset<std::int64_t> m_low;
    std::multiset<std::int64_t> m_high;
};

} // namespace host
