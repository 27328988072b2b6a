#pragma once

#include "echowatch/net/icmp_echo_reply.h"

#include <array>
#include <cstddef>

// The record one probe's reply lands in: the echo service's header, then room
// for the echoed data. Its size is what the service is told it may fill.
#pragma pack(push, 1)
struct EchoReply
{
    net::IcmpEchoReply header;
    std::array<std::byte, 250> data;
};
#pragma pack(pop)

static_assert(sizeof(EchoReply) == 278);
static_assert(offsetof(EchoReply, data) == 28);
