// Retention of a large file while another window writes in it: small
// transactions, the lock handed over between them, and no write of the
// other window given up.
#include "store_files.h"

#include "echowatch/store/retention.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

using history::Milliseconds;
using history::ProbeSample;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr Milliseconds Days = 3;
constexpr Milliseconds Now = Start + Days * store::MillisecondsPerDay;
constexpr const char *Host = "192.0.2.7";
constexpr const char *OtherHost = "192.0.2.8";

// A probe a second for three days, of which a day is kept in full.
class LargeFile : public testing::Test
{
protected:
    static constexpr std::int64_t OldProbes = (Days - 1) * store::MillisecondsPerDay / 1000;

    static void SetUpTestSuite()
    {
        s_folder = new ScratchFolder;
        std::vector<ProbeSample> probes;
        for (Milliseconds time = Start; time < Now; time += 1000)
            probes.emplace_back(time, time % 60'000 == 0 ? 11010 : 0, time % 997, 32);
        store::HistoryWriter writer = writerFor(s_folder->file("large.sqlite"), {Host});
        ASSERT_TRUE(writer.writeLast(batchOf(probes)));
    }

    static void TearDownTestSuite() { delete s_folder; }

    void SetUp() override
    {
        std::filesystem::copy_file(s_folder->file("large.sqlite"), m_file);
    }

    // The other window, writing a probe a batch after the latest it wrote.
    bool otherWrites(store::HistoryWriter &other)
    {
        m_otherAt += 1000;
        return other.write(batchOf({ProbeSample(m_otherAt, 0, 500, 32)}));
    }

    static ScratchFolder *s_folder;
    ScratchFolder m_folder;
    std::string m_file = m_folder.file("history.sqlite");
    Milliseconds m_otherAt = Now;
};

ScratchFolder *LargeFile::s_folder = nullptr;

TEST_F(LargeFile, IsRetainedInSmallTransactionsHandingTheLockOver)
{
    store::HistoryWriter other = writerFor(m_file, {OtherHost});
    // Not waiting at all: the lock must be free between two transactions.
    other.connection().setLockWait(std::chrono::milliseconds{0});
    std::size_t transactions = 0;
    std::size_t otherFailed = 0;
    const store::GoOn goOn = [&] {
        ++transactions;
        otherFailed += otherWrites(other) ? 0 : 1;
        return true;
    };
    std::string error;
    store::Connection connection = std::move(*store::Connection::open(
        m_file, store::Access::ReadWrite, error));
    ASSERT_TRUE(store::applyRetention(connection, Now, {1, 366, 1000}, error, goOn)) << error;
    // A probe a second folds 1,000 probes as 16 whole minutes, 960 probes.
    EXPECT_GE(transactions, static_cast<std::size_t>(OldProbes / 960));
    EXPECT_EQ(otherFailed, 0u);
    EXPECT_EQ(probeCount(m_file), OldProbes / 2 + static_cast<std::int64_t>(transactions));
    EXPECT_EQ(integrityCheck(m_file), "ok");
}

TEST_F(LargeFile, IsRetainedWhileAnotherWindowWritesWithoutItGivingUp)
{
    std::atomic<bool> retaining = true;
    std::string error;
    std::thread retention([&] {
        std::optional<store::Connection> connection =
            store::Connection::open(m_file, store::Access::ReadWrite, error);
        if (!connection || !store::applyRetention(*connection, Now, {1, 366}, error))
            error = "retention failed: " + error;
        retaining = false;
    });
    store::HistoryWriter other = writerFor(m_file, {OtherHost});
    std::size_t writes = 0;
    std::size_t writesWhileRetaining = 0;
    bool allWritten = true;
    while (retaining && allWritten) {
        allWritten = otherWrites(other);
        ++writes;
        writesWhileRetaining += retaining ? 1 : 0;
    }
    retention.join();
    EXPECT_EQ(error, "");
    EXPECT_TRUE(allWritten) << other.lastError() << " after " << writes << " writes";
    // It waited for a turn, not for the whole retention.
    EXPECT_GE(writesWhileRetaining, 2u);
    EXPECT_EQ(everything(m_file, Host).probes.size(), static_cast<std::size_t>(OldProbes / 2));
}

} // namespace
