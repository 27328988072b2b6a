#include "echowatch/path_view/side_judgement.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/ipv4_text.h"

namespace path_view {
namespace {

using Kind = path::PathVerdict::Kind;

host::Verdict classed(host::Side side, const std::string &words, bool traced)
{
    return {side, std::string(host::sideName(side)) + ": " + words, traced};
}

// Why the kernel would send nothing to the host, if it would not.
std::optional<std::string> routeRefusal(const route::RouteFacts &route, const std::string &host)
{
    switch (route.kind) {
    case route::RouteKind::NoRoute:
        return "no route to " + host;
    case route::RouteKind::Unreachable:
        return "the route to " + host + " is unreachable";
    case route::RouteKind::Prohibited:
        return "the route to " + host + " is prohibited";
    case route::RouteKind::Blackhole:
        return "the route to " + host + " is a blackhole";
    case route::RouteKind::Local:
        return host + " is this computer's own address";
    default:
        return std::nullopt;
    }
}

std::string linkName(const route::LinkFacts &link)
{
    return link.name.empty() ? "interface " + std::to_string(link.index) : link.name;
}

// Why nothing can leave by the route's link, if nothing can.
std::optional<std::string> wayOutDown(const route::RouteFacts &route)
{
    if (!route.link)
        return std::nullopt;
    switch (route::linkTrouble(*route.link)) {
    case route::LinkTrouble::SwitchedOff:
        return linkName(*route.link) + " is down";
    case route::LinkTrouble::NoCarrier:
        return linkName(*route.link) + " has no carrier";
    case route::LinkTrouble::Dormant:
        return linkName(*route.link) + " is not connected yet (dormant)";
    case route::LinkTrouble::None:
        break;
    }
    return std::nullopt;
}

// What the kernel and the desktop say of this computer's own part.
std::optional<std::string> thisComputer(const SideFindings &findings, bool nothingAnswered)
{
    const std::string host = net::ipv4Text(findings.destination);
    if (auto refusal = routeRefusal(findings.route, host))
        return refusal;
    if (auto down = wayOutDown(findings.route))
        return down;
    // A desktop that manages no interface may call itself offline while
    // the network works: believed only where nothing answered.
    if (findings.desktopOffline && nothingAnswered && findings.gateway != GatewayAnswer::Answered)
        return std::string("the desktop says it is offline");
    return std::nullopt;
}

// Nothing answered the trace: whose side that is turns on the gateway.
host::Verdict nothingAnswered(const SideFindings &findings, const path::PathVerdict &trace)
{
    const route::RouteFacts &route = findings.route;
    const std::string gateway = net::ipv4Text(route.gateway);
    if (route.kind == route::RouteKind::OnLink) {
        const std::string way = route.link ? " (" + linkName(*route.link) + ")" : std::string();
        return classed(host::Side::TheHost,
                       net::ipv4Text(findings.destination) + " is on this computer's link" + way +
                           " and does not answer",
                       true);
    }
    if (findings.gateway == GatewayAnswer::Silent)
        return classed(host::Side::LocalNetwork, "gateway " + gateway + " does not answer", true);
    if (findings.gateway == GatewayAnswer::Answered)
        return classed(host::Side::BeyondGateway,
                       "gateway " + gateway + " answers, nothing past it does", true);
    return {host::Side::Unknown, trace.words, true};
}

host::Verdict fromTrace(const SideFindings &findings, const path::PathVerdict &trace)
{
    switch (trace.kind) {
    case Kind::NothingAnswered:
        return nothingAnswered(findings, trace);
    case Kind::HostAnswered:
    case Kind::HostSilent:
        return classed(host::Side::TheHost, trace.words, true);
    case Kind::ErrorFrom:
        return classed(trace.responderIsHost ? host::Side::TheHost : host::Side::BeyondGateway,
                       trace.words, true);
    case Kind::StopsAfter:
        return classed(host::Side::BeyondGateway, trace.words, true);
    }
    return {host::Side::Unknown, trace.words, true};
}

} // namespace

GatewayAnswer gatewayAnswerOf(const std::optional<net::EchoOutcome> &echo) noexcept
{
    if (!echo)
        return GatewayAnswer::NotAsked;
    return echo->status == icmp::IpStatus::Success ? GatewayAnswer::Answered
                                                   : GatewayAnswer::Silent;
}

host::Verdict judgeSide(const SideFindings &findings)
{
    const bool traced = findings.trace.has_value();
    const bool silent = !traced || findings.trace->kind == Kind::NothingAnswered;
    if (auto reason = thisComputer(findings, silent))
        return classed(host::Side::ThisComputer, *reason, traced);
    if (!traced)
        return {host::Side::Unknown, {}, false};
    return fromTrace(findings, *findings.trace);
}

} // namespace path_view
