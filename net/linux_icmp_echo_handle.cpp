#include "echowatch/net/linux_icmp_echo_handle.h"

#include "echowatch/net/errno_status.h"
#include "echowatch/net/icmp_echo_reply.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/net/ip_status.h"

#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <utility>
#include <vector>

namespace net {
namespace {

timespec toTimespec(std::chrono::nanoseconds duration) noexcept
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<time_t>(seconds.count()),
                    static_cast<long>((duration - seconds).count())};
}

// The TTL and TOS a datagram socket reports beside each reply.
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

} // namespace

LinuxIcmpEchoHandle::LinuxIcmpEchoHandle(IcmpSocket socket, std::uint16_t identifier,
                                         std::uint16_t &nextSequence) noexcept
    : m_socket(std::move(socket)), m_identifier(identifier), m_nextSequence(nextSequence)
{}

std::uint32_t LinuxIcmpEchoHandle::IcmpSendEcho(std::uint32_t destination,
                                                std::span<const std::byte> requestData,
                                                std::span<std::byte> replyBuffer,
                                                std::chrono::milliseconds timeout) noexcept
{
    if (replyBuffer.size() < sizeof(IcmpEchoReply))
        return 0;
    // Linux would deliver 0.0.0.0 to this host and answer from 127.0.0.1:
    // whatever came back, it would not be the host that was asked for.
    if (destination == INADDR_ANY) {
        writeEchoFailure(replyBuffer, IpStatus::BadDestination);
        return 0;
    }
    const icmp::SentEcho sent{destination, m_identifier, m_nextSequence++, requestData};
    std::vector<std::byte> request;
    try {
        request = icmp::buildEchoRequest(sent.identifier, sent.sequence, requestData);
    } catch (const std::bad_alloc &) {
        writeEchoFailure(replyBuffer, IpStatus::NoResources);
        return 0;
    }

    const auto sentAt = Clock::now();
    if (!send(request, destination)) {
        writeEchoFailure(replyBuffer, statusForSendError(errno));
        return 0;
    }
    const auto arrival = awaitAnswer(sent, sentAt + timeout);
    if (!arrival) {
        writeEchoFailure(replyBuffer, IpStatus::ReqTimedOut);
        return 0;
    }
    const auto roundTrip = std::chrono::round<std::chrono::milliseconds>(arrival->at - sentAt);
    const auto status = writeEchoAnswer(replyBuffer, arrival->answer,
                                        static_cast<std::uint32_t>(roundTrip.count()));
    return status == IpStatus::Success ? 1 : 0;
}

bool LinuxIcmpEchoHandle::send(std::span<const std::byte> packet,
                               std::uint32_t destination) noexcept
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    ssize_t sent = -1;
    do {
        sent = ::sendto(m_socket.descriptor(), packet.data(), packet.size(), 0,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0;
}

ssize_t LinuxIcmpEchoHandle::receive(int flags, sockaddr_in &name, iovec &vector,
                                     msghdr &message) noexcept
{
    vector = {m_packet.data(), m_packet.size()};
    message.msg_name = &name;
    message.msg_namelen = sizeof name;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = m_control.data();
    message.msg_controllen = m_control.size();
    return ::recvmsg(m_socket.descriptor(), &message, flags | MSG_DONTWAIT);
}

// The deadline is fixed before the send: nothing that arrives, matching or
// not, and no interrupted call moves it.
std::optional<LinuxIcmpEchoHandle::Arrival>
LinuxIcmpEchoHandle::awaitAnswer(const icmp::SentEcho &sent, Clock::time_point deadline) noexcept
{
    // Over loopback the answer is usually queued before sendto() returns;
    // looking first saves a poll.
    if (auto arrival = readPackets(sent, deadline))
        return arrival;
    pollfd watched{m_socket.descriptor(), POLLIN, 0};
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const timespec remaining = toTimespec(deadline - now);
        const int ready = ::ppoll(&watched, 1, &remaining, nullptr);
        if (ready <= 0)
            continue;
        // Errors first: while one is queued, a plain receive only returns
        // its lossy errno.
        if (watched.revents & POLLERR) {
            if (auto arrival = readErrorQueue(sent, deadline))
                return arrival;
        }
        if (watched.revents & POLLIN) {
            if (auto arrival = readPackets(sent, deadline))
                return arrival;
        }
    }
    return std::nullopt;
}

std::optional<LinuxIcmpEchoHandle::Arrival>
LinuxIcmpEchoHandle::readErrorQueue(const icmp::SentEcho &sent, Clock::time_point deadline) noexcept
{
    while (Clock::now() < deadline) {
        sockaddr_in destination{};
        iovec vector{};
        msghdr message{};
        const ssize_t length = receive(MSG_ERRQUEUE, destination, vector, message);
        if (length < 0)
            return std::nullopt;
        const auto at = Clock::now();
        // A raw socket also sees every error as a packet, with the full quote
        // to match it by; its queue only needs emptying.
        if (m_socket.kind() == IcmpSocketKind::Raw)
            continue;
        const auto error = readQueuedError(message, destination,
                                           std::span(m_packet).first(static_cast<size_t>(length)));
        if (!error)
            continue;
        if (auto answer = icmp::matchQueuedError(*error, sent))
            return Arrival{*answer, at};
    }
    return std::nullopt;
}

std::optional<LinuxIcmpEchoHandle::Arrival>
LinuxIcmpEchoHandle::readPackets(const icmp::SentEcho &sent, Clock::time_point deadline) noexcept
{
    while (Clock::now() < deadline) {
        sockaddr_in source{};
        iovec vector{};
        msghdr message{};
        const ssize_t length = receive(0, source, vector, message);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        const auto at = Clock::now();
        const auto bytes = std::span<const std::byte>(m_packet).first(static_cast<size_t>(length));
        std::optional<icmp::Answer> answer;
        if (m_socket.kind() == IcmpSocketKind::Raw) {
            answer = icmp::matchRawPacket(bytes, sent);
        } else {
            answer = icmp::matchDatagramReply(bytes, source.sin_addr.s_addr, 0, 0, sent);
            if (answer)
                readReplyOptions(message, *answer);
        }
        if (answer)
            return Arrival{*answer, at};
    }
    return std::nullopt;
}

} // namespace net
