#pragma once

#include <array>
#include <cstdint>
#include <linux/filter.h>

namespace icmp {

// Every raw ICMP socket receives a copy of every ICMP packet the host gets.
// This classic BPF program, attached once to a socket kept for many probes,
// has the kernel queue only what can answer one of its echo requests: an echo
// reply carrying its identifier, or a destination-unreachable, source-quench,
// time-exceeded or parameter-problem error quoting an ICMP echo request with
// that identifier. Everything else is dropped before it wakes the probe. The
// sequence, source, data and checksum are checked once read: the program only
// cuts the noise of other pingers, it never decides an outcome.
using EchoAnswerProgram = std::array<sock_filter, 22>;

EchoAnswerProgram echoAnswerProgram(std::uint16_t identifier) noexcept;

} // namespace icmp
