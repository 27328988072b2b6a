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

// Every read checks that its statement reached the end of its rows: a read
// that stopped at an error (a lock held past the bound, a damaged page)
// fails the whole history rather than leaving it shorter.
class Reader
{
public:
    Reader(Connection &connection, history::TimeSpan span) : m_connection(connection), m_span(span)
    {}

    bool read(std::string_view address, std::size_t probesInFull, HostHistory &history);
    // Why the first read that failed did.
    const std::string &error() const noexcept { return m_error; }

private:
    std::vector<RunRow> runsOf(std::string_view address);
    Milliseconds endOf(const RunRow &run);
    void readProbes(std::vector<RunRow> &runs, std::size_t probesInFull,
                    std::vector<history::ProbeSample> &probes);
    void readMinutes(const RunRow &run, std::vector<StoredMinute> &minutes);
    void readOutages(const RunRow &run, std::vector<StoredOutage> &outages);
    void readWatches(std::string_view address, std::vector<StoredWatch> &watches);
    std::optional<Milliseconds> singleValue(Statement &select);
    // Notes whether the statement's rows were all read.
    void check(const Statement &select);
    void fail();

    Connection &m_connection;
    history::TimeSpan m_span;
    bool m_failed = false;
    std::string m_error;
};

void Reader::check(const Statement &select)
{
    if (!select.finished())
        fail();
}

// The later reads would replace the connection's message.
void Reader::fail()
{
    if (!m_failed)
        m_error = m_connection.lastError();
    m_failed = true;
}

// The one row an aggregate always gives; none when it is NULL.
std::optional<Milliseconds> Reader::singleValue(Statement &select)
{
    if (!select.nextRow()) {
        fail();
        return std::nullopt;
    }
    const std::optional<Milliseconds> value = select.optionalInteger(0);
    select.reset();
    return value;
}

// A run's latest minute may have outlived its probes.
Milliseconds Reader::endOf(const RunRow &run)
{
    Statement select = m_connection.prepare("SELECT max(last_ms) FROM minutes WHERE run = ?");
    select.bind(1, run.id);
    const Milliseconds minuteEnd = singleValue(select).value_or(0);
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
    check(select);
    // Apart, so that each is one step down the key.
    Statement first = m_connection.prepare("SELECT min(at_ms) FROM probes WHERE run = ?");
    Statement last = m_connection.prepare("SELECT max(at_ms) FROM probes WHERE run = ?");
    for (RunRow &run : runs) {
        const auto probeAt = [&](Statement &select) {
            const std::optional<Milliseconds> at = singleValue(select.bind(1, run.id));
            return at ? run.start + *at : Never;
        };
        run.firstProbe = probeAt(first);
        run.lastProbe = probeAt(last);
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
        check(select);
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
void Reader::readMinutes(const RunRow &run, std::vector<StoredMinute> &minutes)
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
    check(select);
    if (run.lastProbe == Never || run.lastProbe < summedTo || summedTo >= to)
        return;
    Statement probes = m_connection.prepare("SELECT at_ms, status, rtt_us, bytes FROM probes "
                                            "WHERE run = ? AND at_ms >= ? AND at_ms < ? "
                                            "ORDER BY at_ms");
    probes.bind(1, run.id).bind(2, summedTo - run.start).bind(3, to - run.start);
    foldMinutes(probes, run.start, [&](const StoredMinute &minute) {
        minutes.push_back(minute);
        return true;
    });
    check(probes);
}

void Reader::readOutages(const RunRow &run, std::vector<StoredOutage> &outages)
{
    Statement select = m_connection.prepare(
        "SELECT start_ms, last_failure_ms, end_ms, lost, cause, mixed, path_verdict, ended_by, "
        "side FROM outages WHERE run = ? AND start_ms < ? AND "
        "coalesce(end_ms, last_failure_ms) >= ? ORDER BY start_ms");
    select.bind(1, run.id).bind(2, m_span.to).bind(3, m_span.from);
    while (select.nextRow()) {
        outages.push_back(StoredOutage{select.integer(0), select.integer(1),
                                       select.optionalInteger(2),
                                       static_cast<std::uint64_t>(select.integer(3)),
                                       static_cast<EchoStatus>(select.integer(4)),
                                       select.integer(5) != 0, select.optionalText(6),
                                       outageEndFromText(select.optionalText(7)),
                                       select.optionalText(8)});
    }
    check(select);
}

// Those that overlap the span; one whose end was never written ends at its
// latest probe or commit.
void Reader::readWatches(std::string_view address, std::vector<StoredWatch> &watches)
{
    Statement select = m_connection.prepare(
        "SELECT started_ms, coalesce(ended_ms, through_ms), end_reason FROM watches "
        "JOIN hosts ON hosts.id = watches.host WHERE hosts.address = ? AND started_ms < ? AND "
        "coalesce(ended_ms, through_ms) >= ? ORDER BY started_ms");
    select.bind(1, address).bind(2, m_span.to).bind(3, m_span.from);
    while (select.nextRow()) {
        watches.push_back(StoredWatch{select.integer(0), select.integer(1),
                                      reasonFromText(select.optionalText(2))});
    }
    check(select);
}

bool Reader::read(std::string_view address, std::size_t probesInFull, HostHistory &history)
{
    readWatches(address, history.watches);
    std::vector<RunRow> runs = runsOf(address);
    std::erase_if(runs, [&](const RunRow &run) { return endOf(run) < m_span.from; });
    readProbes(runs, probesInFull, history.probes);
    for (const RunRow &run : runs) {
        history.runs.push_back(StoredRun{run.start, endOf(run)});
        readMinutes(run, history.minutes);
        readOutages(run, history.outages);
        if (m_failed)
            return false;
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
    return !m_failed;
}

} // namespace

std::optional<HostHistory> readHostHistory(Connection &connection, std::string_view address,
                                           history::TimeSpan span, std::size_t probesInFull,
                                           std::string &error)
{
    // One transaction, so that the reads see the file as it was at one
    // moment while other windows go on writing.
    if (!connection.execute("BEGIN")) {
        error = connection.lastError();
        return std::nullopt;
    }
    // A file no window wrote in yet has no tables: its history is empty.
    Statement tables =
        connection.prepare("SELECT count(*) FROM sqlite_schema WHERE name = 'runs'");
    const bool looked = tables.nextRow();
    if (!looked || tables.integer(0) == 0) {
        error = looked ? std::string() : connection.lastError();
        tables.reset();
        connection.execute("ROLLBACK");
        return looked ? std::optional<HostHistory>(HostHistory{}) : std::nullopt;
    }
    tables.reset();
    HostHistory history;
    Reader reader(connection, span);
    if (!reader.read(address, probesInFull, history)) {
        error = reader.error();
        connection.execute("ROLLBACK");
        return std::nullopt;
    }
    if (!connection.execute("COMMIT")) {
        error = connection.lastError();
        connection.execute("ROLLBACK");
        return std::nullopt;
    }
    return history;
}

} // namespace store
