#include "echowatch/store/history_rows.h"

namespace store {

bool readWatches(Connection &connection, std::string_view address, history::TimeSpan span,
                 std::vector<StoredWatch> &watches)
{
    Statement select = connection.prepare(
        "SELECT started_ms, coalesce(ended_ms, through_ms), end_reason FROM watches "
        "JOIN hosts ON hosts.id = watches.host WHERE hosts.address = ? AND started_ms < ? AND "
        "coalesce(ended_ms, through_ms) >= ? ORDER BY started_ms");
    select.bind(1, address).bind(2, span.to).bind(3, span.from);
    return appendRows(select, watches, [](const Statement &row) {
        return StoredWatch{row.integer(0), row.integer(1), reasonFromText(row.optionalText(2))};
    });
}

bool readSlowPeriods(Connection &connection, std::string_view address, history::TimeSpan span,
                     std::vector<history::TimeSpan> &periods)
{
    Statement select = connection.prepare(R"(
SELECT start_ms, end_at FROM (
    SELECT start_ms, max(start_ms, coalesce(end_ms,
        (SELECT max(coalesce(ended_ms, through_ms)) FROM watches
         WHERE watches.host = slow_periods.host AND watches.started_ms <= slow_periods.start_ms),
        start_ms)) AS end_at
    FROM slow_periods JOIN hosts ON hosts.id = slow_periods.host
    WHERE hosts.address = ? AND start_ms < ?)
WHERE end_at >= ? ORDER BY start_ms)");
    select.bind(1, address).bind(2, span.to).bind(3, span.from);
    return appendRows(select, periods, [](const Statement &row) {
        return history::TimeSpan{row.integer(0), row.integer(1)};
    });
}

bool readOutages(Connection &connection, std::int64_t run, history::TimeSpan span,
                 std::vector<StoredOutage> &outages)
{
    Statement select = connection.prepare(
        "SELECT start_ms, last_failure_ms, end_ms, lost, cause, mixed, path_verdict, ended_by, "
        "side FROM outages WHERE run = ? AND start_ms < ? AND "
        "coalesce(end_ms, last_failure_ms) >= ? ORDER BY start_ms");
    select.bind(1, run).bind(2, span.to).bind(3, span.from);
    return appendRows(select, outages, [](const Statement &row) {
        return StoredOutage{row.integer(0),
                            row.integer(1),
                            row.optionalInteger(2),
                            static_cast<std::uint64_t>(row.integer(3)),
                            static_cast<EchoStatus>(row.integer(4)),
                            row.integer(5) != 0,
                            row.optionalText(6),
                            outageEndFromText(row.optionalText(7)),
                            row.optionalText(8)};
    });
}

std::optional<std::vector<RunRow>> runsBefore(Connection &connection, std::string_view address,
                                              Milliseconds time)
{
    Statement select = connection.prepare(
        "SELECT runs.id, started_ms FROM runs JOIN hosts ON hosts.id = runs.host "
        "WHERE hosts.address = ? AND started_ms < ? ORDER BY started_ms");
    select.bind(1, address).bind(2, time);
    std::vector<RunRow> runs;
    if (!appendRows(select, runs,
                    [](const Statement &row) { return RunRow{row.integer(0), row.integer(1)}; }))
        return std::nullopt;
    return runs;
}

std::optional<std::int64_t> valueForRun(Connection &connection, const char *sql,
                                        std::int64_t run, bool &failed)
{
    Statement select = connection.prepare(sql);
    select.bind(1, run);
    if (!select.nextRow()) {
        failed = true;
        return std::nullopt;
    }
    const std::optional<std::int64_t> value = select.optionalInteger(0);
    select.reset();
    return value;
}

} // namespace store
