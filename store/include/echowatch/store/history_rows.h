#pragma once

#include "echowatch/store/sqlite_connection.h"
#include "echowatch/store/stored_history.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// What the readers share: each returns false when its statement did not
// reach the end of its rows.

// Appends what make(row) makes of each row the statement gives.
template <typename Row, typename Make>
bool appendRows(Statement &select, std::vector<Row> &rows, Make make)
{
    while (select.nextRow())
        rows.push_back(make(select));
    return select.finished();
}

// The host's watches that overlap the span; one whose end was never
// written ends at its latest probe or commit.
bool readWatches(Connection &connection, std::string_view address, history::TimeSpan span,
                 std::vector<StoredWatch> &watches);
// The host's slow periods that overlap the span, oldest first; one whose
// end was never written (its program was killed, or is still watching)
// ends where its watch does.
bool readSlowPeriods(Connection &connection, std::string_view address, history::TimeSpan span,
                     std::vector<history::TimeSpan> &periods);
// The run's outages that overlap the span.
bool readOutages(Connection &connection, std::int64_t run, history::TimeSpan span,
                 std::vector<StoredOutage> &outages);

struct RunRow
{
    std::int64_t id = 0;
    Milliseconds start = 0;
};

// The host's runs started before the time, oldest first.
std::optional<std::vector<RunRow>> runsBefore(Connection &connection, std::string_view address,
                                              Milliseconds time);
// The one value of an aggregate of one run (such as its first probe);
// none when NULL, and failed false when it could not be read.
std::optional<std::int64_t> valueForRun(Connection &connection, const char *sql,
                                        std::int64_t run, bool &failed);

// Runs read(history) in one transaction, so that the reads see the file as
// it was at one moment while other windows go on writing; a file with no
// tables yet reads as an empty history. None, with the reason in error,
// when the read or the transaction failed.
template <typename History, typename Read>
std::optional<History> readInTransaction(Connection &connection, std::string &error, Read read)
{
    if (!connection.execute("BEGIN")) {
        error = connection.lastError();
        return std::nullopt;
    }
    Statement tables =
        connection.prepare("SELECT count(*) FROM sqlite_schema WHERE name = 'runs'");
    const bool looked = tables.nextRow();
    const bool empty = looked && tables.integer(0) == 0;
    tables.reset();
    History history{};
    if (looked && (empty || read(history)) && connection.execute("COMMIT"))
        return history;
    if (error.empty())
        error = connection.lastError();
    connection.execute("ROLLBACK");
    return std::nullopt;
}

} // namespace store
