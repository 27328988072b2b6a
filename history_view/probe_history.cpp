#include "echowatch/history_view/probe_history.h"

#include "echowatch/host/host_event_signals.h"

namespace history_view {

ProbeHistory::ProbeHistory(QObject &owner, const host::HostEventSignals &events) : QObject(&owner)
{
    setObjectName(QStringLiteral("ProbeHistory"));
    connect(&events, &host::HostEventSignals::taken, this, &ProbeHistory::recordProbe);
    connect(&events, &host::HostEventSignals::started, this,
            [this](const host::WatchStarted &started) {
                m_watched[started.host.address].start(started.at);
            });
    connect(&events, &host::HostEventSignals::ended, this,
            [this](const host::WatchEnded &ended) { endWatch(ended.host.address, ended.at); });
    connect(&events, &host::HostEventSignals::filed, this, [this](const host::VerdictFiled &filed) {
        if (host::tellsWhere(filed.verdict))
            noteWhere(filed.host.address, filed.outageStart,
                      QString::fromStdString(filed.verdict.text));
    });
    listenForStretches(events);
}

namespace {

// Beyond this many stretches of a kind, a host's oldest give way: each is
// at least two minutes (slow) or a flap window long.
constexpr std::size_t MostStretches = 10'000;

} // namespace

// A watch's end ends what the host monitor called in it: it starts every
// window empty with the next watch.
void ProbeHistory::listenForStretches(const host::HostEventSignals &events)
{
    connect(&events, &host::HostEventSignals::slow, this,
            [this](const host::SlowStarted &slow) {
                m_slow[slow.host.address].since = slow.since;
            });
    connect(&events, &host::HostEventSignals::normal, this, [this](const host::SlowEnded &ended) {
        m_slow[ended.host.address].end(ended.until);
        emit recorded();
    });
    connect(&events, &host::HostEventSignals::flapping, this,
            [this](const host::FlappingStarted &flapping) {
                m_flapping[flapping.host.address].since = flapping.since;
            });
    connect(&events, &host::HostEventSignals::settled, this,
            [this](const host::FlappingSettled &settled) {
                m_flapping[settled.host.address].end(settled.at);
                emit recorded();
            });
    connect(&events, &host::HostEventSignals::ended, this, [this](const host::WatchEnded &ended) {
        m_flapping[ended.host.address].end(ended.at);
    });
}

void ProbeHistory::Stretches::end(history::Milliseconds at)
{
    if (!since)
        return;
    if (ended.size() == MostStretches)
        ended.erase(ended.begin());
    ended.push_back({*since, std::max(at, *since)});
    since.reset();
}

std::vector<history::TimeSpan> ProbeHistory::Stretches::upTo(history::Milliseconds now) const
{
    std::vector<history::TimeSpan> all = ended;
    if (since)
        all.push_back({*since, std::max(now, *since)});
    return all;
}

// Before this run's, which all started after them.
void ProbeHistory::addEarlierSlowPeriods(std::uint32_t address,
                                         const std::vector<history::TimeSpan> &periods)
{
    if (periods.empty())
        return;
    std::vector<history::TimeSpan> &ended = m_slow[address].ended;
    ended.insert(ended.begin(), periods.begin(), periods.end());
    if (ended.size() > MostStretches)
        ended.erase(ended.begin(), ended.end() - static_cast<std::ptrdiff_t>(MostStretches));
    emit recorded();
}

std::vector<history::TimeSpan> ProbeHistory::slowPeriods(std::uint32_t address,
                                                         history::Milliseconds now) const
{
    const auto found = m_slow.find(address);
    return found == m_slow.end() ? std::vector<history::TimeSpan>() : found->second.upTo(now);
}

std::vector<history::TimeSpan> ProbeHistory::flappingStretches(std::uint32_t address,
                                                               history::Milliseconds now) const
{
    const auto found = m_flapping.find(address);
    return found == m_flapping.end() ? std::vector<history::TimeSpan>() : found->second.upTo(now);
}

// Placed on the record's timeline by the boot clock, so that a step of the
// wall clock moves none of them.
void ProbeHistory::recordProbe(const host::ProbeTaken &taken)
{
    const probe::ProbeEvent &probe = taken.probe;
    const history::HostAddress address =
        taken.host ? history::HostAddress(taken.host->address) : std::nullopt;
    const history::ProbeSample sample(host::millisecondsOf(probe.sentAt), probe.status,
                                      probe.details.roundTripMicroseconds, probe.replySize);
    if (probe.sentSinceBoot.count() != 0)
        m_hosts.record(
            address, sample,
            std::chrono::duration_cast<std::chrono::milliseconds>(probe.sentSinceBoot).count());
    else
        m_hosts.record(address, sample);
    emit recorded();
}

const history::WatchedTime &ProbeHistory::watched(history::HostAddress address) const
{
    static const history::WatchedTime never;
    const auto found = address ? m_watched.find(*address) : m_watched.end();
    return found == m_watched.end() ? never : found->second;
}

// An outage going on ends with the watch, not watched.
void ProbeHistory::endWatch(std::uint32_t address, history::Milliseconds at)
{
    m_watched[address].end(at);
    m_hosts.recordWatchEnd(address, at);
    emit recorded();
}

void ProbeHistory::setHistoryFile(const QString &path)
{
    if (path == m_historyFile)
        return;
    m_historyFile = path;
    emit historyFileChanged();
}

void ProbeHistory::noteWhere(std::uint32_t address, qint64 outageStart, const QString &verdict)
{
    m_where[address][outageStart] = verdict.toStdString();
    emit whereNoted();
}

namespace {

// The records' probes from the first on, oldest first.
std::vector<history::ProbeSample> retainedProbes(const history::ProbeRecord &record)
{
    std::vector<history::ProbeSample> shown;
    for (const auto part : record.retainedFrom(0))
        shown.insert(shown.end(), part.begin(), part.end());
    return shown;
}

} // namespace

// The record is rebuilt in time order, the earlier probes merged with the
// ones shown so far; an outage going on when a watch ended ends with it.
void ProbeHistory::addEarlierRuns(std::uint32_t address,
                                  const std::vector<history::ProbeSample> &probes,
                                  const std::vector<history::TimeSpan> &watches, std::size_t runs)
{
    const auto host = m_hosts.find(address);
    // Summaries of this run cannot be merged probe by probe.
    if (probes.empty() || !host || !m_hosts.at(*host).summaries().empty() ||
        m_earlierRuns.contains(address))
        return;
    const std::vector<history::ProbeSample> shown = retainedProbes(m_hosts.at(*host));
    history::WatchedTime &watched = m_watched[address];
    for (const history::TimeSpan &watch : watches)
        watched.add(watch.from, watch.to);
    const history::Milliseconds latest =
        shown.empty() ? probes.back().sentAt() + 1 : shown.back().sentAt() + 1;
    const std::vector<history::TimeSpan> gaps =
        watched.gapsIn({probes.front().sentAt(), latest}, latest);
    history::ProbeRecord merged(m_hosts.capacityPerHost());
    auto earlier = probes.begin();
    auto later = shown.begin();
    auto gap = gaps.begin();
    while (earlier != probes.end() || later != shown.end()) {
        const bool takeEarlier = later == shown.end() ||
                                 (earlier != probes.end() && earlier->sentAt() <= later->sentAt());
        const history::ProbeSample &sample = takeEarlier ? *earlier++ : *later++;
        for (; gap != gaps.end() && sample.sentAt() >= gap->to; ++gap)
            merged.recordWatchEnd(gap->from);
        merged.record(sample);
    }
    m_hosts.replace(*host, std::move(merged));
    m_earlierRuns.insert(address, runs);
    m_earlierUntil.insert(address, shown.empty() ? latest : shown.front().sentAt());
    emit replaced();
    emit recorded();
}

} // namespace history_view
