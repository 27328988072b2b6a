#pragma once

#include "echowatch/host/alert_rules.h"
#include "echowatch/host/flapping.h"
#include "echowatch/host/host_events.h"
#include "echowatch/host/loss_window.h"
#include "echowatch/host/slowness.h"

#include <deque>
#include <optional>

namespace host {

// The one place that decides about one host: which watch a probe belongs
// to, whether the host is down or up, slow or normal, flapping or settled,
// and which outage a later result (a probe, an answer, a trace's verdict)
// belongs to. Every feature learns it from the events; none decides it
// again. Plain C++, one thread.
//
// Down comes when either rule says so: failed probes in a row reach
// --down-after, or the loss window's failures reach the loss rule's raise
// level. Up comes when both say up: an answer came, and the window's
// failures are at most the clear level. Every window (loss, round trips,
// downs counted for flapping) starts empty with each watch.
class HostMonitor
{
public:
    // ids and sink must outlive the monitor.
    HostMonitor(HostIdentity identity, AlertRules rules, IdSource &ids, EventSink &sink);

    const HostIdentity &identity() const noexcept { return m_identity; }
    // From the next probe on; the windows keep what they hold.
    void setRules(AlertRules rules);
    const AlertRules &rules() const noexcept { return m_rules; }

    // A watch starts at the time given; one already under way goes on.
    void startWatch(Milliseconds at);
    // A probe that was sent to this host. Outside a watch it starts one at
    // its send time.
    void take(const probe::ProbeEvent &probe);
    // The watch ends: an outage open then ends unwatched, never up, and is
    // classed NotWatched unless it has its verdict already; a slow period
    // ends with it.
    void endWatch(Milliseconds at, WatchEnd why);
    // A verdict for one of this host's outages, even one that has ended;
    // false for an outage this monitor does not know, or one that has its
    // verdict already: the first is the outage's one.
    bool fileVerdict(OutageId outage, Verdict verdict);

    bool watching() const noexcept { return m_watch.has_value(); }
    std::optional<OutageId> openOutage() const noexcept;
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
    struct OpenOutage
    {
        OutageId id = 0;
        history::Outage figures;
    };

    void takeAnswer(const probe::ProbeEvent &probe);
    void takeFailure(const probe::ProbeEvent &probe);
    std::optional<DownBy> downCalled() const;
    void callDown(const probe::ProbeEvent &probe, DownBy by);
    void callUp(const probe::ProbeEvent &probe);
    OutageTurn turnOf(const probe::ProbeEvent &probe) const;
    void settleIfStill(const probe::ProbeEvent &probe);
    void judgeSlowness(const probe::ProbeEvent &probe);
    void endSlowness(Milliseconds until, Milliseconds at, SlowEnd why);

    HostIdentity m_identity;
    AlertRules m_rules;
    IdSource &m_ids;
    EventSink &m_sink;
    std::optional<Watch> m_watch;
    // The failures in a row so far, whether or not they made an outage.
    history::Outage m_inARow;
    LossWindow m_loss;
    std::optional<OpenOutage> m_down;
    Flapping m_flapping;
    // The latest down or up, for what the settling tells.
    OutageTurn m_lastTurn;
    Slowness m_slowness;
    Milliseconds m_slowSince = 0;
    // Outages a late verdict may still be filed with, newest last.
    std::deque<IssuedOutage> m_issued;
};

} // namespace host
