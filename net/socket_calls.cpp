#include "echowatch/net/socket_calls.h"

namespace net {

int SocketCalls::poll(pollfd &watched, const timespec &timeout) noexcept
{
    return ::ppoll(&watched, 1, &timeout, nullptr);
}

ssize_t SocketCalls::receive(int descriptor, msghdr &message, int flags) noexcept
{
    return ::recvmsg(descriptor, &message, flags | MSG_DONTWAIT);
}

int SocketCalls::takePendingError(int descriptor) noexcept
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return -1;
    return error;
}

} // namespace net
