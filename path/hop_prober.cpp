#include "echowatch/path/hop_prober.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/user_pace.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace path {
namespace {

// As much data as ping and the window send, so a hop sees a request of the
// usual size.
constexpr std::array<std::byte, 32> RequestData = [] {
    std::array<std::byte, 32> data{};
    for (std::size_t index = 0; index < data.size(); ++index)
        data[index] = static_cast<std::byte>('a' + index % 23);
    return data;
}();

} // namespace

HopProber::HopProber(net::IcmpEchoHandle &echo, PaceClock &clock, ProberSettings settings) noexcept
    : m_echo(echo), m_clock(clock), m_settings(settings)
{}

bool HopProber::runRound(std::uint32_t destination, std::stop_token stop) noexcept
{
    if (!m_clock.sleepUntil(m_nextRound, stop))
        return false;
    m_nextRound = m_clock.now() + m_settings.roundSpacing;
    return probeHops(destination, 1, stop);
}

bool HopProber::runTrace(std::uint32_t destination, int probesPerHop, int hostHop,
                         std::stop_token stop) noexcept
{
    m_table.hops.clear();
    m_table.rounds = 0;
    m_expectedHostHop = hostHop;
    const bool finished = probeHops(destination, probesPerHop, stop);
    m_expectedHostHop = 0;
    return finished;
}

// Past the TTL the host answered at, a request only reaches the host again:
// a round goes no further while the host is known to be there, or expected
// there and no router answered in its place.
int HopProber::lastTtl() const noexcept
{
    const int host = m_table.hostHop();
    if (host > 0)
        return host;
    const auto expected = static_cast<std::size_t>(m_expectedHostHop);
    if (expected > 0 &&
        (m_table.hops.size() < expected || m_table.hops[expected - 1].answered() == 0))
        return m_expectedHostHop;
    return MaxHops;
}

bool HopProber::probeHops(std::uint32_t destination, int probesPerHop,
                          std::stop_token stop) noexcept
{
    auto &hops = m_table.hops;
    int silentInARow = 0;
    for (int ttl = 1; ttl <= lastTtl() && silentInARow < m_settings.silentHopsToGiveUp; ++ttl) {
        if (static_cast<int>(hops.size()) < ttl)
            hops.emplace_back();
        const auto result = probeHop(destination, ttl, probesPerHop, stop);
        if (result == HopResult::Stopped)
            return false;
        if (result == HopResult::PathEnds) {
            // The host answered nearer than before, or a router refused:
            // what lay beyond is no longer on the way.
            hops.resize(static_cast<std::size_t>(ttl));
            break;
        }
        silentInARow = result == HopResult::Silent ? silentInARow + 1 : 0;
    }
    ++m_table.rounds;
    return true;
}

HopProber::HopResult HopProber::probeHop(std::uint32_t destination, int ttl, int probes,
                                         std::stop_token stop) noexcept
{
    for (int probe = 0; probe < probes; ++probe) {
        if (!m_clock.sleepUntil(m_nextSend, stop))
            return HopResult::Stopped;
        const auto sentAt = m_clock.now();
        const auto outcome = m_echo.echo(destination, RequestData, m_settings.timeout,
                                         static_cast<net::TimeToLive>(ttl));
        m_nextSend = sentAt + net::UserPace::spacingAfter(outcome.status);
        const auto result = note(m_table.hops[static_cast<std::size_t>(ttl) - 1], outcome);
        if (result != HopResult::Silent)
            return result;
    }
    return HopResult::Silent;
}

// A timeout or a refusal on this machine is a probe lost at this TTL; any
// ICMP message but time-exceeded ends the way, as the host's answer does.
HopProber::HopResult HopProber::note(HopStats &hop, const net::EchoOutcome &outcome) noexcept
{
    const bool fromHost = outcome.status == icmp::IpStatus::Success;
    const bool fromRouter = outcome.origin == net::FailureOrigin::IcmpMessage;
    if (!fromHost && !fromRouter) {
        hop.noteLoss();
        return HopResult::Silent;
    }
    hop.noteAnswer(outcome.responder, std::max(outcome.roundTrip, std::chrono::nanoseconds{}));
    const bool passedOn = outcome.status == icmp::IpStatus::TtlExpiredTransit;
    hop.isHost = fromHost;
    hop.refused = !fromHost && !passedOn;
    return passedOn ? HopResult::Answered : HopResult::PathEnds;
}

} // namespace path
