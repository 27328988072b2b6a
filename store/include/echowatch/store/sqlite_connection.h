#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// A prepared statement that is reset after each use, so one preparation
// serves every row of a batch.
class Statement
{
public:
    Statement() = default;

    bool valid() const noexcept { return m_statement != nullptr; }

    // Parameters count from 1, as SQLite's do.
    Statement &bind(int index, std::int64_t value) noexcept;
    Statement &bind(int index, double value) noexcept;
    Statement &bind(int index, std::string_view text) noexcept;
    Statement &bindNull(int index) noexcept;
    Statement &bindOptional(int index, std::optional<std::int64_t> value) noexcept;
    // NULL for no text.
    Statement &bindOptionalText(int index, const char *text) noexcept;

    // True while a row is there to read; false at the end and on an error:
    // finished() tells which, and the connection tells the error.
    bool nextRow() noexcept;
    // Whether the latest step reached the end of the rows rather than an
    // error. A read that stops early reads as less history, never as an
    // error, unless this is asked.
    bool finished() const noexcept { return m_finished; }
    // Steps to the end and resets; false on an error.
    bool run() noexcept;
    void reset() noexcept;

    // Columns count from 0.
    std::int64_t integer(int column) const noexcept;
    double real(int column) const noexcept;
    bool isNull(int column) const noexcept;
    std::optional<std::int64_t> optionalInteger(int column) const noexcept;
    std::optional<std::string> optionalText(int column) const;

private:
    friend class Connection;
    struct Finalizer
    {
        void operator()(sqlite3_stmt *statement) const noexcept;
    };
    explicit Statement(sqlite3_stmt *statement) : m_statement(statement) {}

    std::unique_ptr<sqlite3_stmt, Finalizer> m_statement;
    bool m_failed = false;
    bool m_finished = false;
};

enum class Access
{
    ReadWrite,
    ReadOnly,
};

// One connection to a history file, used by one thread. Opening to write
// looks at the file read-only first and writes only in a file that is
// EchoWatch's (or empty): it then creates or upgrades the schema and sets
// the journal to WAL. Every connection bounds how long it waits for a lock
// another holds.
class Connection
{
public:
    // Empty, with the reason in error, when the file cannot be opened or is
    // not an EchoWatch history file of this version (or empty); opened to
    // write, a file of the previous release is upgraded.
    static std::optional<Connection> open(const std::string &path, Access access,
                                          std::string &error);
    // Read-only, whatever the file holds: to look at it. An immutable file
    // is read without locks, a WAL or its index: only a file with no WAL
    // beside it may be looked at so.
    static std::optional<Connection> openToLook(const std::string &path, bool immutable,
                                                std::string &error);
    static std::optional<Connection> openInMemory();

    // How long a statement waits for another connection's lock.
    void setLockWait(std::chrono::milliseconds bound) noexcept;

    // Runs statements that return no rows.
    bool execute(const char *sql) noexcept;
    // An invalid statement when the text does not compile.
    Statement prepare(std::string_view sql) noexcept;
    bool inTransaction() const noexcept;
    std::string lastError() const;
    // Whether the latest error was that the file is no SQLite database.
    bool notADatabase() const noexcept;
    std::int64_t lastInsertedRow() const noexcept;
    // Rows changed by this connection since it opened.
    std::int64_t totalChanges() const noexcept;

private:
    struct Closer
    {
        void operator()(sqlite3 *database) const noexcept;
    };
    struct LockWait
    {
        std::chrono::milliseconds bound;
        std::chrono::steady_clock::time_point since;
    };
    static std::optional<Connection> openDatabase(const std::string &path, int flags,
                                                  std::string &error);
    static int waitForLock(void *wait, int attempt) noexcept;
    explicit Connection(sqlite3 *database);
    bool configureForWriting();

    std::unique_ptr<sqlite3, Closer> m_database;
    // Where SQLite's busy handler keeps its start; moves with the connection.
    std::unique_ptr<LockWait> m_lockWait;
};

} // namespace store
