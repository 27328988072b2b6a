#include "echowatch/probe/shown_outcome.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/probe/echo_reply.h"

#include <algorithm>
#include <chrono>
#include <span>

namespace probe {

ProbeDetails detailsOf(EchoStatus status, const net::EchoOutcome &outcome,
                       std::uint32_t destination) noexcept
{
    ProbeDetails details;
    details.destination = destination;
    if (status == icmp::IpStatus::Success) {
        const auto roundTrip =
            std::chrono::duration_cast<std::chrono::microseconds>(outcome.roundTrip);
        details.roundTripMicroseconds = std::max<std::int64_t>(roundTrip.count(), 0);
        details.replyTtl = outcome.ttl;
    }
    details.responder = outcome.responder;
    details.origin = outcome.origin;
    details.helper = outcome.helper;
    return details;
}

ShownOutcome showOutcome(const net::EchoOutcome &outcome, std::uint32_t destination) noexcept
{
    EchoReply reply{};
    net::writeEchoRecord(std::as_writable_bytes(std::span(&reply, 1)), outcome);
    ShownOutcome shown;
    shown.status = static_cast<EchoStatus>(reply.header.status);
    shown.replySize = reply.header.dataSize;
    shown.details = detailsOf(shown.status, outcome, destination);
    return shown;
}

} // namespace probe
