#pragma once

#include "echowatch/net/icmp_echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/icmp_echo_wait.h"
#include "echowatch/net/icmp_socket.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace net {

class SocketCalls;

// The echo service over the library's kept socket. Its buffers outlive the
// probes, so a probe allocates nothing.
class LinuxIcmpEchoHandle final : public IcmpEchoHandle
{
public:
    LinuxIcmpEchoHandle(std::uint16_t &nextSequence, SocketCalls &calls) noexcept;

    // Takes the socket the next requests go out on; it is let go of after a
    // fatal error, so that the library opens another.
    void open(IcmpSocket socket) noexcept;
    bool isOpen() const noexcept { return m_socket.has_value(); }

    using IcmpEchoHandle::echo;
    EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                     std::chrono::milliseconds timeout, TimeToLive ttl) noexcept override;
    EchoFlight *flight() noexcept override { return &m_flight; }
    IcmpEchoFlight &linuxFlight() noexcept { return m_flight; }

private:
    using Clock = std::chrono::steady_clock;

    void discardStale() noexcept;
    EchoOutcome sendFailed(int error) noexcept;
    EchoOutcome outcomeOf(const WaitResult &result) noexcept;

    std::optional<IcmpSocket> m_socket;
    std::uint16_t &m_nextSequence;
    SocketCalls &m_calls;
    ReceiveBuffers m_buffers;
    IcmpEchoFlight m_flight;
};

} // namespace net
