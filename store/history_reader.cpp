#include "echowatch/store/history_reader.h"

#include "echowatch/store/history_rows.h"
#include "echowatch/store/minute_rows.h"
#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace store {

namespace {

constexpr Milliseconds Never = std::numeric_limits<Milliseconds>::max();

struct ReadRun
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
    std::vector<ReadRun> runsOf(std::string_view address);
    Milliseconds endOf(const ReadRun &run);
    void readProbes(std::vector<ReadRun> &runs, std::size_t probesInFull,
                    std::vector<history::ProbeSample> &probes);
    void readMinutes(const ReadRun &run, std::vector<StoredMinute> &minutes);
    std::optional<Milliseconds> valueOf(const char *sql, const ReadRun &run);
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

std::optional<Milliseconds> Reader::valueOf(const char *sql, const ReadRun &run)
{
    bool failed = false;
    const std::optional<Milliseconds> value = valueForRun(m_connection, sql, run.id, failed);
    if (failed)
        fail();
    return value;
}

// A run's latest minute may have outlived its probes.
Milliseconds Reader::endOf(const ReadRun &run)
{
    const Milliseconds minuteEnd =
        valueOf("SELECT max(last_ms) FROM minutes WHERE run = ?", run).value_or(0);
    return std::max(run.lastProbe == Never ? 0 : run.lastProbe, minuteEnd);
}

std::vector<ReadRun> Reader::runsOf(std::string_view address)
{
    const std::optional<std::vector<RunRow>> rows = runsBefore(m_connection, address, m_span.to);
    if (!rows)
        fail();
    std::vector<ReadRun> runs;
    for (const RunRow &row : rows.value_or(std::vector<RunRow>{})) {
        ReadRun &run = runs.emplace_back(ReadRun{row.id, row.start});
        // Apart, so that each is one step down the key.
        const auto probeAt = [&](const char *sql) {
            const std::optional<Milliseconds> at = valueOf(sql, run);
            return at ? run.start + *at : Never;
        };
        run.firstProbe = probeAt("SELECT min(at_ms) FROM probes WHERE run = ?");
        run.lastProbe = probeAt("SELECT max(at_ms) FROM probes WHERE run = ?");
    }
    return runs;
}

// The latest runs first, each from its latest probe back, until
// probesInFull are read; where that stops inside a run, its probes from
// the next whole minute on are kept and the rest of it is read by minute.
void Reader::readProbes(std::vector<ReadRun> &runs, std::size_t probesInFull,
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
void Reader::readMinutes(const ReadRun &run, std::vector<StoredMinute> &minutes)
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

bool Reader::read(std::string_view address, std::size_t probesInFull, HostHistory &history)
{
    if (!readWatches(m_connection, address, m_span, history.watches) ||
        !readSlowPeriods(m_connection, address, m_span, history.slowPeriods))
        fail();
    std::vector<ReadRun> runs = runsOf(address);
    std::erase_if(runs, [&](const ReadRun &run) { return endOf(run) < m_span.from; });
    readProbes(runs, probesInFull, history.probes);
    for (const ReadRun &run : runs) {
        history.runs.push_back(StoredRun{run.start, endOf(run)});
        readMinutes(run, history.minutes);
        if (!readOutages(m_connection, run.id, m_span, history.outages))
            fail();
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
    return readInTransaction<HostHistory>(connection, error, [&](HostHistory &history) {
        Reader reader(connection, span);
        if (reader.read(address, probesInFull, history))
            return true;
        error = reader.error();
        return false;
    });
}

} // namespace store
