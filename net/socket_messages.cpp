#include "socket_messages.h"

#include "echowatch/net/socket_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>

namespace net::messages {

void readReplyOptions(msghdr &message, icmp::Answer &answer) noexcept
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_IP)
            continue;
        if (c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            answer.ttl = static_cast<std::uint8_t>(ttl);
        } else if (c->cmsg_type == IP_TOS && c->cmsg_len >= CMSG_LEN(1)) {
            answer.tos =
                std::to_integer<std::uint8_t>(*reinterpret_cast<std::byte *>(CMSG_DATA(c)));
        }
    }
}

std::optional<icmp::QueuedError> readQueuedError(msghdr &message, const sockaddr_in &destination,
                                                 std::span<const std::byte> quoted) noexcept
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR ||
            c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in)))
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        sockaddr_in offender{};
        std::memcpy(&offender, CMSG_DATA(c) + sizeof error, sizeof offender);
        return icmp::QueuedError{error.ee_origin,
                                 error.ee_type,
                                 error.ee_code,
                                 offender.sin_addr.s_addr,
                                 destination.sin_addr.s_addr,
                                 quoted};
    }
    return std::nullopt;
}

bool wouldBlock(int error) noexcept
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

ssize_t receive(SocketCalls &calls, int descriptor, int flags, std::span<std::byte> bytes,
                std::span<std::byte> control, ReceivedMessage &received) noexcept
{
    received.name = {};
    received.vector = {bytes.data(), bytes.size()};
    received.message = {};
    received.message.msg_name = &received.name;
    received.message.msg_namelen = sizeof received.name;
    received.message.msg_iov = &received.vector;
    received.message.msg_iovlen = 1;
    received.message.msg_control = control.data();
    received.message.msg_controllen = control.size();
    return calls.receive(descriptor, received.message, flags);
}

EchoOutcome failure(std::int32_t status, FailureOrigin origin) noexcept
{
    EchoOutcome outcome;
    outcome.status = status;
    outcome.origin = origin;
    if (origin == FailureOrigin::IcmpMessage)
        outcome.message = icmp::usualMessageFor(status).value_or(icmp::MessageKind{});
    return outcome;
}

} // namespace net::messages
