// Which files are EchoWatch's history files: the marks it puts in a file it
// makes, a file of the previous release upgraded in one transaction.
#include "store_files.h"

#include "echowatch/store/schema.h"

#include <gtest/gtest.h>

#include "echowatch/store/history_appender.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using history::Milliseconds;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr const char *Host = "192.0.2.7";

// Straight through SQLite, as another program would.
void runSql(const std::string &file, const std::string &sql)
{
    sqlite3 *database = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
    char *message = nullptr;
    const int result = sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(result, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(database);
}

std::int64_t integerOf(const std::string &file, const std::string &sql)
{
    sqlite3 *database = nullptr;
    sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr);
    const std::int64_t value =
        sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return value;
}

// A run of the previous release: two probes, an outage that ended and one
// its run ended in, a minute summed.
void writePreviousRelease(const std::string &file)
{
    const std::string start = std::to_string(Start);
    runSql(file, std::string(store::previousReleaseSchema()) + R"(
        PRAGMA user_version = 1;
        PRAGMA journal_mode = WAL;
        INSERT INTO hosts(id, address) VALUES(1, '192.0.2.7');
        INSERT INTO runs(id, host, started_ms) VALUES(1, 1, )" + start + R"();
        INSERT INTO probes VALUES(1, 0, 11010, NULL, 0), (1, 1000, 0, 800, 32),
                                 (1, 2000, 11010, NULL, 0);
        INSERT INTO minutes VALUES(1, )" + start + ", " + start + ", " + start + R"( + 2000,
                                   3, 1, 0, 0, 2, 0, 0, 800, 800, 800, 640000.0);
        INSERT INTO outages VALUES(1, )" + start + ", " + start + ", " + start + R"( + 1000,
                                   1, 11010, 0, 'lost after hop 2'),
                                  (1, )" + start + " + 2000, " + start + R"( + 2000, NULL,
                                   1, 11010, 0, NULL);
    )");
}

// A file byte for byte, with when it was last changed, and what lies
// beside it in its folder (a journal or a WAL would).
struct FileState
{
    std::string bytes;
    timespec modified{};
    std::vector<std::string> folder;

    bool operator==(const FileState &other) const
    {
        return bytes == other.bytes && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec && folder == other.folder;
    }
};

FileState stateOf(const std::string &file)
{
    FileState state;
    std::ifstream in(file, std::ios::binary);
    state.bytes.assign(std::istreambuf_iterator<char>(in), {});
    struct stat status{};
    if (stat(file.c_str(), &status) == 0)
        state.modified = status.st_mtim;
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
        state.folder.push_back(entry.path().filename().string());
    std::sort(state.folder.begin(), state.folder.end());
    return state;
}

struct ForeignCase
{
    const char *name;
    // What makes the file, in SQLite's words; empty for a file of text.
    std::string sql;
    std::string refusal;
};

class NotOurs : public testing::TestWithParam<ForeignCase>
{
protected:
    void SetUp() override
    {
        if (GetParam().sql.empty())
            std::ofstream(m_file) << "host,time\n192.0.2.7,12:00\n";
        else
            runSql(m_file, GetParam().sql);
    }

    ScratchFolder m_folder;
    std::string m_file = m_folder.file("history.sqlite");
};

TEST_P(NotOurs, IsRefusedAndLeftExactlyAsItWas)
{
    const FileState before = stateOf(m_file);
    std::string error;
    EXPECT_FALSE(store::Connection::open(m_file, store::Access::ReadWrite, error));
    EXPECT_NE(error.find(GetParam().refusal), std::string::npos) << error;
    EXPECT_FALSE(store::Connection::open(m_file, store::Access::ReadOnly, error));
    EXPECT_NE(error.find(GetParam().refusal), std::string::npos) << error;
    EXPECT_TRUE(stateOf(m_file) == before);
}

TEST_P(NotOurs, GetsOneWarningFromTheAppenderAndNothingWritten)
{
    const FileState before = stateOf(m_file);
    WarningLog warnings;
    {
        store::HistoryAppender appender(
            {m_file, {}, std::chrono::milliseconds{5}, warnings.callback()});
        appender.startWatch(Host, Start);
        appender.append(Host, history::ProbeSample(Start, 0, 100, 32));
        ASSERT_TRUE(waitFor([&] { return !appender.warning().empty(); }));
        EXPECT_NE(appender.warning().find(GetParam().refusal), std::string::npos);
        // Looked at again at the next commits, and still said once.
        appender.append(Host, history::ProbeSample(Start + 1000, 0, 100, 32));
        EXPECT_EQ(appender.storedProbes(), 0u);
    }
    EXPECT_EQ(warnings.warningsGiven(), 1u);
    EXPECT_TRUE(stateOf(m_file) == before);
}

// The previous release's tables with the probes of another shape.
std::string previousWithOtherProbes()
{
    std::string schema = store::previousReleaseSchema();
    const std::string probes = "bytes INTEGER NOT NULL,";
    schema.replace(schema.find(probes), probes.size(), "bytes INTEGER NOT NULL, ttl INTEGER,");
    return schema + "PRAGMA user_version = 1;";
}

const std::string Later = std::string(store::previousReleaseSchema()) +
                          "PRAGMA application_id = " + std::to_string(store::ApplicationId) +
                          "; PRAGMA user_version = " + std::to_string(store::SchemaVersion + 1) +
                          "; PRAGMA journal_mode = WAL;";

INSTANTIATE_TEST_SUITE_P(
    Files, NotOurs,
    testing::Values(
        ForeignCase{"AnotherProgramsDatabase",
                    "CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT); "
                    "INSERT INTO notes(text) VALUES('keep me');",
                    "not an EchoWatch history file"},
        ForeignCase{"AnotherProgramsEmptyDatabase", "PRAGMA application_id = 1179403647;",
                    "not an EchoWatch history file"},
        ForeignCase{"ProbesOfAnotherShape", previousWithOtherProbes(),
                    "not an EchoWatch history file"},
        ForeignCase{"PreviousTablesAndOneMore",
                    std::string(store::previousReleaseSchema()) +
                        "CREATE TABLE extra(id INTEGER); PRAGMA user_version = 1;",
                    "not an EchoWatch history file"},
        ForeignCase{"ALaterVersion", Later,
                    "(version " + std::to_string(store::SchemaVersion + 1) + ")"},
        ForeignCase{"NoDatabaseAtAll", "", "not an EchoWatch history file"}),
    [](const testing::TestParamInfo<ForeignCase> &info) { return info.param.name; });

struct EmptyCase
{
    const char *name;
    void (*make)(const std::string &file);
};

class EmptyFile : public testing::TestWithParam<EmptyCase>
{};

TEST_P(EmptyFile, IsMadeAHistoryFile)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    GetParam().make(file);
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        ASSERT_TRUE(writer.writeLast(batchOf({history::ProbeSample(Start, 0, 100, 32)})));
    }
    EXPECT_EQ(integerOf(file, "PRAGMA application_id"), store::ApplicationId);
    EXPECT_EQ(everything(file, Host).probes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EmptyFile,
    testing::Values(EmptyCase{"None", [](const std::string &) {}},
                    EmptyCase{"NoBytes", [](const std::string &file) { std::ofstream{file}; }},
                    EmptyCase{"NoTables",
                              [](const std::string &file) {
                                  runSql(file, "PRAGMA page_size = 4096; VACUUM;");
                              }}),
    [](const testing::TestParamInfo<EmptyCase> &info) { return info.param.name; });

TEST(Schema, MarksAFileItMakes)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    { writerFor(file, {Host}); }
    EXPECT_EQ(integerOf(file, "PRAGMA application_id"), store::ApplicationId);
    EXPECT_EQ(integerOf(file, "PRAGMA user_version"), store::SchemaVersion);
}

TEST(Schema, UpgradesAFileOfThePreviousReleaseKeepingAllItHeld)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    writePreviousRelease(file);
    const store::HostHistory read = everything(file, Host);
    EXPECT_EQ(integerOf(file, "PRAGMA application_id"), store::ApplicationId);
    EXPECT_EQ(integerOf(file, "PRAGMA user_version"), store::SchemaVersion);
    EXPECT_EQ(read.probes.size(), 3u);
    ASSERT_EQ(read.watches.size(), 1u);
    EXPECT_EQ(read.watches[0].started, Start);
    EXPECT_EQ(read.watches[0].ended, Start + 2000);
    EXPECT_EQ(read.watches[0].why, store::WatchEndReason::Unknown);
    ASSERT_EQ(read.outages.size(), 2u);
    EXPECT_EQ(read.outages[0].endedBy, store::OutageEnd::Answer);
    EXPECT_EQ(read.outages[0].pathVerdict, "lost after hop 2");
    EXPECT_EQ(read.outages[1].endedBy, store::OutageEnd::None);
    EXPECT_EQ(integrityCheck(file), "ok");
    // Written to as a file of this version.
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        ASSERT_TRUE(writer.writeLast(batchOf({history::ProbeSample(Start + 60'000, 0, 700, 32)})));
    }
    EXPECT_EQ(everything(file, Host).watches.size(), 2u);
}

} // namespace
