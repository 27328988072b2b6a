#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/icmp_echo_wait.h"
#include "echowatch/net/icmp_packet.h"
#include "echowatch/net/icmp_socket.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace net {

class SocketCalls;

// The echo service over one ICMP socket at a time. The library keeps one and
// lends it out for every probe with a fresh socket, so its buffers outlive
// the probes and a probe allocates nothing.
class LinuxIcmpEchoHandle final : public IcmpEchoHandle
{
public:
    LinuxIcmpEchoHandle(std::uint16_t identifier, std::uint16_t &nextSequence,
                        SocketCalls &calls) noexcept;

    // Takes the socket the next requests go out on; close() lets it go.
    void open(IcmpSocket socket) noexcept;
    void close() noexcept;
    bool isOpen() const noexcept { return m_socket.has_value(); }

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds timeout) noexcept override;

private:
    using Clock = std::chrono::steady_clock;

    EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                     std::chrono::milliseconds timeout) noexcept;
    bool send(std::span<const std::byte> packet, std::uint32_t destination) noexcept;

    std::optional<IcmpSocket> m_socket;
    std::uint16_t m_identifier;
    std::uint16_t &m_nextSequence;
    SocketCalls &m_calls;
    ReceiveBuffers m_buffers;
};

} // namespace net
