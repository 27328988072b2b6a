// A read of the history file that fails says so: a file locked by another
// program, or with a damaged page, is an error for the reader, never a
// shorter history that a window would merge as if it were all.
#include "store_files.h"

#include "echowatch/store/sqlite_connection.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>
#include <vector>

using history::Milliseconds;
using history::ProbeSample;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr const char *Host = "192.0.2.7";
constexpr int Probes = 20'000;

void writeProbes(const std::string &file)
{
    std::vector<ProbeSample> probes;
    for (int index = 0; index < Probes; ++index)
        probes.emplace_back(Start + index * 1000, index % 50 ? 0 : 11010, 700 + index % 300, 32);
    store::HistoryWriter writer = writerFor(file, {Host});
    ASSERT_TRUE(writer.writeLast(batchOf(probes)));
}

store::Connection reader(const std::string &file)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    if (!connection)
        throw std::runtime_error(error);
    // Not the program's bound: the test need not wait that long to see it.
    connection->setLockWait(std::chrono::milliseconds{50});
    return std::move(*connection);
}

std::optional<store::HostHistory> readAll(store::Connection &connection, std::string &error)
{
    return store::readHostHistory(connection, Host, {0, std::int64_t{1} << 50},
                                  store::DefaultProbesInFull, error);
}

// Where WAL cannot be kept (a file system without shared memory), a
// writer's commit locks readers out; so does another program's exclusive
// transaction.
TEST(FailedRead, OfAFileAnotherProgramLockedIsAnError)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    writeProbes(file);
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    const auto otherRuns = [&](const char *sql) {
        return sqlite3_exec(other, sql, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(otherRuns("PRAGMA journal_mode = DELETE"), SQLITE_OK);
    store::Connection connection = reader(file);
    EXPECT_EQ(otherRuns("BEGIN EXCLUSIVE"), SQLITE_OK);
    std::string error;
    EXPECT_FALSE(readAll(connection, error));
    EXPECT_NE(error.find("locked"), std::string::npos) << error;
    otherRuns("COMMIT");
    sqlite3_close(other);
    std::optional<store::HostHistory> read = readAll(connection, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->probes.size(), static_cast<std::size_t>(Probes));
}

struct Page
{
    int number = 0;
    int size = 0;
};

// A page in the middle of the probes, from SQLite's own account of the
// file's pages.
Page middleProbePage(const std::string &file)
{
    sqlite3 *database = nullptr;
    sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(database,
                       "SELECT pageno FROM dbstat WHERE name = 'probes' AND pagetype = 'leaf' "
                       "ORDER BY pageno",
                       -1, &select, nullptr);
    std::vector<int> pages;
    while (sqlite3_step(select) == SQLITE_ROW)
        pages.push_back(sqlite3_column_int(select, 0));
    sqlite3_finalize(select);
    sqlite3_prepare_v2(database, "PRAGMA page_size", -1, &select, nullptr);
    const int size = sqlite3_step(select) == SQLITE_ROW ? sqlite3_column_int(select, 0) : 0;
    sqlite3_finalize(select);
    sqlite3_close(database);
    return {pages.empty() ? 0 : pages[pages.size() / 2], size};
}

TEST(FailedRead, OfADamagedPageIsAnError)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    writeProbes(file);
    const Page page = middleProbePage(file);
    ASSERT_GT(page.number, 1);
    {
        std::fstream damaged(file, std::ios::in | std::ios::out | std::ios::binary);
        damaged.seekp(static_cast<std::streamoff>(page.number - 1) * page.size);
        const std::string garbage(static_cast<std::size_t>(page.size), '\x55');
        damaged.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    store::Connection connection = reader(file);
    std::string error;
    EXPECT_FALSE(readAll(connection, error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
}

} // namespace
