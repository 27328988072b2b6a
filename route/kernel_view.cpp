#include "echowatch/route/kernel_view.h"

#include "echowatch/route/netlink_messages.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <span>
#include <vector>

namespace route {
namespace {

using Clock = std::chrono::steady_clock;

// Room for a link's answer without its statistics, several times over.
constexpr std::size_t AnswerRoom = 16 * 1024;

// The socket, closed however the look-up ends.
class NetlinkSocket
{
public:
    NetlinkSocket() noexcept
        : m_descriptor(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {}
    ~NetlinkSocket()
    {
        if (m_descriptor >= 0)
            close(m_descriptor);
    }
    NetlinkSocket(const NetlinkSocket &) = delete;
    NetlinkSocket &operator=(const NetlinkSocket &) = delete;

    int descriptor() const noexcept { return m_descriptor; }

private:
    int m_descriptor;
};

int sendToKernel(int descriptor, const std::vector<std::byte> &request) noexcept
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const auto sent = sendto(descriptor, request.data(), request.size(), 0,
                             reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel);
    if (sent == static_cast<ssize_t>(request.size()))
        return 0;
    return sent < 0 ? errno : EMSGSIZE;
}

// Waits for a datagram from the kernel until deadline; its length, or
// minus an errno (ETIMEDOUT once the deadline passed).
ssize_t receiveFromKernel(int descriptor, std::span<std::byte> room,
                          Clock::time_point deadline) noexcept
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return -ETIMEDOUT;
        pollfd ready{descriptor, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR)
            return -errno;
        if (polled <= 0)
            continue;
        sockaddr_nl sender{};
        socklen_t senderLength = sizeof sender;
        const auto got = recvfrom(descriptor, room.data(), room.size(), MSG_TRUNC | MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr *>(&sender), &senderLength);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return -errno;
        // Only the kernel speaks for the kernel.
        if (sender.nl_pid != 0)
            continue;
        return got > static_cast<ssize_t>(room.size()) ? -EMSGSIZE : got;
    }
}

// Sends request and reads answers until read says Done; the errno it
// failed with otherwise (EBADMSG for an answer that cannot be).
int ask(int descriptor, const std::vector<std::byte> &request, std::span<std::byte> room,
        const std::function<Reading(std::span<const std::byte>)> &read) noexcept
{
    if (const int refused = sendToKernel(descriptor, request); refused != 0)
        return refused;
    const auto deadline = Clock::now() + KernelAnswerWait;
    for (;;) {
        const auto got = receiveFromKernel(descriptor, room, deadline);
        if (got < 0)
            return static_cast<int>(-got);
        const Reading reading = read(std::span<const std::byte>(room.data(), std::size_t(got)));
        if (reading == Reading::Done)
            return 0;
        if (reading == Reading::Malformed)
            return EBADMSG;
    }
}

RouteFacts unknown(int error) noexcept
{
    RouteFacts facts;
    facts.error = error;
    return facts;
}

} // namespace

RouteFacts lookUpRoute(std::uint32_t destination) noexcept
{
    constexpr std::uint32_t RouteSequence = 1;
    constexpr std::uint32_t LinkSequence = 2;
    try {
        std::vector<std::byte> room(AnswerRoom);
        const NetlinkSocket socket;
        if (socket.descriptor() < 0)
            return unknown(errno);
        RouteFacts facts;
        const int routeFailure = ask(socket.descriptor(), routeRequest(destination, RouteSequence),
                                     room, [&facts](std::span<const std::byte> answer) {
                                         const RouteReading reading =
                                             readRouteReply(answer, RouteSequence);
                                         facts = reading.facts;
                                         return reading.reading;
                                     });
        if (routeFailure != 0)
            return unknown(routeFailure);
        if (facts.outputInterface <= 0)
            return facts;
        ask(socket.descriptor(), linkRequest(facts.outputInterface, LinkSequence), room,
            [&facts](std::span<const std::byte> answer) {
                const LinkReading reading =
                    readLinkReply(answer, LinkSequence, facts.outputInterface);
                facts.link = reading.link;
                return reading.reading;
            });
        return facts;
    } catch (...) {
        // Out of memory for a request of a few dozen bytes.
        return unknown(ENOMEM);
    }
}

} // namespace route
