#pragma once

#include <cstdint>

namespace net {

// Attaches icmp::echoAnswerProgram for identifier to a raw socket, once, when
// the socket is opened. Returns whether the kernel took the program.
bool attachEchoAnswerFilter(int descriptor, std::uint16_t identifier) noexcept;

} // namespace net
