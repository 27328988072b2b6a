#pragma once

#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/time_to_live.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace net {

class IcmpEchoHandle;

// One echo request of several that may be in flight at once.
struct FlightRequest
{
    std::uint32_t destination; // network order
    std::span<const std::byte> data;
    std::chrono::milliseconds timeout;
    TimeToLive ttl = SystemTtl;
};

// Names a request in flight until its outcome is handed over; never reused
// by the service that gave it out for as long as anyone could still hold it.
using FlightTag = std::uint32_t;

// Where outcomes go as they come. The outcome's data lives only during the
// call; a request in flight is matched by sequence, source and data before
// it is handed over, so most holders need no more than its status and times.
class FlightSink
{
public:
    virtual void take(FlightTag tag, const EchoOutcome &outcome) noexcept = 0;

protected:
    ~FlightSink() = default;
};

// Several echo requests outstanding on one echo service, each matched to
// what answers it by its own sequence, so that a route tracer can have every
// TTL in flight at once. Pacing is the sender's: the service sends when told
// (the probe helper paces again on its side, as ping would).
class EchoFlight
{
public:
    using Clock = std::chrono::steady_clock;

    // The most requests one service keeps in flight; past it a request fails
    // at once, as out of resources.
    static constexpr std::size_t MaxInFlight = 256;

    virtual ~EchoFlight() = default;

    // Sends without waiting. The outcome comes out of a later collect()
    // under the tag returned, also for a request that could not be sent.
    virtual FlightTag send(const FlightRequest &request) noexcept = 0;
    // Hands every outcome that is in to sink, waiting until at least one is
    // or deadline passes; a request past its timeout is handed over as
    // timed out. Returns how many were handed over.
    virtual std::size_t collect(Clock::time_point deadline, FlightSink &sink) noexcept = 0;
    // Requests sent whose outcome has not been handed over yet.
    virtual std::size_t outstanding() const noexcept = 0;
};

// The requests of a service that serves one at a time (a test's script, or
// any handle without a flight of its own): each is sent and waited for in
// send(), and its outcome handed over at the next collect(), which never
// waits. Nothing is in flight at once, but the same prober runs over it.
class SequentialFlight final : public EchoFlight
{
public:
    explicit SequentialFlight(IcmpEchoHandle &handle);

    FlightTag send(const FlightRequest &request) noexcept override;
    std::size_t collect(Clock::time_point deadline, FlightSink &sink) noexcept override;
    std::size_t outstanding() const noexcept override { return m_done.size(); }

private:
    struct Done
    {
        FlightTag tag;
        EchoOutcome outcome;
    };

    IcmpEchoHandle &m_handle;
    FlightTag m_nextTag = 1;
    std::vector<Done> m_done;
};

} // namespace net
