#include "support/packet_builder.h"

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/icmp/icmp_packet.h"
#include "support/echo_record.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace testpackets {
namespace {

constexpr std::size_t Ipv4HeaderSize = 20;

void put16(Bytes &bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::byte>(value >> 8);
    bytes[offset + 1] = static_cast<std::byte>(value & 0xff);
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

std::uint32_t address(const char *dotted)
{
    return ::inet_addr(dotted);
}

Bytes bytesOf(std::string_view text)
{
    const auto *begin = reinterpret_cast<const std::byte *>(text.data());
    return Bytes(begin, begin + text.size());
}

Bytes bytesOf(std::u16string_view text)
{
    Bytes bytes;
    for (const char16_t c : text)
        bytes.push_back(static_cast<std::byte>(c));
    return bytes;
}

Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t high, std::uint16_t low,
                  std::span<const std::byte> body)
{
    // Sized at once and copied into: GCC 12 at -O3 warns falsely about
    // vector::insert here.
    Bytes message(icmp::HeaderSize + body.size());
    message[0] = std::byte{type};
    message[1] = std::byte{code};
    put16(message, 4, high);
    put16(message, 6, low);
    std::copy(body.begin(), body.end(), message.begin() + icmp::HeaderSize);
    put16(message, 2, icmp::internetChecksum(message));
    return message;
}

Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t protocol,
                 std::span<const std::byte> payload, std::uint8_t ttl)
{
    Bytes packet(Ipv4HeaderSize + payload.size());
    packet[0] = std::byte{0x45};
    put16(packet, 2, static_cast<std::uint16_t>(Ipv4HeaderSize + payload.size()));
    packet[8] = std::byte{ttl};
    packet[9] = std::byte{protocol};
    std::memcpy(packet.data() + 12, &source, 4);
    std::memcpy(packet.data() + 16, &destination, 4);
    put16(packet, 10, icmp::internetChecksum(std::span(packet).first(Ipv4HeaderSize)));
    std::copy(payload.begin(), payload.end(), packet.begin() + Ipv4HeaderSize);
    return packet;
}

Bytes icmpError(std::uint8_t type, std::uint8_t code, std::span<const std::byte> quoted)
{
    return icmpMessage(type, code, errorHighWord(type), errorLowWord(type, code), quoted);
}

Bytes icmpErrorQuoting(std::uint32_t router, std::uint32_t ourAddress, std::uint8_t type,
                       std::uint8_t code, std::uint32_t destination, std::uint16_t identifier,
                       std::uint16_t sequence)
{
    const Bytes request =
        icmpMessage(icmp::Type::EchoRequest, 0, identifier, sequence, bytesOf(TestPayload));
    Bytes quoted = ipv4Packet(ourAddress, destination, icmp::ProtocolIcmp, request);
    quoted.resize(Ipv4HeaderSize + icmp::HeaderSize); // what routers quote
    return ipv4Packet(router, ourAddress, icmp::ProtocolIcmp, icmpError(type, code, quoted));
}

Bytes helperRequest(std::uint32_t destination, net::TimeToLive ttl, std::uint32_t tag)
{
    const Bytes data = bytesOf(TestPayload);
    Bytes frame(helper::RequestHeaderSize + data.size());
    helper::encodeRequest({tag, destination, helper::MaxTimeout, ttl, data}, frame);
    return frame;
}

void put32(Bytes &bytes, std::size_t offset, std::uint32_t value)
{
    put16(bytes, offset, static_cast<std::uint16_t>(value >> 16));
    put16(bytes, offset + 2, static_cast<std::uint16_t>(value & 0xffff));
}

Bytes helperRequestWith(std::size_t offset, std::uint32_t value)
{
    Bytes frame = helperRequest(address("127.0.0.1"));
    put32(frame, offset, value);
    return frame;
}

} // namespace testpackets
