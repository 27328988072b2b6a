#pragma once

#include "echowatch/net/echo_outcome.h"
#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/probe_details.h"

#include <cstdint>

namespace probe {

// What a probe learned beyond its reply record, from the echo service's
// outcome. The round trip is told for an answer only, never negative: the
// stamps are on the wall clock, which can be set back during a probe.
ProbeDetails detailsOf(EchoStatus status, const net::EchoOutcome &outcome,
                       std::uint32_t destination) noexcept;

// A request's outcome as a probe shows it: the status and the reply size its
// reply record holds (written where every record is, so a request sent in
// flight shows exactly what the same one sent alone would), and the details
// beyond them.
struct ShownOutcome
{
    EchoStatus status = 0;
    std::int32_t replySize = 0;
    ProbeDetails details;
};

ShownOutcome showOutcome(const net::EchoOutcome &outcome, std::uint32_t destination) noexcept;

} // namespace probe
