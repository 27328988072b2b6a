#pragma once

#include "echowatch/host/host_events.h"
#include "echowatch/net/echo_outcome.h"
#include "echowatch/path/path_verdict.h"
#include "echowatch/route/route_facts.h"

#include <cstdint>
#include <optional>

namespace path_view {

// What the direct echo to the route's gateway, sent beside the trace,
// came to.
enum class GatewayAnswer
{
    // No gateway on the way (no route, or the host on this computer's own
    // link), or no echo service to ask it with.
    NotAsked,
    Answered,
    Silent,
};
GatewayAnswer gatewayAnswerOf(const std::optional<net::EchoOutcome> &echo) noexcept;

// Everything an outage's class is judged from, gathered at its start.
struct SideFindings
{
    std::uint32_t destination = 0; // network order
    // The kernel's way to the host; Unknown where it was not asked.
    route::RouteFacts route;
    // The desktop says this computer is offline (NetworkManager through
    // Qt); false where no desktop says anything.
    bool desktopOffline = false;
    GatewayAnswer gateway = GatewayAnswer::NotAsked;
    // The trace's verdict; none where no trace could run.
    std::optional<path::PathVerdict> trace;
};

// Whose side the outage is on, and the words that say so:
//   "this computer": no route, the way out switched off or without carrier,
//     the host an address of this computer, or the desktop offline while
//     nothing, the gateway included, answered;
//   "local network": neither the gateway nor anything past it answered;
//   "beyond the gateway": something answered and the way stops further
//     on, or a router says why it goes no further;
//   "the host": the way answered up to the host, or the host itself
//     answered (with an error, or to the trace), or, on this computer's own
//     link with no gateway between, the host is all there is to be silent.
// Unknown, with the trace's words alone, where nothing decides it (the
// kernel not asked and nothing answered). A pure function: tests hold it
// to a table.
host::Verdict judgeSide(const SideFindings &findings);

} // namespace path_view
