#include "echowatch/store/sqlite_connection.h"

#include "echowatch/store/schema.h"

#include <sqlite3.h>

#include <thread>

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

Statement &Statement::bindOptionalText(int index, const char *text) noexcept
{
    return text ? bind(index, std::string_view(text)) : bindNull(index);
}

bool Statement::nextRow() noexcept
{
    const int result = m_failed ? SQLITE_MISUSE : sqlite3_step(m_statement.get());
    m_finished = result == SQLITE_DONE;
    if (result == SQLITE_ROW)
        return true;
    // The connection keeps the step's error message through the reset.
    reset();
    return false;
}

bool Statement::run() noexcept
{
    m_finished = !m_failed && sqlite3_step(m_statement.get()) == SQLITE_DONE;
    reset();
    return m_finished;
}

void Statement::reset() noexcept
{
    if (!valid())
        return;
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

Connection::Connection(sqlite3 *database)
    : m_database(database), m_lockWait(std::make_unique<LockWait>(LockWait{LockWaitBound, {}}))
{
    sqlite3_busy_handler(m_database.get(), &Connection::waitForLock, m_lockWait.get());
    sqlite3_extended_result_codes(m_database.get(), 1);
}

// Polls often: retention hands the lock over between small transactions,
// and a writer that slept long at each try would miss most of those turns.
int Connection::waitForLock(void *wait, int attempt) noexcept
{
    LockWait &lockWait = *static_cast<LockWait *>(wait);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        lockWait.since = now;
    if (now - lockWait.since >= lockWait.bound)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds{attempt < 8 ? 1 : 4});
    return 1;
}

void Connection::setLockWait(std::chrono::milliseconds bound) noexcept
{
    m_lockWait->bound = bound;
}

std::optional<Connection> Connection::openDatabase(const std::string &path, int flags,
                                                   std::string &error)
{
    // Each connection stays on the thread that opened it, so SQLite's own
    // locks around it are not needed.
    sqlite3 *database = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &database, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (database == nullptr) {
        error = sqlite3_errstr(result);
        return std::nullopt;
    }
    Connection connection(database);
    if (result != SQLITE_OK) {
        error = sqlite3_errmsg(database);
        return std::nullopt;
    }
    return connection;
}

namespace {

// As an SQLite URI, which is how a file is said to be immutable.
std::string immutableUri(const std::string &path)
{
    std::string uri = "file:";
    for (const char character : path) {
        if (character == '%' || character == '?' || character == '#') {
            constexpr const char *Hex = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(character);
            uri += {'%', Hex[byte >> 4], Hex[byte & 0xf]};
        } else {
            uri += character;
        }
    }
    return uri + "?immutable=1";
}

} // namespace

std::optional<Connection> Connection::openToLook(const std::string &path, bool immutable,
                                                 std::string &error)
{
    if (immutable)
        return openDatabase(immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, error);
    return openDatabase(path, SQLITE_OPEN_READONLY, error);
}

std::optional<Connection> Connection::openInMemory()
{
    std::string ignored;
    return openDatabase(":memory:", SQLITE_OPEN_READWRITE, ignored);
}

std::optional<Connection> Connection::open(const std::string &path, Access access,
                                           std::string &error)
{
    if (access == Access::ReadOnly) {
        if (!mayRead(path, error))
            return std::nullopt;
        return openDatabase(path, SQLITE_OPEN_READONLY, error);
    }
    if (!mayWrite(path, error))
        return std::nullopt;
    std::optional<Connection> connection =
        openDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    if (!connection || !ensureSchema(*connection, error))
        return std::nullopt;
    if (!connection->configureForWriting()) {
        error = connection->lastError();
        return std::nullopt;
    }
    return connection;
}

// Only in a file that is ours. WAL lets readers in other windows read while
// this one writes; a full sync at each commit is what makes a commit
// survive a power cut. The WAL is cut back after checkpoints so that a
// burst does not keep its size.
bool Connection::configureForWriting()
{
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

bool Connection::notADatabase() const noexcept
{
    return sqlite3_errcode(m_database.get()) == SQLITE_NOTADB;
}

std::int64_t Connection::lastInsertedRow() const noexcept
{
    return sqlite3_last_insert_rowid(m_database.get());
}

std::int64_t Connection::totalChanges() const noexcept
{
    return sqlite3_total_changes64(m_database.get());
}

} // namespace store
