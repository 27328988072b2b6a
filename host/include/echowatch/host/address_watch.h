#pragma once

#include "echowatch/host/host_monitor.h"

#include <functional>
#include <list>
#include <string>

namespace host {

// The window's one watched host: whichever address the probes go to. A
// probe to another address, or text that is no address, ends the watch of
// the host before it; each address keeps its own monitor, so a host probed
// again goes on with its own outages and a late verdict still finds its
// outage. Plain C++, one thread.
class AddressWatch
{
public:
    // How the user calls the host at a dotted address.
    using Naming = std::function<std::string(const std::string &dotted)>;

    // ids and sink must outlive the watch.
    AddressWatch(AlertRules rules, Naming naming, IdSource &ids, EventSink &sink);

    // Probes are on from the time given: the host of the next probe is
    // watched from then.
    void start(Milliseconds at);
    // Every probe the window showed, in the order it showed them.
    void take(const probe::ProbeEvent &probe);
    // Probes are off: Stop, the window closing, the machine going to sleep.
    // Probes taken before the next start are shown but not watched.
    void stop(Milliseconds at, WatchEnd why);

    // A verdict for whichever host's outage it is.
    bool fileVerdict(OutageId outage, Verdict verdict);
    void setRules(AlertRules rules);
    const AlertRules &rules() const noexcept { return m_rules; }

    // The host watched now, if any.
    const HostMonitor *current() const noexcept;

private:
    HostMonitor &monitorFor(std::uint32_t address);
    void endCurrent(Milliseconds at, WatchEnd why);

    // Beyond this many addresses the one probed longest ago is forgotten.
    static constexpr std::size_t MaximumHosts = 64;

    AlertRules m_rules;
    Naming m_naming;
    IdSource &m_ids;
    EventSink &m_sink;
    // Most recently probed first.
    std::list<HostMonitor> m_monitors;
    HostMonitor *m_current = nullptr;
    // The host probes went to last, for a probe that named none.
    std::optional<HostIdentity> m_last;
    bool m_running = false;
    std::optional<Milliseconds> m_startAt;
};

} // namespace host
