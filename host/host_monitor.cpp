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

HostMonitor::HostMonitor(HostIdentity identity, AlertRules rules, IdSource &ids, EventSink &sink)
    : m_identity(std::move(identity)), m_ids(ids), m_sink(sink), m_flapping(rules.flap),
      m_slowness(rules.slow)
{
    setRules(rules);
}

void HostMonitor::setRules(AlertRules rules)
{
    rules.downAfter = std::max(rules.downAfter, 1);
    rules.loss.window = std::max(rules.loss.window, 1);
    m_rules = rules;
    m_loss.resize(rules.loss.on() ? static_cast<std::size_t>(rules.loss.window) : 0);
    m_flapping.setRule(rules.flap);
    m_slowness.setRule(rules.slow);
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
    settleIfStill(probe);
    judgeSlowness(probe);
}

void HostMonitor::takeAnswer(const probe::ProbeEvent &probe)
{
    m_inARow = history::Outage();
    m_loss.add(millisecondsOf(probe.sentAt), probe.status);
    m_sink.probeTaken({m_identity, true, m_watch->id, probe, std::nullopt});
    const bool lossSaysUp = !m_rules.loss.on() || m_loss.atMost(m_rules.loss.clearPercent);
    if (m_down && lossSaysUp)
        callUp(probe);
}

void HostMonitor::takeFailure(const probe::ProbeEvent &probe)
{
    const Milliseconds sentAt = millisecondsOf(probe.sentAt);
    if (m_inARow.probesLost == 0)
        m_inARow.start = sentAt;
    m_inARow.addFailure(sentAt, probe.status);
    m_loss.add(sentAt, probe.status);
    if (m_down) {
        m_down->figures.addFailure(sentAt, probe.status);
        m_sink.probeTaken({m_identity, true, m_watch->id, probe, m_down->id});
        return;
    }
    const std::optional<DownBy> by = downCalled();
    if (!by) {
        m_sink.probeTaken({m_identity, true, m_watch->id, probe, std::nullopt});
        return;
    }
    callDown(probe, *by);
}

// Failures in a row first: where both rules speak at once, it says more.
std::optional<DownBy> HostMonitor::downCalled() const
{
    if (m_inARow.probesLost >= static_cast<std::uint64_t>(m_rules.downAfter))
        return DownBy::InARow;
    if (m_rules.loss.on() && m_loss.reaches(m_rules.loss.raisePercent))
        return DownBy::Loss;
    return std::nullopt;
}

void HostMonitor::callDown(const probe::ProbeEvent &probe, DownBy by)
{
    m_down = OpenOutage{m_ids.next(), by == DownBy::InARow ? m_inARow : m_loss.failureFigures()};
    m_issued.push_back({m_down->id, m_down->figures.start});
    if (m_issued.size() > VerdictsAwaited)
        m_issued.pop_front();
    m_sink.probeTaken({m_identity, true, m_watch->id, probe, m_down->id});
    const bool startsFlapping = m_flapping.down(millisecondsOf(probe.sentAt));
    HostDown down{turnOf(probe), by, {}};
    if (m_rules.loss.on())
        down.loss = {static_cast<std::uint32_t>(m_loss.failures()),
                     static_cast<std::uint32_t>(m_loss.size())};
    m_lastTurn = down;
    m_sink.hostDown(down);
    if (!startsFlapping)
        return;
    FlappingStarted started{turnOf(probe), m_flapping.since(), m_flapping.downs(),
                            m_rules.flap.window()};
    started.flapping = false;
    m_sink.flappingStarted(started);
}

void HostMonitor::callUp(const probe::ProbeEvent &probe)
{
    m_flapping.up(millisecondsOf(probe.sentAt));
    HostUp up{turnOf(probe)};
    up.figures.end = millisecondsOf(probe.sentAt);
    m_down.reset();
    m_lastTurn = up;
    m_sink.hostUp(up);
}

// The open outage's turn at this probe; a turn while flapping is marked.
OutageTurn HostMonitor::turnOf(const probe::ProbeEvent &probe) const
{
    return {m_identity, m_watch->id,           m_down->id, m_down->figures,
            probe,      m_flapping.flapping()};
}

// Still for the flap rule's window: said once, with the host's state then.
void HostMonitor::settleIfStill(const probe::ProbeEvent &probe)
{
    const Milliseconds at = millisecondsOf(probe.sentAt);
    if (!m_flapping.settledBy(at))
        return;
    FlappingSettled settled{m_lastTurn, m_down.has_value(), m_flapping.since(), at,
                            m_flapping.downs()};
    settled.flapping = false;
    settled.latest = probe;
    if (m_down)
        settled.figures = m_down->figures;
    m_flapping.settle();
    m_sink.flappingSettled(settled);
}

void HostMonitor::judgeSlowness(const probe::ProbeEvent &probe)
{
    const Milliseconds at = millisecondsOf(probe.sentAt);
    if (!m_rules.slow.on()) {
        if (m_slowness.slow())
            endSlowness(at, at, SlowEnd::RuleOff);
        m_slowness.clear();
        return;
    }
    const std::int64_t roundTrip = probe.details.roundTripMicroseconds;
    const auto answered =
        probe.status == 0 && roundTrip >= 0 ? std::optional(roundTrip) : std::nullopt;
    switch (m_slowness.take(at, answered)) {
    case Slowness::Turn::Slow:
        m_slowSince = m_slowness.since();
        m_sink.slowStarted({m_identity, m_watch->id, m_slowSince, at, m_slowness.figures()});
        break;
    case Slowness::Turn::Normal:
        endSlowness(m_slowness.since(), at, SlowEnd::Normal);
        break;
    case Slowness::Turn::None:
        break;
    }
}

void HostMonitor::endSlowness(Milliseconds until, Milliseconds at, SlowEnd why)
{
    m_sink.slowEnded(
        {m_identity, m_watch->id, m_slowSince, std::max(until, m_slowSince), at, why,
         m_slowness.figures()});
}

void HostMonitor::endWatch(Milliseconds at, WatchEnd why)
{
    if (!m_watch)
        return;
    if (m_slowness.slow())
        endSlowness(at, at, SlowEnd::WatchEnded);
    const WatchEnded ended{m_identity,
                           m_watch->id,
                           m_watch->started,
                           at,
                           why,
                           openOutage(),
                           m_down ? m_down->figures : m_inARow};
    m_watch.reset();
    m_down.reset();
    m_inARow = history::Outage();
    m_loss.clear();
    m_flapping.clear();
    m_slowness.clear();
    m_sink.watchEnded(ended);
    if (ended.outage)
        fileVerdict(
            *ended.outage,
            Verdict{Side::NotWatched, "not watched: the watch ended during the outage", false});
}

std::optional<OutageId> HostMonitor::openOutage() const noexcept
{
    return m_down ? std::optional(m_down->id) : std::nullopt;
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
