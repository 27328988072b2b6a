#include "echowatch/history_view/probe_history.h"

#include "echowatch/probe/probe_details.h"
#include "echowatch/window/form1.h"

#include <chrono>

namespace history_view {

ProbeHistory::ProbeHistory(Form1 &window) : QObject(&window)
{
    setObjectName(QStringLiteral("ProbeHistory"));
    connect(&window, &Form1::probeShown, this, &ProbeHistory::recordProbe);
}

void ProbeHistory::recordProbe(const probe::ProbeEvent &event)
{
    using namespace std::chrono;
    const auto sentAt = duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    m_hosts.record(event.details.destination,
                   history::ProbeSample(sentAt, event.status, event.details.roundTripMicroseconds,
                                        event.replySize));
    emit recorded();
}

void ProbeHistory::noteWhere(std::uint32_t address, qint64 outageStart, const QString &verdict)
{
    m_where[address][outageStart] = verdict.toStdString();
    emit whereNoted();
}

namespace {

// Where nothing probed between two runs, or between the latest earlier run
// and this one.
std::vector<history::TimeSpan> gapsBetween(std::vector<history::TimeSpan> runs,
                                           const std::vector<history::ProbeSample> &shown)
{
    if (!shown.empty())
        runs.push_back({shown.front().sentAt(), shown.back().sentAt() + 1});
    std::vector<history::TimeSpan> gaps;
    for (std::size_t index = 1; index < runs.size(); ++index) {
        if (runs[index - 1].to < runs[index].from)
            gaps.push_back({runs[index - 1].to, runs[index].from});
    }
    return gaps;
}

} // namespace

// The record is rebuilt in time order, the earlier probes merged with the
// ones shown so far; an outage a run ended in ends with it.
void ProbeHistory::addEarlierRuns(std::uint32_t address,
                                  const std::vector<history::ProbeSample> &probes,
                                  const std::vector<history::TimeSpan> &runs)
{
    const auto host = m_hosts.find(address);
    // Summaries of this run cannot be merged probe by probe.
    if (probes.empty() || !host || !m_hosts.at(*host).summaries().empty())
        return;
    std::vector<history::ProbeSample> shown;
    for (const auto part : m_hosts.at(*host).retainedFrom(0))
        shown.insert(shown.end(), part.begin(), part.end());
    const std::vector<history::TimeSpan> gaps = gapsBetween(runs, shown);
    history::ProbeRecord merged(m_hosts.capacityPerHost());
    auto earlier = probes.begin();
    auto later = shown.begin();
    auto gap = gaps.begin();
    while (earlier != probes.end() || later != shown.end()) {
        const bool takeEarlier = later == shown.end() ||
                                 (earlier != probes.end() && earlier->sentAt() <= later->sentAt());
        const history::ProbeSample &sample = takeEarlier ? *earlier++ : *later++;
        for (; gap != gaps.end() && sample.sentAt() >= gap->to; ++gap)
            merged.recordGap(gap->from);
        merged.record(sample);
    }
    m_hosts.replace(*host, std::move(merged));
    m_earlierRuns.insert(address, runs.size());
    emit replaced();
    emit recorded();
}

} // namespace history_view
