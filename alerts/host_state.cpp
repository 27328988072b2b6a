#include "echowatch/alerts/host_state.h"

#include <algorithm>
#include <chrono>

namespace alerts {

namespace {

history::Milliseconds millisecondsOf(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

} // namespace

HostState::HostState(int downAfter) noexcept : m_downAfter(std::max(downAfter, 1)) {}

std::optional<HostChange> HostState::observe(const probe::ProbeEvent &event) noexcept
{
    // Negative codes are the address box's fault, not the host's: a bad
    // address says nothing about whether the host answers.
    if (event.status < 0) {
        forget();
        return std::nullopt;
    }
    if (event.status == 0) {
        const bool wasDown = m_down;
        history::Outage ended = m_outage;
        forget();
        if (!wasDown)
            return std::nullopt;
        ended.end = millisecondsOf(event.sentAt);
        return HostChange{HostChange::Kind::Up, ended, event};
    }
    if (m_outage.probesLost == 0)
        m_outage.start = millisecondsOf(event.sentAt);
    m_outage.addFailure(millisecondsOf(event.sentAt), event.status);
    if (m_down || m_outage.probesLost < static_cast<std::uint64_t>(m_downAfter))
        return std::nullopt;
    m_down = true;
    return HostChange{HostChange::Kind::Down, m_outage, event};
}

void HostState::forget() noexcept
{
    m_down = false;
    m_outage = history::Outage();
}

} // namespace alerts
