#pragma once

#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/icmp_socket.h"
#include "echowatch/net/kernel_time.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <span>
#include <sys/socket.h>
#include <sys/types.h>

namespace net {

class SocketCalls;

// Where a probe builds its request and reads what comes back. Kept by a
// long-lived owner so that a probe allocates nothing; one wait at a time.
struct ReceiveBuffers
{
    // Big enough for any IPv4 packet, so nothing is ever cut short.
    std::array<std::byte, 65536> packet;
    // What a ping socket's queued error quotes of our request.
    std::array<std::byte, 576> quote;
    std::array<std::byte, 512> control;
};

// One message as recvmsg filled it: the sender's name, the bytes, and what
// the kernel put beside them, kept until the next read.
struct ReceivedMessage
{
    sockaddr_in name{};
    iovec vector{};
    msghdr message{};
};

// What decided a probe, and when the kernel received it.
struct Arrival
{
    icmp::Answer answer;
    KernelTime at;
};

struct WaitResult
{
    std::optional<Arrival> arrival;
    std::int32_t failureStatus; // the outcome when nothing arrived in time
    FailureOrigin failureOrigin;
    KernelTime sentAt; // the kernel's send stamp, or the time just before the send
    // The socket can no longer be waited on: it is to be opened again.
    bool socketFailed = false;
};

// The wait for the outcome of one echo request that has just been sent.
// Between an answer and an error about the request, the one the kernel
// received first decides; whatever the kernel received before the deadline
// counts, however late the process reads it; and the wait never spins: every
// wake-up either reads something or ends it.
class IcmpEchoWait
{
public:
    using Clock = std::chrono::steady_clock;

    IcmpEchoWait(IcmpSocket &socket, const icmp::SentEcho &sent, ReceiveBuffers &buffers,
                 SocketCalls &calls) noexcept;

    // sentAt: the time taken just before the send; deadline: the same moment
    // plus timeout, on the clock the process waits by.
    WaitResult run(KernelTime sentAt, std::chrono::milliseconds timeout,
                   Clock::time_point deadline) noexcept;

private:
    std::optional<WaitResult> readQueued(bool pollReportedError) noexcept;
    void readReceiveQueue() noexcept;
    void readErrorQueue(bool drain) noexcept;
    void takeErrorEntry(std::span<const std::byte> quoted) noexcept;
    std::optional<icmp::Answer> matchReceived(std::span<const std::byte> bytes) noexcept;
    void noteReceiveError(int error) noexcept;
    std::optional<WaitResult> decide() const noexcept;
    std::optional<WaitResult> explainPollError() noexcept;
    ssize_t receive(int flags, std::span<std::byte> into) noexcept;
    KernelTime arrivalTime() noexcept;
    WaitResult failed(std::int32_t status,
                      FailureOrigin origin = FailureOrigin::ThisMachine) const noexcept;
    WaitResult socketFailed() const noexcept;

    IcmpSocket &m_socket;
    const int m_descriptor;
    const IcmpSocketKind m_kind;
    const icmp::SentEcho &m_sent;
    ReceiveBuffers &m_buffers;
    SocketCalls &m_calls;

    KernelTime m_userSentAt{};
    KernelTime m_sentAt{};
    bool m_sendStamped; // the kernel's send stamp is in, or none will come
    std::chrono::nanoseconds m_timeout{};

    // The first answer found in each queue: a queue is read in the order the
    // kernel received what it holds, so later entries came later.
    std::optional<Arrival> m_received; // receive queue: replies; on raw sockets errors too
    std::optional<Arrival> m_queued;   // a ping socket's error queue

    // A ping socket's receive reports a queued ICMP error once, as an errno.
    int m_signalledError = 0;
    bool m_icmpErrorQueued = false;
    bool m_clearedPendingError = false;
    bool m_readSomething = false;

    ReceivedMessage m_read;
};

} // namespace net
