#pragma once

#include <cstdint>

namespace net {

// Every raw ICMP socket receives a copy of every ICMP packet the host gets.
// This classic BPF program, attached to one, has the kernel queue only what
// can answer one echo request: an echo reply carrying its identifier and
// sequence, or a destination-unreachable, source-quench, time-exceeded or
// parameter-problem error quoting an ICMP echo request with both. Everything
// else is dropped before it wakes the probe. The packet is still checked in
// full once read (source, data, checksum): the filter only cuts the noise.
// Returns whether the kernel took the program.
bool attachEchoAnswerFilter(int descriptor, std::uint16_t identifier,
                            std::uint16_t sequence) noexcept;

} // namespace net
