#include "recording_sink.h"

#include "echowatch/host/address_watch.h"

#include <gtest/gtest.h>

namespace {

using host_test::probeAt;
using Lines = std::vector<std::string>;

constexpr std::uint32_t A = 0xC0000201; // 192.0.2.1
constexpr std::uint32_t B = 0xC0000202;
constexpr EchoStatus TimedOut = 11010;

host::AlertRules twoInARow()
{
    host::AlertRules rules;
    rules.downAfter = 2;
    return rules;
}

class AddressWatchTest : public testing::Test
{
protected:
    host_test::RecordingSink sink;
    host::IdSource ids;
    host::AddressWatch watch{twoInARow(),
                             [](const std::string &dotted) {
                                 return dotted == "192.0.2.1" ? std::string("router") : dotted;
                             },
                             ids,
                             sink};
};

TEST_F(AddressWatchTest, AWatchStartsWhenProbesAreSwitchedOnNotAtTheFirstProbe)
{
    watch.start(100'000);
    watch.take(probeAt(101, 0, A));
    watch.stop(102'000, host::WatchEnd::Stopped);
    EXPECT_EQ(sink.lines,
              (Lines{"watch router from 100", "probe router 0", "end router stopped at 102"}));
}

TEST_F(AddressWatchTest, AnAddressChangedDuringAnOutageEndsItUnwatchedAndNeverUp)
{
    watch.start(0);
    for (int second = 1; second <= 3; ++second)
        watch.take(probeAt(second, TimedOut, A));
    watch.take(probeAt(4, 0, B));
    watch.take(probeAt(5, 0, A));
    EXPECT_EQ(
        sink.lines,
        (Lines{"watch router from 0", "probe router 11010", "probe router 11010 #2",
               "down router #2", "probe router 11010 #2", "end router address changed at 4 #2",
               "verdict router #2 not watched: the watch ended during the outage",
               "watch 192.0.2.2 from 4", "probe 192.0.2.2 0", "end 192.0.2.2 address changed at 5",
               "watch router from 5", "probe router 0"}));
    EXPECT_TRUE(sink.ups.empty());
}

TEST_F(AddressWatchTest, TextThatIsNoAddressIsNotSentAndEndsTheWatch)
{
    watch.start(0);
    watch.take(probeAt(1, 0, A));
    watch.take(probeAt(2, BadAddressStatus, 0));
    watch.take(probeAt(3, BadAddressStatus, 0));
    EXPECT_EQ(sink.lines,
              (Lines{"watch router from 0", "probe router 0", "end router address changed at 2",
                     "unsent router -1 unwatched", "unsent router -1 unwatched"}));
}

TEST_F(AddressWatchTest, TextThatIsNoAddressBeforeAnyHostGoesWithNone)
{
    watch.start(0);
    watch.take(probeAt(1, BadAddressStatus, 0));
    watch.take(probeAt(2, 11018, 0));
    EXPECT_EQ(sink.lines,
              (Lines{"unsent nobody -1 unwatched", "watch 0.0.0.0 from 0", "probe 0.0.0.0 11018"}));
}

TEST_F(AddressWatchTest, TheAllZeroAddressIsAHostOfItsOwn)
{
    watch.start(0);
    watch.take(probeAt(1, 11018, 0));
    watch.take(probeAt(2, 11018, 0));
    ASSERT_EQ(sink.downs.size(), 1U);
    EXPECT_EQ(sink.downs[0].host.label, "0.0.0.0");
    EXPECT_EQ(sink.downs[0].host.dotted, "0.0.0.0");
}

TEST_F(AddressWatchTest, ProbesShownAfterAStopAreNotWatched)
{
    watch.start(0);
    watch.take(probeAt(1, TimedOut, A));
    watch.stop(2'000, host::WatchEnd::Sleep);
    watch.take(probeAt(3, TimedOut, A));
    watch.take(probeAt(4, TimedOut, A));
    EXPECT_TRUE(sink.downs.empty());
    EXPECT_EQ(sink.lines.back(), "probe router 11010 unwatched");
}

// The first host's outage ended with its watch and is classed so then; a
// trace's verdict for it coming later reaches no host, the new one least.
TEST_F(AddressWatchTest, AVerdictReachesTheHostWhoseOutageItIsAfterTheAddressChanged)
{
    watch.start(0);
    watch.take(probeAt(1, TimedOut, A));
    watch.take(probeAt(2, TimedOut, A));
    watch.take(probeAt(3, TimedOut, B));
    watch.take(probeAt(4, TimedOut, B));
    ASSERT_EQ(sink.downs.size(), 2U);
    sink.lines.clear();
    EXPECT_FALSE(watch.fileVerdict(sink.downs[0].outage, {host::Side::TheHost, "late a"}));
    EXPECT_TRUE(watch.fileVerdict(sink.downs[1].outage, {host::Side::TheHost, "b"}));
    EXPECT_FALSE(watch.fileVerdict(sink.downs[1].outage, {host::Side::TheHost, "late b"}));
    EXPECT_EQ(sink.lines, (Lines{"verdict 192.0.2.2 #4 b"}));
}

} // namespace
