#include "echowatch/app/headless_watch.h"

namespace app {

HeadlessWatch::HeadlessWatch(host::AlertRules rules, QObject *parent)
    : QObject(parent), m_rules(rules)
{
    setObjectName(QStringLiteral("HeadlessWatch"));
}

void HeadlessWatch::watch(fleet::HostKey key, const host::HostIdentity &identity,
                          host::Milliseconds at)
{
    auto &monitor = m_monitors[key];
    if (!monitor)
        monitor = std::make_unique<host::HostMonitor>(identity, m_rules, m_ids, m_events);
    monitor->startWatch(at);
}

void HeadlessWatch::unwatch(fleet::HostKey key, host::Milliseconds at, host::WatchEnd why)
{
    const auto found = m_monitors.find(key);
    if (found == m_monitors.end())
        return;
    found->second->endWatch(at, why);
    m_ended.push_back(std::move(found->second));
    m_monitors.erase(found);
    if (m_ended.size() > EndedKept)
        m_ended.pop_front();
}

void HeadlessWatch::unwatchAll(host::Milliseconds at, host::WatchEnd why)
{
    while (!m_monitors.empty())
        unwatch(m_monitors.begin()->first, at, why);
}

void HeadlessWatch::take(fleet::HostKey key, const probe::ProbeEvent &probe)
{
    const auto found = m_monitors.find(key);
    if (found != m_monitors.end())
        found->second->take(probe);
}

void HeadlessWatch::fileVerdict(host::OutageId outage, const host::Verdict &verdict)
{
    for (const auto &[key, monitor] : m_monitors) {
        if (monitor->owns(outage)) {
            monitor->fileVerdict(outage, verdict);
            return;
        }
    }
    for (const auto &monitor : m_ended) {
        if (monitor->owns(outage)) {
            monitor->fileVerdict(outage, verdict);
            return;
        }
    }
}

} // namespace app
