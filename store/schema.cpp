#include "echowatch/store/schema.h"

#include "echowatch/store/sqlite_connection.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace store {

namespace {

// Times are milliseconds since the Unix epoch, round trips microseconds. A
// probe is stored relative to the start of its run (one writer's stretch of
// one host's probes), so its key is a small run number and an offset that
// fits four bytes for 24 days; the tables keyed that way are WITHOUT ROWID,
// so the key is the row and no second index repeats it.
constexpr const char *Version1Tables = R"(
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

// What version 2 adds to version 1, in the order an upgrade adds it, so
// that a file made new and one upgraded have their columns in one order.
// A watch is a stretch somebody watched the host: through_ms is its latest
// probe or commit, which is where it ends when its program was killed. An
// hour sums its minutes, its quantiles the medians of theirs, so that a
// chart of months reads a row an hour.
constexpr const char *Version2Additions = R"(
CREATE TABLE watches(
    id INTEGER PRIMARY KEY,
    host INTEGER NOT NULL REFERENCES hosts(id),
    started_ms INTEGER NOT NULL,
    through_ms INTEGER NOT NULL,
    ended_ms INTEGER,
    end_reason TEXT);
CREATE INDEX watches_by_host ON watches(host, started_ms);
CREATE TABLE slow_periods(
    host INTEGER NOT NULL REFERENCES hosts(id),
    start_ms INTEGER NOT NULL,
    end_ms INTEGER,
    figures TEXT,
    PRIMARY KEY(host, start_ms)) WITHOUT ROWID;
CREATE TABLE hours(
    run INTEGER NOT NULL,
    hour_ms INTEGER NOT NULL,
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
    rtt_p10_us INTEGER,
    rtt_median_us INTEGER,
    rtt_p90_us INTEGER,
    PRIMARY KEY(run, hour_ms)) WITHOUT ROWID;
ALTER TABLE minutes ADD COLUMN rtt_p10_us INTEGER;
ALTER TABLE minutes ADD COLUMN rtt_median_us INTEGER;
ALTER TABLE minutes ADD COLUMN rtt_p90_us INTEGER;
ALTER TABLE outages ADD COLUMN ended_by TEXT;
ALTER TABLE outages ADD COLUMN side TEXT;
DROP VIEW outage_log;
CREATE VIEW outage_log AS
    SELECT hosts.address AS host,
           datetime(start_ms / 1000, 'unixepoch', 'localtime') AS started,
           datetime(end_ms / 1000, 'unixepoch', 'localtime') AS ended,
           (coalesce(end_ms, last_failure_ms) - start_ms) / 1000.0 AS seconds,
           lost, cause, mixed, path_verdict, ended_by, side
    FROM outages JOIN runs ON runs.id = outages.run JOIN hosts ON hosts.id = runs.host;
CREATE VIEW watch_log AS
    SELECT hosts.address AS host,
           datetime(started_ms / 1000, 'unixepoch', 'localtime') AS started,
           datetime(coalesce(ended_ms, through_ms) / 1000, 'unixepoch', 'localtime') AS ended,
           (coalesce(ended_ms, through_ms) - started_ms) / 1000.0 AS seconds,
           coalesce(end_reason, 'unknown') AS why
    FROM watches JOIN hosts ON hosts.id = watches.host;
)";

// The previous release kept no watches: each of its runs becomes one, from
// its start to its latest probe or minute, its end unknown. Its outages
// that ended ended by an answer. Its minutes are summed by the hour; they
// had no quantiles.
constexpr const char *Version1Data = R"(
INSERT INTO watches(host, started_ms, through_ms)
    SELECT host, started_ms,
           max(started_ms,
               coalesce((SELECT started_ms + max(at_ms) FROM probes WHERE run = runs.id), 0),
               coalesce((SELECT max(last_ms) FROM minutes WHERE run = runs.id), 0))
    FROM runs ORDER BY started_ms;
UPDATE outages SET ended_by = 'answer' WHERE end_ms IS NOT NULL;
INSERT INTO hours
    SELECT run, minute_ms - minute_ms % 3600000, min(first_ms), max(last_ms), sum(transmitted),
           sum(received), sum(errors), sum(not_sent), sum(timeouts), sum(unreachables),
           sum(other_failures), min(rtt_min_us), max(rtt_max_us), sum(rtt_sum_us),
           sum(rtt_sum_squares), NULL, NULL, NULL
    FROM minutes GROUP BY run, minute_ms - minute_ms % 3600000;
)";

std::string marks()
{
    return "PRAGMA application_id = " + std::to_string(ApplicationId) +
           "; PRAGMA user_version = " + std::to_string(SchemaVersion);
}

// What a file is, by the marks in it and the tables it holds.
enum class FileKind
{
    // No file, 0 bytes, or an SQLite file with no tables nor marks.
    Empty,
    // Marked as ours, of this version.
    Current,
    // Of the previous release: unmarked, version 1, its tables exactly.
    Previous,
    // Marked as ours, of a version this program does not know.
    OtherVersion,
    // Not an EchoWatch history file.
    Foreign,
};

// Why a file of that kind is neither written nor read; empty for the kinds
// that are.
std::string refusal(FileKind kind, int version)
{
    switch (kind) {
    case FileKind::Empty:
    case FileKind::Current:
    case FileKind::Previous:
        return {};
    case FileKind::OtherVersion:
        return "its layout (version " + std::to_string(version) +
               ") is not one this EchoWatch knows";
    case FileKind::Foreign:
        break;
    }
    return "it is not an EchoWatch history file";
}

// One row of sqlite_schema: what the file holds.
struct SchemaEntry
{
    std::string type;
    std::string name;
    std::string table;
    std::optional<std::string> sql;

    bool operator==(const SchemaEntry &) const = default;
};

struct FileMarks
{
    std::int64_t applicationId = 0;
    int version = 0;
    std::vector<SchemaEntry> entries;
};

std::optional<std::int64_t> pragmaValue(Connection &connection, const char *sql)
{
    Statement statement = connection.prepare(sql);
    if (!statement.nextRow())
        return std::nullopt;
    const std::int64_t value = statement.integer(0);
    statement.reset();
    return value;
}

std::optional<FileMarks> readMarks(Connection &connection)
{
    const std::optional<std::int64_t> applicationId =
        pragmaValue(connection, "PRAGMA application_id");
    const std::optional<std::int64_t> version = pragmaValue(connection, "PRAGMA user_version");
    Statement select = connection.prepare(
        "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name");
    if (!applicationId || !version)
        return std::nullopt;
    FileMarks marks{*applicationId, static_cast<int>(*version), {}};
    while (select.nextRow()) {
        marks.entries.push_back(SchemaEntry{select.optionalText(0).value_or(""),
                                            select.optionalText(1).value_or(""),
                                            select.optionalText(2).value_or(""),
                                            select.optionalText(3)});
    }
    if (!select.finished())
        return std::nullopt;
    return marks;
}

// What the previous release's tables look like in a file, made once in
// memory from the statements that made them.
const std::vector<SchemaEntry> &previousReleaseEntries()
{
    static const std::vector<SchemaEntry> entries = [] {
        std::optional<Connection> memory = Connection::openInMemory();
        if (!memory || !memory->execute(Version1Tables))
            return std::vector<SchemaEntry>{};
        return readMarks(*memory).value_or(FileMarks{}).entries;
    }();
    return entries;
}

FileKind kindOf(const FileMarks &marks)
{
    if (marks.applicationId == ApplicationId)
        return marks.version == SchemaVersion ? FileKind::Current : FileKind::OtherVersion;
    if (marks.applicationId != 0)
        return FileKind::Foreign;
    if (marks.version == 0 && marks.entries.empty())
        return FileKind::Empty;
    if (marks.version == PreviousSchemaVersion && !marks.entries.empty() &&
        marks.entries == previousReleaseEntries())
        return FileKind::Previous;
    return FileKind::Foreign;
}

// The kind of file the connection is on.
std::optional<FileKind> kindOf(Connection &connection, int &version, std::string &error)
{
    const std::optional<FileMarks> marks = readMarks(connection);
    if (!marks) {
        error = connection.lastError();
        return std::nullopt;
    }
    version = marks->version;
    return kindOf(*marks);
}

// The first bytes of an SQLite file: its format, and the two numbers an
// application keeps there, big-endian.
struct FileHeader
{
    static constexpr std::size_t Size = 100;
    bool sqlite = false;
    std::int64_t applicationId = 0;
    int version = 0;
};

std::optional<FileHeader> readHeader(const std::string &path)
{
    constexpr std::string_view Magic("SQLite format 3\0", 16);
    std::ifstream file(path, std::ios::binary);
    std::array<char, FileHeader::Size> bytes{};
    if (!file || !file.read(bytes.data(), bytes.size()))
        return std::nullopt;
    const auto number = [&](std::size_t offset) {
        std::uint32_t value = 0;
        for (std::size_t index = offset; index < offset + 4; ++index)
            value = value << 8 | static_cast<unsigned char>(bytes[index]);
        return static_cast<std::int32_t>(value);
    };
    return FileHeader{std::string_view(bytes.data(), Magic.size()) == Magic, number(68),
                      number(60)};
}

// Its marks are in the header, which is read without SQLite; what an
// unmarked file holds is read through a connection that changes nothing:
// immutable while no WAL lies beside the file, else read-only.
std::optional<FileKind> lookAtFile(const std::string &path, int &version, std::string &error)
{
    std::error_code missing;
    const std::uintmax_t size = std::filesystem::file_size(path, missing);
    if (missing || size == 0)
        return FileKind::Empty;
    const std::optional<FileHeader> header = readHeader(path);
    if (!header && size >= FileHeader::Size) {
        error = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    if (!header || !header->sqlite)
        return FileKind::Foreign;
    version = header->version;
    if (header->applicationId == ApplicationId)
        return version == SchemaVersion ? FileKind::Current : FileKind::OtherVersion;
    if (header->applicationId != 0)
        return FileKind::Foreign;
    std::optional<Connection> connection =
        Connection::openToLook(path, !std::filesystem::exists(path + "-wal"), error);
    if (!connection)
        return std::nullopt;
    std::optional<FileKind> kind = kindOf(*connection, version, error);
    if (!kind && connection->notADatabase())
        return FileKind::Foreign;
    return kind;
}

// What turns a file of the kind found into one of this version.
std::string stepsFrom(FileKind kind)
{
    if (kind == FileKind::Empty)
        return std::string(Version1Tables) + Version2Additions + marks();
    return std::string(Version2Additions) + Version1Data + marks();
}

} // namespace

const char *previousReleaseSchema() noexcept
{
    return Version1Tables;
}

bool mayWrite(const std::string &path, std::string &error)
{
    int version = 0;
    const std::optional<FileKind> kind = lookAtFile(path, version, error);
    if (kind)
        error = refusal(*kind, version);
    return kind && error.empty();
}

bool mayRead(const std::string &path, std::string &error)
{
    int version = 0;
    const std::optional<FileKind> kind = lookAtFile(path, version, error);
    if (kind == FileKind::Previous)
        error = "it was written by an earlier EchoWatch, and is brought up to date when "
                "EchoWatch next keeps history in it";
    else if (kind)
        error = refusal(*kind, version);
    return kind && error.empty();
}

// In one immediate transaction, so two windows opening a new file at once
// create the tables once, an upgrade is all done or not at all, and what
// was looked at before is what is changed.
bool ensureSchema(Connection &connection, std::string &error)
{
    if (!connection.execute("BEGIN IMMEDIATE")) {
        error = connection.lastError();
        return false;
    }
    int version = 0;
    const std::optional<FileKind> kind = kindOf(connection, version, error);
    const bool behind = kind == FileKind::Empty || kind == FileKind::Previous;
    if (behind && connection.execute(stepsFrom(*kind).c_str()) && connection.execute("COMMIT"))
        return true;
    if (kind && !behind)
        error = refusal(*kind, version);
    else if (kind)
        error = connection.lastError();
    connection.execute("ROLLBACK");
    return kind == FileKind::Current;
}

} // namespace store
