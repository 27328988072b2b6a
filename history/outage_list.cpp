#include "echowatch/history/outage_list.h"

#include <algorithm>

namespace history {

EchoStatus Outage::cause() const noexcept
{
    const auto tracked = m_causes.begin() + std::min<std::size_t>(m_kinds, m_causes.size());
    const auto most =
        std::max_element(m_causes.begin(), tracked, [](const CauseCount &a, const CauseCount &b) {
            return a.count < b.count;
        });
    return most == tracked ? 0 : most->status;
}

void Outage::addFailure(Milliseconds sentAt, EchoStatus status) noexcept
{
    lastFailure = sentAt;
    ++probesLost;
    const auto tracked = m_causes.begin() + std::min<std::size_t>(m_kinds, m_causes.size());
    const auto known = std::find_if(m_causes.begin(), tracked, [status](const CauseCount &entry) {
        return entry.status == status;
    });
    if (known != tracked) {
        ++known->count;
        return;
    }
    if (m_kinds < 255)
        ++m_kinds;
    if (tracked != m_causes.end()) {
        *tracked = CauseCount{status, 1};
        return;
    }
    // Full: the rarest gives way and the newcomer inherits its count, so a
    // status failing more often than a quarter of the time is never lost
    // (the "space-saving" count of frequent items).
    const auto rarest = std::min_element(
        m_causes.begin(), m_causes.end(),
        [](const CauseCount &a, const CauseCount &b) { return a.count < b.count; });
    *rarest = CauseCount{status, rarest->count + 1};
}

void OutageList::add(const ProbeSample &sample)
{
    const ProbeKind kind = kindOf(sample.status());
    if (kind == ProbeKind::NotSent)
        return;
    if (kind == ProbeKind::Answered) {
        if (ongoing())
            m_outages.back().end = sample.sentAt();
        return;
    }
    if (!ongoing()) {
        if (m_outages.size() == MaximumOutages) {
            m_outages.pop_front();
            ++m_dropped;
        }
        m_outages.emplace_back().start = sample.sentAt();
    }
    m_outages.back().addFailure(sample.sentAt(), sample.status());
}

} // namespace history
