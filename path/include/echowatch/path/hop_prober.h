#pragma once

#include "echowatch/net/destination_pace.h"
#include "echowatch/net/echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/path/pace_clock.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

namespace path {

struct ProberSettings
{
    std::chrono::milliseconds timeout{500};
    // Silent TTLs past the last that answered, after which nothing further
    // is expected to (mtr gives up after as many): a table shows no more of
    // them, and a trace asks no more of them again.
    int silentHopsToGiveUp = 5;
    // While a path is watched, a round begins at most this often.
    std::chrono::milliseconds roundSpacing{1000};
    // A trace asks a TTL that has not answered again this long after it
    // last asked: long enough for a router that rations its answers to have
    // one more, short enough that three requests fit in a second.
    std::chrono::milliseconds retrySpacing{150};
};

// Finds the hops on the way to a host with echo requests limited to TTL 1,
// 2, ... through any echo service (a kept socket, the probe helper, a test's
// script). Every TTL is in flight at once, each request sent at the pace
// ping keeps for a user (net::UserPace) without waiting for the one before,
// and each answer matched to its TTL by the request it answers. A TTL's
// answer is the router its request ran out at, the host, or an ICMP error
// that ends the way; the host or an error ends a round at its TTL. Not for
// use from two threads at once.
class HopProber final : private net::FlightSink
{
public:
    using Clock = PaceClock::Clock;

    HopProber(net::IcmpEchoHandle &echo, PaceClock &clock, ProberSettings settings = {}) noexcept;

    // One request per TTL, no sooner than roundSpacing after the last round
    // began; the figures add up over the rounds. Returns false when stopped
    // first, with what the round found so far kept.
    bool runRound(std::uint32_t destination, std::stop_token stop = {}) noexcept;

    // A trace of its own: up to probesPerHop requests per TTL, a TTL asked
    // again only while it has not answered; the table starts empty. hostHop,
    // where the host was last known to be (0: not known), ends the trace
    // there unless a router answers at that TTL: past the host, requests
    // only reach the host again.
    bool runTrace(std::uint32_t destination, int probesPerHop, int hostHop = 0,
                  std::stop_token stop = {}) noexcept;

    // Beside the next trace (or round), a direct echo (the system's TTL) to another
    // address: the gateway of the route to the host, whose answer tells a
    // local network that passes nothing from a break past it. Asked with
    // the trace's first requests and again, like a silent TTL, until it
    // answers or probesPerHop were sent; the trace ends once it is known.
    void askBeside(std::uint32_t address) noexcept;
    // What the direct echo came to: the first answer, else the last
    // request's outcome (its data left out); none where none was asked.
    const std::optional<net::EchoOutcome> &besideOutcome() const noexcept
    {
        return m_beside.outcome;
    }

    const PathTable &table() const noexcept { return m_table; }

private:
    enum class HopResult
    {
        Answered,
        Silent,
        PathEnds,
    };
    struct InFlight
    {
        net::FlightTag tag;
        int ttl;
        Clock::time_point sentAt;
    };
    struct TtlState
    {
        int sent = 0;
        bool answered = false;
        Clock::time_point lastSent{};
    };
    struct Beside
    {
        std::uint32_t address = 0; // 0: none asked
        TtlState state;
        std::optional<net::EchoOutcome> outcome;
    };

    bool probeHops(std::uint32_t destination, int probesPerHop, std::stop_token stop) noexcept;
    int lastTtl() const noexcept;
    int limit() const noexcept;
    int nextTtl(int probesPerHop, Clock::time_point now) const noexcept;
    std::optional<Clock::time_point> nextRetry(int probesPerHop) const noexcept;
    bool roundDone(int probesPerHop) const noexcept;
    void send(std::uint32_t destination, int ttl, Clock::time_point now) noexcept;
    std::optional<Clock::time_point> nextBeside(int probesPerHop, Clock::time_point now) noexcept;
    void sendBeside(Clock::time_point now) noexcept;
    void takeBeside(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept;
    void wait(Clock::time_point until, std::stop_token stop) noexcept;
    void take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept override;
    HopResult note(HopStats &hop, const net::EchoOutcome &outcome) noexcept;
    void giveUpOverdue(Clock::time_point now) noexcept;
    void finishRound() noexcept;

    net::EchoFlight &flightOf(net::IcmpEchoHandle &echo) noexcept;

    std::optional<net::SequentialFlight> m_sequential;
    net::EchoFlight &m_flight;
    PaceClock &m_clock;
    ProberSettings m_settings;
    PathTable m_table;
    int m_expectedHostHop = 0;
    // The host and the address asked beside it.
    net::DestinationPace m_pace{2};
    Clock::time_point m_nextRound{};

    // The round under way.
    std::vector<InFlight> m_inFlight;
    std::array<TtlState, MaxHops + 1> m_ttls{};
    int m_endTtl = MaxHops; // the nearest TTL whose answer ended the way
    Beside m_beside;
};

} // namespace path
