#pragma once

#include <chrono>
#include <optional>
#include <sys/socket.h>

// The times the kernel stamps packets with. Round trips are measured between
// the kernel's transmit and receive stamps, as ping measures them, so the
// time a busy machine keeps the process waiting for a CPU is not counted.
namespace net {

// CLOCK_REALTIME since the epoch: the clock of the kernel's software stamps.
using KernelTime = std::chrono::nanoseconds;

KernelTime realtimeNow() noexcept;

// Asks the kernel for a software stamp on every packet the socket receives,
// and on every send (queued on its error queue).
bool enableKernelTimestamps(int descriptor) noexcept;

// The software stamp the kernel put beside a message just read, if any.
std::optional<KernelTime> softwareStamp(msghdr &message) noexcept;

// The kernel stamps received packets only while some socket asks for it, and
// switches stamping on a moment after the first one does, so the answer to a
// socket opened for one probe could arrive unstamped. Holding one socket that
// asks keeps stamping on for every probe; a new hold waits until stamping
// has started, a few milliseconds at most. Best effort: without it the
// probes still work, a few stamps may only be missing.
class ReceiveStampingHold
{
public:
    ReceiveStampingHold() noexcept;
    ~ReceiveStampingHold();
    ReceiveStampingHold(const ReceiveStampingHold &) = delete;
    ReceiveStampingHold &operator=(const ReceiveStampingHold &) = delete;

private:
    bool talkToItself() noexcept;
    void awaitStamping() noexcept;

    int m_descriptor;
};

} // namespace net
