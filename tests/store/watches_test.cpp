// Watches in the history file: each with its start, its end and why it
// ended; an outage open when its watch ends closed as not watched, never as
// up; a killed program's watch ending at its latest commit, its end unknown.
#include "store_files.h"

#include "echowatch/store/history_appender.h"
#include "echowatch/store/schema.h"

#include <gtest/gtest.h>

using history::Milliseconds;
using history::ProbeSample;
using store::WatchEndReason;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr EchoStatus TimedOut = 11010;
constexpr const char *Host = "192.0.2.7";

ProbeSample answered(Milliseconds at)
{
    return ProbeSample(at, 0, 900, 32);
}

ProbeSample timedOut(Milliseconds at)
{
    return ProbeSample(at, TimedOut, -1, 0);
}

store::QueuedWatchChange starts(std::size_t position, Milliseconds at)
{
    return {0, position, at, std::nullopt};
}

store::QueuedWatchChange ends(std::size_t position, Milliseconds at, WatchEndReason why)
{
    return {0, position, at, why};
}

std::string firstText(const std::string &file, const char *sql)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    if (!connection)
        return error;
    store::Statement select = connection->prepare(sql);
    return select.nextRow() ? select.optionalText(0).value_or("NULL") : "no row";
}

struct ReasonCase
{
    const char *name;
    WatchEndReason why;
    const char *logged;
};

class WatchEnd : public testing::TestWithParam<ReasonCase>
{};

TEST_P(WatchEnd, IsKeptWithTheWatch)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        store::Batch batch = batchOf({answered(Start + 1000), answered(Start + 2000)});
        batch.watches = {starts(0, Start), ends(2, Start + 5000, GetParam().why)};
        ASSERT_TRUE(writer.write(batch));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.watches.size(), 1u);
    EXPECT_EQ(read.watches[0].started, Start);
    EXPECT_EQ(read.watches[0].ended, Start + 5000);
    EXPECT_EQ(read.watches[0].why, GetParam().why);
    EXPECT_EQ(firstText(file, "SELECT why FROM watch_log"), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, WatchEnd,
    testing::Values(ReasonCase{"Stopped", WatchEndReason::Stopped, "stopped"},
                    ReasonCase{"AddressChanged", WatchEndReason::AddressChanged, "address changed"},
                    ReasonCase{"Closed", WatchEndReason::Closed, "closed"},
                    ReasonCase{"Sleep", WatchEndReason::Sleep, "sleep"}),
    [](const testing::TestParamInfo<ReasonCase> &info) { return info.param.name; });

// Down before the sleep, up after it: nobody saw when it came back.
TEST(Watches, EndAnOutageOpenAtTheirEndAsNotWatched)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        store::Batch batch = batchOf({answered(Start), timedOut(Start + 1000),
                                      timedOut(Start + 2000), answered(Start + 3000),
                                      timedOut(Start + 4000), timedOut(Start + 5000),
                                      answered(Start + 600'000)});
        batch.watches = {starts(0, Start), ends(6, Start + 5500, WatchEndReason::Sleep),
                         starts(6, Start + 599'000)};
        ASSERT_TRUE(writer.writeLast(batch));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.outages.size(), 2u);
    EXPECT_EQ(read.outages[0].endedBy, store::OutageEnd::Answer);
    EXPECT_EQ(read.outages[0].end, Start + 3000);
    EXPECT_EQ(read.outages[1].endedBy, store::OutageEnd::NotWatched);
    EXPECT_EQ(read.outages[1].end, Start + 5500);
    EXPECT_EQ(read.outages[1].probesLost, 2u);
    ASSERT_EQ(read.watches.size(), 2u);
    EXPECT_EQ(read.watches[0].why, WatchEndReason::Sleep);
    EXPECT_EQ(read.watches[1].started, Start + 599'000);
    EXPECT_EQ(read.watches[1].why, WatchEndReason::Closed);
    EXPECT_EQ(read.watches[1].ended, Start + 600'000);
    EXPECT_EQ(firstText(file, "SELECT ended_by FROM outage_log ORDER BY started DESC"),
              "not watched");
}

TEST(Watches, StartAtTheFirstProbeWhenNoneWasStarted)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        ASSERT_TRUE(writer.write(batchOf({answered(Start + 100), answered(Start + 1100)})));
        // A second start while it goes on changes nothing.
        store::Batch batch = batchOf({answered(Start + 2100)});
        batch.watches = {starts(0, Start + 2000)};
        ASSERT_TRUE(writer.writeLast(batch));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.watches.size(), 1u);
    EXPECT_EQ(read.watches[0].started, Start + 100);
    EXPECT_EQ(read.watches[0].ended, Start + 2100);
    EXPECT_EQ(read.watches[0].why, WatchEndReason::Closed);
}

// What a killed program leaves: no end, and the outage it was in open.
TEST(Watches, OfAKilledProgramEndAtItsLatestCommitAsUnknown)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {Host});
        store::Batch batch = batchOf({answered(Start), timedOut(Start + 1000)});
        batch.handedOverAt = Start + 1400;
        ASSERT_TRUE(writer.write(batch));
        store::Batch later = batchOf({timedOut(Start + 2000)});
        later.handedOverAt = Start + 2300;
        ASSERT_TRUE(writer.write(later));
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.watches.size(), 1u);
    EXPECT_EQ(read.watches[0].ended, Start + 2300);
    EXPECT_EQ(read.watches[0].why, WatchEndReason::Unknown);
    ASSERT_EQ(read.outages.size(), 1u);
    EXPECT_EQ(read.outages[0].endedBy, store::OutageEnd::None);
    EXPECT_FALSE(read.outages[0].end);
    EXPECT_EQ(firstText(file, "SELECT why FROM watch_log"), "unknown");
}

TEST(Watches, AreReadForTheSpanTheyOverlap)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryWriter writer = writerFor(file, {Host, "192.0.2.8"});
        store::Batch batch = batchOf({answered(Start + 100)});
        batch.watches = {starts(0, Start), ends(1, Start + 1000, WatchEndReason::Stopped),
                         starts(1, Start + 5000), ends(1, Start + 6000, WatchEndReason::Stopped),
                         {1, 1, Start, std::nullopt}};
        ASSERT_TRUE(writer.writeLast(batch));
    }
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file, store::Access::ReadOnly, error);
    ASSERT_TRUE(connection) << error;
    const auto watchesIn = [&](history::TimeSpan span) {
        const std::optional<store::HostHistory> read =
            store::readHostHistory(*connection, Host, span, 10, error);
        std::vector<Milliseconds> starts;
        for (const store::StoredWatch &watch : read.value().watches)
            starts.push_back(watch.started);
        return starts;
    };
    EXPECT_EQ(watchesIn({Start + 1001, Start + 5000}), std::vector<Milliseconds>{});
    EXPECT_EQ(watchesIn({Start + 1000, Start + 5001}), (std::vector<Milliseconds>{Start, Start + 5000}));
    EXPECT_EQ(watchesIn({Start + 5500, Start + 5600}), std::vector<Milliseconds>{Start + 5000});
}

// The window's thread queues the watch's end between probes; the file
// keeps them in that order, whenever the writer's thread commits.
TEST(Watches, AreQueuedInOrderWithTheProbes)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryAppender appender({file, {}, std::chrono::hours{1}, {}});
        appender.startWatch(Host, Start);
        appender.append(Host, timedOut(Start + 1000));
        appender.append(Host, timedOut(Start + 2000));
        appender.endWatch(Host, Start + 2500, WatchEndReason::Stopped);
        appender.startWatch(Host, Start + 9000);
        appender.append(Host, answered(Start + 10'000));
        appender.endWatch(Host, Start + 10'500, WatchEndReason::AddressChanged);
    }
    const store::HostHistory read = everything(file, Host);
    ASSERT_EQ(read.watches.size(), 2u);
    EXPECT_EQ(read.watches[0].ended, Start + 2500);
    EXPECT_EQ(read.watches[1].started, Start + 9000);
    EXPECT_EQ(read.watches[1].why, WatchEndReason::AddressChanged);
    ASSERT_EQ(read.outages.size(), 1u);
    EXPECT_EQ(read.outages[0].endedBy, store::OutageEnd::NotWatched);
    EXPECT_EQ(read.outages[0].end, Start + 2500);
}

} // namespace
