#pragma once

#include "echowatch/fleet/tick_schedule.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/host/host_monitor.h"

#include <QObject>

#include <deque>
#include <map>
#include <memory>

namespace app {

// The headless prober's hosts, each with a host monitor of its own, fed
// the probes of its own ticks; whatever the monitors decide is told by
// events() to every feature, as the window's one host is. Lives on the
// event loop's thread.
class HeadlessWatch : public QObject
{
    Q_OBJECT

public:
    HeadlessWatch(host::AlertRules rules, QObject *parent);

    const host::HostEventSignals &events() const noexcept { return m_events; }

    // Somebody watches the host from `at` on.
    void watch(fleet::HostKey key, const host::HostIdentity &identity, host::Milliseconds at);
    // Nobody watches it from `at` on; a verdict for one of its outages is
    // still filed with it a while.
    void unwatch(fleet::HostKey key, host::Milliseconds at, host::WatchEnd why);
    void unwatchAll(host::Milliseconds at, host::WatchEnd why);
    // A probe of a watched host, in the order its requests went out; a
    // probe of a host no longer watched is passed by.
    void take(fleet::HostKey key, const probe::ProbeEvent &probe);
    void fileVerdict(host::OutageId outage, const host::Verdict &verdict);

    std::size_t watched() const noexcept { return m_monitors.size(); }

private:
    // Hosts no longer watched whose outages a late verdict may still find.
    static constexpr std::size_t EndedKept = 64;

    host::HostEventSignals m_events;
    host::IdSource m_ids;
    host::AlertRules m_rules;
    std::map<fleet::HostKey, std::unique_ptr<host::HostMonitor>> m_monitors;
    std::deque<std::unique_ptr<host::HostMonitor>> m_ended;
};

} // namespace app
