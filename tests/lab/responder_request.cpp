#include "responder_request.h"

#include "echowatch/icmp/icmp_packet.h"

namespace lab {


std::span<const std::byte> EchoRequest::data() const noexcept
{
    const auto ip = icmp::readIpv4(packet);
    return ip ? ip->payload.subspan(icmp::HeaderSize) : std::span<const std::byte>{};
}

std::optional<EchoRequest> readEchoRequest(std::span<const std::byte> packet)
{
    const auto ip = icmp::readIpv4(packet);
    if (!ip || ip->protocol != icmp::ProtocolIcmp)
        return std::nullopt;
    const auto header = icmp::readEchoHeader(ip->payload);
    if (!header || header->type != icmp::Type::EchoRequest)
        return std::nullopt;
    return EchoRequest{testpackets::Bytes(packet.begin(), packet.end()), ip->source,
                       ip->destination, header->identifier, header->sequence};
}

} // namespace lab
