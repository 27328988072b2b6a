#include "echowatch/icmp/errno_status.h"

#include "echowatch/icmp/ip_status.h"

#include <cerrno>

namespace icmp {

std::int32_t statusForOpenError(int error) noexcept
{
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return IpStatus::NoResources;
    default:
        return IpStatus::GeneralFailure;
    }
}

bool datagramSocketRefused(int error) noexcept
{
    // EACCES: outside net.ipv4.ping_group_range; the others: kernels or
    // containers built without ping sockets.
    return error == EACCES || error == EAFNOSUPPORT || error == EPROTONOSUPPORT;
}

std::int32_t statusForSendError(int error) noexcept
{
    switch (error) {
    case ENETUNREACH:
        return IpStatus::DestNetUnreachable;
    case EHOSTUNREACH:
        return IpStatus::DestHostUnreachable;
    case EMSGSIZE:
        return IpStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
    case EAGAIN:
        return IpStatus::NoResources;
    case EACCES: // a broadcast address, or a prohibit route
        return IpStatus::BadDestination;
    case EINVAL: // a blackhole route
        return IpStatus::BadRoute;
    default:
        return IpStatus::GeneralFailure;
    }
}

// The kernel's mapping of ICMP errors to errnos is lossy (a time-exceeded
// and a host-unreachable both read EHOSTUNREACH); these are its distinct ones.
std::int32_t statusForPendingError(int error) noexcept
{
    switch (error) {
    case EHOSTDOWN:
    case ENONET:
        return IpStatus::DestHostUnreachable;
    case ENOPROTOOPT:
        return IpStatus::DestProtUnreachable;
    case ECONNREFUSED:
        return IpStatus::DestPortUnreachable;
    case EOPNOTSUPP:
        return IpStatus::BadRoute;
    case EPROTO:
        return IpStatus::ParamProblem;
    case EREMOTEIO: // how a ping socket passes on a source quench
        return IpStatus::SourceQuench;
    default:
        return statusForSendError(error);
    }
}

bool socketUnusable(int error) noexcept
{
    return error == EBADF || error == ENOTSOCK;
}

} // namespace icmp
