#pragma once

#include "echowatch/history/host_records.h"

#include <QHash>
#include <QObject>

#include <map>
#include <string>
#include <vector>

class Form1;

namespace probe {
struct ProbeEvent;
} // namespace probe

namespace history_view {

// The record of every probe the window shows, one series per host, kept
// from the window's signal alone. Owned by the window; writes nothing
// anywhere.
class ProbeHistory : public QObject
{
    Q_OBJECT

public:
    explicit ProbeHistory(Form1 &window);

    const history::HostRecords &hosts() const noexcept { return m_hosts; }

    // Adds the probes of earlier runs of the host, read from the history
    // file, before those shown since; runs are the stretches in which one
    // was running, [first probe, latest probe + 1).
    void addEarlierRuns(std::uint32_t address, const std::vector<history::ProbeSample> &probes,
                        const std::vector<history::TimeSpan> &runs);
    std::size_t earlierRuns(std::uint32_t address) const noexcept
    {
        return m_earlierRuns.value(address, 0);
    }

    // Where the path to the host broke in the outage that started then.
    void noteWhere(std::uint32_t address, qint64 outageStart, const QString &verdict);
    // The verdicts of the host's outages, by start; the reference stays
    // valid as long as the history.
    const history::OutageWhere &where(std::uint32_t address) const { return m_where[address]; }

signals:
    // After noteWhere.
    void whereNoted();
    // After each probe is recorded, for the History window while it is open.
    void recorded();
    // After earlier runs were added: what was shown may have changed.
    void replaced();

private:
    void recordProbe(const probe::ProbeEvent &event);

    history::HostRecords m_hosts;
    // Earlier runs merged in, by host address.
    QHash<std::uint32_t, std::size_t> m_earlierRuns;
    // Beside the records, which are rebuilt when earlier runs come in; a
    // map, so that a host's entry stays where it is as others are added.
    mutable std::map<std::uint32_t, history::OutageWhere> m_where;
};

} // namespace history_view
