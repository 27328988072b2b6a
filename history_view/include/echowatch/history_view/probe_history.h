#pragma once

#include "echowatch/history/host_records.h"
#include "echowatch/history/watched_time.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace host {
class HostEventSignals;
struct ProbeTaken;
} // namespace host

namespace history_view {

// The record of every probe the window shows, one series per host, when
// each host was watched, and when the host monitor called it slow or
// flapping, kept from the host monitor's events alone.
// Owned by the window; writes nothing anywhere.
class ProbeHistory : public QObject
{
    Q_OBJECT

public:
    // events must outlive the history.
    ProbeHistory(QObject &owner, const host::HostEventSignals &events);

    const history::HostRecords &hosts() const noexcept { return m_hosts; }
    // When the host was watched, this run and the earlier ones added.
    const history::WatchedTime &watched(history::HostAddress address) const;

    // Adds the probes of earlier runs of the host, read from the history
    // file, before those shown since, with the watches they were taken in
    // (and how many runs they made). Once per host: a second call changes
    // nothing.
    void addEarlierRuns(std::uint32_t address, const std::vector<history::ProbeSample> &probes,
                        const std::vector<history::TimeSpan> &watches, std::size_t runs);
    // Adds the host's slow periods of earlier runs, read from the history
    // file with them.
    void addEarlierSlowPeriods(std::uint32_t address,
                               const std::vector<history::TimeSpan> &periods);
    std::size_t earlierRuns(std::uint32_t address) const noexcept
    {
        return m_earlierRuns.value(address, 0);
    }
    // Where this run's probes of the host begin after the earlier runs'.
    history::Milliseconds earlierRunsUntil(std::uint32_t address) const noexcept
    {
        return m_earlierUntil.value(address, 0);
    }

    // The history file the host's earlier probes are kept in, if any: the
    // History window reads the spans beyond the record from it.
    void setHistoryFile(const QString &path);
    const QString &historyFile() const noexcept { return m_historyFile; }

    // When the host was slow, and when it flapped (from the first down
    // counted to its settling), oldest first; one going on ends at `now`.
    std::vector<history::TimeSpan> slowPeriods(std::uint32_t address,
                                               history::Milliseconds now) const;
    std::vector<history::TimeSpan> flappingStretches(std::uint32_t address,
                                                     history::Milliseconds now) const;

    // Where the path to the host broke in the outage that started then.
    void noteWhere(std::uint32_t address, qint64 outageStart, const QString &verdict);
    // The verdicts of the host's outages, by start; the reference stays
    // valid as long as the history.
    const history::OutageWhere &where(std::uint32_t address) const { return m_where[address]; }

signals:
    // After noteWhere.
    void whereNoted();
    // After each probe is recorded, and after a watch ended, for the
    // History window while it is open.
    void recorded();
    // After earlier runs were added: what was shown may have changed.
    void replaced();
    void historyFileChanged();

private:
    // Stretches of one kind for one host: those ended, and the one going on.
    struct Stretches
    {
        std::vector<history::TimeSpan> ended;
        std::optional<history::Milliseconds> since;

        void end(history::Milliseconds at);
        std::vector<history::TimeSpan> upTo(history::Milliseconds now) const;
    };

    void recordProbe(const host::ProbeTaken &taken);
    void listenForStretches(const host::HostEventSignals &events);
    void endWatch(std::uint32_t address, history::Milliseconds at);

    history::HostRecords m_hosts;
    std::map<std::uint32_t, history::WatchedTime> m_watched;
    std::map<std::uint32_t, Stretches> m_slow;
    std::map<std::uint32_t, Stretches> m_flapping;
    // Earlier runs merged in, by host address.
    QHash<std::uint32_t, std::size_t> m_earlierRuns;
    QHash<std::uint32_t, history::Milliseconds> m_earlierUntil;
    // Beside the records, which are rebuilt when earlier runs come in; a
    // map, so that a host's entry stays where it is as others are added.
    mutable std::map<std::uint32_t, history::OutageWhere> m_where;
    QString m_historyFile;
};

} // namespace history_view
