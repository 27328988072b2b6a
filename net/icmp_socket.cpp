#include "echowatch/net/icmp_socket.h"

#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_kernel_filter.h"
#include "echowatch/net/kernel_time.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace net {
namespace {

bool setFlag(int descriptor, int level, int option, bool on = true) noexcept
{
    const int value = on ? 1 : 0;
    return ::setsockopt(descriptor, level, option, &value, sizeof value) == 0;
}

// Without IP_RECVERR a datagram socket never hears of ICMP errors, and a raw
// socket's sendto() swallows ENOBUFS. A raw socket reads its errors as
// packets; see hearErrorsOnlyWhileSending for the copies it is also queued.
bool configure(int descriptor, IcmpSocketKind kind) noexcept
{
    if (!setFlag(descriptor, SOL_IP, IP_RECVERR))
        return false;
    return kind == IcmpSocketKind::Raw ||
           (setFlag(descriptor, SOL_IP, IP_RECVTTL) && setFlag(descriptor, SOL_IP, IP_RECVTOS));
}

} // namespace

IcmpSocket::IcmpSocket(int descriptor, IcmpSocketKind kind, std::uint16_t identifier) noexcept
    : m_descriptor(descriptor), m_kind(kind), m_identifier(identifier)
{}

IcmpSocket::IcmpSocket(IcmpSocket &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_kind(other.m_kind),
      m_identifier(other.m_identifier), m_timestamped(other.m_timestamped),
      m_queuesErrors(other.m_queuesErrors), m_errorsOnlyWhileSending(other.m_errorsOnlyWhileSending)
{}

IcmpSocket &IcmpSocket::operator=(IcmpSocket &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_kind = other.m_kind;
        m_identifier = other.m_identifier;
        m_timestamped = other.m_timestamped;
        m_queuesErrors = other.m_queuesErrors;
        m_errorsOnlyWhileSending = other.m_errorsOnlyWhileSending;
    }
    return *this;
}

IcmpSocket::~IcmpSocket()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

void IcmpSocket::hearErrorsOnlyWhileSending() noexcept
{
    m_errorsOnlyWhileSending = true;
    queueErrors(false);
}

bool IcmpSocket::queueErrors(bool on) noexcept
{
    if (on == m_queuesErrors)
        return true;
    if (!setFlag(m_descriptor, SOL_IP, IP_RECVERR, on))
        return false;
    m_queuesErrors = on;
    return true;
}

IcmpSocket IcmpSocket::adopt(int descriptor, IcmpSocketKind kind, std::uint16_t identifier,
                             bool timestamped) noexcept
{
    IcmpSocket socket(descriptor, kind, identifier);
    socket.m_timestamped = timestamped;
    return socket;
}

IcmpSocketOpening IcmpSocket::open(IcmpSocketKind kind, std::uint16_t identifier) noexcept
{
    const int type = kind == IcmpSocketKind::Raw ? SOCK_RAW : SOCK_DGRAM;
    const int descriptor = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor < 0)
        return {std::nullopt, icmp::statusForOpenError(errno), errno};
    IcmpSocket socket(descriptor, kind, identifier);
    if (!configure(descriptor, kind))
        return {std::nullopt, icmp::IpStatus::GeneralFailure, 0};
    // Best effort: without the filter the matcher still sorts every packet
    // out, only at more cost under other pingers' traffic.
    if (kind == IcmpSocketKind::Raw)
        attachEchoAnswerFilter(descriptor, identifier);
    // Best effort: without stamps, times are taken as the process sees them.
    socket.m_timestamped = enableKernelTimestamps(descriptor);
    if (socket.m_timestamped)
        awaitReceiveStamping();
    return {std::move(socket), icmp::IpStatus::Success, 0};
}

} // namespace net
