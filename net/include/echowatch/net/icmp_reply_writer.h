#pragma once

#include "echowatch/net/icmp_packet.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Fills the caller's reply buffer: the IcmpEchoReply header, then the echoed
// data. Nothing is ever written past the end of the buffer.
namespace net {

// Returns the status written, which is BufTooSmall when the echoed data does
// not fit behind the header.
std::int32_t writeEchoAnswer(std::span<std::byte> buffer, const icmp::Answer &answer,
                             std::uint32_t roundTripMilliseconds) noexcept;

// An outcome without an answer (a timeout, a refused send): 0 ms, 0 bytes.
void writeEchoFailure(std::span<std::byte> buffer, std::int32_t status) noexcept;

} // namespace net
