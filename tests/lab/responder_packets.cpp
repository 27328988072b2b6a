#include "responder_packets.h"

#include "echowatch/net/icmp_packet.h"

#include <algorithm>

namespace lab {
namespace {

namespace icmp = net::icmp;

constexpr std::size_t Ipv4HeaderSize = 20;
constexpr std::uint8_t DefaultTtl = 64;

void put16(Bytes &bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::byte>(value >> 8);
    bytes[offset + 1] = static_cast<std::byte>(value & 0xff);
}

void putAddress(Bytes &bytes, std::size_t offset, std::uint32_t address)
{
    const auto *raw = reinterpret_cast<const std::byte *>(&address);
    std::copy(raw, raw + sizeof address, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The 4-byte field after the checksum that an error leaves unused, except
// for the MTU of fragmentation needed and the pointer of parameter problem.
std::uint16_t errorLowWord(std::uint8_t type, std::uint8_t code)
{
    constexpr std::uint8_t FragmentationNeeded = 4;
    constexpr std::uint16_t LabMtu = 1280;
    return type == icmp::Type::DestinationUnreachable && code == FragmentationNeeded ? LabMtu : 0;
}

std::uint16_t errorHighWord(std::uint8_t type)
{
    // The pointer of parameter problem sits in the high byte: the IP
    // header's TTL, which is as good a culprit as any.
    constexpr std::uint16_t TtlPointer = 8 << 8;
    return type == icmp::Type::ParameterProblem ? TtlPointer : 0;
}

} // namespace

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
    return EchoRequest{Bytes(packet.begin(), packet.end()), ip->source, ip->destination,
                       header->identifier, header->sequence};
}

Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::span<const std::byte> icmp)
{
    Bytes packet(Ipv4HeaderSize);
    packet[0] = std::byte{0x45};
    put16(packet, 2, static_cast<std::uint16_t>(Ipv4HeaderSize + icmp.size()));
    packet[8] = std::byte{DefaultTtl};
    packet[9] = std::byte{icmp::ProtocolIcmp};
    putAddress(packet, 12, source);
    putAddress(packet, 16, destination);
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t high, std::uint16_t low,
                  std::span<const std::byte> body)
{
    Bytes message(icmp::HeaderSize);
    message[0] = std::byte{type};
    message[1] = std::byte{code};
    put16(message, 4, high);
    put16(message, 6, low);
    message.insert(message.end(), body.begin(), body.end());
    put16(message, 2, icmp::internetChecksum(message));
    return message;
}

Bytes icmpError(std::uint8_t type, std::uint8_t code, std::span<const std::byte> quoted)
{
    return icmpMessage(type, code, errorHighWord(type), errorLowWord(type, code), quoted);
}

} // namespace lab
