// Whose side an outage is on, from everything gathered at its start: the
// kernel's route and link, the desktop's word, the direct echo to the
// gateway and the trace's verdict. One row per case, with the words a
// person reads.
#include "echowatch/icmp/ip_status.h"
#include "echowatch/path_view/side_judgement.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

using host::Side;
using path::PathVerdict;
using path_view::GatewayAnswer;
using Kind = PathVerdict::Kind;

std::uint32_t address(const char *text)
{
    return testpackets::address(text);
}

const std::uint32_t Host = address("203.0.113.10");

route::LinkFacts link(const char *name, bool up = true, bool carrier = true,
                      route::OperState state = route::OperState::Up)
{
    return {3, name, up, carrier, state};
}

route::RouteFacts viaGateway(std::optional<route::LinkFacts> way = link("c0"))
{
    return {route::RouteKind::Gateway, address("192.0.2.1"), 3, std::move(way), 0};
}

route::RouteFacts onLink()
{
    return {route::RouteKind::OnLink, 0, 3, link("c0"), 0};
}

route::RouteFacts refused(route::RouteKind kind)
{
    return {kind, 0, 0, std::nullopt, 0};
}

PathVerdict verdict(Kind kind, int hop = 0, const char *responder = nullptr, bool isHost = false,
                    icmp::MessageKind message = {})
{
    PathVerdict made;
    made.kind = kind;
    made.hop = made.ttl = hop;
    made.responder = responder != nullptr ? address(responder) : 0;
    made.responderIsHost = isHost;
    made.message = message;
    made.words = path::verdictText(made);
    return made;
}

const PathVerdict Nothing = verdict(Kind::NothingAnswered);
const PathVerdict StopsAfter2 = verdict(Kind::StopsAfter, 2, "192.0.2.18");
const PathVerdict StopsAfter1 = verdict(Kind::StopsAfter, 1, "192.0.2.1");
const PathVerdict HostSilent = verdict(Kind::HostSilent, 3, "198.51.100.2");
const PathVerdict HostAnswered = verdict(Kind::HostAnswered, 4, "203.0.113.10", true);
const PathVerdict RouterError =
    verdict(Kind::ErrorFrom, 3, "198.51.100.2", false, icmp::MessageKind{3, 1});
const PathVerdict GatewayRefuses =
    verdict(Kind::ErrorFrom, 1, "192.0.2.1", false, icmp::MessageKind{3, 0});
const PathVerdict HostError =
    verdict(Kind::ErrorFrom, 4, "203.0.113.10", true, icmp::MessageKind{3, 1});

struct Case
{
    const char *name;
    route::RouteFacts route;
    bool desktopOffline;
    GatewayAnswer gateway;
    std::optional<PathVerdict> trace;
    Side side;
    std::string words;
};

class SideJudgement : public testing::TestWithParam<Case>
{};

TEST_P(SideJudgement, ClassesTheOutage)
{
    const Case &row = GetParam();
    const std::uint32_t destination =
        row.route.kind == route::RouteKind::OnLink ? address("192.0.2.20") : Host;
    const host::Verdict judged =
        path_view::judgeSide({destination, row.route, row.desktopOffline, row.gateway, row.trace});
    EXPECT_EQ(judged.side, row.side);
    EXPECT_EQ(judged.text, row.words);
    EXPECT_EQ(judged.traced, row.trace.has_value());
}

using route::OperState;
using route::RouteKind;
constexpr auto Answered = GatewayAnswer::Answered;
constexpr auto Silent = GatewayAnswer::Silent;
constexpr auto NotAsked = GatewayAnswer::NotAsked;

INSTANTIATE_TEST_SUITE_P(
    ThisComputer, SideJudgement,
    testing::Values(
        Case{"noRoute", refused(RouteKind::NoRoute), false, NotAsked, Nothing, Side::ThisComputer,
             "this computer: no route to 203.0.113.10"},
        Case{"unreachableRoute", refused(RouteKind::Unreachable), false, NotAsked, Nothing,
             Side::ThisComputer, "this computer: the route to 203.0.113.10 is unreachable"},
        Case{"prohibitRoute", refused(RouteKind::Prohibited), false, NotAsked, Nothing,
             Side::ThisComputer, "this computer: the route to 203.0.113.10 is prohibited"},
        Case{"blackholeRoute", refused(RouteKind::Blackhole), false, NotAsked, Nothing,
             Side::ThisComputer, "this computer: the route to 203.0.113.10 is a blackhole"},
        Case{"ownAddress", refused(RouteKind::Local), false, NotAsked, Nothing, Side::ThisComputer,
             "this computer: 203.0.113.10 is this computer's own address"},
        Case{"linkSwitchedOff", viaGateway(link("c0", false, false, OperState::Down)), false,
             Silent, Nothing, Side::ThisComputer, "this computer: c0 is down"},
        Case{"noCarrier", viaGateway(link("c0", true, false, OperState::LowerLayerDown)), false,
             Silent, Nothing, Side::ThisComputer, "this computer: c0 has no carrier"},
        // The flag and the state are set apart by the driver: either says so.
        Case{"lowerLayerDownWithTheFlagStillUp",
             viaGateway(link("c0", true, true, OperState::LowerLayerDown)), false, Silent, Nothing,
             Side::ThisComputer, "this computer: c0 has no carrier"},
        Case{"dormant", viaGateway(link("wlan0", true, true, OperState::Dormant)), false, Silent,
             Nothing, Side::ThisComputer, "this computer: wlan0 is not connected yet (dormant)"},
        Case{"unnamedLink", viaGateway(link("", true, false, OperState::Down)), false, Silent,
             Nothing, Side::ThisComputer, "this computer: interface 3 has no carrier"},
        Case{"onLinkWithoutCarrier",
             {RouteKind::OnLink, 0, 3, link("c0", true, false), 0},
             false,
             NotAsked,
             Nothing,
             Side::ThisComputer,
             "this computer: c0 has no carrier"},
        Case{"desktopOfflineAndNothingAnswers", viaGateway(), true, Silent, Nothing,
             Side::ThisComputer, "this computer: the desktop says it is offline"},
        // The kernel knows before any trace could run.
        Case{"noRouteWithoutATrace", refused(RouteKind::NoRoute), false, NotAsked, std::nullopt,
             Side::ThisComputer, "this computer: no route to 203.0.113.10"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    TheWayOut, SideJudgement,
    testing::Values(
        Case{"gatewaySilent", viaGateway(), false, Silent, Nothing, Side::LocalNetwork,
             "local network: gateway 192.0.2.1 does not answer"},
        // A link the kernel could not be asked about is no trouble of its own.
        Case{"gatewaySilentLinkUnread", viaGateway(std::nullopt), false, Silent, Nothing,
             Side::LocalNetwork, "local network: gateway 192.0.2.1 does not answer"},
        Case{"gatewayAnswersNothingPast", viaGateway(), false, Answered, Nothing,
             Side::BeyondGateway,
             "beyond the gateway: gateway 192.0.2.1 answers, nothing past it does"},
        // Its own answers past it show the gateway works, whatever its echo.
        Case{"gatewayEchoLostButItPassedOn", viaGateway(), false, Silent, StopsAfter1,
             Side::BeyondGateway, "beyond the gateway: stops after hop 1 (192.0.2.1)"},
        Case{"stopsFurtherOn", viaGateway(), false, Answered, StopsAfter2, Side::BeyondGateway,
             "beyond the gateway: stops after hop 2 (192.0.2.18)"},
        // The desktop's offline is not believed where answers came.
        Case{"desktopOfflineButTheGatewayAnswers", viaGateway(), true, Answered, Nothing,
             Side::BeyondGateway,
             "beyond the gateway: gateway 192.0.2.1 answers, nothing past it does"},
        Case{"desktopOfflineButRoutersAnswer", viaGateway(), true, Answered, StopsAfter2,
             Side::BeyondGateway, "beyond the gateway: stops after hop 2 (192.0.2.18)"},
        Case{"aRouterSaysWhy", viaGateway(), false, Answered, RouterError, Side::BeyondGateway,
             "beyond the gateway: router 198.51.100.2 (hop 3) cannot reach the host (host "
             "unreachable)"},
        Case{"theGatewayItselfHasNoWayOn", viaGateway(), false, Answered, GatewayRefuses,
             Side::BeyondGateway,
             "beyond the gateway: router 192.0.2.1 (hop 1) cannot reach the host's network "
             "(network unreachable)"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    TheHost, SideJudgement,
    testing::Values(
        Case{"hostSilent", viaGateway(), false, Answered, HostSilent, Side::TheHost,
             "the host: every hop answered up to the host; the host did not"},
        Case{"hostRejects", viaGateway(), false, Answered, HostError, Side::TheHost,
             "the host: the host 203.0.113.10 (hop 4) rejects the request (host unreachable)"},
        Case{"hostAnsweredTheTrace", viaGateway(), false, Answered, HostAnswered, Side::TheHost,
             "the host: the host answered at hop 4"},
        // No gateway between: the host is all there is to be silent.
        Case{"onLinkHostSilent", onLink(), false, NotAsked, Nothing, Side::TheHost,
             "the host: 192.0.2.20 is on this computer's link (c0) and does not answer"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Undecided, SideJudgement,
    testing::Values(Case{"kernelNotAskedNothingAnswered",
                         {},
                         false,
                         NotAsked,
                         Nothing,
                         Side::Unknown,
                         "nothing answered from hop 1"},
                    Case{"kernelNotAskedTheTraceDecides",
                         {},
                         false,
                         NotAsked,
                         StopsAfter2,
                         Side::BeyondGateway,
                         "beyond the gateway: stops after hop 2 (192.0.2.18)"},
                    // A gateway of another family cannot be asked by an IPv4 echo.
                    Case{"gatewayNotAsked",
                         {RouteKind::Gateway, 0, 3, link("c0"), 0},
                         false,
                         NotAsked,
                         Nothing,
                         Side::Unknown,
                         "nothing answered from hop 1"},
                    Case{"noTraceAndTheWayOutFine", viaGateway(), false, NotAsked, std::nullopt,
                         Side::Unknown, ""},
                    // The desktop alone, with no trace to show nothing answered: said.
                    Case{"noTraceDesktopOffline", viaGateway(), true, NotAsked, std::nullopt,
                         Side::ThisComputer, "this computer: the desktop says it is offline"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(GatewayAnswer, OnlyAnEchoReplyIsAnAnswer)
{
    EXPECT_EQ(path_view::gatewayAnswerOf(std::nullopt), GatewayAnswer::NotAsked);
    net::EchoOutcome echo;
    echo.status = icmp::IpStatus::Success;
    EXPECT_EQ(path_view::gatewayAnswerOf(echo), GatewayAnswer::Answered);
    echo.status = icmp::IpStatus::ReqTimedOut;
    EXPECT_EQ(path_view::gatewayAnswerOf(echo), GatewayAnswer::Silent);
    // This machine's own "host unreachable" once the gateway's address
    // could not be found on the link.
    echo.status = icmp::IpStatus::DestHostUnreachable;
    EXPECT_EQ(path_view::gatewayAnswerOf(echo), GatewayAnswer::Silent);
}

} // namespace
