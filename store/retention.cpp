#include "echowatch/store/retention.h"

#include "echowatch/store/minute_rows.h"
#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <vector>

namespace store {

namespace {

struct OldRun
{
    std::int64_t id = 0;
    Milliseconds start = 0;
};

std::vector<OldRun> runsStartedBefore(Connection &connection, Milliseconds time)
{
    Statement select = connection.prepare("SELECT id, started_ms FROM runs WHERE started_ms < ?");
    select.bind(1, time);
    std::vector<OldRun> runs;
    while (select.nextRow())
        runs.push_back(OldRun{select.integer(0), select.integer(1)});
    return runs;
}

// Through the same summary the writer keeps as minutes end, so a folded
// minute reads as one the writer wrote. A minute the writer did write is
// kept as it is.
bool foldProbes(Connection &connection, const OldRun &run, Milliseconds before)
{
    Statement select = connection.prepare("SELECT at_ms, status, rtt_us, bytes FROM probes "
                                          "WHERE run = ? AND at_ms < ? ORDER BY at_ms");
    Statement insert = prepareMinuteInsert(connection, ExistingMinute::Keep);
    select.bind(1, run.id).bind(2, before - run.start);
    return foldMinutes(select, run.start, [&](const StoredMinute &minute) {
        return insertMinute(insert, run.id, minute);
    });
}

bool deleteForRun(Connection &connection, const char *sql, std::int64_t run, Milliseconds value)
{
    Statement statement = connection.prepare(sql);
    return statement.bind(1, run).bind(2, value).run();
}

bool pruneRun(Connection &connection, const OldRun &run, Milliseconds probeCutoff,
              Milliseconds summaryCutoff)
{
    return foldProbes(connection, run, probeCutoff) &&
           deleteForRun(connection, "DELETE FROM probes WHERE run = ? AND at_ms < ?", run.id,
                        probeCutoff - run.start) &&
           deleteForRun(connection, "DELETE FROM minutes WHERE run = ? AND minute_ms < ?", run.id,
                        summaryCutoff) &&
           deleteForRun(connection,
                        "DELETE FROM outages WHERE run = ? AND "
                        "coalesce(end_ms, last_failure_ms) < ?",
                        run.id, summaryCutoff);
}

constexpr const char *DeleteEmpty = R"(
DELETE FROM runs WHERE
    NOT EXISTS (SELECT 1 FROM probes WHERE probes.run = runs.id) AND
    NOT EXISTS (SELECT 1 FROM minutes WHERE minutes.run = runs.id) AND
    NOT EXISTS (SELECT 1 FROM outages WHERE outages.run = runs.id);
DELETE FROM hosts WHERE NOT EXISTS (SELECT 1 FROM runs WHERE runs.host = hosts.id);
)";

} // namespace

bool applyRetention(Connection &connection, Milliseconds now, const RetentionPolicy &policy,
                    std::string &error)
{
    // Whole minutes go, so a minute is either all in probes or all folded.
    const Milliseconds probeCutoff = minuteOf(now - policy.probeDays * MillisecondsPerDay);
    // Summaries are never kept for less time than probes: they are what is
    // left of a probe.
    const Milliseconds summaryCutoff =
        std::min(probeCutoff, minuteOf(now - policy.summaryDays * MillisecondsPerDay));
    if (!connection.execute("BEGIN IMMEDIATE")) {
        error = connection.lastError();
        return false;
    }
    bool pruned = true;
    for (const OldRun &run : runsStartedBefore(connection, probeCutoff))
        pruned = pruned && pruneRun(connection, run, probeCutoff, summaryCutoff);
    if (pruned && connection.execute(DeleteEmpty) && connection.execute("COMMIT"))
        return true;
    error = connection.lastError();
    connection.execute("ROLLBACK");
    return false;
}

} // namespace store
