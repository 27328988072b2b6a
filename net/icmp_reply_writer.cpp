#include "echowatch/net/icmp_reply_writer.h"

#include "echowatch/net/icmp_echo_reply.h"
#include "echowatch/net/ip_status.h"

#include <algorithm>
#include <cstring>

namespace net {
namespace {

void writeHeader(std::span<std::byte> buffer, const IcmpEchoReply &header) noexcept
{
    if (buffer.size() >= sizeof header)
        std::memcpy(buffer.data(), &header, sizeof header);
}

} // namespace

std::int32_t writeEchoAnswer(std::span<std::byte> buffer, const icmp::Answer &answer,
                             std::uint32_t roundTripMilliseconds) noexcept
{
    IcmpEchoReply header{};
    if (buffer.size() < sizeof header)
        return IpStatus::BufTooSmall;
    header.address = answer.from;
    header.roundTripTime = roundTripMilliseconds;
    header.options.ttl = answer.ttl;
    header.options.tos = answer.tos;
    header.dataOffset = sizeof header;
    header.status = static_cast<std::uint32_t>(answer.status);

    if (answer.echoedData.size() > buffer.size() - sizeof header) {
        header.status = static_cast<std::uint32_t>(IpStatus::BufTooSmall);
    } else {
        header.dataSize = static_cast<std::uint16_t>(answer.echoedData.size());
        std::copy(answer.echoedData.begin(), answer.echoedData.end(),
                  buffer.begin() + sizeof header);
    }
    writeHeader(buffer, header);
    return static_cast<std::int32_t>(header.status);
}

void writeEchoFailure(std::span<std::byte> buffer, std::int32_t status) noexcept
{
    IcmpEchoReply header{};
    header.status = static_cast<std::uint32_t>(status);
    header.dataOffset = sizeof header;
    writeHeader(buffer, header);
}

} // namespace net
