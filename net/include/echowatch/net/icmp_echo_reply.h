#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

// What the echo service writes at the head of the caller's reply buffer:
// the 28-byte ICMP_ECHO_REPLY of 32-bit Windows, byte for byte, except that
// the data pointer is an offset into the buffer, which stays meaningful in a
// record that is copied or compared.
//
//  0 address (network order) | 4 status | 8 round-trip time (ms)
// 12 data size | 14 reserved | 16 data offset
// 20 ttl | 21 tos | 22 flags | 23 options size | 24 options offset
struct IpOptionInformation
{
    std::uint8_t ttl;
    std::uint8_t tos;
    std::uint8_t flags;
    std::uint8_t optionsSize;
    std::uint32_t optionsOffset;
};

struct IcmpEchoReply
{
    std::uint32_t address;
    std::uint32_t status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
    std::uint16_t reserved;
    std::uint32_t dataOffset;
    IpOptionInformation options;
};

static_assert(sizeof(IcmpEchoReply) == 28);
static_assert(offsetof(IcmpEchoReply, status) == 4);
static_assert(offsetof(IcmpEchoReply, roundTripTime) == 8);
static_assert(offsetof(IcmpEchoReply, dataSize) == 12);
static_assert(offsetof(IcmpEchoReply, dataOffset) == 16);
static_assert(offsetof(IcmpEchoReply, options) == 20);

} // namespace net
