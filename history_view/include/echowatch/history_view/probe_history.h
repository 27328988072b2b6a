#pragma once

#include "echowatch/history/host_records.h"

#include <QHash>
#include <QObject>

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

signals:
    // After each probe is recorded, for the History window while it is open.
    void recorded();
    // After earlier runs were added: what was shown may have changed.
    void replaced();

private:
    void recordProbe(const probe::ProbeEvent &event);

    history::HostRecords m_hosts;
    // Earlier runs merged in, by host address.
    QHash<std::uint32_t, std::size_t> m_earlierRuns;
};

} // namespace history_view
