#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Crafted packets for the matcher's tests: what a kernel would hand us.
namespace testpackets {

using Bytes = std::vector<std::byte>;

std::uint32_t address(const char *dotted);
Bytes bytesOf(std::string_view text);

// An ICMP message with a correct checksum; rest is the 4 bytes after the
// checksum (identifier and sequence for echoes).
Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t identifier,
                  std::uint16_t sequence, std::span<const std::byte> body);

Bytes ipv4Packet(std::uint32_t source, std::uint32_t destination, std::uint8_t protocol,
                 std::span<const std::byte> payload, std::uint8_t ttl = 64);

// An ICMP error from router about the echo request we sent to destination,
// quoting its IP header and the first 8 bytes of its ICMP message.
Bytes icmpErrorQuoting(std::uint32_t router, std::uint32_t ourAddress, std::uint8_t type,
                       std::uint8_t code, std::uint32_t destination, std::uint16_t identifier,
                       std::uint16_t sequence);

} // namespace testpackets
