#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <sys/socket.h>

// The times the kernel stamps packets with. Round trips are measured between
// the kernel's transmit and receive stamps, as ping measures them, so the
// time a busy machine keeps the process waiting for a CPU is not counted.
namespace net {

// CLOCK_REALTIME since the epoch: the clock of the kernel's software stamps.
using KernelTime = std::chrono::nanoseconds;

KernelTime realtimeNow() noexcept;

// A duration as poll, ppoll and the kernel's stamps take it; one already
// past is zero, so that a deadline missed polls once without waiting.
timespec toTimespec(std::chrono::nanoseconds duration) noexcept;

// Asks the kernel for a software stamp on every packet the socket receives,
// and on every send (queued on its error queue).
bool enableKernelTimestamps(int descriptor) noexcept;

// The kernel stamps received packets only while some socket asks for it, and
// switches stamping on a moment after the first one does, so the answer to
// the first probe of a new socket could arrive unstamped (and lose a race
// with an error it came before). Called once a socket has asked: returns
// when a packet that loopback carries comes back stamped, a few milliseconds
// at most; the socket that asked keeps stamping on from then on. Best effort.
void awaitReceiveStamping() noexcept;

// The software stamp the kernel put beside a message just read, if any.
std::optional<KernelTime> softwareStamp(msghdr &message) noexcept;

} // namespace net
