#pragma once

#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace net {

// Where a failure was decided: by this machine (a refused send, a local
// error), or by an ICMP message some host sent back.
enum class FailureOrigin : std::uint8_t
{
    None,
    ThisMachine,
    IcmpMessage,
};

// How the probe helper stood, where a probe went through it.
enum class HelperCondition : std::uint8_t
{
    NotUsed,
    Serving,
    Missing,
    LacksCapability,
    Unresponsive,
};

// What one echo request came to, as the echo service knows it before it is
// flattened into the platform's reply record (icmp_reply_writer.h).
struct EchoOutcome
{
    static constexpr std::chrono::nanoseconds NoRoundTrip{-1};

    std::int32_t status = icmp::IpStatus::GeneralFailure;
    // Between the kernel's send and receive stamps, for whatever arrived (an
    // answer or an ICMP error about the request); NoRoundTrip otherwise.
    std::chrono::nanoseconds roundTrip = NoRoundTrip;
    // Who answered or sent the ICMP error, network byte order; 0 if none did.
    std::uint32_t responder = 0;
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;
    // The ICMP message that decided an outcome of origin IcmpMessage, as its
    // sender wrote it (a router's "host unreachable" and its administrative
    // refusal share a status); 0/0 for an echo reply, or when none did.
    icmp::MessageKind message;
    // The echoed data; it lives in the service's buffers until its next probe.
    std::span<const std::byte> data;
    FailureOrigin origin = FailureOrigin::None;
    HelperCondition helper = HelperCondition::NotUsed;
};

} // namespace net
