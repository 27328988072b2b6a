// A history file that cannot be written: on a full file system (a small
// tmpfs) and read-only. Each is reported once, probing goes on, and nothing
// the file held is lost; once the disk has room again the queued probes
// follow. The file systems are mounted in a mount namespace of this test's
// own, so nothing of them is seen outside it, or left behind.
#include "store_files.h"

#include "echowatch/store/history_appender.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using history::Milliseconds;
using history::ProbeSample;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr const char *Host = "192.0.2.1";

// Why the tests that mount cannot run here; empty when they can.
std::string g_cannotMount;

std::string enterMountNamespace()
{
    if (geteuid() != 0)
        return "mounting a file system needs root";
    if (unshare(CLONE_NEWNS) != 0)
        return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("making the mounts private: ") + std::strerror(errno);
    return {};
}

std::string contentsOf(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Takes every free byte of the file system the folder is on.
void fill(const std::string &filler)
{
    const int descriptor = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(descriptor, 0);
    const std::vector<char> block(4096, 'x');
    for (int written = 0; written < 100'000; ++written) {
        if (write(descriptor, block.data(), block.size()) <= 0)
            break;
    }
    close(descriptor);
}

TEST(FullFileSystem, WarnsOnceKeepsWhatWasWrittenAndCatchesUpWithRoomAgain)
{
    if (!g_cannotMount.empty())
        GTEST_SKIP() << "skipped: " << g_cannotMount;
    ScratchFolder folder;
    ASSERT_EQ(mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=2m"), 0)
        << std::strerror(errno);
    const std::string file = folder.file("history.sqlite");
    WarningLog warnings;
    std::uint64_t appended = 0;
    {
        store::HistoryAppender appender(
            {file, {}, std::chrono::milliseconds{50}, warnings.callback()});
        const auto appendSome = [&](int count) {
            for (int index = 0; index < count; ++index, ++appended)
                appender.append(Host,
                                ProbeSample(Start + static_cast<Milliseconds>(appended) * 1000, 0,
                                            150 + index, 32));
        };
        appendSome(1000);
        ASSERT_TRUE(waitFor([&] { return appender.storedProbes() == appended; }));
        fill(folder.file("filler"));
        for (int round = 0; round < 200 && appender.warning().empty(); ++round) {
            appendSome(2000);
            waitFor(
                [&] { return appender.storedProbes() == appended || !appender.warning().empty(); });
        }
        ASSERT_FALSE(appender.warning().empty()) << "the file system never filled";
        const std::uint64_t stored = appender.storedProbes();
        std::printf("%llu of %llu probes stored when: %s\n",
                    static_cast<unsigned long long>(stored),
                    static_cast<unsigned long long>(appended), appender.warning().c_str());
        EXPECT_EQ(probeCount(file), static_cast<std::int64_t>(stored));
        EXPECT_EQ(integrityCheck(file), "ok");
        appendSome(500);
        ASSERT_EQ(unlink(folder.file("filler").c_str()), 0);
        EXPECT_TRUE(waitFor([&] { return appender.storedProbes() == appended; }));
        EXPECT_EQ(appender.warning(), "");
        EXPECT_EQ(appender.droppedProbes(), 0u);
    }
    EXPECT_EQ(warnings.warningsGiven(), 1u);
    EXPECT_EQ(probeCount(file), static_cast<std::int64_t>(appended));
    EXPECT_EQ(integrityCheck(file), "ok");
    umount2(folder.path().c_str(), MNT_DETACH);
}

// As root, through a read-only bind mount of its folder; as anyone else,
// through its permissions.
void makeReadOnly(const ScratchFolder &folder, const std::string &file)
{
    if (g_cannotMount.empty()) {
        ASSERT_EQ(mount(folder.path().c_str(), folder.path().c_str(), nullptr, MS_BIND, nullptr),
                  0);
        ASSERT_EQ(mount(nullptr, folder.path().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                        nullptr),
                  0);
        return;
    }
    if (geteuid() == 0)
        GTEST_SKIP() << "skipped: root writes through permissions, and " << g_cannotMount;
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(chmod(folder.path().c_str(), 0555), 0);
}

void makeWritable(const ScratchFolder &folder, const std::string &file)
{
    if (g_cannotMount.empty()) {
        umount2(folder.path().c_str(), MNT_DETACH);
        return;
    }
    chmod(folder.path().c_str(), 0700);
    chmod(file.c_str(), 0644);
}

TEST(ReadOnlyFile, WarnsOnceAndLeavesTheFileAsItWas)
{
    ScratchFolder folder;
    const std::string file = folder.file("history.sqlite");
    {
        store::HistoryAppender appender({file, {}, std::chrono::milliseconds{50}, {}});
        for (int index = 0; index < 100; ++index)
            appender.append(Host, ProbeSample(Start + index * 1000, 0, 150, 32));
    }
    const std::string before = contentsOf(file);
    makeReadOnly(folder, file);
    if (testing::Test::IsSkipped())
        return;
    WarningLog warnings;
    {
        store::HistoryAppender appender(
            {file, {}, std::chrono::milliseconds{20}, warnings.callback()});
        for (int index = 100; index < 200; ++index)
            appender.append(Host, ProbeSample(Start + index * 1000, 0, 150, 32));
        EXPECT_TRUE(waitFor([&] { return !appender.warning().empty(); }));
        EXPECT_NE(appender.warning().find(file), std::string::npos);
        std::printf("%s\n", appender.warning().c_str());
        EXPECT_EQ(appender.storedProbes(), 0u);
    }
    makeWritable(folder, file);
    EXPECT_EQ(warnings.warningsGiven(), 1u);
    EXPECT_EQ(contentsOf(file), before);
    EXPECT_EQ(probeCount(file), 100);
}

} // namespace

// Before any test starts a thread: a process with threads cannot leave its
// mount namespace.
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_cannotMount = enterMountNamespace();
    return RUN_ALL_TESTS();
}
