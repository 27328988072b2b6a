#include "echowatch/net/icmp_reply_writer.h"

#include "echowatch/net/icmp_echo_reply.h"

#include <algorithm>
#include <cstring>

namespace net {
namespace {

// Stamps on the wall clock can go back if it is set during a probe.
std::uint32_t roundTripMilliseconds(std::chrono::nanoseconds roundTrip) noexcept
{
    const auto milliseconds = std::chrono::round<std::chrono::milliseconds>(roundTrip).count();
    return static_cast<std::uint32_t>(std::max<std::int64_t>(milliseconds, 0));
}

} // namespace

std::uint32_t writeEchoRecord(std::span<std::byte> buffer, const EchoOutcome &outcome) noexcept
{
    IcmpEchoReply header{};
    if (buffer.size() < sizeof header)
        return 0;
    header.address = outcome.responder;
    header.status = static_cast<std::uint32_t>(outcome.status);
    header.roundTripTime = roundTripMilliseconds(outcome.roundTrip);
    header.dataOffset = sizeof header;
    header.options.ttl = outcome.ttl;
    header.options.tos = outcome.tos;
    if (outcome.data.size() > buffer.size() - sizeof header) {
        header.status = static_cast<std::uint32_t>(icmp::IpStatus::BufTooSmall);
    } else {
        header.dataSize = static_cast<std::uint16_t>(outcome.data.size());
        std::copy(outcome.data.begin(), outcome.data.end(), buffer.begin() + sizeof header);
    }
    std::memcpy(buffer.data(), &header, sizeof header);
    return header.status == static_cast<std::uint32_t>(icmp::IpStatus::Success) ? 1 : 0;
}

} // namespace net
