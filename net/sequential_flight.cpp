#include "echowatch/net/echo_flight.h"

#include "echowatch/net/icmp_echo_library.h"

namespace net {

SequentialFlight::SequentialFlight(IcmpEchoHandle &handle) : m_handle(handle)
{
    m_done.reserve(MaxInFlight);
}

FlightTag SequentialFlight::send(const FlightRequest &request) noexcept
{
    const FlightTag tag = m_nextTag++;
    auto outcome = m_handle.echo(request.destination, request.data, request.timeout, request.ttl);
    // The data lives in the handle's buffers only until its next request.
    outcome.data = {};
    if (m_done.size() < MaxInFlight)
        m_done.push_back({tag, outcome});
    return tag;
}

// Whatever was sent is done already, so there is never anything to wait
// for: the deadline is not waited out (a caller waits by its own clock).
std::size_t SequentialFlight::collect(Clock::time_point, FlightSink &sink) noexcept
{
    const std::size_t handed = m_done.size();
    for (const Done &done : m_done)
        sink.take(done.tag, done.outcome);
    m_done.clear();
    return handed;
}

} // namespace net
