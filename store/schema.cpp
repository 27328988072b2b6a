#include "echowatch/store/schema.h"

#include "echowatch/store/sqlite_connection.h"

namespace store {

namespace {

// Times are milliseconds since the Unix epoch, round trips microseconds. A
// probe is stored relative to the start of its run (one window watching one
// host), so its key is a small run number and an offset that fits four
// bytes for 24 days; the tables keyed that way are WITHOUT ROWID, so the key
// is the row and no second index repeats it.
constexpr const char *CreateTables = R"(
CREATE TABLE hosts(
    id INTEGER PRIMARY KEY,
    address TEXT NOT NULL UNIQUE);
CREATE TABLE runs(
    id INTEGER PRIMARY KEY,
    host INTEGER NOT NULL REFERENCES hosts(id),
    started_ms INTEGER NOT NULL);
CREATE INDEX runs_by_host ON runs(host, started_ms);
CREATE TABLE probes(
    run INTEGER NOT NULL,
    at_ms INTEGER NOT NULL,
    status INTEGER NOT NULL,
    rtt_us INTEGER,
    bytes INTEGER NOT NULL,
    PRIMARY KEY(run, at_ms)) WITHOUT ROWID;
CREATE TABLE minutes(
    run INTEGER NOT NULL,
    minute_ms INTEGER NOT NULL,
    first_ms INTEGER NOT NULL,
    last_ms INTEGER NOT NULL,
    transmitted INTEGER NOT NULL,
    received INTEGER NOT NULL,
    errors INTEGER NOT NULL,
    not_sent INTEGER NOT NULL,
    timeouts INTEGER NOT NULL,
    unreachables INTEGER NOT NULL,
    other_failures INTEGER NOT NULL,
    rtt_min_us INTEGER,
    rtt_max_us INTEGER,
    rtt_sum_us INTEGER NOT NULL,
    rtt_sum_squares REAL NOT NULL,
    PRIMARY KEY(run, minute_ms)) WITHOUT ROWID;
CREATE TABLE outages(
    run INTEGER NOT NULL,
    start_ms INTEGER NOT NULL,
    last_failure_ms INTEGER NOT NULL,
    end_ms INTEGER,
    lost INTEGER NOT NULL,
    cause INTEGER NOT NULL,
    mixed INTEGER NOT NULL,
    path_verdict TEXT,
    PRIMARY KEY(run, start_ms)) WITHOUT ROWID;
CREATE VIEW probe_log AS
    SELECT hosts.address AS host, runs.started_ms + at_ms AS sent_ms,
           strftime('%Y-%m-%d %H:%M:%f', (runs.started_ms + at_ms) / 1000.0, 'unixepoch',
                    'localtime') AS sent,
           status, rtt_us, bytes
    FROM probes JOIN runs ON runs.id = probes.run JOIN hosts ON hosts.id = runs.host;
CREATE VIEW outage_log AS
    SELECT hosts.address AS host,
           datetime(start_ms / 1000, 'unixepoch', 'localtime') AS started,
           datetime(end_ms / 1000, 'unixepoch', 'localtime') AS ended,
           (coalesce(end_ms, last_failure_ms) - start_ms) / 1000.0 AS seconds,
           lost, cause, mixed, path_verdict
    FROM outages JOIN runs ON runs.id = outages.run JOIN hosts ON hosts.id = runs.host;
)";

int userVersion(Connection &connection)
{
    Statement statement = connection.prepare("PRAGMA user_version");
    return statement.nextRow() ? static_cast<int>(statement.integer(0)) : -1;
}

bool refuseVersion(int version, std::string &error)
{
    if (version == SchemaVersion)
        return false;
    error = version < 0 ? "cannot read its version"
                        : "its layout (version " + std::to_string(version) +
                              ") is not one this EchoWatch knows";
    return true;
}

// In one immediate transaction, so two windows opening a new file at once
// create the tables once.
bool createTables(Connection &connection, std::string &error)
{
    if (!connection.execute("BEGIN IMMEDIATE")) {
        error = connection.lastError();
        return false;
    }
    const int version = userVersion(connection);
    const bool created =
        version != 0 ||
        (connection.execute(CreateTables) &&
         connection.execute(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str()));
    if (!created || !connection.execute("COMMIT")) {
        error = connection.lastError();
        connection.execute("ROLLBACK");
        return false;
    }
    return !refuseVersion(userVersion(connection), error);
}

} // namespace

bool ensureSchema(Connection &connection, Access access, std::string &error)
{
    const int version = userVersion(connection);
    if (version == 0 && access == Access::ReadWrite)
        return createTables(connection, error);
    // An empty file opened to read is an empty history.
    if (version == 0)
        return true;
    return !refuseVersion(version, error);
}

} // namespace store
