#include "echowatch/store/sqlite_connection.h"

#include "echowatch/store/schema.h"

#include <sqlite3.h>

namespace store {

void Statement::Finalizer::operator()(sqlite3_stmt *statement) const noexcept
{
    sqlite3_finalize(statement);
}

Statement &Statement::bind(int index, std::int64_t value) noexcept
{
    m_failed |= sqlite3_bind_int64(m_statement.get(), index, value) != SQLITE_OK;
    return *this;
}

Statement &Statement::bind(int index, double value) noexcept
{
    m_failed |= sqlite3_bind_double(m_statement.get(), index, value) != SQLITE_OK;
    return *this;
}

Statement &Statement::bind(int index, std::string_view text) noexcept
{
    m_failed |= sqlite3_bind_text(m_statement.get(), index, text.data(),
                                  static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK;
    return *this;
}

Statement &Statement::bindNull(int index) noexcept
{
    m_failed |= sqlite3_bind_null(m_statement.get(), index) != SQLITE_OK;
    return *this;
}

Statement &Statement::bindOptional(int index, std::optional<std::int64_t> value) noexcept
{
    return value ? bind(index, *value) : bindNull(index);
}

bool Statement::nextRow() noexcept
{
    if (m_failed) {
        reset();
        return false;
    }
    if (sqlite3_step(m_statement.get()) == SQLITE_ROW)
        return true;
    sqlite3_reset(m_statement.get());
    return false;
}

bool Statement::run() noexcept
{
    const bool done = !m_failed && sqlite3_step(m_statement.get()) == SQLITE_DONE;
    // The connection keeps the step's error message through the reset.
    reset();
    return done;
}

void Statement::reset() noexcept
{
    sqlite3_reset(m_statement.get());
    sqlite3_clear_bindings(m_statement.get());
    m_failed = false;
}

std::int64_t Statement::integer(int column) const noexcept
{
    return sqlite3_column_int64(m_statement.get(), column);
}

double Statement::real(int column) const noexcept
{
    return sqlite3_column_double(m_statement.get(), column);
}

bool Statement::isNull(int column) const noexcept
{
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const noexcept
{
    if (isNull(column))
        return std::nullopt;
    return integer(column);
}

std::optional<std::string> Statement::optionalText(int column) const
{
    const unsigned char *text = sqlite3_column_text(m_statement.get(), column);
    if (text == nullptr)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(m_statement.get(), column)));
}

void Connection::Closer::operator()(sqlite3 *database) const noexcept
{
    sqlite3_close_v2(database);
}

std::optional<Connection> Connection::open(const std::string &path, Access access,
                                           std::string &error)
{
    // Each connection stays on the thread that opened it, so SQLite's own
    // locks around it are not needed.
    const int flags = SQLITE_OPEN_NOMUTEX |
                      (access == Access::ReadWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                   : SQLITE_OPEN_READONLY);
    sqlite3 *database = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
    Connection connection(database);
    if (result != SQLITE_OK) {
        error = database ? sqlite3_errmsg(database) : sqlite3_errstr(result);
        return std::nullopt;
    }
    if (!connection.configure(access)) {
        error = connection.lastError();
        return std::nullopt;
    }
    if (!ensureSchema(connection, access, error))
        return std::nullopt;
    return connection;
}

// WAL lets readers in other windows read while this one writes; a full
// sync at each commit is what makes a commit survive a power cut. The WAL
// is cut back after checkpoints so that a burst does not keep its size.
bool Connection::configure(Access access)
{
    sqlite3_busy_timeout(m_database.get(), static_cast<int>(LockWaitBound.count()));
    sqlite3_extended_result_codes(m_database.get(), 1);
    if (access == Access::ReadOnly)
        return true;
    Statement journal = prepare("PRAGMA journal_mode = WAL");
    if (!journal.nextRow())
        return false;
    journal.reset();
    return execute("PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 4194304");
}

bool Connection::execute(const char *sql) noexcept
{
    return sqlite3_exec(m_database.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement Connection::prepare(std::string_view sql) noexcept
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v3(m_database.get(), sql.data(), static_cast<int>(sql.size()),
                       SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return Statement(statement);
}

bool Connection::inTransaction() const noexcept
{
    return sqlite3_get_autocommit(m_database.get()) == 0;
}

std::string Connection::lastError() const
{
    return sqlite3_errmsg(m_database.get());
}

std::int64_t Connection::lastInsertedRow() const noexcept
{
    return sqlite3_last_insert_rowid(m_database.get());
}

} // namespace store
