#pragma once

#include "support/packet_builder.h"

#include <cstdint>
#include <optional>
#include <span>

// The echo request as the lab's responder saw it: the whole IP packet and the
// fields it answers from. Addresses are in network byte order.
namespace lab {

struct EchoRequest
{
    testpackets::Bytes packet;
    std::uint32_t source;
    std::uint32_t destination;
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::span<const std::byte> data() const noexcept;
};

std::optional<EchoRequest> readEchoRequest(std::span<const std::byte> packet);

} // namespace lab
