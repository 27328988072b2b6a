#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace net {

// The calls the wait for an echo's outcome makes on its socket. The real
// system calls by default; a test overrides one to make it fail the way a
// kernel can, which no lab can be relied on to provoke.
class SocketCalls
{
public:
    virtual ~SocketCalls() = default;

    // ppoll(2) on one descriptor: the number ready, or -1 with errno set.
    virtual int poll(pollfd &watched, const timespec &timeout) noexcept;
    // recvmsg(2), never blocking: the length read, or -1 with errno set.
    virtual ssize_t receive(int descriptor, msghdr &message, int flags) noexcept;
    // The socket's pending error (SO_ERROR), which reading clears: 0 when
    // there is none, -1 when it cannot be read.
    virtual int takePendingError(int descriptor) noexcept;
};

} // namespace net
