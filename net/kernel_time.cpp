#include "echowatch/net/kernel_time.h"

#include <array>
#include <cstring>
#include <ctime>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <thread>
#include <unistd.h>

namespace net {
namespace {

// Software stamps only, taken as packets enter and leave the network stack;
// a transmit stamp comes back without a copy of the packet.
constexpr int StampFlags = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_RX_SOFTWARE |
                           SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_TSONLY;

// How long a new hold waits, in milliseconds at most, for stamping to start.
constexpr int StampingWaitAttempts = 20;

KernelTime fromTimespec(const timespec &time) noexcept
{
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

} // namespace

KernelTime realtimeNow() noexcept
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return fromTimespec(now);
}

bool enableKernelTimestamps(int descriptor) noexcept
{
    return ::setsockopt(descriptor, SOL_SOCKET, SO_TIMESTAMPING, &StampFlags, sizeof StampFlags) ==
           0;
}

std::optional<KernelTime> softwareStamp(msghdr &message) noexcept
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPING ||
            c->cmsg_len < CMSG_LEN(sizeof(scm_timestamping)))
            continue;
        scm_timestamping stamps{};
        std::memcpy(&stamps, CMSG_DATA(c), sizeof stamps);
        // ts[0] is the software stamp; an all-zero one means none was taken.
        if (stamps.ts[0].tv_sec != 0 || stamps.ts[0].tv_nsec != 0)
            return fromTimespec(stamps.ts[0]);
    }
    return std::nullopt;
}

ReceiveStampingHold::ReceiveStampingHold() noexcept
    // The kernel counts only sockets of network families.
    : m_descriptor(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
{
    if (m_descriptor >= 0 && !enableKernelTimestamps(m_descriptor)) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    if (m_descriptor >= 0 && talkToItself())
        awaitStamping();
}

// Bound to the loopback address and connected to itself, it hears only
// itself: what it sends shows whether stamping is on yet.
bool ReceiveStampingHold::talkToItself() noexcept
{
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof self;
    return ::bind(m_descriptor, reinterpret_cast<const sockaddr *>(&self), sizeof self) == 0 &&
           ::getsockname(m_descriptor, reinterpret_cast<sockaddr *>(&self), &size) == 0 &&
           ::connect(m_descriptor, reinterpret_cast<const sockaddr *>(&self), sizeof self) == 0;
}

void ReceiveStampingHold::awaitStamping() noexcept
{
    for (int attempt = 0; attempt < StampingWaitAttempts; ++attempt) {
        const char note = 0;
        if (::send(m_descriptor, &note, sizeof note, 0) != sizeof note)
            return;
        char received = 0;
        iovec vector{&received, sizeof received};
        std::array<std::byte, 256> control{};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        if (::recvmsg(m_descriptor, &message, MSG_DONTWAIT) >= 0 && softwareStamp(message))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ReceiveStampingHold::~ReceiveStampingHold()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

} // namespace net
