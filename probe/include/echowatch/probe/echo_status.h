#pragma once

#include <cstdint>

// The outcome of one probe: 0 answered, the echo service's IP status codes
// for the ways a probe fails, and BadAddressStatus for address text that is
// no address.
using EchoStatus = std::int32_t;

inline constexpr EchoStatus BadAddressStatus = -1;

// Whether a probe with that outcome went out: only text that is no address
// sent nothing; 0.0.0.0 is an address, whatever this machine makes of it.
// The host monitor decides it by this rule, and a stored sample is read
// back by it.
constexpr bool wasSent(EchoStatus status) noexcept
{
    return status != BadAddressStatus;
}
