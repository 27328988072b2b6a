#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/path/pace_clock.h"

#include <chrono>
#include <cstdint>
#include <stop_token>

namespace path {

struct ProberSettings
{
    std::chrono::milliseconds timeout{500};
    // Silent TTLs in a row, past the last that answered, after which nothing
    // further is expected to (mtr gives up after as many).
    int silentHopsToGiveUp = 5;
    // While a path is watched, a round begins at most this often.
    std::chrono::milliseconds roundSpacing{1000};
};

// Finds the hops on the way to a host with echo requests limited to TTL 1,
// 2, ... through any echo service (a kept socket, the probe helper, a test's
// script), one request at a time, spaced as ping spaces a user's
// (net::UserPace). A TTL's answer is the router its request ran out at, the
// host, or a router that refused it; the host, a refusal, or a run of
// silent TTLs ends a round. Not for use from two threads at once.
class HopProber
{
public:
    using Clock = PaceClock::Clock;

    HopProber(net::IcmpEchoHandle &echo, PaceClock &clock, ProberSettings settings = {}) noexcept;

    // One probe per TTL, no sooner than roundSpacing after the last round
    // began; the figures add up over the rounds. Returns false when stopped
    // first, with what the round found so far kept.
    bool runRound(std::uint32_t destination, std::stop_token stop = {}) noexcept;

    // A trace of its own: up to probesPerHop requests per TTL, on to the
    // next TTL as soon as one is answered; the table starts empty. hostHop,
    // where the host was last known to be (0: not known), ends the trace
    // there unless a router answers at that TTL: past the host, requests
    // only reach the host again.
    bool runTrace(std::uint32_t destination, int probesPerHop, int hostHop = 0,
                  std::stop_token stop = {}) noexcept;

    const PathTable &table() const noexcept { return m_table; }

private:
    enum class HopResult
    {
        Answered,
        Silent,
        PathEnds,
        Stopped,
    };

    bool probeHops(std::uint32_t destination, int probesPerHop, std::stop_token stop) noexcept;
    int lastTtl() const noexcept;
    HopResult probeHop(std::uint32_t destination, int ttl, int probes,
                       std::stop_token stop) noexcept;
    HopResult note(HopStats &hop, const net::EchoOutcome &outcome) noexcept;

    net::IcmpEchoHandle &m_echo;
    PaceClock &m_clock;
    ProberSettings m_settings;
    PathTable m_table;
    int m_expectedHostHop = 0;
    Clock::time_point m_nextSend{};
    Clock::time_point m_nextRound{};
};

} // namespace path
