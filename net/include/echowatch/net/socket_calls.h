#pragma once

#include "echowatch/net/time_to_live.h"

#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <span>
#include <sys/socket.h>
#include <sys/types.h>

namespace net {

// The calls a probe makes on its kept socket. The real system calls by
// default; a test overrides them to script what a kernel can do (replies,
// errors, stamps, late and foreign packets, failures), which no lab can be
// relied on to provoke.
class SocketCalls
{
public:
    virtual ~SocketCalls() = default;

    // sendmsg(2) of one packet to an IPv4 address in network order, with
    // its own TTL where one is asked for: the length sent, or -1 with errno
    // set.
    virtual ssize_t send(int descriptor, std::span<const std::byte> packet,
                         std::uint32_t destination, TimeToLive ttl) noexcept;
    // ppoll(2) on one descriptor: the number ready, or -1 with errno set.
    virtual int poll(pollfd &watched, const timespec &timeout) noexcept;
    // recvmsg(2), never blocking: the length read, or -1 with errno set.
    virtual ssize_t receive(int descriptor, msghdr &message, int flags) noexcept;
    // The socket's pending error (SO_ERROR), which reading clears: 0 when
    // there is none, -1 when it cannot be read.
    virtual int takePendingError(int descriptor) noexcept;
};

} // namespace net
