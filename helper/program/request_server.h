#pragma once

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/net/destination_pace.h"
#include "echowatch/net/echo_flight.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace net {
class IcmpEchoFlight;
class LinuxIcmpEchoLibrary;
} // namespace net

namespace helper {

// Answers echo requests read from one descriptor on another, several in
// flight at once, each answer written as its outcome comes (those that come
// together in one write), until the input closes or stops making sense.
// Every request is checked against the protocol's limits before a byte of it
// is used. Requests to one destination go out no faster than the system
// ping lets an unprivileged user send to it (net::DestinationPace), whatever
// TTL they ask for, and in the order they came; requests to all destinations
// together go out at most one per GlobalRequestSpacing, with at most
// MaxQueued read and waiting for their turn.
class RequestServer final : private net::FlightSink
{
public:
    static constexpr auto GlobalSpacing = GlobalRequestSpacing;
    static constexpr std::size_t MaxQueued = 256;
    // What may wait unsent, and unwritten, before no more requests are read.
    static constexpr std::size_t MaxQueuedData = 1 << 20;
    static constexpr std::size_t MaxUnwritten = 1 << 18;

    explicit RequestServer(net::LinuxIcmpEchoLibrary &library);

    // Returns the process's exit status: 0 when the input closed between
    // requests (once every request read was answered), 2 when it broke off
    // or was not our framing, ExitOtherVersion when it asked in another
    // version of the protocol, 3 when an answer could not be written,
    // ExitSocketLost when the socket failed.
    int serve(int input, int output) noexcept;

private:
    using Clock = std::chrono::steady_clock;

    struct Queued
    {
        EchoRequest request; // its data is `data`
        std::vector<std::byte> data;
    };
    struct Sent
    {
        net::FlightTag flightTag;
        std::uint32_t tag;
        std::uint32_t destination;
    };

    std::optional<int> takeRequests() noexcept;
    bool enqueue(const EchoRequest &request) noexcept;
    void dequeue(std::size_t index) noexcept;
    void answerRefused(std::uint32_t tag) noexcept;
    void sendDue() noexcept;
    bool sendOne(std::size_t index, Clock::time_point now) noexcept;
    std::optional<Clock::time_point> nextWake() noexcept;
    bool canRead() const noexcept;
    bool wait() noexcept;
    bool readInput() noexcept;
    bool writeAnswers() noexcept;
    bool finished() const noexcept;
    void take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept override;
    void append(std::uint32_t tag, const net::EchoOutcome &outcome) noexcept;

    net::LinuxIcmpEchoLibrary &m_library;
    net::IcmpEchoFlight &m_flight;
    net::DestinationPace m_pace;
    int m_input = -1;
    int m_output = -1;
    bool m_inputClosed = false;
    bool m_socketReady = false;
    bool m_pollError = false;
    bool m_writeFailed = false;
    Clock::time_point m_nextAnySend{};
    std::vector<std::byte> m_in;
    std::size_t m_inSize = 0;
    // Entries past m_queued are kept for their data's room.
    std::vector<Queued> m_queue;
    std::size_t m_queued = 0;
    std::size_t m_queuedData = 0;
    std::vector<Sent> m_sent;
    std::vector<std::uint32_t> m_heldBack; // destinations passed by in one look at the queue
    std::vector<std::byte> m_out;
    std::size_t m_outSize = 0;
};

} // namespace helper
