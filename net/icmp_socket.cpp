#include "echowatch/net/icmp_socket.h"

#include "echowatch/net/errno_status.h"
#include "echowatch/net/icmp_packet.h"
#include "echowatch/net/ip_status.h"

#include <cerrno>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace net {
namespace {

bool enable(int descriptor, int level, int option) noexcept
{
    const int on = 1;
    return ::setsockopt(descriptor, level, option, &on, sizeof on) == 0;
}

// A raw socket would otherwise wake us for every ICMP packet on the host; keep
// only what can answer an echo request.
bool filterRawTraffic(int descriptor) noexcept
{
    namespace Type = icmp::Type;
    icmp_filter filter{};
    filter.data = ~((1u << Type::EchoReply) | (1u << Type::DestinationUnreachable) |
                    (1u << Type::SourceQuench) | (1u << Type::Redirect) |
                    (1u << Type::TimeExceeded) | (1u << Type::ParameterProblem));
    return ::setsockopt(descriptor, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0;
}

bool configure(int descriptor, IcmpSocketKind kind) noexcept
{
    // Without IP_RECVERR a datagram socket never hears of ICMP errors, and a
    // raw socket's sendto() swallows ENOBUFS.
    if (!enable(descriptor, SOL_IP, IP_RECVERR))
        return false;
    if (kind == IcmpSocketKind::Raw)
        return filterRawTraffic(descriptor);
    return enable(descriptor, SOL_IP, IP_RECVTTL) && enable(descriptor, SOL_IP, IP_RECVTOS);
}

} // namespace

IcmpSocket::IcmpSocket(int descriptor, IcmpSocketKind kind) noexcept
    : m_descriptor(descriptor), m_kind(kind)
{}

IcmpSocket::IcmpSocket(IcmpSocket &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)), m_kind(other.m_kind)
{}

IcmpSocket &IcmpSocket::operator=(IcmpSocket &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_kind = other.m_kind;
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

} // namespace net
