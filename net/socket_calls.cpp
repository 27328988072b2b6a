#include "echowatch/net/socket_calls.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>

namespace net {

// The TTL rides on the request as a control message, so the kept socket's
// options stay as they were set once, and a probe of the default TTL after a
// limited one needs no call to put anything back.
ssize_t SocketCalls::send(int descriptor, std::span<const std::byte> packet,
                          std::uint32_t destination, TimeToLive ttl) noexcept
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    iovec vector{const_cast<std::byte *>(packet.data()), packet.size()};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    alignas(cmsghdr) std::byte control[CMSG_SPACE(sizeof(int))]{};
    if (ttl != SystemTtl) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_IP;
        header->cmsg_type = IP_TTL;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        const int value = ttl;
        std::memcpy(CMSG_DATA(header), &value, sizeof value);
    }
    ssize_t sent = -1;
    do {
        sent = ::sendmsg(descriptor, &message, 0);
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
