#pragma once

#include "echowatch/fleet/prober_clock.h"
#include "echowatch/net/echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace fleet_test {

using namespace std::chrono_literals;
using fleet::SteadyClock;

// A clock that moves only when told, or when the prober waits on it.
class ScriptedClock final : public fleet::ProberClock
{
public:
    SteadyClock::time_point now() const noexcept override { return m_now; }
    std::chrono::system_clock::time_point wallNow() const noexcept override;
    std::chrono::nanoseconds sinceBoot() const noexcept override;
    void sleepUntil(SteadyClock::time_point at) const noexcept override;

    void advanceTo(SteadyClock::time_point at) const noexcept;
    SteadyClock::time_point start() const noexcept { return Start; }

    static constexpr SteadyClock::time_point Start{std::chrono::hours{100}};

private:
    mutable SteadyClock::time_point m_now = Start;
};

// How a destination answers the request sent at a given moment: after how
// long, and with what status (0 an answer).
struct Answer
{
    std::chrono::milliseconds after;
    std::int32_t status = 0;
};
using AnswerScript = std::function<Answer(std::uint32_t destination, int requestNumber)>;

// Requests in flight, answered as the script says on the scripted clock: a
// wait for outcomes moves the clock to the first answer due, or to the
// deadline.
class ScriptedFlight final : public net::EchoFlight
{
public:
    struct Sent
    {
        std::uint32_t destination;
        SteadyClock::time_point at;
    };

    ScriptedFlight(const ScriptedClock &clock, AnswerScript script)
        : m_clock(clock), m_script(std::move(script))
    {}

    net::FlightTag send(const net::FlightRequest &request) noexcept override;
    std::size_t collect(Clock::time_point deadline, net::FlightSink &sink) noexcept override;
    std::size_t outstanding() const noexcept override { return m_due.size(); }

    std::vector<Sent> sent;

private:
    struct Due
    {
        net::FlightTag tag;
        std::int32_t status;
    };

    const ScriptedClock &m_clock;
    AnswerScript m_script;
    std::map<std::uint32_t, int> m_requests;
    std::multimap<SteadyClock::time_point, Due> m_due;
    net::FlightTag m_nextTag = 0;
};

// An echo service whose one handle sends on a scripted flight.
class ScriptedLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit ScriptedLibrary(ScriptedFlight &flight);
    ~ScriptedLibrary() override;

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

    // Non-zero: no handle opens, with this status.
    std::int32_t openFailure = 0;

private:
    class Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace fleet_test
