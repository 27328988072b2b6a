#pragma once

#include "echowatch/net/time_to_live.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Crafted packets, for the matcher's tests (what a kernel would hand us) and
// for the lab's responder (what it puts on the wire). Addresses are in
// network byte order, as they sit in the packet.
namespace testpackets {

using Bytes = std::vector<std::byte>;

std::uint32_t address(const char *dotted);
Bytes bytesOf(std::string_view text);
// Each character as one byte; for text that has an 8-bit form.
Bytes bytesOf(std::u16string_view text);

// An ICMP message with a correct checksum: type, code, the 4-byte rest of the
// header (identifier and sequence of an echo, or the MTU of fragmentation
// needed), then the body.
Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t high, std::uint16_t low,
                  std::span<const std::byte> body);

Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t protocol,
                 std::span<const std::byte> payload, std::uint8_t ttl = 64);

// An ICMP error quoting the given bytes (an IP header and what follows it).
Bytes icmpError(std::uint8_t type, std::uint8_t code, std::span<const std::byte> quoted);

// An ICMP error from router about the echo request we sent to destination,
// quoting its IP header and the first 8 bytes of its ICMP message.
Bytes icmpErrorQuoting(std::uint32_t router, std::uint32_t ourAddress, std::uint8_t type,
                       std::uint8_t code, std::uint32_t destination, std::uint16_t identifier,
                       std::uint16_t sequence);

// A request frame for the probe helper: an echo of TestPayload to
// destination with the largest timeout, named by tag.
Bytes helperRequest(std::uint32_t destination, net::TimeToLive ttl = net::SystemTtl,
                    std::uint32_t tag = 1);

// Sets the big-endian 32-bit field at offset.
void put32(Bytes &bytes, std::size_t offset, std::uint32_t value);

// A helper request to 127.0.0.1 with the 32-bit field at offset set to
// value, as a local user writing to the helper could send it.
Bytes helperRequestWith(std::size_t offset, std::uint32_t value);

} // namespace testpackets
