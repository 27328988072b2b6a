#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// What the lab's responder puts on the wire, built from the request it got.
// Pure functions over bytes, so the responder's own loop stays small.
// Addresses are in network byte order, as they sit in the packet.
namespace lab {

using Bytes = std::vector<std::byte>;

// The request as the responder saw it: the whole IP packet and the fields it
// answers from.
struct EchoRequest
{
    Bytes packet;
    std::uint32_t source;
    std::uint32_t destination;
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::span<const std::byte> data() const noexcept;
};

std::optional<EchoRequest> readEchoRequest(std::span<const std::byte> packet);

// An IPv4 header (TTL 64, protocol ICMP) in front of an ICMP message; the
// kernel fills in the header checksum and identification.
Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::span<const std::byte> icmp);

// An ICMP message with its checksum: type, code, the 4-byte rest of the
// header (identifier and sequence of an echo, or the MTU of fragmentation
// needed), then the body.
Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t high, std::uint16_t low,
                  std::span<const std::byte> body);

// An ICMP error about the given packet, quoting it whole.
Bytes icmpError(std::uint8_t type, std::uint8_t code, std::span<const std::byte> quoted);

} // namespace lab
