#include "echowatch/host/host_monitor.h"

#include <algorithm>
#include <chrono>

namespace host {

namespace {

// A trace ends within seconds of its outage's start; this many outages back
// is far more than a verdict can lag behind.
constexpr std::size_t VerdictsAwaited = 256;

} // namespace

Milliseconds millisecondsOf(std::chrono::system_clock::time_point time) noexcept
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

HostMonitor::HostMonitor(HostIdentity identity, DownRule rule, IdSource &ids, EventSink &sink)
    : m_identity(std::move(identity)), m_ids(ids), m_sink(sink)
{
    setRule(rule);
}

void HostMonitor::setRule(DownRule rule) noexcept
{
    m_rule = DownRule{std::max(rule.downAfter, 1)};
}

void HostMonitor::startWatch(Milliseconds at)
{
    if (m_watch)
        return;
    m_watch = Watch{m_ids.next(), at};
    m_sink.watchStarted({m_identity, m_watch->id, at});
}

void HostMonitor::take(const probe::ProbeEvent &probe)
{
    startWatch(millisecondsOf(probe.sentAt));
    if (probe.status == 0)
        takeAnswer(probe);
    else
        takeFailure(probe);
}

void HostMonitor::takeAnswer(const probe::ProbeEvent &probe)
{
    m_sink.probeTaken({m_identity, true, m_watch->id, probe, std::nullopt});
    const std::optional<OutageId> ended = m_down;
    history::Outage figures = m_failing;
    m_failing = history::Outage();
    m_down.reset();
    if (!ended)
        return;
    figures.end = millisecondsOf(probe.sentAt);
    m_sink.hostUp({{m_identity, m_watch->id, *ended, figures, probe}});
}

void HostMonitor::takeFailure(const probe::ProbeEvent &probe)
{
    const Milliseconds sentAt = millisecondsOf(probe.sentAt);
    if (m_failing.probesLost == 0)
        m_failing.start = sentAt;
    m_failing.addFailure(sentAt, probe.status);
    const bool crosses =
        !m_down && m_failing.probesLost >= static_cast<std::uint64_t>(m_rule.downAfter);
    if (crosses)
        callDown();
    m_sink.probeTaken({m_identity, true, m_watch->id, probe, m_down});
    if (crosses)
        m_sink.hostDown({{m_identity, m_watch->id, *m_down, m_failing, probe}});
}

OutageId HostMonitor::callDown()
{
    m_down = m_ids.next();
    m_issued.push_back({*m_down, m_failing.start});
    if (m_issued.size() > VerdictsAwaited)
        m_issued.pop_front();
    return *m_down;
}

void HostMonitor::endWatch(Milliseconds at, WatchEnd why)
{
    if (!m_watch)
        return;
    const WatchEnded ended{m_identity, m_watch->id, m_watch->started, at, why, m_down, m_failing};
    m_watch.reset();
    m_down.reset();
    m_failing = history::Outage();
    m_sink.watchEnded(ended);
    if (ended.outage)
        fileVerdict(
            *ended.outage,
            Verdict{Side::NotWatched, "not watched: the watch ended during the outage", false});
}

bool HostMonitor::owns(OutageId outage) const noexcept
{
    return std::any_of(m_issued.begin(), m_issued.end(),
                       [outage](const IssuedOutage &issued) { return issued.id == outage; });
}

bool HostMonitor::fileVerdict(OutageId outage, Verdict verdict)
{
    const auto issued =
        std::find_if(m_issued.begin(), m_issued.end(),
                     [outage](const IssuedOutage &known) { return known.id == outage; });
    if (issued == m_issued.end() || issued->filed)
        return false;
    issued->filed = true;
    m_sink.verdictFiled({m_identity, outage, issued->start, std::move(verdict)});
    return true;
}

} // namespace host
