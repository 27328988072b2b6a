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

Outage Outage::restored(Milliseconds start, Milliseconds lastFailure,
                        std::optional<Milliseconds> end, std::uint64_t probesLost,
                        EchoStatus cause, bool mixed, bool endedUnwatched) noexcept
{
    Outage outage;
    outage.start = start;
    outage.lastFailure = lastFailure;
    outage.end = end;
    outage.probesLost = probesLost;
    outage.endedUnwatched = endedUnwatched;
    outage.m_causes[0] = CauseCount{cause, probesLost};
    // The others' statuses are not kept, only that there were some.
    outage.m_kinds = mixed ? 2 : 1;
    return outage;
}

const Outage &OutageList::operator[](std::size_t index) const noexcept
{
    const std::size_t position = m_oldest + index;
    return m_ring[position < m_ring.size() ? position : position - m_ring.size()];
}

// The ring fills its reserved room before it wraps, so its outages stay in
// order from index 0 when it does.
Outage &OutageList::startOutage()
{
    if (m_ring.size() < MaximumOutages) {
        ++m_count;
        return m_ring.emplace_back();
    }
    ++m_dropped;
    Outage &reused = m_ring[m_oldest];
    m_droppedDownTime += reused.duration();
    m_oldest = (m_oldest + 1) % m_ring.size();
    return reused = Outage{};
}

void OutageList::add(const ProbeSample &sample)
{
    const ProbeKind kind = kindOf(sample.status());
    if (kind == ProbeKind::NotSent)
        return;
    if (kind == ProbeKind::Answered) {
        if (ongoing())
            latest().end = sample.sentAt();
        return;
    }
    if (!ongoing())
        startOutage().start = sample.sentAt();
    latest().addFailure(sample.sentAt(), sample.status());
}

Milliseconds OutageList::downTimeIn(TimeSpan span) const noexcept
{
    Milliseconds down = 0;
    for (const Outage &outage : *this) {
        const Milliseconds from = std::max(outage.start, span.from);
        const Milliseconds to = std::min(outage.start + outage.duration(), span.to);
        down += std::max<Milliseconds>(to - from, 0);
    }
    return down;
}

Milliseconds OutageList::downTime() const noexcept
{
    Milliseconds down = m_droppedDownTime;
    for (const Outage &outage : *this)
        down += outage.duration();
    return down;
}

void OutageList::endOngoing(Milliseconds time) noexcept
{
    if (!ongoing())
        return;
    latest().end = std::max(time, latest().lastFailure);
    latest().endedUnwatched = true;
}

} // namespace history
