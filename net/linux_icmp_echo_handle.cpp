#include "echowatch/net/linux_icmp_echo_handle.h"

#include "echowatch/net/errno_status.h"
#include "echowatch/net/icmp_echo_reply.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/net/ip_status.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>

namespace net {
namespace {

std::uint32_t roundTripMilliseconds(std::chrono::nanoseconds roundTrip) noexcept
{
    // Stamps on the wall clock can go back if it is set during a probe.
    const auto milliseconds = std::chrono::round<std::chrono::milliseconds>(roundTrip).count();
    return static_cast<std::uint32_t>(std::max<std::int64_t>(milliseconds, 0));
}

EchoOutcome failed(std::int32_t status) noexcept
{
    return EchoOutcome{std::nullopt, status, {}};
}

} // namespace

LinuxIcmpEchoHandle::LinuxIcmpEchoHandle(std::uint16_t identifier, std::uint16_t &nextSequence,
                                         SocketCalls &calls) noexcept
    : m_identifier(identifier), m_nextSequence(nextSequence), m_calls(calls)
{}

void LinuxIcmpEchoHandle::open(IcmpSocket socket) noexcept
{
    m_socket.emplace(std::move(socket));
}

void LinuxIcmpEchoHandle::close() noexcept
{
    m_socket.reset();
}

std::uint32_t LinuxIcmpEchoHandle::IcmpSendEcho(std::uint32_t destination,
                                                std::span<const std::byte> requestData,
                                                std::span<std::byte> replyBuffer,
                                                std::chrono::milliseconds timeout) noexcept
{
    // Without room for the record nothing is sent, as nothing could be told.
    if (replyBuffer.size() < sizeof(IcmpEchoReply))
        return 0;
    const auto outcome = echo(destination, requestData, timeout);
    if (!outcome.arrival) {
        writeEchoFailure(replyBuffer, outcome.failureStatus);
        return 0;
    }
    const auto status =
        writeEchoAnswer(replyBuffer, outcome.arrival->answer,
                        roundTripMilliseconds(outcome.arrival->at - outcome.sentAt));
    return status == IpStatus::Success ? 1 : 0;
}

EchoOutcome LinuxIcmpEchoHandle::echo(std::uint32_t destination,
                                      std::span<const std::byte> requestData,
                                      std::chrono::milliseconds timeout) noexcept
{
    if (!m_socket)
        return failed(IpStatus::GeneralFailure);
    // Linux would deliver 0.0.0.0 to this host and answer from 127.0.0.1:
    // whatever came back, it would not be the host that was asked for.
    if (destination == INADDR_ANY)
        return failed(IpStatus::BadDestination);
    const icmp::SentEcho sent{destination, m_identifier, m_nextSequence++, requestData};
    const auto request =
        icmp::buildEchoRequest(m_buffers.packet, sent.identifier, sent.sequence, requestData);
    if (request.empty())
        return failed(IpStatus::PacketTooBig);
    // Best effort: without it a full queue shows as a timeout.
    if (m_socket->kind() == IcmpSocketKind::Raw)
        m_socket->queueErrors(true);

    const auto sentAt = realtimeNow();
    const auto deadline = Clock::now() + timeout;
    if (!send(request, destination))
        return failed(statusForSendError(errno));
    if (m_socket->kind() == IcmpSocketKind::Raw)
        m_socket->queueErrors(false);
    return IcmpEchoWait(*m_socket, sent, m_buffers, m_calls).run(sentAt, timeout, deadline);
}

bool LinuxIcmpEchoHandle::send(std::span<const std::byte> packet,
                               std::uint32_t destination) noexcept
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    ssize_t sent = -1;
    do {
        sent = ::sendto(m_socket->descriptor(), packet.data(), packet.size(), 0,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0;
}

} // namespace net
