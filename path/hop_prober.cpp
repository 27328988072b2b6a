#include "echowatch/path/hop_prober.h"

#include "echowatch/icmp/ip_status.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace path {
namespace {

using namespace std::chrono_literals;

// As much data as ping and the window send, so a hop sees a request of the
// usual size.
constexpr std::array<std::byte, 32> RequestData = [] {
    std::array<std::byte, 32> data{};
    for (std::size_t index = 0; index < data.size(); ++index)
        data[index] = static_cast<std::byte>('a' + index % 23);
    return data;
}();

// The longest a wait for answers goes without looking for a stop: closing
// the window that asked never waits out a silent hop's whole timeout.
constexpr auto StopCheckSpacing = 50ms;

// A service hands every request's outcome over by its timeout; one that has
// not this long after it never will, and the request counts as lost.
constexpr auto OverdueAfterTimeout = 1s;

// What the direct echo beside a trace is kept in flight as.
constexpr int BesideTtl = 0;

icmp::MessageKind messageOf(const net::EchoOutcome &outcome) noexcept
{
    if (outcome.message.type != 0)
        return outcome.message;
    return icmp::usualMessageFor(outcome.status).value_or(icmp::MessageKind{});
}

} // namespace

HopProber::HopProber(net::IcmpEchoHandle &echo, PaceClock &clock, ProberSettings settings) noexcept
    : m_flight(flightOf(echo)), m_clock(clock), m_settings(settings)
{
    m_inFlight.reserve(net::EchoFlight::MaxInFlight);
}

// Called before any member but m_sequential is made.
net::EchoFlight &HopProber::flightOf(net::IcmpEchoHandle &echo) noexcept
{
    if (net::EchoFlight *own = echo.flight())
        return *own;
    return m_sequential.emplace(echo);
}

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
    m_beside.address = 0;
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

int HopProber::limit() const noexcept
{
    return std::min(lastTtl(), m_endTtl);
}

// Every TTL once, nearest first; then, in a trace, the TTLs that have not
// answered, each retrySpacing after it was last asked, up to the silent
// TTLs past the last answer that still count.
int HopProber::nextTtl(int probesPerHop, Clock::time_point now) const noexcept
{
    const int last = limit();
    for (int ttl = 1; ttl <= last; ++ttl) {
        if (m_ttls[ttl].sent == 0)
            return ttl;
    }
    const int retryUpTo =
        std::min(last, m_table.lastAnsweringHop() + m_settings.silentHopsToGiveUp);
    for (int ttl = 1; ttl <= retryUpTo; ++ttl) {
        const TtlState &state = m_ttls[ttl];
        if (!state.answered && state.sent < probesPerHop &&
            now >= state.lastSent + m_settings.retrySpacing)
            return ttl;
    }
    return 0;
}

std::optional<HopProber::Clock::time_point> HopProber::nextRetry(int probesPerHop) const noexcept
{
    const int retryUpTo =
        std::min(limit(), m_table.lastAnsweringHop() + m_settings.silentHopsToGiveUp);
    std::optional<Clock::time_point> earliest;
    for (int ttl = 1; ttl <= retryUpTo; ++ttl) {
        const TtlState &state = m_ttls[ttl];
        const auto at = state.lastSent + m_settings.retrySpacing;
        if (!state.answered && state.sent < probesPerHop && (!earliest || at < *earliest))
            earliest = at;
    }
    return earliest;
}

// Nothing left to ask and no request out that could still change the table.
bool HopProber::roundDone(int probesPerHop) const noexcept
{
    const int last = limit();
    const bool waiting = std::any_of(m_inFlight.begin(), m_inFlight.end(),
                                     [last](const InFlight &out) { return out.ttl <= last; });
    return !waiting && !nextRetry(probesPerHop);
}

bool HopProber::probeHops(std::uint32_t destination, int probesPerHop,
                          std::stop_token stop) noexcept
{
    m_table.destination = destination;
    m_inFlight.clear();
    m_ttls.fill({});
    m_endTtl = MaxHops;
    for (;;) {
        if (stop.stop_requested())
            return false;
        const auto now = m_clock.now();
        giveUpOverdue(now);
        const auto besideAt = nextBeside(probesPerHop, now);
        if (besideAt && *besideAt <= now) {
            sendBeside(now);
            continue;
        }
        const int ttl = nextTtl(probesPerHop, now);
        const auto sendAt = m_pace.nextSendAt(destination, now);
        if (ttl != 0 && sendAt <= now) {
            send(destination, ttl, now);
            continue;
        }
        if (ttl == 0 && !besideAt && roundDone(probesPerHop))
            break;
        auto until = std::min(now + StopCheckSpacing, besideAt.value_or(Clock::time_point::max()));
        if (ttl != 0)
            until = std::min(until, sendAt);
        else if (const auto retry = nextRetry(probesPerHop))
            until = std::min(until, *retry);
        wait(until, stop);
    }
    finishRound();
    return true;
}

void HopProber::send(std::uint32_t destination, int ttl, Clock::time_point now) noexcept
{
    const net::FlightRequest request{destination, RequestData, m_settings.timeout,
                                     static_cast<net::TimeToLive>(ttl)};
    TtlState &state = m_ttls[ttl];
    ++state.sent;
    state.lastSent = now;
    const net::FlightTag tag = m_flight.send(request);
    m_pace.noteSent(destination, tag, now);
    m_inFlight.push_back({tag, ttl, now});
}

void HopProber::askBeside(std::uint32_t address) noexcept
{
    m_beside = Beside{};
    m_beside.address = address;
}

// When the next direct echo may go: at once for the first, then retrySpacing
// after the last, at the pace for its address; none once it has answered
// or every request it may have was sent.
std::optional<HopProber::Clock::time_point> HopProber::nextBeside(int probesPerHop,
                                                                  Clock::time_point now) noexcept
{
    const TtlState &state = m_beside.state;
    if (m_beside.address == 0 || state.answered || state.sent >= probesPerHop)
        return std::nullopt;
    const auto retryAt = state.sent == 0 ? now : state.lastSent + m_settings.retrySpacing;
    return std::max(retryAt, m_pace.nextSendAt(m_beside.address, now));
}

// In flight as TTL 0, which no hop has: the round waits for it as for any.
void HopProber::sendBeside(Clock::time_point now) noexcept
{
    const net::FlightRequest request{m_beside.address, RequestData, m_settings.timeout,
                                     net::SystemTtl};
    ++m_beside.state.sent;
    m_beside.state.lastSent = now;
    const net::FlightTag tag = m_flight.send(request);
    m_pace.noteSent(m_beside.address, tag, now);
    m_inFlight.push_back({tag, BesideTtl, now});
}

void HopProber::takeBeside(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept
{
    if (m_beside.state.answered)
        return;
    const bool answered = outcome.status == icmp::IpStatus::Success;
    if (answered)
        m_pace.noteAnswered(m_beside.address, tag);
    m_beside.state.answered = answered;
    m_beside.outcome = outcome;
    m_beside.outcome->data = {};
}

void HopProber::giveUpOverdue(Clock::time_point now) noexcept
{
    const auto overdue = now - m_settings.timeout - OverdueAfterTimeout;
    net::EchoOutcome lost;
    lost.status = icmp::IpStatus::ReqTimedOut;
    while (!m_inFlight.empty() && m_inFlight.front().sentAt < overdue)
        take(m_inFlight.front().tag, lost);
}

// Answers are waited for on the service's own clock; with none out there is
// nothing to wait for but the pace.
void HopProber::wait(Clock::time_point until, std::stop_token stop) noexcept
{
    if (m_flight.outstanding() > 0)
        m_flight.collect(until, *this);
    else
        m_clock.sleepUntil(until, stop);
}

void HopProber::take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept
{
    const auto out = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                  [tag](const InFlight &request) { return request.tag == tag; });
    // An answer to a request of an earlier round or trace.
    if (out == m_inFlight.end())
        return;
    const int ttl = out->ttl;
    m_inFlight.erase(out);
    if (ttl == BesideTtl) {
        takeBeside(tag, outcome);
        return;
    }
    if (outcome.status == icmp::IpStatus::Success)
        m_pace.noteAnswered(m_table.destination, tag);
    // Past the end of the way, a request only meets the end again.
    if (ttl > limit())
        return;
    auto &hops = m_table.hops;
    if (static_cast<int>(hops.size()) < ttl)
        hops.resize(static_cast<std::size_t>(ttl));
    const auto result = note(hops[static_cast<std::size_t>(ttl) - 1], outcome);
    m_ttls[ttl].answered = m_ttls[ttl].answered || result != HopResult::Silent;
    if (result == HopResult::PathEnds)
        m_endTtl = std::min(m_endTtl, ttl);
}

// A timeout or a refusal on this machine is a probe lost at this TTL; any
// ICMP message but time-exceeded ends the way, as the host's answer does.
HopProber::HopResult HopProber::note(HopStats &hop, const net::EchoOutcome &outcome) noexcept
{
    const bool fromHost = outcome.status == icmp::IpStatus::Success;
    const bool fromIcmp = outcome.origin == net::FailureOrigin::IcmpMessage;
    if (!fromHost && !fromIcmp) {
        hop.noteLoss();
        return HopResult::Silent;
    }
    const auto after = std::max(outcome.roundTrip, std::chrono::nanoseconds{});
    const bool passedOn = outcome.status == icmp::IpStatus::TtlExpiredTransit;
    try {
        if (fromHost || passedOn)
            hop.noteAnswer(outcome.responder, after, fromHost);
        else
            hop.noteError(outcome.responder, messageOf(outcome), after);
    } catch (...) {
        // Out of memory for one more responder: the probe still counts as lost.
        hop.noteLoss();
        return HopResult::Silent;
    }
    return passedOn ? HopResult::Answered : HopResult::PathEnds;
}

// The way ends at the nearest TTL the host or an error answered: what lay
// beyond is no longer on it. Past the last answer, silent rows tell no more
// after a few.
void HopProber::finishRound() noexcept
{
    auto &hops = m_table.hops;
    const int end = limit();
    if (static_cast<int>(hops.size()) > end)
        hops.resize(static_cast<std::size_t>(end));
    const auto shown =
        static_cast<std::size_t>(m_table.lastAnsweringHop() + m_settings.silentHopsToGiveUp);
    if (hops.size() > shown)
        hops.resize(shown);
    m_inFlight.clear();
    ++m_table.rounds;
}

} // namespace path
