// The hop prober's rounds, as a watched path runs them: their pace, where a
// round ends, and the figures each hop adds up.
#include "echowatch/net/user_pace.h"
#include "echowatch/path/hop_prober.h"
#include "scripted_path.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Kind = scripted::Router::Kind;
using scripted::Host;
using testpackets::address;

scripted::Path threeRouters()
{
    scripted::Path path;
    path.routers = {{address("192.0.2.1")}, {address("198.51.100.1")}, {address("198.51.100.2")}};
    return path;
}

struct Watch
{
    explicit Watch(scripted::Path path) : echo(std::move(path), clock), prober(echo, clock) {}

    void rounds(int count)
    {
        for (int round = 0; round < count; ++round)
            ASSERT_TRUE(prober.runRound(Host));
    }

    scripted::ManualClock clock;
    scripted::ScriptedPath echo;
    path::HopProber prober;
};

// No request follows the one before sooner than ping lets a user send, and
// a round begins no sooner than a second after the one before.
TEST(Rounds, KeepPingsPaceAndOneRoundASecond)
{
    auto path = threeRouters();
    path.routers[1].kind = Kind::Silent;
    Watch watch(path);
    watch.rounds(4);
    const auto &sent = watch.echo.sent();
    ASSERT_EQ(sent.size(), 16u);
    for (std::size_t index = 1; index < sent.size(); ++index)
        EXPECT_GE(sent[index].at - sent[index - 1].at, net::UserPace::AnsweredSpacing) << index;
    for (std::size_t round = 1; round < 4; ++round)
        EXPECT_GE(sent[round * 4].at - sent[(round - 1) * 4].at, 1s) << round;
    // The only answered request is the host's; everything else is spaced as
    // a request that got no answer.
    EXPECT_GE(sent[1].at - sent[0].at, net::UserPace::UnansweredSpacing);
}

// Each hop's figures over four rounds: its round trips, and the probes a
// rationing router left unanswered counted as lost at its hop alone.
TEST(Rounds, AddUpEachHopsFigures)
{
    auto path = threeRouters();
    path.routers[1].kind = Kind::Rations;
    path.routers[1].answerEvery = 2;
    Watch watch(path);
    const std::chrono::microseconds trips[] = {2'000us, 7'000us, 1'000us, 4'000us};
    for (const auto trip : trips) {
        watch.echo.path().routers[0].roundTrip = trip;
        ASSERT_TRUE(watch.prober.runRound(Host));
    }
    const auto &hops = watch.prober.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_EQ(watch.prober.table().rounds, 4);
    EXPECT_EQ(hops[0].sent, 4);
    EXPECT_EQ(hops[0].lost, 0);
    EXPECT_EQ(hops[0].last, 4ms);
    EXPECT_EQ(hops[0].best, 1ms);
    EXPECT_EQ(hops[0].worst, 7ms);
    EXPECT_EQ(hops[0].average(), 3'500us);
    EXPECT_EQ(hops[1].sent, 4);
    EXPECT_EQ(hops[1].lost, 2);
    EXPECT_DOUBLE_EQ(hops[1].lossPercent(), 50.0);
    EXPECT_EQ(hops[1].responder, address("198.51.100.1"));
    EXPECT_EQ(hops[2].lost, 0);
    EXPECT_EQ(hops[3].lost, 0);
    EXPECT_TRUE(hops[3].isHost);
    EXPECT_EQ(hops[3].responder, Host);
}

// Once the host answered at a TTL, a round goes no further, even while the
// host is silent; when it answers nearer, the hops past it are dropped.
TEST(Rounds, EndAtTheHost)
{
    Watch watch(threeRouters());
    watch.rounds(1);
    watch.echo.path().hostAnswers = false;
    watch.rounds(1);
    EXPECT_EQ(watch.echo.sent().back().ttl, 4);
    EXPECT_EQ(watch.prober.table().hops.size(), 4u);
    EXPECT_EQ(watch.prober.table().hops[3].lost, 1);

    watch.echo.path().hostAnswers = true;
    watch.echo.path().hostAnswersFromTtl = 2;
    watch.rounds(1);
    EXPECT_EQ(watch.echo.sent().back().ttl, 2);
    ASSERT_EQ(watch.prober.table().hops.size(), 2u);
    EXPECT_EQ(watch.prober.table().hostHop(), 2);
}

// A router at the TTL the host was known at means the way got longer: the
// round goes on past it to find the host again.
TEST(Rounds, FollowAWayThatGotLonger)
{
    Watch watch(threeRouters());
    watch.rounds(1);
    watch.echo.path().routers.push_back({address("198.51.100.3")});
    watch.rounds(1);
    EXPECT_EQ(watch.prober.table().hostHop(), 5);
    EXPECT_EQ(watch.prober.table().hops[3].responder, address("198.51.100.3"));
    EXPECT_FALSE(watch.prober.table().hops[3].isHost);
}

TEST(Rounds, StopWhenAsked)
{
    Watch watch(threeRouters());
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(watch.prober.runRound(Host, stop.get_token()));
    EXPECT_TRUE(watch.echo.sent().empty());
}

} // namespace
