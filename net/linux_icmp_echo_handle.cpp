#include "echowatch/net/linux_icmp_echo_handle.h"

#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/socket_calls.h"
#include "socket_messages.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <utility>

namespace net {
namespace {

// Reads per queue when clearing what earlier probes left: a flood cannot
// hold the send back.
constexpr int StaleReadsAtMost = 256;

using messages::failure;

} // namespace

LinuxIcmpEchoHandle::LinuxIcmpEchoHandle(std::uint16_t &nextSequence, SocketCalls &calls) noexcept
    : m_nextSequence(nextSequence), m_calls(calls),
      m_flight(m_socket, m_nextSequence, m_calls, m_buffers)
{}

void LinuxIcmpEchoHandle::open(IcmpSocket socket) noexcept
{
    m_socket.emplace(std::move(socket));
}

EchoOutcome LinuxIcmpEchoHandle::echo(std::uint32_t destination,
                                      std::span<const std::byte> requestData,
                                      std::chrono::milliseconds timeout, TimeToLive ttl) noexcept
{
    if (!m_socket)
        return failure(icmp::IpStatus::GeneralFailure, FailureOrigin::ThisMachine);
    // Linux would deliver 0.0.0.0 to this host and answer from 127.0.0.1:
    // whatever came back, it would not be the host that was asked for.
    if (destination == INADDR_ANY)
        return failure(icmp::IpStatus::BadDestination, FailureOrigin::ThisMachine);
    const icmp::SentEcho echo{destination, m_socket->identifier(), m_nextSequence++, requestData};
    const auto request =
        icmp::buildEchoRequest(m_buffers.packet, echo.identifier, echo.sequence, requestData);
    if (request.empty())
        return failure(icmp::IpStatus::PacketTooBig, FailureOrigin::ThisMachine);
    discardStale();

    const bool errorsOnlyWhileSending = m_socket->hearsErrorsOnlyWhileSending();
    if (errorsOnlyWhileSending)
        m_socket->queueErrors(true); // best effort: else a full queue is a timeout
    const auto sentAt = realtimeNow();
    const auto deadline = Clock::now() + timeout;
    const auto sent = m_calls.send(m_socket->descriptor(), request, destination, ttl);
    const int sendError = errno;
    if (errorsOnlyWhileSending)
        m_socket->queueErrors(false);
    if (sent < 0)
        return sendFailed(sendError);
    return outcomeOf(
        IcmpEchoWait(*m_socket, echo, m_buffers, m_calls).run(sentAt, timeout, deadline));
}

// What earlier probes left on the kept socket (a late answer, a late ICMP
// error and the error it leaves pending, a send stamp not read) goes before
// this probe's request does; whatever comes after is matched by sequence.
void LinuxIcmpEchoHandle::discardStale() noexcept
{
    for (const int queue : {0, static_cast<int>(MSG_ERRQUEUE)}) {
        for (int read = 0; read < StaleReadsAtMost; ++read) {
            iovec vector{m_buffers.quote.data(), m_buffers.quote.size()};
            msghdr message{};
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            message.msg_control = m_buffers.control.data();
            message.msg_controllen = m_buffers.control.size();
            if (m_calls.receive(m_socket->descriptor(), message, queue | MSG_TRUNC) < 0 &&
                (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
        }
    }
}

EchoOutcome LinuxIcmpEchoHandle::sendFailed(int error) noexcept
{
    if (icmp::socketUnusable(error))
        m_socket.reset();
    return failure(icmp::statusForSendError(error), FailureOrigin::ThisMachine);
}

EchoOutcome LinuxIcmpEchoHandle::outcomeOf(const WaitResult &result) noexcept
{
    if (result.socketFailed)
        m_socket.reset();
    if (!result.arrival)
        return failure(result.failureStatus, result.failureOrigin);
    const icmp::Answer &answer = result.arrival->answer;
    EchoOutcome outcome;
    outcome.status = answer.status;
    // The stamps are on the wall clock, which may be set back mid-probe.
    outcome.roundTrip = std::max(result.arrival->at - result.sentAt, std::chrono::nanoseconds{});
    outcome.responder = answer.from;
    outcome.ttl = answer.ttl;
    outcome.tos = answer.tos;
    outcome.data = answer.echoedData;
    outcome.message = answer.kind;
    outcome.origin =
        answer.status == icmp::IpStatus::Success ? FailureOrigin::None : FailureOrigin::IcmpMessage;
    return outcome;
}

} // namespace net
