// The one trace run when a host goes down, over scripted paths: what it
// says about where the way broke, in the words the user reads.
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
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(GetParam().path, clock);
    path::HopProber prober(echo, clock);
    ASSERT_TRUE(prober.runTrace(Host, 3, GetParam().hostHop));
    const auto verdict = path::judgeTrace(prober.table(), GetParam().hostHop);
    EXPECT_EQ(path::verdictText(verdict), GetParam().verdict);
    for (const auto &probe : echo.sent())
        EXPECT_NE(probe.ttl, net::SystemTtl) << "a trace probe left without its TTL";
}

const Kind A = Kind::Answers;
const Kind R = Kind::Rations;

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
        VerdictCase{"middleRouterNeverAnswersHostSilent", pathOf({A, Kind::Silent, A}, false), 4,
                    "every hop answered up to the host; the host did not"},
        VerdictCase{"middleRouterNeverAnswersBreakAfterIt",
                    pathOf({A, A, Kind::Silent, A, A}, false, 4), 6,
                    "stops after hop 4 (192.0.2.4)"},
        VerdictCase{"rationingRouterBeforeABreak", pathOf({A, R, A, A}, false, 3), 5,
                    "stops after hop 3 (192.0.2.3)"},
        VerdictCase{"routerRefuses", pathOf({A, Kind::Refuses, A}), 4,
                    "refused at hop 2 (192.0.2.2)"},
        VerdictCase{"hostAnswersNearerThanExpected", lowerThanExpected(), 5,
                    "the host answered at hop 3"}),
    [](const auto &info) { return std::string(info.param.name); });

// A rationing router answers one request in three here: the trace asks it
// up to three times before it moves on, so the hop is found all the same.
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
    EXPECT_EQ(hop.responder, address("192.0.2.2"));
    EXPECT_EQ(prober.table().hostHop(), 4);
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
    EXPECT_EQ(echo.sent().back().ttl, 4);

    echo.path().routers.push_back({address("192.0.2.4")});
    ASSERT_TRUE(prober.runTrace(Host, 3, 4));
    EXPECT_EQ(prober.table().hops.size(), 9u);
}

// Silence past the last answer goes on for five hops, then the trace ends:
// thirty TTLs of timeouts would keep an outage's verdict half a minute.
TEST(Trace, GivesUpFiveSilentHopsPastTheLastAnswer)
{
    scripted::ManualClock clock;
    scripted::ScriptedPath echo(pathOf({A, A, A}, false, 2), clock);
    path::HopProber prober(echo, clock);
    ASSERT_TRUE(prober.runTrace(Host, 3));
    EXPECT_EQ(prober.table().hops.size(), 7u);
    EXPECT_EQ(echo.sent().back().ttl, 7);
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
