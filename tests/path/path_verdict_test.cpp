// The one trace run when a host goes down, over scripted paths: what it
// says about where the way broke, in the words the user reads, and how soon.
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/user_pace.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/path_verdict.h"
#include "scripted_path.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using scripted::Host;
using scripted::Router;
using testpackets::address;
using Kind = Router::Kind;

std::vector<Router> routers(std::initializer_list<Kind> kinds)
{
    std::vector<Router> list;
    int hop = 1;
    for (const Kind kind : kinds) {
        const auto text = "192.0.2." + std::to_string(hop++);
        list.push_back({address(text.c_str()), kind, 3});
    }
    return list;
}

scripted::Path pathOf(std::initializer_list<Kind> kinds, bool hostAnswers = true,
                      int breaksAfterHop = -1)
{
    scripted::Path path;
    path.routers = routers(kinds);
    path.hostAnswers = hostAnswers;
    path.breaksAfterHop = breaksAfterHop;
    return path;
}

struct VerdictCase
{
    const char *name;
    scripted::Path path;
    int hostHop; // where the host was last known to be; 0: not known
    const char *verdict;
};

class TraceVerdict : public testing::TestWithParam<VerdictCase>
{};

TEST_P(TraceVerdict, NamesWhereTheWayBroke)
{
    for (const auto service : {scripted::Service::InFlight, scripted::Service::OneAtATime}) {
        scripted::ManualClock clock;
        scripted::ScriptedPath echo(GetParam().path, clock, service);
        path::HopProber prober(echo, clock);
        ASSERT_TRUE(prober.runTrace(Host, 3, GetParam().hostHop));
        const auto verdict = path::judgeTrace(prober.table(), GetParam().hostHop);
        EXPECT_EQ(verdict.words, GetParam().verdict);
        EXPECT_EQ(path::verdictText(verdict), verdict.words);
        for (const auto &probe : echo.sent())
            EXPECT_NE(probe.ttl, net::SystemTtl) << "a trace probe left without its TTL";
    }
}

const Kind A = Kind::Answers;
const Kind R = Kind::Rations;
const Kind S = Kind::Silent;

scripted::Path lowerThanExpected()
{
    auto path = pathOf({A, A, A, A});
    path.hostAnswersFromTtl = 3;
    return path;
}

scripted::Path refusedSends()
{
    auto path = pathOf({A, A, A});
    path.sendRefused = true;
    return path;
}

// The third router's next hop is gone: it answers requests that run out at
// it, and those for past it with host-unreachable once its look-up fails.
scripted::Path cannotReachTheHost(icmp::MessageKind error = {3, 1})
{
    auto path = pathOf({A, A, Kind::Refuses});
    path.routers[2].error = error;
    return path;
}

// A router without a route answers every request that reaches it with its
// error, those that run out there too.
scripted::Path withoutARoute(std::initializer_list<Kind> before)
{
    auto path = pathOf(before);
    Router refusing{address("198.51.100.2"), Kind::Refuses};
    refusing.error = {3, 0};
    refusing.answersItsOwnTtl = false;
    path.routers.push_back(refusing);
    return path;
}

scripted::Path hostSaysSo(icmp::MessageKind error)
{
    auto path = pathOf({A, A, A});
    path.hostError = error;
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TraceVerdict,
    testing::Values(
        VerdictCase{"hostAnswers", pathOf({A, A, A}), 4, "the host answered at hop 4"},
        VerdictCase{"breakAfterTheSecondRouter", pathOf({A, A, A}, false, 2), 4,
                    "stops after hop 2 (192.0.2.2)"},
        VerdictCase{"breakAfterTheFirstRouter", pathOf({A, A, A}, false, 1), 4,
                    "stops after hop 1 (192.0.2.1)"},
        VerdictCase{"hostSilent", pathOf({A, A, A}, false), 4,
                    "every hop answered up to the host; the host did not"},
        VerdictCase{"hostSilentWhereNobodyKnowsHowFarItIs", pathOf({A, A, A}, false), 0,
                    "stops after hop 3 (192.0.2.3)"},
        VerdictCase{"hostFartherThanThought", pathOf({A, A, A, A}, false), 4,
                    "stops after hop 4 (192.0.2.4)"},
        VerdictCase{"nothingPastThisMachine", pathOf({A, A}, false, 0), 3,
                    "nothing answered from hop 1"},
        VerdictCase{"thisMachineRefusesToSend", refusedSends(), 4, "nothing answered from hop 1"},
        VerdictCase{"firstRouterRationsHostSilent", pathOf({R, A, A}, false), 4,
                    "every hop answered up to the host; the host did not"},
        VerdictCase{"middleRouterNeverAnswersHostSilent", pathOf({A, S, A}, false), 4,
                    "every hop answered up to the host; the host did not"},
        VerdictCase{"middleRouterNeverAnswersBreakAfterIt", pathOf({A, A, S, A, A}, false, 4), 6,
                    "stops after hop 4 (192.0.2.4)"},
        VerdictCase{"rationingRouterBeforeABreak", pathOf({A, R, A, A}, false, 3), 5,
                    "stops after hop 3 (192.0.2.3)"},
        VerdictCase{"fiveSilentRoutersBeforeTheHost", pathOf({S, S, S, S, S}), 6,
                    "the host answered at hop 6"},
        VerdictCase{"hostAnswersNearerThanExpected", lowerThanExpected(), 5,
                    "the host answered at hop 3"},
        // The error answers requests with TTL 4, but comes from hop 3.
        VerdictCase{"lastRouterCannotReachTheHost", cannotReachTheHost(), 4,
                    "router 192.0.2.3 (hop 3) cannot reach the host (host unreachable)"},
        VerdictCase{"lastRouterRefuses", cannotReachTheHost({3, 13}), 4,
                    "router 192.0.2.3 (hop 3) refuses the request (administratively prohibited)"},
        VerdictCase{"lastRouterNeedsFragments", cannotReachTheHost({3, 4}), 0,
                    "router 192.0.2.3 (hop 3) cannot pass the request on unfragmented "
                    "(fragmentation needed)"},
        // Never heard at its own TTL: behind a router that answered, it is
        // the next hop.
        VerdictCase{"routerWithoutARoute", withoutARoute({A}), 3,
                    "router 198.51.100.2 (hop 2) cannot reach the host's network (network "
                    "unreachable)"},
        // Behind a silent hop, the hop before the error's TTL: the silent
        // one is taken to be it, its own answers rationed.
        VerdictCase{"routerWithoutARouteBehindASilentOne", withoutARoute({A, S}), 4,
                    "router 198.51.100.2 (hop 2) cannot reach the host's network (network "
                    "unreachable)"},
        VerdictCase{"hostRejectsTheRequest", hostSaysSo({3, 3}), 4,
                    "the host 203.0.113.9 (hop 4) rejects the request (port unreachable)"},
        VerdictCase{"hostRefusesTheRequest", hostSaysSo({3, 13}), 0,
                    "the host 203.0.113.9 (hop 4) refuses the request (administratively "
                    "prohibited)"},
        VerdictCase{"hostTakesNoIcmp", hostSaysSo({3, 2}), 4,
                    "the host 203.0.113.9 (hop 4) does not take ICMP (protocol unreachable)"}),
    [](const auto &info) { return std::string(info.param.name); });

// The verdict carries what a later judgement needs besides its words.
TEST(Trace, VerdictCarriesTheResponderItsHopAndTheMessage)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(cannotReachTheHost(), clock);
    path::HopProber prober(echo, clock);
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    const auto verdict = path::judgeTrace(prober.table(), 4);
    EXPECT_EQ(verdict.kind, path::PathVerdict::Kind::ErrorFrom);
    EXPECT_EQ(verdict.responder, address("192.0.2.3"));
    EXPECT_EQ(verdict.hop, 3);
    EXPECT_EQ(verdict.ttl, 4);
    EXPECT_FALSE(verdict.responderIsHost);
    EXPECT_EQ(verdict.message, (icmp::MessageKind{3, 1}));
}

// A rationing router answers one request in three here, and the trace asks
// it up to three times before it gives up on it, a while apart.
TEST(Trace, AsksARationingRouterUpToThreeTimes)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({A, R, A}), clock);
    echo.path().routers[1].answerEvery = 3;
    path::HopProber prober(echo, clock);
    // The first request to it is answered; use it up so the trace sees two
    // silences before the third is answered.
    echo.echo(Host, {}, 500ms, 2);
    ASSERT_TRUE(prober.runTrace(Host, 3));
    const auto &hop = prober.table().hops.at(1);
    EXPECT_EQ(hop.sent, 3);
    EXPECT_EQ(hop.lost, 2);
    EXPECT_EQ(hop.responder(), address("192.0.2.2"));
    EXPECT_EQ(prober.table().hostHop(), 4);
    std::vector<path::PaceClock::Clock::time_point> asked;
    for (const auto &probe : echo.sent()) {
        if (probe.ttl == 2)
            asked.push_back(probe.at);
    }
    ASSERT_EQ(asked.size(), 4u); // the one used up, then the trace's three
    EXPECT_GE(asked[3] - asked[2], path::ProberSettings{}.retrySpacing);
}

// Where the host is known to be, a trace that finds it silent goes no
// further; a router in its place means the way got longer, and the trace
// goes on to find where it ends.
TEST(Trace, EndsWhereTheHostIsKnownToBe)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({A, A, A}, false), clock);
    path::HopProber prober(echo, clock);
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_EQ(prober.table().hops.size(), 4u);
    for (const auto &probe : echo.sent())
        EXPECT_LE(probe.ttl, 4);

    echo.path().routers.push_back({address("192.0.2.4")});
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_EQ(prober.table().hops.size(), 9u);
}

// Silence past the last answer is shown for five hops and asked about again
// for as many; the TTLs beyond are asked once. Every TTL in flight at once
// keeps the whole trace near a second where one at a time took seconds.
TEST(Trace, AsksFiveSilentHopsPastTheLastAnswerAgainAndEndsWithinASecondAndAHalf)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({A, A, A}, false, 2), clock);
    path::HopProber prober(echo, clock);
    const auto start = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3));
    EXPECT_LT(clock.now() - start, 1500ms);
    EXPECT_EQ(prober.table().hops.size(), 7u);
    std::array<int, path::MaxHops + 1> asked{};
    for (const auto &probe : echo.sent())
        ++asked[static_cast<std::size_t>(probe.ttl)];
    for (int ttl = 3; ttl <= 7; ++ttl)
        EXPECT_EQ(asked[static_cast<std::size_t>(ttl)], 3) << ttl;
    for (int ttl = 8; ttl <= path::MaxHops; ++ttl)
        EXPECT_EQ(asked[static_cast<std::size_t>(ttl)], 1) << ttl;
}

// Five silent routers before a silent host whose hop is known: the trace,
// three requests to each, has its verdict within a second.
TEST(Trace, FinishesFiveSilentHopsWithinASecond)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({S, S, S, S, S}, false), clock);
    path::HopProber prober(echo, clock);
    const auto start = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3, 6));
    EXPECT_LT(clock.now() - start, 1s);
    EXPECT_EQ(path::judgeTrace(prober.table(), 6).words, "nothing answered from hop 1");
}

// The requests of a trace sent with the system's TTL: the direct echoes
// beside it.
std::vector<path::PaceClock::Clock::time_point> besideSends(const scripted::ScriptedPath &echo)
{
    std::vector<path::PaceClock::Clock::time_point> sent;
    for (const auto &probe : echo.sent()) {
        if (probe.ttl == net::SystemTtl)
            sent.push_back(probe.at);
    }
    return sent;
}

// The gateway, asked beside the trace, answers its first echo: asked once,
// and the trace takes no longer for it.
TEST(Trace, AsksTheGatewayBesideOnceWhenItAnswers)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({A, A, A}, false), clock);
    path::HopProber prober(echo, clock);
    const auto start = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    const auto alone = clock.now() - start;
    EXPECT_FALSE(prober.besideOutcome().has_value());
    EXPECT_TRUE(besideSends(echo).empty());

    prober.askBeside(address("192.0.2.1"));
    const auto besideStart = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_LE(clock.now() - besideStart, alone);
    ASSERT_TRUE(prober.besideOutcome().has_value());
    EXPECT_EQ(prober.besideOutcome()->status, icmp::IpStatus::Success);
    EXPECT_EQ(prober.besideOutcome()->responder, address("192.0.2.1"));
    EXPECT_TRUE(prober.besideOutcome()->data.empty());
    EXPECT_EQ(besideSends(echo).size(), 1u);
    EXPECT_EQ(path::judgeTrace(prober.table(), 4).kind, path::PathVerdict::Kind::HostSilent);

    // Asked for one trace only.
    const auto before = echo.sent().size();
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_EQ(besideSends(echo).size(), 1u);
    EXPECT_GT(echo.sent().size(), before);
}

// A gateway that passes nothing and answers nothing: asked three times, a
// retry spacing apart, and the trace over five silent hops still within a
// second; its last outcome is kept.
TEST(Trace, AsksASilentGatewayThreeTimesWithinASecond)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({S, S, S, S, S}, false, 0), clock);
    echo.path().routers[0].answersEcho = false;
    path::HopProber prober(echo, clock);
    prober.askBeside(address("192.0.2.1"));
    const auto start = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3, 6));
    EXPECT_LT(clock.now() - start, 1s);
    const auto sent = besideSends(echo);
    ASSERT_EQ(sent.size(), 3u);
    for (std::size_t index = 1; index < sent.size(); ++index)
        EXPECT_GE(sent[index] - sent[index - 1], path::ProberSettings{}.retrySpacing);
    ASSERT_TRUE(prober.besideOutcome().has_value());
    EXPECT_EQ(prober.besideOutcome()->status, icmp::IpStatus::ReqTimedOut);
    EXPECT_EQ(path::judgeTrace(prober.table(), 6).kind, path::PathVerdict::Kind::NothingAnswered);
}

// The host answers at once; the trace still waits for the gateway's
// answer, which comes at its round trip.
TEST(Trace, WaitsForTheGatewaysAnswerBeforeItEnds)
{
    scripted::ManualClock clock;
    auto path = pathOf({A, A, A});
    path.routers[0].roundTrip = 40ms;
    scripted::ScriptedPath echo(path, clock);
    path::HopProber prober(echo, clock);
    prober.askBeside(address("192.0.2.1"));
    const auto start = clock.now();
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_GE(clock.now() - start, 40ms);
    ASSERT_TRUE(prober.besideOutcome().has_value());
    EXPECT_EQ(prober.besideOutcome()->status, icmp::IpStatus::Success);
}

struct ReplyTtlCase
{
    std::uint8_t ttl;
    int hop;
};

TEST(HostHop, IsGuessedFromTheReplyTtl)
{
    const ReplyTtlCase cases[] = {{64, 1},  {61, 4},  {1, 64},    {128, 1}, {117, 12},
                                  {255, 1}, {250, 6}, {129, 127}, {0, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(path::hostHopFromReplyTtl(c.ttl), c.hop) << int(c.ttl);
}

} // namespace
