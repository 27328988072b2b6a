#pragma once

#include "echowatch/host/host_events.h"

#include <deque>
#include <optional>

namespace host {

// When a host is called down: after this many failed probes in a row.
struct DownRule
{
    int downAfter = 3;
};

// The one place that decides about one host: which watch a probe belongs
// to, whether the host is down or up, and which outage a later result (a
// probe, an answer, a trace's verdict) belongs to. Every feature learns it
// from the events; none decides it again. Plain C++, one thread.
class HostMonitor
{
public:
    // ids and sink must outlive the monitor.
    HostMonitor(HostIdentity identity, DownRule rule, IdSource &ids, EventSink &sink);

    const HostIdentity &identity() const noexcept { return m_identity; }
    void setRule(DownRule rule) noexcept;

    // A watch starts at the time given; one already under way goes on.
    void startWatch(Milliseconds at);
    // A probe that was sent to this host. Outside a watch it starts one at
    // its send time.
    void take(const probe::ProbeEvent &probe);
    // The watch ends: an outage open then ends unwatched, never up, and is
    // classed NotWatched unless it has its verdict already.
    void endWatch(Milliseconds at, WatchEnd why);
    // A verdict for one of this host's outages, even one that has ended;
    // false for an outage this monitor does not know, or one that has its
    // verdict already: the first is the outage's one.
    bool fileVerdict(OutageId outage, Verdict verdict);

    bool watching() const noexcept { return m_watch.has_value(); }
    std::optional<OutageId> openOutage() const noexcept { return m_down; }
    bool owns(OutageId outage) const noexcept;

private:
    struct Watch
    {
        WatchId id = 0;
        Milliseconds started = 0;
    };
    struct IssuedOutage
    {
        OutageId id = 0;
        Milliseconds start = 0;
        bool filed = false;
    };

    void takeAnswer(const probe::ProbeEvent &probe);
    void takeFailure(const probe::ProbeEvent &probe);
    OutageId callDown();

    HostIdentity m_identity;
    DownRule m_rule;
    IdSource &m_ids;
    EventSink &m_sink;
    std::optional<Watch> m_watch;
    // The failures in a row so far, whether or not they made an outage.
    history::Outage m_failing;
    std::optional<OutageId> m_down;
    // Outages a late verdict may still be filed with, newest last.
    std::deque<IssuedOutage> m_issued;
};

} // namespace host
