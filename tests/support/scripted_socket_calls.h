#pragma once

#include "echowatch/net/socket_calls.h"
#include "support/packet_builder.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

// A kernel in a box for the wait on a kept socket: what each queue holds
// is scripted in terms of the request just sent (its sequence, the kernel's
// send stamp), so that replies, ICMP errors, stamps, late and foreign packets
// reach the real wait logic without a socket or root.
namespace fakes {

struct SentRequest
{
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::chrono::nanoseconds stamp; // the kernel's send stamp, CLOCK_REALTIME
    net::TimeToLive ttl;
    testpackets::Bytes data; // what the request carries past its header
};

// One entry of a queue: the bytes the socket hands over and what the kernel
// puts beside them. An ICMP error on a ping socket's error queue carries its
// type and code, the offender, and quotes bytes (the echo header it is about).
struct QueuedEntry
{
    testpackets::Bytes bytes;
    std::uint32_t source = 0; // msg_name: the sender, or the original destination
    std::optional<std::chrono::nanoseconds> stamp; // the kernel's receive stamp
    int ttl = 64;
    // Error queue only: sock_extended_err's origin, type and code, offender.
    std::uint8_t origin = 0;
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    std::uint32_t offender = 0;
};

class ScriptedSocketCalls final : public net::SocketCalls
{
public:
    // Run at each send with what went out; fills the queues the wait reads.
    std::function<void(const SentRequest &, ScriptedSocketCalls &)> onSend;
    int sendError = 0;    // non-zero: sendto fails with it
    short pollEvents = 0; // non-zero: every poll reports these and nothing else
    bool stampSends = true;

    std::deque<QueuedEntry> receiveQueue;
    std::deque<QueuedEntry> errorQueue;
    int pendingError = 0; // what the next receive fails with, once
    int sends = 0;

    ssize_t send(int descriptor, std::span<const std::byte> packet, std::uint32_t destination,
                 net::TimeToLive ttl) noexcept override;
    int poll(pollfd &watched, const timespec &timeout) noexcept override;
    ssize_t receive(int descriptor, msghdr &message, int flags) noexcept override;
    int takePendingError(int descriptor) noexcept override;

    // An entry on the error queue carrying the kernel's stamp of a send.
    static QueuedEntry sendStampEntry(std::chrono::nanoseconds stamp);
};

} // namespace fakes
