#include "support/packet_builder.h"

#include "echowatch/net/icmp_packet.h"

#include <arpa/inet.h>
#include <cstring>

namespace testpackets {
namespace {

void put16(Bytes &bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::byte>(value >> 8);
    bytes[offset + 1] = static_cast<std::byte>(value & 0xff);
}

} // namespace

std::uint32_t address(const char *dotted)
{
    return ::inet_addr(dotted);
}

Bytes bytesOf(std::string_view text)
{
    const auto *begin = reinterpret_cast<const std::byte *>(text.data());
    return Bytes(begin, begin + text.size());
}

Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t identifier,
                  std::uint16_t sequence, std::span<const std::byte> body)
{
    Bytes message(8);
    message[0] = std::byte{type};
    message[1] = std::byte{code};
    put16(message, 4, identifier);
    put16(message, 6, sequence);
    message.insert(message.end(), body.begin(), body.end());
    put16(message, 2, net::icmp::internetChecksum(message));
    return message;
}

Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t protocol,
                 std::span<const std::byte> payload, std::uint8_t ttl)
{
    Bytes packet(20);
    packet[0] = std::byte{0x45};
    put16(packet, 2, static_cast<std::uint16_t>(20 + payload.size()));
    packet[8] = std::byte{ttl};
    packet[9] = std::byte{protocol};
    std::memcpy(packet.data() + 12, &source, 4);
    std::memcpy(packet.data() + 16, &destination, 4);
    put16(packet, 10, net::icmp::internetChecksum(packet));
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

Bytes icmpErrorQuoting(std::uint32_t router, std::uint32_t ourAddress, std::uint8_t type,
                       std::uint8_t code, std::uint32_t destination, std::uint16_t identifier,
                       std::uint16_t sequence)
{
    const Bytes request = icmpMessage(net::icmp::Type::EchoRequest, 0, identifier, sequence,
                                      bytesOf("12345678912345678912345678912345"));
    Bytes quoted = ipv4Packet(ourAddress, destination, net::icmp::ProtocolIcmp, request);
    quoted.resize(28); // routers quote the IP header and 8 bytes
    const Bytes error = icmpMessage(type, code, 0, 0, quoted);
    return ipv4Packet(router, ourAddress, net::icmp::ProtocolIcmp, error);
}

} // namespace testpackets
