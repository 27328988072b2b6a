#include "echowatch/host/address_watch.h"

#include "echowatch/net/ipv4_text.h"

#include <algorithm>

namespace host {

AddressWatch::AddressWatch(AlertRules rules, Naming naming, IdSource &ids, EventSink &sink)
    : m_rules(rules), m_naming(std::move(naming)), m_ids(ids), m_sink(sink)
{}

void AddressWatch::start(Milliseconds at)
{
    m_running = true;
    m_startAt = at;
}

void AddressWatch::stop(Milliseconds at, WatchEnd why)
{
    m_running = false;
    m_startAt.reset();
    endCurrent(at, why);
}

void AddressWatch::endCurrent(Milliseconds at, WatchEnd why)
{
    if (m_current != nullptr)
        m_current->endWatch(at, why);
    m_current = nullptr;
}

void AddressWatch::take(const probe::ProbeEvent &probe)
{
    const Milliseconds sentAt = millisecondsOf(probe.sentAt);
    if (!wasSent(probe.status)) {
        // The box names no host: whoever was watched is no longer.
        endCurrent(sentAt, WatchEnd::AddressChanged);
        m_sink.probeTaken({m_last, false, 0, probe, std::nullopt});
        return;
    }
    HostMonitor &monitor = monitorFor(probe.details.destination);
    m_last = monitor.identity();
    if (!m_running) {
        m_sink.probeTaken({monitor.identity(), true, 0, probe, std::nullopt});
        return;
    }
    if (m_current != &monitor) {
        endCurrent(sentAt, WatchEnd::AddressChanged);
        m_current = &monitor;
        monitor.startWatch(m_startAt.value_or(sentAt));
    }
    m_startAt.reset();
    monitor.take(probe);
}

HostMonitor &AddressWatch::monitorFor(std::uint32_t address)
{
    auto known =
        std::find_if(m_monitors.begin(), m_monitors.end(), [address](const HostMonitor &monitor) {
            return monitor.identity().address == address;
        });
    if (known != m_monitors.end()) {
        m_monitors.splice(m_monitors.begin(), m_monitors, known);
        return m_monitors.front();
    }
    if (m_monitors.size() == MaximumHosts) {
        // The oldest is never the one watched: that one was probed last.
        m_monitors.pop_back();
    }
    const std::string dotted = net::ipv4Text(address);
    m_monitors.emplace_front(HostIdentity{m_naming ? m_naming(dotted) : dotted, address, dotted},
                             m_rules, m_ids, m_sink);
    return m_monitors.front();
}

bool AddressWatch::fileVerdict(OutageId outage, Verdict verdict)
{
    const auto owner =
        std::find_if(m_monitors.begin(), m_monitors.end(),
                     [outage](const HostMonitor &monitor) { return monitor.owns(outage); });
    return owner != m_monitors.end() && owner->fileVerdict(outage, std::move(verdict));
}

void AddressWatch::setRules(AlertRules rules)
{
    m_rules = rules;
    for (HostMonitor &monitor : m_monitors)
        monitor.setRules(rules);
}

const HostMonitor *AddressWatch::current() const noexcept
{
    return m_current;
}

} // namespace host
