#include "echowatch/net/icmp_socket.h"

#include "echowatch/net/errno_status.h"
#include "echowatch/net/ip_status.h"
#include "echowatch/net/kernel_time.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace net {
namespace {

bool setFlag(int descriptor, int level, int option, bool on) noexcept
{
    const int value = on ? 1 : 0;
    return ::setsockopt(descriptor, level, option, &value, sizeof value) == 0;
}

// Without IP_RECVERR a datagram socket never hears of ICMP errors, and a raw
// socket's sendto() swallows ENOBUFS. A raw socket has what it needs from
// the kernel filter attached at each send, not from ICMP_FILTER, which can
// only pick types.
bool configure(int descriptor, IcmpSocketKind kind) noexcept
{
    if (!setFlag(descriptor, SOL_IP, IP_RECVERR, true))
        return false;
    return kind == IcmpSocketKind::Raw || (setFlag(descriptor, SOL_IP, IP_RECVTTL, true) &&
                                           setFlag(descriptor, SOL_IP, IP_RECVTOS, true));
}

} // namespace

IcmpSocket::IcmpSocket(int descriptor, IcmpSocketKind kind) noexcept
    : m_descriptor(descriptor), m_kind(kind)
{}

IcmpSocket::IcmpSocket(IcmpSocket &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_kind(other.m_kind),
      m_timestamped(other.m_timestamped), m_queuesErrors(other.m_queuesErrors)
{}

IcmpSocket &IcmpSocket::operator=(IcmpSocket &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_kind = other.m_kind;
        m_timestamped = other.m_timestamped;
        m_queuesErrors = other.m_queuesErrors;
    }
    return *this;
}

IcmpSocket::~IcmpSocket()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

IcmpSocketOpening IcmpSocket::openKind(IcmpSocketKind kind, int &socketError) noexcept
{
    const int type = kind == IcmpSocketKind::Raw ? SOCK_RAW : SOCK_DGRAM;
    const int descriptor = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    socketError = descriptor < 0 ? errno : 0;
    if (descriptor < 0)
        return {std::nullopt, statusForOpenError(socketError), false};
    IcmpSocket socket(descriptor, kind);
    if (!configure(descriptor, kind))
        return {std::nullopt, IpStatus::GeneralFailure, false};
    // Best effort: without stamps, times are taken as the process sees them.
    socket.m_timestamped = enableKernelTimestamps(descriptor);
    return {std::move(socket), IpStatus::Success, false};
}

// Raw sockets are opened only where asked for by name: the window's process
// never holds the capability they need, the probe helper does.
IcmpSocketOpening IcmpSocket::open(SocketKindChoice choice) noexcept
{
    int socketError = 0;
    if (choice == SocketKindChoice::RawOnly)
        return openKind(IcmpSocketKind::Raw, socketError);
    auto opening = openKind(IcmpSocketKind::Datagram, socketError);
    opening.datagramRefused = !opening.socket && datagramSocketRefused(socketError);
    return opening;
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

} // namespace net
