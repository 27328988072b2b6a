#include "echowatch/net/socket_calls.h"

#include <cerrno>
#include <netinet/in.h>

namespace net {

ssize_t SocketCalls::send(int descriptor, std::span<const std::byte> packet,
                          std::uint32_t destination) noexcept
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    ssize_t sent = -1;
    do {
        sent = ::sendto(descriptor, packet.data(), packet.size(), 0,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

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
