#pragma once

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

    // True while a row is there to read; false at the end or on an error,
    // which the connection then tells.
    bool nextRow() noexcept;
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
};

enum class Access
{
    ReadWrite,
    ReadOnly,
};

// One connection to a history file, used by one thread. Opening sets the
// journal to WAL, bounds how long a lock held by another process is waited
// for, and creates or checks the schema.
class Connection
{
public:
    // Empty, with the reason in error, when the file cannot be opened or was
    // written by a later schema.
    static std::optional<Connection> open(const std::string &path, Access access,
                                          std::string &error);

    // Runs statements that return no rows.
    bool execute(const char *sql) noexcept;
    // An invalid statement when the text does not compile.
    Statement prepare(std::string_view sql) noexcept;
    bool inTransaction() const noexcept;
    std::string lastError() const;
    std::int64_t lastInsertedRow() const noexcept;

private:
    struct Closer
    {
        void operator()(sqlite3 *database) const noexcept;
    };
    explicit Connection(sqlite3 *database) : m_database(database) {}
    bool configure(Access access);

    std::unique_ptr<sqlite3, Closer> m_database;
};

} // namespace store
