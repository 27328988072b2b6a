#pragma once

#include <cstdint>

namespace net {

// The TTL an echo request leaves with. No packet may leave with 0, so 0
// stands for the system's own default (net.ipv4.ip_default_ttl), which the
// window's probes keep; 1 to 255 are what `ping -t` lets any user ask for.
using TimeToLive = std::uint8_t;
inline constexpr TimeToLive SystemTtl = 0;

} // namespace net
