#pragma once

#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/icmp_echo_wait.h"

#include <chrono>
#include <ctime>
#include <netinet/in.h>
#include <optional>
#include <span>
#include <sys/socket.h>

// Reading what a kept ICMP socket's messages carry beside their bytes; shared
// by the wait for one answer and the requests in flight. Private to net/.
namespace net {
class SocketCalls;
} // namespace net

namespace net::messages {

// The TTL and TOS a datagram socket reports beside each reply.
void readReplyOptions(msghdr &message, icmp::Answer &answer) noexcept;

// An error-queue entry: an ICMP error, or the kernel's stamp of a send.
std::optional<icmp::QueuedError> readQueuedError(msghdr &message, const sockaddr_in &destination,
                                                 std::span<const std::byte> quoted) noexcept;

bool wouldBlock(int error) noexcept;

// recvmsg(2) through calls, never blocking, into bytes, with control
// messages in control.
ssize_t receive(SocketCalls &calls, int descriptor, int flags, std::span<std::byte> bytes,
                std::span<std::byte> control, ReceivedMessage &received) noexcept;

// What a probe came to when nothing answered it: a ping socket tells some
// ICMP errors by an errno alone, so an ICMP origin gets the message its
// status most often stands for.
EchoOutcome failure(std::int32_t status, FailureOrigin origin) noexcept;

} // namespace net::messages
