#include "recording_sink.h"

#include "echowatch/host/host_monitor.h"

#include <gtest/gtest.h>

namespace {

using host_test::probeAt;
using Lines = std::vector<std::string>;

constexpr std::uint32_t Host = 0xC0000207; // 192.0.2.7
constexpr EchoStatus TimedOut = 11010;

host::HostIdentity identity()
{
    return {"h", 0, "192.0.2.7"};
}

host::AlertRules downAfter(int probes)
{
    host::AlertRules rules;
    rules.downAfter = probes;
    return rules;
}

struct Sequence
{
    const char *name;
    int downAfter;
    std::vector<EchoStatus> statuses; // one a second from 1
    Lines expected;
};

class HostMonitorSequence : public testing::TestWithParam<Sequence>
{};

TEST_P(HostMonitorSequence, DecidesDownAndUpOnce)
{
    const Sequence &sequence = GetParam();
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(sequence.downAfter), ids, sink);
    int second = 0;
    for (const EchoStatus status : sequence.statuses)
        monitor.take(probeAt(++second, status, Host));
    EXPECT_EQ(sink.lines, sequence.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostMonitorSequence,
    testing::Values(
        Sequence{"answersOnly", 3, {0, 0}, {"watch h from 1", "probe h 0", "probe h 0"}},
        Sequence{"twoFailuresAreNoOutage",
                 3,
                 {TimedOut, TimedOut, 0},
                 {"watch h from 1", "probe h 11010", "probe h 11010", "probe h 0"}},
        Sequence{"downAtTheThirdThenUp",
                 3,
                 {TimedOut, TimedOut, TimedOut, TimedOut, 0},
                 {"watch h from 1", "probe h 11010", "probe h 11010", "probe h 11010 #2",
                  "down h #2", "probe h 11010 #2", "probe h 0", "up h #2"}},
        // 0.0.0.0 is refused by this machine: an address all the same.
        Sequence{"downAfterOne",
                 1,
                 {11018, 0},
                 {"watch h from 1", "probe h 11018 #2", "down h #2", "probe h 0", "up h #2"}},
        Sequence{"eachOutageItsOwnId",
                 1,
                 {TimedOut, 0, TimedOut, 0},
                 {"watch h from 1", "probe h 11010 #2", "down h #2", "probe h 0", "up h #2",
                  "probe h 11010 #3", "down h #3", "probe h 0", "up h #3"}},
        Sequence{"aNonPositiveThresholdIsOne",
                 0,
                 {TimedOut},
                 {"watch h from 1", "probe h 11010 #2", "down h #2"}}),
    [](const testing::TestParamInfo<Sequence> &info) { return info.param.name; });

TEST(HostMonitor, OutageFiguresRunFromTheFirstFailureToTheAnswer)
{
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(2), ids, sink);
    monitor.take(probeAt(10, TimedOut, Host));
    monitor.take(probeAt(11, 11003, Host));
    monitor.take(probeAt(12, 11003, Host));
    monitor.take(probeAt(13, 0, Host));
    ASSERT_EQ(sink.downs.size(), 1U);
    EXPECT_EQ(sink.downs[0].figures.start, 10'000);
    EXPECT_EQ(sink.downs[0].figures.probesLost, 2U);
    ASSERT_EQ(sink.ups.size(), 1U);
    EXPECT_EQ(sink.ups[0].figures.start, 10'000);
    EXPECT_EQ(sink.ups[0].figures.end, 13'000);
    EXPECT_EQ(sink.ups[0].figures.probesLost, 3U);
    EXPECT_EQ(sink.ups[0].figures.cause(), 11003);
}

// ... and is classed not watched, right after the watch's end.
TEST(HostMonitor, AnOutageOpenAtTheWatchsEndEndsUnwatchedNeverUp)
{
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(1), ids, sink);
    monitor.startWatch(5'000);
    monitor.take(probeAt(6, TimedOut, Host));
    monitor.endWatch(7'000, host::WatchEnd::Sleep);
    // Seen again after the sleep: a new watch, no outage carried over.
    monitor.take(probeAt(60, 0, Host));
    EXPECT_EQ(sink.lines,
              (Lines{"watch h from 5", "probe h 11010 #2", "down h #2", "end h sleep at 7 #2",
                     "verdict h #2 not watched: the watch ended during the outage",
                     "watch h from 60", "probe h 0"}));
    ASSERT_EQ(sink.verdicts.size(), 1U);
    EXPECT_EQ(sink.verdicts[0].verdict.side, host::Side::NotWatched);
    EXPECT_FALSE(sink.verdicts[0].verdict.traced);
    EXPECT_EQ(sink.verdicts[0].outageStart, 6'000);
    ASSERT_EQ(sink.ends.size(), 1U);
    EXPECT_EQ(sink.ends[0].started, 5'000);
    EXPECT_EQ(sink.ends[0].figures.start, 6'000);
}

TEST(HostMonitor, FilesAVerdictWithItsOwnOutageOnlyEvenOnceEnded)
{
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(1), ids, sink);
    monitor.take(probeAt(1, TimedOut, Host));
    monitor.take(probeAt(2, 0, Host));
    sink.lines.clear();
    EXPECT_TRUE(monitor.fileVerdict(2, {host::Side::TheHost, "late"}));
    EXPECT_FALSE(monitor.fileVerdict(3, {host::Side::TheHost, "unknown"}));
    EXPECT_FALSE(monitor.fileVerdict(1, {host::Side::TheHost, "a watch's id"}));
    EXPECT_EQ(sink.lines, (Lines{"verdict h #2 late"}));
}

// One verdict per outage, the first: a trace's that comes after the watch
// ended does not reclass it, nor does the watch's end reclass one that has
// its verdict.
TEST(HostMonitor, TheFirstVerdictIsTheOutagesOne)
{
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(1), ids, sink);
    monitor.take(probeAt(1, TimedOut, Host));
    EXPECT_TRUE(monitor.fileVerdict(2, {host::Side::LocalNetwork, "first"}));
    EXPECT_FALSE(monitor.fileVerdict(2, {host::Side::TheHost, "second"}));
    monitor.endWatch(3'000, host::WatchEnd::Stopped);
    monitor.take(probeAt(4, TimedOut, Host));
    monitor.endWatch(5'000, host::WatchEnd::Closed);
    EXPECT_FALSE(monitor.fileVerdict(4, {host::Side::TheHost, "too late"}));
    EXPECT_EQ(sink.lines, (Lines{"watch h from 1", "probe h 11010 #2", "down h #2",
                                 "verdict h #2 first", "end h stopped at 3 #2", "watch h from 4",
                                 "probe h 11010 #4", "down h #4", "end h closed at 5 #4",
                                 "verdict h #4 not watched: the watch ended during the outage"}));
}

// A watch that ends with the host up leaves nothing to class.
TEST(HostMonitor, AWatchEndedUpFilesNothing)
{
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor(identity(), downAfter(1), ids, sink);
    monitor.take(probeAt(1, TimedOut, Host));
    monitor.take(probeAt(2, 0, Host));
    monitor.endWatch(3'000, host::WatchEnd::Stopped);
    EXPECT_TRUE(sink.verdicts.empty());
}

TEST(HostSide, EveryClassHasItsWordsAndUnknownNone)
{
    using host::Side;
    const std::pair<Side, std::string_view> names[] = {
        {Side::ThisComputer, "this computer"},       {Side::LocalNetwork, "local network"},
        {Side::BeyondGateway, "beyond the gateway"}, {Side::TheHost, "the host"},
        {Side::NotWatched, "not watched"},           {Side::Unknown, ""}};
    for (const auto &[side, name] : names)
        EXPECT_EQ(host::sideName(side), name);
    EXPECT_TRUE(host::tellsWhere({Side::Unknown, "stops after hop 2", true}));
    EXPECT_TRUE(host::tellsWhere({Side::NotWatched, "not watched: ...", false}));
    EXPECT_FALSE(host::tellsWhere({Side::Unknown, "not traced", false}));
}

} // namespace
