// The appender as a window uses it: probes queued from one thread, written
// in a few transactions by its own, every one of them in the file once it
// is gone, and a file it cannot write reported once.
#include "store_files.h"

#include "echowatch/store/history_appender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <vector>

using history::Milliseconds;
using history::ProbeSample;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;

TEST(HistoryAppender, WritesManyProbesInFewTransactions)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    constexpr std::uint64_t Probes = 20'000;
    const auto start = std::chrono::steady_clock::now();
    store::HistoryAppender appender({file, {}, std::chrono::milliseconds{500}, {}});
    for (std::uint64_t index = 0; index < Probes; ++index)
        appender.append(index % 2 ? "192.0.2.1" : "192.0.2.2",
                        ProbeSample(Start + static_cast<Milliseconds>(index), 0, 100, 32));
    ASSERT_TRUE(waitFor([&] { return appender.storedProbes() == Probes; }));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LE(appender.commits(),
              2 + static_cast<std::uint64_t>(elapsed / std::chrono::milliseconds{500}));
    EXPECT_EQ(probeCount(file), static_cast<std::int64_t>(Probes));
    EXPECT_EQ(appender.warning(), "");
}

TEST(HistoryAppender, WritesWhatIsQueuedBeforeItEnds)
{
    ScratchFolder folder;
    const std::string file = folder.file("sub/folder/history.sqlite");
    {
        store::HistoryAppender appender({file, {}, std::chrono::hours{1}, {}});
        for (int index = 0; index < 10; ++index)
            appender.append("192.0.2.1", ProbeSample(Start + index, index % 3 ? 0 : 11010, 5, 32));
    }
    const store::HostHistory read = everything(file, "192.0.2.1");
    EXPECT_EQ(read.probes.size(), 10u);
    EXPECT_EQ(everything(file, "192.0.2.1", 0).minutes.size(), 1u);
    EXPECT_EQ(integrityCheck(file), "ok");
}

TEST(HistoryAppender, ReportsAFileItCannotMakeOnceAndGoesOn)
{
    ScratchFolder folder;
    // A regular file where the history's folder would be.
    std::ofstream(folder.file("taken")) << "not a folder";
    WarningLog warnings;
    {
        store::HistoryAppender appender({folder.file("taken/history.sqlite"),
                                         {},
                                         std::chrono::milliseconds{20},
                                         warnings.callback()});
        ASSERT_TRUE(waitFor([&] { return !appender.warning().empty(); }));
        for (int index = 0; index < 100; ++index)
            appender.append("192.0.2.1", ProbeSample(Start + index, 0, 5, 32));
        EXPECT_EQ(appender.storedProbes(), 0u);
        EXPECT_NE(appender.warning().find("taken/history.sqlite"), std::string::npos);
    }
    EXPECT_EQ(warnings.texts().size(), 1u);
    EXPECT_EQ(warnings.warningsGiven(), 1u);
}

// A window closing or switching files while another program holds the
// file's lock: its thread goes on at once, the last commit follows on the
// appender's own thread once the lock is free, and the program's exit waits
// for it only as long as it is told.
TEST(HistoryAppender, ClosesInTheBackgroundWithoutWaitingForTheLastCommit)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    WarningLog warnings;
    auto appender = std::make_unique<store::HistoryAppender>(
        store::AppenderOptions{file, {}, std::chrono::hours{1}, warnings.callback()});
    std::string error;
    std::optional<store::Connection> other =
        store::Connection::open(file, store::Access::ReadWrite, error);
    ASSERT_TRUE(other) << error;
    ASSERT_TRUE(other->execute("BEGIN IMMEDIATE"));
    appender->append("192.0.2.1", ProbeSample(Start, 0, 100, 32));
    store::HistoryAppender::closeInBackground(std::move(appender));
    // Back while the lock is held, so before the commit.
    EXPECT_FALSE(store::HistoryAppender::waitForClosed(std::chrono::milliseconds{20}));
    ASSERT_TRUE(other->execute("COMMIT"));
    EXPECT_TRUE(store::HistoryAppender::waitForClosed(std::chrono::seconds{20}));
    EXPECT_EQ(probeCount(file), 1);
    EXPECT_EQ(warnings.warningsGiven(), 0u);
    // Nothing left to wait for.
    EXPECT_TRUE(store::HistoryAppender::waitForClosed(std::chrono::milliseconds{0}));
}

} // namespace
