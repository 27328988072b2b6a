#pragma once

#include "echowatch/route/route_facts.h"

#include <chrono>
#include <cstdint>

namespace route {

// How long each answer from the kernel is waited for; it comes within
// microseconds, so only a machine in trouble ever reaches this.
inline constexpr std::chrono::milliseconds KernelAnswerWait{500};

// Asks the kernel, over an rtnetlink socket of its own, which route it
// would send to destination (network order) by, and how the link that
// route leaves by stands: `ip route get` and `ip link show` in one. Sends
// nothing to the network and needs no privilege. Blocks for at most
// KernelAnswerWait per answer, so it is called off the window's thread.
// What cannot be asked is Unknown, with the errno it failed with.
RouteFacts lookUpRoute(std::uint32_t destination) noexcept;

} // namespace route
