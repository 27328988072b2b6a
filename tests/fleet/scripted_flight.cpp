#include "scripted_flight.h"

#include "echowatch/icmp/ip_status.h"

#include <algorithm>

namespace fleet_test {

std::chrono::system_clock::time_point ScriptedClock::wallNow() const noexcept
{
    return std::chrono::system_clock::time_point{std::chrono::hours{500'000}} + (m_now - Start);
}

std::chrono::nanoseconds ScriptedClock::sinceBoot() const noexcept
{
    return m_now.time_since_epoch();
}

void ScriptedClock::sleepUntil(SteadyClock::time_point at) const noexcept
{
    advanceTo(at);
}

void ScriptedClock::advanceTo(SteadyClock::time_point at) const noexcept
{
    m_now = std::max(m_now, at);
}

net::FlightTag ScriptedFlight::send(const net::FlightRequest &request) noexcept
{
    const net::FlightTag tag = ++m_nextTag;
    sent.push_back({request.destination, m_clock.now()});
    const Answer answer = m_script(request.destination, m_requests[request.destination]++);
    const auto after = std::min(answer.after, request.timeout);
    const std::int32_t status =
        answer.after > request.timeout ? icmp::IpStatus::ReqTimedOut : answer.status;
    m_due.emplace(m_clock.now() + after, Due{tag, status});
    return tag;
}

std::size_t ScriptedFlight::collect(Clock::time_point deadline, net::FlightSink &sink) noexcept
{
    if (m_due.empty() || m_due.begin()->first > deadline) {
        m_clock.advanceTo(deadline);
        return 0;
    }
    const SteadyClock::time_point at = m_due.begin()->first;
    m_clock.advanceTo(at);
    std::size_t handed = 0;
    while (!m_due.empty() && m_due.begin()->first <= at) {
        const Due due = m_due.begin()->second;
        m_due.erase(m_due.begin());
        net::EchoOutcome outcome;
        outcome.status = due.status;
        if (due.status == 0)
            outcome.roundTrip = std::chrono::milliseconds{1};
        sink.take(due.tag, outcome);
        ++handed;
    }
    return handed;
}

class ScriptedLibrary::Handle final : public net::IcmpEchoHandle
{
public:
    explicit Handle(ScriptedFlight &flight) : m_flight(flight) {}

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t, std::span<const std::byte>, std::chrono::milliseconds,
                          net::TimeToLive) noexcept override
    {
        return {};
    }
    net::EchoFlight *flight() noexcept override { return &m_flight; }

private:
    ScriptedFlight &m_flight;
};

ScriptedLibrary::ScriptedLibrary(ScriptedFlight &flight)
    : m_handle(std::make_unique<Handle>(flight))
{}

ScriptedLibrary::~ScriptedLibrary() = default;

net::IcmpHandleOpening ScriptedLibrary::IcmpCreateFile() noexcept
{
    if (openFailure != 0)
        return {nullptr, openFailure};
    return {net::IcmpHandle(m_handle.get(), net::IcmpHandleCloser(net::keepLentHandle)),
            icmp::IpStatus::Success};
}

} // namespace fleet_test
