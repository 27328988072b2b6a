#include "echowatch/store/retention.h"

#include "echowatch/store/history_rows.h"
#include "echowatch/store/minute_rows.h"
#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace store {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest pause between two transactions.
constexpr std::chrono::milliseconds LongestPause{100};

using OldRun = RunRow;

// A step of the retention, in a transaction of its own: whether it was
// done, and whether more of the same is left.
struct StepResult
{
    bool done = false;
    bool moreLeft = false;
};

class Retention
{
public:
    Retention(Connection &connection, const RetentionPolicy &policy, const GoOn &goOn)
        : m_connection(connection), m_rows(std::max<std::size_t>(policy.rowsPerTransaction, 1)),
          m_goOn(goOn)
    {}

    bool run(Milliseconds probeCutoff, Milliseconds summaryCutoff);

private:
    template <typename Step> bool inTransactions(Step step);
    std::optional<std::vector<OldRun>> runsToPrune(Milliseconds probeCutoff,
                                                   Milliseconds summaryCutoff);
    std::optional<Milliseconds> keyBeyondBatch(const char *sql, std::int64_t run,
                                               Milliseconds limit);
    std::optional<Milliseconds> firstProbe(const OldRun &run);
    StepResult foldSome(const OldRun &run, Milliseconds cutoff);
    StepResult deleteSome(const char *keySql, const char *deleteSql, std::int64_t run,
                          Milliseconds cutoff);
    StepResult deleteWatches(Milliseconds cutoff);
    StepResult deleteTheRest(Milliseconds cutoff);

    Connection &m_connection;
    const std::size_t m_rows;
    const GoOn &m_goOn;
    bool m_stopped = false;
};

// Each step in its own immediate transaction, until it leaves nothing to
// do or the retention is told to stop; after one that changed the file, a
// pause as long as it took (within bounds) in which another connection
// can take the lock.
template <typename Step> bool Retention::inTransactions(Step step)
{
    for (StepResult result{true, true}; result.moreLeft && !m_stopped;) {
        const auto started = SteadyClock::now();
        const std::int64_t changesBefore = m_connection.totalChanges();
        if (!m_connection.execute("BEGIN IMMEDIATE"))
            return false;
        result = step();
        if (!result.done || !m_connection.execute("COMMIT")) {
            m_connection.execute("ROLLBACK");
            return false;
        }
        if (m_connection.totalChanges() == changesBefore)
            return true;
        std::this_thread::sleep_for(std::clamp<SteadyClock::duration>(
            SteadyClock::now() - started, std::chrono::milliseconds{1}, LongestPause));
        m_stopped = m_goOn && !m_goOn();
    }
    return true;
}

// The runs that hold something older than the policy keeps, each found by
// a step down its keys.
std::optional<std::vector<OldRun>> Retention::runsToPrune(Milliseconds probeCutoff,
                                                          Milliseconds summaryCutoff)
{
    Statement select = m_connection.prepare(
        "SELECT id, started_ms FROM runs WHERE started_ms < ?1 AND ("
        "EXISTS (SELECT 1 FROM probes WHERE run = runs.id AND at_ms < ?1 - runs.started_ms) OR "
        "EXISTS (SELECT 1 FROM minutes WHERE run = runs.id AND minute_ms < ?2) OR "
        "EXISTS (SELECT 1 FROM hours WHERE run = runs.id AND hour_ms < ?2) OR "
        "EXISTS (SELECT 1 FROM outages WHERE run = runs.id AND start_ms < ?2)) ORDER BY id");
    select.bind(1, probeCutoff).bind(2, summaryCutoff);
    std::vector<OldRun> runs;
    if (!appendRows(select, runs,
                    [](const Statement &row) { return OldRun{row.integer(0), row.integer(1)}; }))
        return std::nullopt;
    return runs;
}

// The key of the row `m_rows` places after the first below the limit; none
// when no more than that are left.
std::optional<Milliseconds> Retention::keyBeyondBatch(const char *sql, std::int64_t run,
                                                      Milliseconds limit)
{
    Statement select = m_connection.prepare(sql);
    select.bind(1, run).bind(2, limit).bind(3, static_cast<std::int64_t>(m_rows));
    if (!select.nextRow())
        return std::nullopt;
    const Milliseconds key = select.integer(0);
    select.reset();
    return key;
}

std::optional<Milliseconds> Retention::firstProbe(const OldRun &run)
{
    bool failed = false;
    const std::optional<Milliseconds> at =
        valueForRun(m_connection, "SELECT min(at_ms) FROM probes WHERE run = ?", run.id, failed);
    return at ? std::optional<Milliseconds>(run.start + *at) : std::nullopt;
}

// Whole minutes of the oldest probes, through the same summary the writer
// keeps as minutes end, so a folded minute reads as one the writer wrote;
// a minute the writer did write is kept as it is.
StepResult Retention::foldSome(const OldRun &run, Milliseconds cutoff)
{
    const std::optional<Milliseconds> beyond = keyBeyondBatch(
        "SELECT at_ms FROM probes WHERE run = ? AND at_ms < ? ORDER BY at_ms LIMIT 1 OFFSET ?",
        run.id, cutoff - run.start);
    Milliseconds before = beyond ? minuteOf(run.start + *beyond) : cutoff;
    // A single minute of more probes than a transaction takes goes whole.
    if (const std::optional<Milliseconds> first = firstProbe(run);
        beyond && first && before <= minuteOf(*first))
        before = minuteOf(*first) + history::MillisecondsPerMinute;
    Statement select = m_connection.prepare("SELECT at_ms, status, rtt_us, bytes FROM probes "
                                            "WHERE run = ? AND at_ms < ? ORDER BY at_ms");
    Statement insert = prepareMinuteInsert(m_connection, ExistingMinute::Keep);
    Statement erase = m_connection.prepare("DELETE FROM probes WHERE run = ? AND at_ms < ?");
    select.bind(1, run.id).bind(2, before - run.start);
    const bool folded = foldMinutes(select, run.start, [&](const StoredMinute &minute) {
        return insertMinute(insert, run.id, minute);
    });
    const bool done =
        folded && select.finished() && erase.bind(1, run.id).bind(2, before - run.start).run();
    return {done, beyond.has_value()};
}

// At most a transaction's rows of one run's below the cutoff.
StepResult Retention::deleteSome(const char *keySql, const char *deleteSql, std::int64_t run,
                                 Milliseconds cutoff)
{
    const std::optional<Milliseconds> beyond = keyBeyondBatch(keySql, run, cutoff);
    Statement erase = m_connection.prepare(deleteSql);
    const bool done = erase.bind(1, run).bind(2, beyond.value_or(cutoff)).bind(3, cutoff).run();
    return {done, beyond.has_value()};
}

StepResult Retention::deleteWatches(Milliseconds cutoff)
{
    Statement erase =
        m_connection.prepare("DELETE FROM watches WHERE id IN (SELECT id FROM watches WHERE "
                             "coalesce(ended_ms, through_ms) < ? LIMIT ?)");
    const std::int64_t before = m_connection.totalChanges();
    const bool done = erase.bind(1, cutoff).bind(2, static_cast<std::int64_t>(m_rows)).run();
    return {done, m_connection.totalChanges() - before >= static_cast<std::int64_t>(m_rows)};
}

constexpr const char *NthMinute = "SELECT minute_ms FROM minutes WHERE run = ? AND minute_ms < ? "
                                  "ORDER BY minute_ms LIMIT 1 OFFSET ?";
constexpr const char *DeleteMinutes =
    "DELETE FROM minutes WHERE run = ?1 AND minute_ms < ?2 AND minute_ms < ?3";
constexpr const char *NthHour = "SELECT hour_ms FROM hours WHERE run = ? AND hour_ms < ? "
                                "ORDER BY hour_ms LIMIT 1 OFFSET ?";
// An hour goes with its last minute.
constexpr const char *DeleteHours =
    "DELETE FROM hours WHERE run = ?1 AND hour_ms < ?2 AND hour_ms + 3600000 <= ?3";
constexpr const char *NthOutage = "SELECT start_ms FROM outages WHERE run = ? AND start_ms < ? "
                                  "ORDER BY start_ms LIMIT 1 OFFSET ?";
constexpr const char *DeleteOutages = "DELETE FROM outages WHERE run = ?1 AND start_ms < ?2 AND "
                                      "coalesce(end_ms, last_failure_ms) < ?3";

// Slow periods are a few a day; runs and hosts are dropped when nothing of
// them is left.
StepResult Retention::deleteTheRest(Milliseconds cutoff)
{
    Statement slow =
        m_connection.prepare("DELETE FROM slow_periods WHERE coalesce(end_ms, start_ms) < ?");
    const bool done = slow.bind(1, cutoff).run() && m_connection.execute(R"(
DELETE FROM runs WHERE
    NOT EXISTS (SELECT 1 FROM probes WHERE probes.run = runs.id) AND
    NOT EXISTS (SELECT 1 FROM minutes WHERE minutes.run = runs.id) AND
    NOT EXISTS (SELECT 1 FROM hours WHERE hours.run = runs.id) AND
    NOT EXISTS (SELECT 1 FROM outages WHERE outages.run = runs.id);
DELETE FROM hosts WHERE
    NOT EXISTS (SELECT 1 FROM runs WHERE runs.host = hosts.id) AND
    NOT EXISTS (SELECT 1 FROM watches WHERE watches.host = hosts.id) AND
    NOT EXISTS (SELECT 1 FROM slow_periods WHERE slow_periods.host = hosts.id);
)");
    return {done, false};
}

bool Retention::run(Milliseconds probeCutoff, Milliseconds summaryCutoff)
{
    const std::optional<std::vector<OldRun>> runs = runsToPrune(probeCutoff, summaryCutoff);
    if (!runs)
        return false;
    for (const OldRun &old : *runs) {
        if (!inTransactions([&] { return foldSome(old, probeCutoff); }) ||
            !inTransactions(
                [&] { return deleteSome(NthMinute, DeleteMinutes, old.id, summaryCutoff); }) ||
            !inTransactions(
                [&] { return deleteSome(NthHour, DeleteHours, old.id, summaryCutoff); }) ||
            !inTransactions(
                [&] { return deleteSome(NthOutage, DeleteOutages, old.id, summaryCutoff); }))
            return false;
    }
    return inTransactions([&] { return deleteWatches(summaryCutoff); }) &&
           inTransactions([&] { return deleteTheRest(summaryCutoff); });
}

} // namespace

bool applyRetention(Connection &connection, Milliseconds now, const RetentionPolicy &policy,
                    std::string &error, const GoOn &goOn)
{
    // Whole minutes go, so a minute is either all in probes or all folded.
    const Milliseconds probeCutoff = minuteOf(now - policy.probeDays * MillisecondsPerDay);
    // Summaries are never kept for less time than probes: they are what is
    // left of a probe.
    const Milliseconds summaryCutoff =
        std::min(probeCutoff, minuteOf(now - policy.summaryDays * MillisecondsPerDay));
    if (Retention(connection, policy, goOn).run(probeCutoff, summaryCutoff))
        return true;
    error = connection.lastError();
    return false;
}

} // namespace store
