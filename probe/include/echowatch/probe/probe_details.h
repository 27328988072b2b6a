#pragma once

#include "echowatch/net/echo_outcome.h"
#include "echowatch/probe/echo_status.h"

#include <chrono>
#include <cstdint>

namespace probe {

// Where a failure was decided (this machine, or an ICMP message some host
// sent back), and how the probe helper stood, as the echo service tells it.
using FailureOrigin = net::FailureOrigin;
using HelperCondition = net::HelperCondition;

// What a probe learned beyond its reply record. The window's labels never
// read it; what the window keeps beyond them (its history, its alerts) does.
struct ProbeDetails
{
    // The IPv4 address the request went to, in network byte order; 0 when
    // the text was no address and nothing was sent.
    std::uint32_t destination = 0;
    // The round trip as the kernel stamped it; -1 when nothing answered.
    std::int64_t roundTripMicroseconds = -1;
    // The host that answered or sent the ICMP error, IPv4 in network byte
    // order; 0 where none did.
    std::uint32_t responder = 0;
    FailureOrigin origin = FailureOrigin::None;
    HelperCondition helper = HelperCondition::NotUsed;
    // The TTL the host's answer arrived with; 0 for no answer.
    std::uint8_t replyTtl = 0;
};

// A clock that is never set and goes on while the machine sleeps
// (CLOCK_BOOTTIME): the time between two of its readings is the time that
// passed, whatever was done to the wall clock between them.
std::chrono::nanoseconds bootClockNow() noexcept;

// One probe as the window showed it.
struct ProbeEvent
{
    std::chrono::system_clock::time_point sentAt;
    // The boot clock at the same moment; 0 when it was not read.
    std::chrono::nanoseconds sentSinceBoot{0};
    EchoStatus status = 0;
    std::int32_t replySize = 0;
    ProbeDetails details;
};

} // namespace probe
