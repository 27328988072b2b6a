#pragma once

#include "echowatch/net/echo_flight.h"
#include "echowatch/net/icmp_echo_wait.h"
#include "echowatch/net/icmp_socket.h"
#include "echowatch/net/kernel_time.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <vector>

namespace net {

class SocketCalls;

// Requests in flight on a kept Linux ICMP socket: each goes out with a
// sequence of its own and is matched by it (with its source and data, as a
// single probe is), timed from the kernel's stamps, and timed out on its
// own. An answer and an ICMP error about one request read in the same pass
// are decided by the kernel's receive stamps, the earlier first; anything
// for a sequence no longer in flight is passed by.
class IcmpEchoFlight final : public EchoFlight
{
public:
    // Request data held for matching, in all; past it a request fails at
    // once as out of resources (a flood of the largest requests is held to
    // about sixteen in flight).
    static constexpr std::size_t MaxDataInFlight = 1 << 20;

    // socket is the handle's kept socket, let go of here too after a fatal
    // error; the sequence is shared with the handle's single probes.
    IcmpEchoFlight(std::optional<IcmpSocket> &socket, std::uint16_t &nextSequence,
                   SocketCalls &calls, ReceiveBuffers &buffers);

    FlightTag send(const FlightRequest &request) noexcept override;
    std::size_t collect(Clock::time_point deadline, FlightSink &sink) noexcept override;
    std::size_t outstanding() const noexcept override;

    // For a server that waits on more than this socket: what to poll (-1
    // when there is no socket), when the next request in flight times out,
    // and one pass without waiting that hands over the requests that failed
    // or timed out and, where readSocket (the last poll found the socket
    // ready; pollError: with POLLERR), what the socket holds.
    int descriptor() const noexcept;
    std::optional<Clock::time_point> nextTimeout() const noexcept;
    std::size_t takeReady(FlightSink &sink, bool readSocket, bool pollError) noexcept;
    // The socket failed under a poll (POLLNVAL, POLLHUP): every request in
    // flight fails, and the socket is let go of.
    void socketLost() noexcept;


private:
    struct Candidate
    {
        icmp::Answer answer;
        KernelTime at;
        std::size_t echoedSize;
    };
    struct Slot
    {
        bool used = false;
        FlightTag tag = 0;
        std::uint16_t sequence = 0;
        std::uint32_t destination = 0;
        std::vector<std::byte> data; // the request's, then what its reply echoed
        std::size_t sentSize = 0;
        std::chrono::milliseconds timeout{};
        KernelTime userSentAt{};
        KernelTime sentAt{};
        bool stamped = false;
        Clock::time_point deadline{};
        std::optional<Candidate> candidate;
    };
    struct Failed
    {
        FlightTag tag;
        EchoOutcome outcome;
    };

    FlightTag nextTag() noexcept;
    Slot *freeSlot(std::size_t dataSize) noexcept;
    Slot *slotFor(std::uint16_t sequence) noexcept;
    void fail(FlightTag tag, std::int32_t status) noexcept;
    bool transmit(Slot &slot, std::span<const std::byte> request, TimeToLive ttl) noexcept;
    std::size_t handOverFailed(FlightSink &sink) noexcept;
    bool readErrorQueue(bool drain) noexcept;
    bool readReceiveQueue(bool &errorQueued) noexcept;
    bool awaitingStamp() const noexcept;
    bool awaitingAnswer() const noexcept;
    void takeErrorEntry(std::span<const std::byte> quoted) noexcept;
    void takeSendStamp(KernelTime stamp) noexcept;
    void takeReceived(std::span<const std::byte> bytes) noexcept;
    void propose(Slot &slot, const icmp::Answer &answer) noexcept;
    std::size_t handOverDecided(FlightSink &sink) noexcept;
    std::size_t handOverExpired(Clock::time_point now, FlightSink &sink) noexcept;
    void release(Slot &slot) noexcept;
    void failAll() noexcept;
    bool explainQuietError(bool pollError, bool readSomething) noexcept;
    ssize_t receive(int flags, std::span<std::byte> into) noexcept;

    std::optional<IcmpSocket> &m_socket;
    std::uint16_t &m_nextSequence;
    SocketCalls &m_calls;
    ReceiveBuffers &m_buffers;
    std::vector<Slot> m_slots;
    std::vector<Failed> m_failed;
    std::size_t m_used = 0;
    std::size_t m_dataInFlight = 0;
    FlightTag m_nextTag = 0;
    int m_quietErrors = 0; // POLLERR with nothing to read, in a row

    ReceivedMessage m_read;
};

} // namespace net
