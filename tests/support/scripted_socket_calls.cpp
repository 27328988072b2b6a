#include "support/scripted_socket_calls.h"

#include "echowatch/net/kernel_time.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <thread>
#include <utility>

namespace fakes {
namespace {

// Appends one control message, as the kernel lays them out.
template <typename Value>
void addControl(msghdr &message, std::size_t &used, int level, int type, const Value &value)
{
    if (used + CMSG_SPACE(sizeof value) > message.msg_controllen)
        return;
    auto *header = reinterpret_cast<cmsghdr *>(static_cast<char *>(message.msg_control) + used);
    header->cmsg_level = level;
    header->cmsg_type = type;
    header->cmsg_len = CMSG_LEN(sizeof value);
    std::memcpy(CMSG_DATA(header), &value, sizeof value);
    used += CMSG_SPACE(sizeof value);
}

struct ExtendedError
{
    sock_extended_err error;
    sockaddr_in offender;
};

void describe(const QueuedEntry &entry, msghdr &message, bool errorQueue)
{
    std::size_t used = 0;
    if (entry.stamp) {
        scm_timestamping stamps{};
        stamps.ts[0] = net::toTimespec(*entry.stamp);
        addControl(message, used, SOL_SOCKET, SCM_TIMESTAMPING, stamps);
    }
    if (errorQueue) {
        ExtendedError extended{};
        extended.error.ee_origin = entry.origin;
        extended.error.ee_type = entry.type;
        extended.error.ee_code = entry.code;
        extended.offender.sin_family = AF_INET;
        extended.offender.sin_addr.s_addr = entry.offender;
        addControl(message, used, SOL_IP, IP_RECVERR, extended);
    } else {
        addControl(message, used, SOL_IP, IP_TTL, entry.ttl);
    }
    message.msg_controllen = used;
}

} // namespace

QueuedEntry ScriptedSocketCalls::sendStampEntry(std::chrono::nanoseconds stamp)
{
    QueuedEntry entry;
    entry.stamp = stamp;
    entry.origin = SO_EE_ORIGIN_TIMESTAMPING;
    return entry;
}

ssize_t ScriptedSocketCalls::send(int, std::span<const std::byte> packet, std::uint32_t,
                                  net::TimeToLive ttl) noexcept
{
    ++sends;
    if (sendError != 0) {
        errno = sendError;
        return -1;
    }
    const auto header = std::span(packet).first(8);
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint16_t>(std::to_integer<int>(header[at]) << 8 |
                                          std::to_integer<int>(header[at + 1]));
    };
    const SentRequest sent{word(4), word(6), net::realtimeNow(), ttl,
                           testpackets::Bytes(packet.begin() + 8, packet.end())};
    if (stampSends)
        errorQueue.push_back(sendStampEntry(sent.stamp));
    if (onSend)
        onSend(sent, *this);
    return static_cast<ssize_t>(packet.size());
}

// Whatever is queued is ready at once; with nothing queued, the wait sleeps
// out its timeout as a quiet socket would make it.
int ScriptedSocketCalls::poll(pollfd &watched, const timespec &timeout) noexcept
{
    watched.revents = pollEvents;
    if (pollEvents == 0) {
        watched.revents = static_cast<short>((receiveQueue.empty() ? 0 : POLLIN) |
                                             (errorQueue.empty() ? 0 : POLLERR));
    }
    if (watched.revents != 0)
        return 1;
    std::this_thread::sleep_for(std::chrono::seconds(timeout.tv_sec) +
                                std::chrono::nanoseconds(timeout.tv_nsec));
    return 0;
}

ssize_t ScriptedSocketCalls::receive(int, msghdr &message, int flags) noexcept
{
    const bool errorQueueAsked = (flags & MSG_ERRQUEUE) != 0;
    if (!errorQueueAsked && pendingError != 0) {
        errno = std::exchange(pendingError, 0);
        return -1;
    }
    auto &queue = errorQueueAsked ? errorQueue : receiveQueue;
    if (queue.empty()) {
        errno = EAGAIN;
        return -1;
    }
    const QueuedEntry entry = std::move(queue.front());
    queue.pop_front();
    const auto length = std::min(entry.bytes.size(), message.msg_iov[0].iov_len);
    if (length > 0)
        std::memcpy(message.msg_iov[0].iov_base, entry.bytes.data(), length);
    if (message.msg_name != nullptr && message.msg_namelen >= sizeof(sockaddr_in)) {
        sockaddr_in name{};
        name.sin_family = AF_INET;
        name.sin_addr.s_addr = entry.source;
        std::memcpy(message.msg_name, &name, sizeof name);
    }
    describe(entry, message, errorQueueAsked);
    return static_cast<ssize_t>(length);
}

int ScriptedSocketCalls::takePendingError(int) noexcept
{
    return std::exchange(pendingError, 0);
}

} // namespace fakes
