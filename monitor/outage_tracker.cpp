#include "echowatch/monitor/outage_tracker.h"

#include <algorithm>

OutageTracker::OutageTracker(int downAfter) noexcept : m_downAfter(std::max(downAfter, 1)) {}

std::optional<Outage> OutageTracker::observe(const probe::ProbeEvent &event) noexcept
{
    // Negative codes are the address box's fault, not the host's: a bad
    // address says nothing about whether the host answers.
    if (event.status < 0) {
        forget();
        return std::nullopt;
    }
    if (event.status == 0) {
        const bool wasDown = m_down;
        const int lost = m_failures;
        forget();
        if (!wasDown)
            return std::nullopt;
        return Outage{Outage::Change::Up, m_firstFailure, event, lost};
    }
    if (m_failures == 0)
        m_firstFailure = event;
    ++m_failures;
    if (m_down || m_failures < m_downAfter)
        return std::nullopt;
    m_down = true;
    return Outage{Outage::Change::Down, m_firstFailure, event, m_failures};
}

void OutageTracker::forget() noexcept
{
    m_failures = 0;
    m_down = false;
}
