// A window killed at any moment while it writes: a program appending a
// probe a millisecond is killed with SIGKILL at 50 moments, half of them as
// its rows arrive in the file, half as it writes its log. Each time the file
// passes SQLite's integrity check, keeps every probe seen in it before, and
// holds the probes of all but the last second before the kill.
#include "store_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int Kills = 50;
constexpr std::int64_t LossBound = 1000;

std::int64_t wallClockNow()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

pid_t startAppending(const std::string &file)
{
    const std::string program = STORE_APPEND_UNTIL_KILLED;
    char *arguments[] = {const_cast<char *>(program.c_str()), const_cast<char *>(file.c_str()),
                         nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environ) != 0)
        return -1;
    return child;
}

// Only a child of ours that has not been reaped yet.
void killChild(pid_t child)
{
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the appending program ended by itself";
    ASSERT_EQ(kill(child, SIGKILL), 0);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

std::filesystem::file_time_type modified(const std::string &file)
{
    std::error_code error;
    return std::filesystem::last_write_time(file, error);
}

// The next write to the log, polled tightly so the kill lands inside it.
bool waitForLogWrite(const std::string &log)
{
    const auto before = modified(log);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{5};
    while (modified(log) == before) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds{100});
    }
    return true;
}

TEST(KilledWriter, LeavesASoundFileLosingAtMostTheLastSecond)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    const unsigned seed = std::random_device{}();
    RecordProperty("seed", static_cast<int>(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> probesToWait(1, 1500);
    std::int64_t worstLoss = 0;
    for (int round = 0; round < Kills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round) + ", seed " + std::to_string(seed));
        const std::int64_t before = round == 0 ? 0 : probeCount(file);
        const pid_t child = startAppending(file);
        ASSERT_GT(child, 0);
        const std::int64_t target = before + probesToWait(random);
        std::int64_t seen = 0;
        const bool reached = waitFor([&] {
            seen = std::filesystem::exists(file) ? probeCount(file) : 0;
            return seen >= target;
        });
        const bool inLogWrite = reached && round % 2 == 1 && waitForLogWrite(file + "-wal");
        const std::int64_t killedAt = wallClockNow();
        killChild(child);
        ASSERT_TRUE(reached) << "the file never held " << target << " probes";
        EXPECT_TRUE(round % 2 == 0 || inLogWrite);
        ASSERT_EQ(integrityCheck(file), "ok");
        EXPECT_GE(probeCount(file), seen);
        const std::int64_t loss = killedAt - latestProbeTime(file).value_or(0);
        EXPECT_LE(loss, LossBound);
        worstLoss = std::max(worstLoss, loss);
    }
    std::printf("%d kills, worst loss %lld ms, %lld probes kept\n", Kills,
                static_cast<long long>(worstLoss), static_cast<long long>(probeCount(file)));
}

} // namespace
