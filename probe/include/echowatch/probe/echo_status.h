#pragma once

#include <cstdint>

// The outcome of one probe: 0 answered, the echo service's IP status codes
// for the ways a probe fails, and BadAddressStatus for address text that is
// no address.
using EchoStatus = std::int32_t;

inline constexpr EchoStatus BadAddressStatus = -1;
