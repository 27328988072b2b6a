#pragma once

#include "echowatch/history/outage_list.h"

#include <cstddef>
#include <deque>

namespace host {

// The outcomes of the last probes sent to a host, as many as the loss
// rule's window, and how many of them failed. Plain C++; each probe costs
// a constant time whatever the window.
class LossWindow
{
public:
    // Keeps the newest outcomes that fit.
    void resize(std::size_t size);
    void add(history::Milliseconds sentAt, EchoStatus status);
    void clear() noexcept;

    std::size_t size() const noexcept { return m_size; }
    std::size_t failures() const noexcept { return m_failures; }
    // Whether the failures held reach `percent` of the whole window, or
    // are at most `percent` of it. A window not yet full counts the
    // probes it still lacks as answered: ten failures are ten failures,
    // whenever they came.
    bool reaches(int percent) const noexcept;
    bool atMost(int percent) const noexcept;
    // The failures held, as an outage's figures: from the first of them.
    history::Outage failureFigures() const;

private:
    struct Outcome
    {
        history::Milliseconds sentAt = 0;
        EchoStatus status = 0;
    };

    void dropOldest();

    std::size_t m_size = 0;
    std::deque<Outcome> m_outcomes;
    std::size_t m_failures = 0;
};

} // namespace host
