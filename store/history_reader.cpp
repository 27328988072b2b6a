#include "echowatch/store/history_reader.h"

#include "echowatch/store/minute_rows.h"
#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace store {

namespace {

constexpr Milliseconds Never = std::numeric_limits<Milliseconds>::max();

struct RunRow
{
    std::int64_t id = 0;
    Milliseconds start = 0;
    // Its first and latest probe still in the file, Never when none is.
    Milliseconds firstProbe = Never;
    Milliseconds lastProbe = Never;
    // From here on the run is read probe by probe; before, by the minute.
    Milliseconds probesFrom = Never;
};

class Reader
{
public:
    Reader(Connection &connection, history::TimeSpan span) : m_connection(connection), m_span(span)
    {}

    bool read(std::string_view address, std::size_t probesInFull, HostHistory &history);

private:
    std::vector<RunRow> runsOf(std::string_view address);
    Milliseconds endOf(const RunRow &run);
    void readProbes(std::vector<RunRow> &runs, std::size_t probesInFull,
                    std::vector<history::ProbeSample> &probes);
    bool readMinutes(const RunRow &run, std::vector<StoredMinute> &minutes);
    void readOutages(const RunRow &run, std::vector<StoredOutage> &outages);
    std::optional<Milliseconds> probeAt(const char *sql, const RunRow &run);

    Connection &m_connection;
    history::TimeSpan m_span;
};

std::optional<Milliseconds> Reader::probeAt(const char *sql, const RunRow &run)
{
    Statement select = m_connection.prepare(sql);
    select.bind(1, run.id);
    if (!select.nextRow() || select.isNull(0))
        return std::nullopt;
    return run.start + select.integer(0);
}

// A run's latest minute may have outlived its probes.
Milliseconds Reader::endOf(const RunRow &run)
{
    Statement select = m_connection.prepare("SELECT max(last_ms) FROM minutes WHERE run = ?");
    select.bind(1, run.id);
    const Milliseconds minuteEnd = select.nextRow() && !select.isNull(0) ? select.integer(0) : 0;
    return std::max(run.lastProbe == Never ? 0 : run.lastProbe, minuteEnd);
}

std::vector<RunRow> Reader::runsOf(std::string_view address)
{
    Statement select = m_connection.prepare(
        "SELECT runs.id, started_ms FROM runs JOIN hosts ON hosts.id = runs.host "
        "WHERE hosts.address = ? AND started_ms < ? ORDER BY started_ms");
    select.bind(1, address).bind(2, m_span.to);
    std::vector<RunRow> runs;
    while (select.nextRow())
        runs.push_back(RunRow{select.integer(0), select.integer(1)});
    for (RunRow &run : runs) {
        // Apart, so that each is one step down the key.
        run.firstProbe =
            probeAt("SELECT min(at_ms) FROM probes WHERE run = ?", run).value_or(Never);
        run.lastProbe = probeAt("SELECT max(at_ms) FROM probes WHERE run = ?", run).value_or(Never);
    }
    return runs;
}

// The latest runs first, each from its latest probe back, until
// probesInFull are read; where that stops inside a run, its probes from
// the next whole minute on are kept and the rest of it is read by minute.
void Reader::readProbes(std::vector<RunRow> &runs, std::size_t probesInFull,
                        std::vector<history::ProbeSample> &probes)
{
    Statement select = m_connection.prepare(
        "SELECT at_ms, status, rtt_us, bytes FROM probes WHERE run = ? AND at_ms >= ? "
        "AND at_ms < ? ORDER BY at_ms DESC LIMIT ?");
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const std::size_t room = probesInFull - probes.size();
        if (room == 0 || run->firstProbe == Never)
            continue;
        const std::size_t before = probes.size();
        select.bind(1, run->id)
            .bind(2, m_span.from - run->start)
            .bind(3, m_span.to - run->start)
            .bind(4, static_cast<std::int64_t>(room + 1));
        while (select.nextRow())
            probes.push_back(readProbe(select, run->start));
        run->probesFrom = std::max(m_span.from, minuteOf(run->firstProbe));
        if (probes.size() - before <= room)
            continue;
        run->probesFrom = minuteOf(probes.back().sentAt()) + history::MillisecondsPerMinute;
        while (!probes.empty() && probes.back().sentAt() < run->probesFrom)
            probes.pop_back();
    }
    std::reverse(probes.begin(), probes.end());
}

// The run's summaries before its probes; the tail of a run whose writer was
// killed before it summed its last minute is summed from its probes here.
bool Reader::readMinutes(const RunRow &run, std::vector<StoredMinute> &minutes)
{
    const Milliseconds to = std::min(run.probesFrom, m_span.to);
    Statement select = m_connection.prepare(std::string("SELECT ") + MinuteColumns +
                                            " FROM minutes WHERE run = ? AND minute_ms >= ? AND "
                                            "minute_ms < ? ORDER BY minute_ms");
    select.bind(1, run.id).bind(2, m_span.from).bind(3, to);
    Milliseconds summedTo = m_span.from;
    while (select.nextRow()) {
        minutes.push_back(readMinute(select, 0));
        summedTo = minutes.back().minuteStart + history::MillisecondsPerMinute;
    }
    if (run.lastProbe == Never || run.lastProbe < summedTo || summedTo >= to)
        return true;
    Statement probes = m_connection.prepare("SELECT at_ms, status, rtt_us, bytes FROM probes "
                                            "WHERE run = ? AND at_ms >= ? AND at_ms < ? "
                                            "ORDER BY at_ms");
    probes.bind(1, run.id).bind(2, summedTo - run.start).bind(3, to - run.start);
    return foldMinutes(probes, run.start, [&](const StoredMinute &minute) {
        minutes.push_back(minute);
        return true;
    });
}

void Reader::readOutages(const RunRow &run, std::vector<StoredOutage> &outages)
{
    Statement select = m_connection.prepare(
        "SELECT start_ms, last_failure_ms, end_ms, lost, cause, mixed, path_verdict FROM outages "
        "WHERE run = ? AND start_ms < ? AND coalesce(end_ms, last_failure_ms) >= ? "
        "ORDER BY start_ms");
    select.bind(1, run.id).bind(2, m_span.to).bind(3, m_span.from);
    while (select.nextRow()) {
        outages.push_back(StoredOutage{select.integer(0), select.integer(1),
                                       select.optionalInteger(2),
                                       static_cast<std::uint64_t>(select.integer(3)),
                                       static_cast<EchoStatus>(select.integer(4)),
                                       select.integer(5) != 0, select.optionalText(6)});
    }
}

bool Reader::read(std::string_view address, std::size_t probesInFull, HostHistory &history)
{
    std::vector<RunRow> runs = runsOf(address);
    std::erase_if(runs, [&](const RunRow &run) { return endOf(run) < m_span.from; });
    readProbes(runs, probesInFull, history.probes);
    for (const RunRow &run : runs) {
        history.runs.push_back(StoredRun{run.start, endOf(run)});
        if (!readMinutes(run, history.minutes))
            return false;
        readOutages(run, history.outages);
    }
    // Two windows watching the host at once leave runs side by side.
    const auto byTime = [](const auto &a, const auto &b) {
        return a.sentAt() < b.sentAt();
    };
    if (!std::is_sorted(history.probes.begin(), history.probes.end(), byTime))
        std::stable_sort(history.probes.begin(), history.probes.end(), byTime);
    std::stable_sort(
        history.minutes.begin(), history.minutes.end(),
        [](const StoredMinute &a, const StoredMinute &b) { return a.minuteStart < b.minuteStart; });
    std::stable_sort(
        history.outages.begin(), history.outages.end(),
        [](const StoredOutage &a, const StoredOutage &b) { return a.start < b.start; });
    return true;
}

} // namespace

std::optional<HostHistory> readHostHistory(Connection &connection, std::string_view address,
                                           history::TimeSpan span, std::size_t probesInFull,
                                           std::string &error)
{
    // A file no window wrote in yet has no tables: its history is empty.
    if (!connection.prepare("SELECT 1 FROM runs").valid())
        return HostHistory{};
    // One transaction, so that the reads see the file as it was at one
    // moment while other windows go on writing.
    if (!connection.execute("BEGIN")) {
        error = connection.lastError();
        return std::nullopt;
    }
    HostHistory history;
    const bool read = Reader(connection, span).read(address, probesInFull, history);
    if (!read)
        error = connection.lastError();
    connection.execute("COMMIT");
    if (!read)
        return std::nullopt;
    return history;
}

} // namespace store
