#include "echowatch/net/kernel_time.h"

#include <algorithm>
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

KernelTime fromTimespec(const timespec &time) noexcept
{
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

// How long to wait, in milliseconds at most, for stamping to start.
constexpr int StampingWaitAttempts = 20;

// A UDP socket on the loopback address connected to itself: it hears only
// itself, so what it sends shows whether stamping is on yet.
int socketTalkingToItself() noexcept
{
    // The kernel counts only sockets of network families.
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof self;
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&self), sizeof self) == 0 &&
        ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&self), &size) == 0 &&
        ::connect(descriptor, reinterpret_cast<const sockaddr *>(&self), sizeof self) == 0 &&
        enableKernelTimestamps(descriptor))
        return descriptor;
    ::close(descriptor);
    return -1;
}

bool comesBackStamped(int descriptor) noexcept
{
    const char note = 0;
    if (::send(descriptor, &note, sizeof note, 0) != sizeof note)
        return true; // nothing to learn here: stop waiting
    char received = 0;
    iovec vector{&received, sizeof received};
    std::array<std::byte, 256> control{};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    return ::recvmsg(descriptor, &message, MSG_DONTWAIT) >= 0 && softwareStamp(message);
}

} // namespace

timespec toTimespec(std::chrono::nanoseconds duration) noexcept
{
    duration = std::max(duration, std::chrono::nanoseconds::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<time_t>(seconds.count()),
                    static_cast<long>((duration - seconds).count())};
}

void awaitReceiveStamping() noexcept
{
    const int descriptor = socketTalkingToItself();
    if (descriptor < 0)
        return;
    for (int attempt = 0; attempt < StampingWaitAttempts && !comesBackStamped(descriptor);
         ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::close(descriptor);
}

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

} // namespace net
