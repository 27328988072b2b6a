#include "echowatch/net/icmp_echo_wait.h"

#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/kernel_time.h"
#include "echowatch/net/socket_calls.h"
#include "socket_messages.h"

#include <algorithm>
#include <cerrno>
#include <linux/errqueue.h>
#include <poll.h>

namespace net {
namespace {

// Reads per queue between two looks at the clock: a flood cannot hold the
// wait past its deadline.
constexpr int ReadsPerPass = 256;

using messages::readQueuedError;
using messages::readReplyOptions;
using messages::wouldBlock;

} // namespace

IcmpEchoWait::IcmpEchoWait(IcmpSocket &socket, const icmp::SentEcho &sent, ReceiveBuffers &buffers,
                           SocketCalls &calls) noexcept
    : m_socket(socket), m_descriptor(socket.descriptor()), m_kind(socket.kind()), m_sent(sent),
      m_buffers(buffers), m_calls(calls), m_sendStamped(!socket.timestamped())
{}

WaitResult IcmpEchoWait::run(KernelTime sentAt, std::chrono::milliseconds timeout,
                             Clock::time_point deadline) noexcept
{
    m_userSentAt = m_sentAt = sentAt;
    m_timeout = timeout;
    bool pollReportedError = false;
    for (;;) {
        // What the kernel received before the deadline counts, so the queues
        // are read once more after it has passed.
        const bool deadlinePassed = Clock::now() >= deadline;
        if (auto outcome = readQueued(pollReportedError))
            return *outcome;
        if (deadlinePassed)
            return failed(icmp::IpStatus::ReqTimedOut, FailureOrigin::None);
        pollfd watched{m_descriptor, POLLIN, 0};
        const int ready = m_calls.poll(watched, toTimespec(deadline - Clock::now()));
        if (ready < 0 && errno != EINTR)
            return failed(icmp::IpStatus::GeneralFailure);
        if (ready > 0 && (watched.revents & (POLLNVAL | POLLHUP)) != 0)
            return socketFailed();
        pollReportedError = ready > 0 && (watched.revents & POLLERR) != 0;
    }
}

std::optional<WaitResult> IcmpEchoWait::readQueued(bool pollReportedError) noexcept
{
    m_readSomething = false;
    if (!m_received)
        readReceiveQueue();
    // A ping socket's receive reports an ICMP error queued before the answer
    // it returns; without that report no earlier error is there to look for.
    const bool errorsMayWait = m_kind == IcmpSocketKind::Datagram &&
                               (!m_received || m_signalledError != 0 || pollReportedError);
    const bool drain = errorsMayWait || pollReportedError;
    if (!m_queued && (drain || !m_sendStamped))
        readErrorQueue(drain);
    // An answer that came in while the error queue was read may be the
    // earlier one.
    if (m_queued && !m_received)
        readReceiveQueue();
    if (auto outcome = decide())
        return outcome;
    if (m_signalledError != 0 && !m_icmpErrorQueued)
        return failed(icmp::statusForPendingError(m_signalledError), FailureOrigin::IcmpMessage);
    if (pollReportedError && !m_readSomething)
        return explainPollError();
    return std::nullopt;
}

void IcmpEchoWait::readReceiveQueue() noexcept
{
    for (int read = 0; read < ReadsPerPass && !m_received; ++read) {
        const ssize_t length = receive(0, m_buffers.packet);
        if (length < 0 && wouldBlock(errno))
            return;
        if (length < 0) {
            noteReceiveError(errno);
            continue;
        }
        m_readSomething = true;
        const auto bytes =
            std::span<const std::byte>(m_buffers.packet).first(static_cast<std::size_t>(length));
        // A late answer to an earlier probe of the kept socket carries an
        // earlier sequence, and is passed by as any foreign packet is.
        if (auto answer = matchReceived(bytes))
            m_received = Arrival{*answer, arrivalTime()};
    }
}

// Stops at the first ICMP error about our request; unless draining, also as
// soon as the send stamp is in.
void IcmpEchoWait::readErrorQueue(bool drain) noexcept
{
    for (int read = 0; read < ReadsPerPass && !m_queued && (drain || !m_sendStamped); ++read) {
        const ssize_t length = receive(MSG_ERRQUEUE, m_buffers.quote);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0)
            return;
        m_readSomething = true;
        takeErrorEntry(
            std::span<const std::byte>(m_buffers.quote)
                .first(std::min(static_cast<std::size_t>(length), m_buffers.quote.size())));
    }
}

void IcmpEchoWait::takeErrorEntry(std::span<const std::byte> quoted) noexcept
{
    const auto entry = readQueuedError(m_read.message, m_read.name, quoted);
    if (!entry)
        return;
    if (entry->origin == SO_EE_ORIGIN_TIMESTAMPING) {
        // An earlier send's stamp is older than the time taken before ours.
        const auto stamp = softwareStamp(m_read.message);
        if (stamp && *stamp >= m_userSentAt) {
            m_sentAt = *stamp;
            m_sendStamped = true;
        }
        return;
    }
    if (entry->origin != icmp::ErrorOriginIcmp)
        return;
    // It is what an errno from a receive was about.
    m_icmpErrorQueued = true;
    // A raw socket reads its errors as packets, which quote more to match by:
    // an entry here is a copy of some ICMP error on the host.
    if (m_kind == IcmpSocketKind::Raw) {
        m_socket.hearErrorsOnlyWhileSending();
        return;
    }
    if (auto answer = icmp::matchQueuedError(*entry, m_sent))
        m_queued = Arrival{*answer, arrivalTime()};
}

std::optional<icmp::Answer> IcmpEchoWait::matchReceived(std::span<const std::byte> bytes) noexcept
{
    if (m_kind == IcmpSocketKind::Raw)
        return icmp::matchRawPacket(bytes, m_sent);
    auto answer = icmp::matchDatagramReply(bytes, m_read.name.sin_addr.s_addr, 0, 0, m_sent);
    if (answer)
        readReplyOptions(m_read.message, *answer);
    return answer;
}

// On a ping socket the errno stands for a queued ICMP error. On a raw socket
// it is left over from the send, when IP_RECVERR was on: its errors are read
// as packets.
void IcmpEchoWait::noteReceiveError(int error) noexcept
{
    if (error == EINTR)
        return;
    m_readSomething = true;
    if (m_kind == IcmpSocketKind::Datagram)
        m_signalledError = error;
}

std::optional<WaitResult> IcmpEchoWait::decide() const noexcept
{
    const Arrival *first = m_received ? &*m_received : nullptr;
    if (m_queued && (first == nullptr || m_queued->at < first->at))
        first = &*m_queued;
    if (first == nullptr)
        return std::nullopt;
    // Nothing the kernel receives later can be earlier than a first answer
    // that came too late.
    if (first->at - m_sentAt >= m_timeout)
        return failed(icmp::IpStatus::ReqTimedOut, FailureOrigin::None);
    return WaitResult{*first, icmp::IpStatus::Success, FailureOrigin::None, m_sentAt};
}

// POLLERR with nothing to read: polling again at once would spin.
std::optional<WaitResult> IcmpEchoWait::explainPollError() noexcept
{
    const int pending = m_calls.takePendingError(m_descriptor);
    // A ping socket's error that never reached its queue (the kernel could
    // not copy it) is still the answer to our request.
    if (pending > 0 && m_kind == IcmpSocketKind::Datagram && !m_icmpErrorQueued)
        return failed(icmp::statusForPendingError(pending), FailureOrigin::IcmpMessage);
    // Otherwise it stands for an error already read, and reading it cleared
    // it. One that comes back means the poll cannot be waited on.
    if (pending > 0 && !m_clearedPendingError) {
        m_clearedPendingError = true;
        return std::nullopt;
    }
    return failed(icmp::IpStatus::GeneralFailure);
}

ssize_t IcmpEchoWait::receive(int flags, std::span<std::byte> into) noexcept
{
    return messages::receive(m_calls, m_descriptor, flags, into, m_buffers.control, m_read);
}

// The kernel's receive stamp; where it took none, the moment of reading.
KernelTime IcmpEchoWait::arrivalTime() noexcept
{
    return softwareStamp(m_read.message).value_or(realtimeNow());
}

WaitResult IcmpEchoWait::failed(std::int32_t status, FailureOrigin origin) const noexcept
{
    return WaitResult{std::nullopt, status, origin, m_sentAt};
}

WaitResult IcmpEchoWait::socketFailed() const noexcept
{
    return WaitResult{std::nullopt, icmp::IpStatus::GeneralFailure, FailureOrigin::ThisMachine,
                      m_sentAt, true};
}

} // namespace net
