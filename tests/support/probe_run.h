#pragma once

#include "echowatch/net/icmp_socket.h"

#include <cstdint>
#include <string>

// One real probe, summed up in a form that crosses a process boundary.
struct ProbeRun
{
    std::int32_t status;
    std::uint32_t roundTripTime;
    std::uint16_t dataSize;
    bool payloadEchoed;
    bool recordAllZero;
    std::int64_t elapsedMilliseconds;
    char setupError[160];
};

ProbeRun probeOnce(const char *address, net::SocketKindChoice kinds);
ProbeRun setupFailure(const std::string &error);
