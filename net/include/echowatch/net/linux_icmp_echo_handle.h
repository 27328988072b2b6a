#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/icmp_packet.h"
#include "echowatch/net/icmp_socket.h"

#include <array>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>

namespace net {

class LinuxIcmpEchoHandle final : public IcmpEchoHandle
{
public:
    LinuxIcmpEchoHandle(IcmpSocket socket, std::uint16_t identifier,
                        std::uint16_t &nextSequence) noexcept;

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds timeout) noexcept override;

private:
    using Clock = std::chrono::steady_clock;

    struct Arrival
    {
        icmp::Answer answer;
        Clock::time_point at;
    };

    std::optional<Arrival> awaitAnswer(const icmp::SentEcho &sent,
                                       Clock::time_point deadline) noexcept;
    std::optional<Arrival> readErrorQueue(const icmp::SentEcho &sent,
                                          Clock::time_point deadline) noexcept;
    std::optional<Arrival> readPackets(const icmp::SentEcho &sent,
                                       Clock::time_point deadline) noexcept;
    bool send(std::span<const std::byte> packet, std::uint32_t destination) noexcept;
    ssize_t receive(int flags, sockaddr_in &name, iovec &vector, msghdr &message) noexcept;

    IcmpSocket m_socket;
    std::uint16_t m_identifier;
    std::uint16_t &m_nextSequence;
    // Big enough for any IPv4 packet, so nothing is ever cut short.
    std::array<std::byte, 65536> m_packet;
    std::array<std::byte, 512> m_control;
};

} // namespace net
