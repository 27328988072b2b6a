// The hop prober's rounds, as a watched path runs them: every TTL in flight
// at once at ping's pace, answers matched to their TTL whatever order they
// come in, where a round ends, and the figures each hop adds up.
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
    explicit Watch(scripted::Path path, scripted::Service service = scripted::Service::InFlight)
        : echo(std::move(path), clock, service), prober(echo, clock)
    {}

    void rounds(int count)
    {
        for (int round = 0; round < count; ++round)
            ASSERT_TRUE(prober.runRound(Host));
    }
    std::chrono::nanoseconds timeOfOneRound()
    {
        const auto start = clock.now();
        EXPECT_TRUE(prober.runRound(Host));
        return clock.now() - start;
    }

    scripted::ManualClock clock;
    scripted::ScriptedPath echo;
    path::HopProber prober;
};

// No request follows the one before sooner than ping lets a user send, nor
// sooner than its unanswered spacing while the one before has no answer;
// a round begins no sooner than a second after the one before. The same
// holds over a service that serves one request at a time.
TEST(Rounds, KeepPingsPaceAndOneRoundASecond)
{
    for (const auto service : {scripted::Service::InFlight, scripted::Service::OneAtATime}) {
        auto path = threeRouters();
        path.routers[1].kind = Kind::Silent;
        Watch watch(path, service);
        watch.rounds(4);
        const auto &sent = watch.echo.sent();
        ASSERT_EQ(sent.size(), 16u);
        for (std::size_t index = 1; index < sent.size(); ++index) {
            // Only the host's answer is an answer; time-exceeded is not.
            const bool afterTheHost = sent[index - 1].ttl == 4;
            EXPECT_GE(sent[index].at - sent[index - 1].at,
                      afterTheHost ? net::UserPace::AnsweredSpacing
                                   : net::UserPace::UnansweredSpacing)
                << index;
        }
        for (std::size_t round = 1; round < 4; ++round)
            EXPECT_GE(sent[round * 4].at - sent[(round - 1) * 4].at, 1s) << round;
    }
}

// Routers far away answer after the next TTLs have gone out: every TTL of
// the round is in flight at once, and the round takes one round trip of the
// slowest, not the sum of them.
TEST(Rounds, HaveEveryTtlInFlightAtOnce)
{
    auto path = threeRouters();
    for (auto &router : path.routers)
        router.roundTrip = 200ms;
    path.hostRoundTrip = 200ms;
    Watch watch(path);
    const auto took = watch.timeOfOneRound();
    EXPECT_GE(watch.echo.mostInFlight(), 4u);
    EXPECT_LT(took, 200ms + 4 * net::UserPace::UnansweredSpacing);
    EXPECT_EQ(watch.prober.table().hostHop(), 4);
}

// Answers that come back in another order than their requests went out
// each land at their own TTL.
TEST(Rounds, PutAnswersThatComeOutOfOrderAtTheirTtl)
{
    auto path = threeRouters();
    path.routers[0].roundTrip = 90ms;
    path.routers[1].roundTrip = 1ms;
    path.routers[2].roundTrip = 40ms;
    Watch watch(path);
    watch.rounds(1);
    const auto &hops = watch.prober.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_EQ(hops[0].responder(), address("192.0.2.1"));
    EXPECT_EQ(hops[0].last, 90ms);
    EXPECT_EQ(hops[1].responder(), address("198.51.100.1"));
    EXPECT_EQ(hops[2].responder(), address("198.51.100.2"));
    EXPECT_EQ(hops[2].last, 40ms);
    EXPECT_TRUE(hops[3].isHost);
}

// An answer that comes after its request timed out is no answer: the hop
// counts it lost, and the late one (handed over again by the service, into
// the next round) is taken by no row.
TEST(Rounds, TakeNoLateAnswerForAFinishedTtl)
{
    auto path = threeRouters();
    path.routers[1].kind = Kind::Silent;
    path.staleAnswersAfter = 300ms;
    Watch watch(path);
    watch.rounds(3);
    const auto &hops = watch.prober.table().hops;
    ASSERT_EQ(hops.size(), 4u);
    EXPECT_EQ(hops[1].sent, 3);
    EXPECT_EQ(hops[1].lost, 3);
    for (const auto &hop : hops)
        EXPECT_EQ(hop.find(address("192.0.2.99")), nullptr);
}

// Five silent routers before the host: the first round ends within one
// timeout and the pace of its requests, with the host found behind them.
TEST(Rounds, FinishFiveSilentHopsWithinOneTimeout)
{
    scripted::Path path;
    for (int hop = 1; hop <= 5; ++hop) {
        const auto text = "192.0.2." + std::to_string(hop);
        path.routers.push_back({address(text.c_str()), Kind::Silent});
    }
    Watch watch(path);
    const auto took = watch.timeOfOneRound();
    EXPECT_LE(took, 500ms + 6 * net::UserPace::UnansweredSpacing + path.hostRoundTrip);
    const auto &table = watch.prober.table();
    EXPECT_EQ(table.hostHop(), 6);
    ASSERT_EQ(table.hops.size(), 6u);
    for (int hop = 0; hop < 5; ++hop)
        EXPECT_EQ(table.hops[static_cast<std::size_t>(hop)].lost, 1) << hop;
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
    EXPECT_EQ(hops[1].responder(), address("198.51.100.1"));
    EXPECT_EQ(hops[2].lost, 0);
    EXPECT_EQ(hops[3].lost, 0);
    EXPECT_TRUE(hops[3].isHost);
    EXPECT_EQ(hops[3].responder(), Host);
}

// A path balanced over two routers at one hop shows both, each with how
// often it answered, the more frequent first.
TEST(Rounds, KeepEveryResponderOfAHop)
{
    Watch watch(threeRouters());
    for (int round = 0; round < 5; ++round) {
        watch.echo.path().routers[1].address =
            address(round % 3 == 0 ? "198.51.100.9" : "198.51.100.1");
        ASSERT_TRUE(watch.prober.runRound(Host));
    }
    const auto &hop = watch.prober.table().hops.at(1);
    ASSERT_EQ(hop.responders.size(), 2u);
    EXPECT_EQ(hop.responder(), address("198.51.100.1"));
    EXPECT_EQ(hop.find(address("198.51.100.1"))->answers, 3);
    EXPECT_EQ(hop.find(address("198.51.100.9"))->answers, 2);
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
    EXPECT_EQ(watch.prober.table().hops[3].responder(), address("198.51.100.3"));
    EXPECT_FALSE(watch.prober.table().hops[3].isHost);
}

// An ICMP error ends a round at its TTL: nothing beyond is kept, the error
// is counted apart from the round trips, and the row names its sender.
TEST(Rounds, EndAtAnError)
{
    auto path = threeRouters();
    path.routers[1].kind = Kind::Refuses;
    path.routers[1].roundTrip = 30ms;
    Watch watch(path);
    watch.rounds(2);
    const auto &hops = watch.prober.table().hops;
    ASSERT_EQ(hops.size(), 3u);
    EXPECT_EQ(hops[1].responder(), address("198.51.100.1"));
    EXPECT_EQ(hops[1].roundTrips, 2);
    const auto &errorRow = hops[2];
    EXPECT_TRUE(errorRow.endedByError);
    EXPECT_EQ(errorRow.roundTrips, 0);
    EXPECT_EQ(errorRow.errors, 2);
    EXPECT_EQ(errorRow.lastErrorAfter, 30ms);
    EXPECT_EQ(errorRow.lost, 0);
    ASSERT_NE(errorRow.lastErrorSender(), nullptr);
    EXPECT_EQ(errorRow.lastErrorSender()->address, address("198.51.100.1"));
    EXPECT_EQ(errorRow.lastErrorSender()->lastError, (icmp::MessageKind{3, 1}));
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
