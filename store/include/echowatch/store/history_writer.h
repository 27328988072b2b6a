#pragma once

#include "echowatch/history/outage_list.h"
#include "echowatch/store/sqlite_connection.h"
#include "echowatch/store/stored_history.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {

// What the window hands over between two commits. Hosts are numbers the
// writer was given with addHost, in the order they were first named.
struct QueuedProbe
{
    std::uint32_t host = 0;
    history::ProbeSample sample;
};

struct QueuedVerdict
{
    std::uint32_t host = 0;
    Milliseconds outageStart = 0;
    std::string verdict;
    // Empty where no class was found: the column stays NULL.
    std::string side;
};

// A stretch the host was slow: its start, and its end once it ended; what
// made it slow, as text.
struct QueuedSlowPeriod
{
    std::uint32_t host = 0;
    Milliseconds start = 0;
    std::optional<Milliseconds> end;
    std::string figures;
};

// A watch that starts (no reason) or ends, after the first `position`
// probes of the batch and before the others.
struct QueuedWatchChange
{
    std::uint32_t host = 0;
    std::size_t position = 0;
    Milliseconds at = 0;
    std::optional<WatchEndReason> end;
};

struct Batch
{
    std::vector<QueuedProbe> probes;
    std::vector<QueuedVerdict> verdicts;
    std::vector<QueuedWatchChange> watches;
    std::vector<QueuedSlowPeriod> slowPeriods;
    // When it was handed over, by the wall clock; 0 when unknown. The
    // watches under way were watched until then.
    Milliseconds handedOverAt = 0;

    bool empty() const noexcept
    {
        return probes.empty() && verdicts.empty() && watches.empty() && slowPeriods.empty();
    }
    void clear() noexcept
    {
        probes.clear();
        verdicts.clear();
        watches.clear();
        slowPeriods.clear();
        handedOverAt = 0;
    }
};

// Writes batches into a history file, each in one transaction, on the thread
// that made it. Each host is watched from a watch's start (or, without one,
// from its first probe) to the watch's end; the probes of a watch form a run
// of this writer; its minutes and hours are summarised as they end and its
// outages kept up to date as they start, grow and end, by an answer or with
// the watch; and the host's slow periods as the host monitor called them.
class HistoryWriter
{
public:
    explicit HistoryWriter(Connection connection);

    // False when the file's tables do not take our statements.
    bool valid() const noexcept;
    void addHost(std::string address);

    // All or nothing: when it fails, neither the file nor this writer keeps
    // any of the batch, so the same batch can be written again.
    bool write(const Batch &batch);
    // Also ends the watches under way, as closed, at the batch's handing
    // over or their latest probe, with their minutes and outages.
    bool writeLast(const Batch &batch);

    std::string lastError() const { return m_error; }
    std::uint64_t commits() const noexcept { return m_commits; }
    Connection &connection() noexcept { return m_connection; }

private:
    struct Run
    {
        std::int64_t id = 0;
        Milliseconds start = 0;
        Milliseconds lastAt = 0;
    };
    struct Watch
    {
        std::int64_t id = 0;
        Milliseconds started = 0;
        Milliseconds through = 0;
    };
    struct HostState
    {
        std::string address;
        std::optional<Watch> watch;
        std::optional<Run> run;
        MinuteSummer minute;
        SummarySum hour;
        Milliseconds hourStart = 0;
        std::optional<history::Outage> outage;
    };
    enum class Ending
    {
        WatchesGoOn,
        WatchesEnd,
    };

    bool writeInTransaction(const Batch &batch, Ending ending);
    bool storeInOrder(const Batch &batch);
    bool changeWatch(const QueuedWatchChange &change);
    bool startWatch(HostState &host, Milliseconds at);
    bool endWatch(HostState &host, Milliseconds at, WatchEndReason why);
    bool writeThrough(HostState &host, Milliseconds handedOverAt);
    bool storeProbe(const QueuedProbe &probe);
    bool startRun(HostState &host, Milliseconds sentAt);
    bool endRun(HostState &host);
    std::optional<std::int64_t> hostId(const std::string &address);
    bool addToMinute(HostState &host, const history::ProbeSample &sample);
    bool writeMinute(HostState &host);
    bool writeHour(HostState &host);
    bool trackOutage(HostState &host, const history::ProbeSample &sample);
    bool writeOutage(const HostState &host, OutageEnd endedBy);
    bool storeVerdict(const QueuedVerdict &verdict);
    bool storeSlowPeriod(const QueuedSlowPeriod &period);

    Connection m_connection;
    Statement m_insertHost;
    Statement m_selectHost;
    Statement m_insertWatch;
    Statement m_updateThrough;
    Statement m_endWatch;
    Statement m_insertRun;
    Statement m_insertProbe;
    Statement m_insertMinute;
    Statement m_insertHour;
    Statement m_upsertOutage;
    Statement m_updateVerdict;
    Statement m_upsertSlowPeriod;
    std::vector<HostState> m_hosts;
    std::string m_error;
    std::uint64_t m_commits = 0;
};

} // namespace store
