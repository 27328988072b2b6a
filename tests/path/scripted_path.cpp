#include "scripted_path.h"

#include "echowatch/icmp/ip_status.h"
#include "support/packet_builder.h"

#include <algorithm>

namespace scripted {

const std::uint32_t Host = testpackets::address("203.0.113.9");

bool ManualClock::sleepUntil(Clock::time_point when, std::stop_token stop) noexcept
{
    if (stop.stop_requested())
        return false;
    m_now = std::max(m_now, when);
    return true;
}

net::EchoOutcome ScriptedPath::echo(std::uint32_t destination, std::span<const std::byte>,
                                    std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept
{
    m_sent.push_back({m_clock.now(), ttl});
    const auto answered = answer(destination, timeout, ttl);
    m_clock.advance(answered.after);
    return answered.outcome;
}

net::FlightTag ScriptedPath::send(const net::FlightRequest &request) noexcept
{
    m_sent.push_back({m_clock.now(), request.ttl});
    const net::FlightTag tag = m_nextTag++;
    const auto answered = answer(request.destination, request.timeout, request.ttl);
    const auto at = m_clock.now() + answered.after;
    if (answered.after > request.timeout) {
        // A real service times the request out; a stale answer may follow.
        net::EchoOutcome timedOut;
        timedOut.status = icmp::IpStatus::ReqTimedOut;
        m_scheduled.push_back({tag, m_clock.now() + request.timeout, timedOut});
        m_stale.push_back({tag, at, answered.outcome});
    } else {
        m_scheduled.push_back({tag, at, answered.outcome});
    }
    m_mostInFlight = std::max(m_mostInFlight, m_scheduled.size());
    return tag;
}

// Time moves to the first answer due (or to the deadline), and everything
// due by then is handed over, earliest first.
std::size_t ScriptedPath::collect(Clock::time_point deadline, net::FlightSink &sink) noexcept
{
    const auto byTime = [](const Scheduled &a, const Scheduled &b) { return a.at < b.at; };
    std::stable_sort(m_scheduled.begin(), m_scheduled.end(), byTime);
    std::stable_sort(m_stale.begin(), m_stale.end(), byTime);
    auto first = deadline;
    if (!m_scheduled.empty())
        first = std::min(first, m_scheduled.front().at);
    if (!m_stale.empty())
        first = std::min(first, m_stale.front().at);
    m_clock.advanceTo(first);
    std::size_t handed = 0;
    for (auto *queue : {&m_stale, &m_scheduled}) {
        while (!queue->empty() && queue->front().at <= m_clock.now()) {
            const Scheduled due = queue->front();
            queue->erase(queue->begin());
            sink.take(due.tag, due.outcome);
            handed += queue == &m_scheduled;
        }
    }
    return handed;
}

std::size_t ScriptedPath::outstanding() const noexcept
{
    return m_scheduled.size();
}

ScriptedPath::Outcome ScriptedPath::answer(std::uint32_t destination,
                                           std::chrono::milliseconds timeout,
                                           net::TimeToLive ttl) noexcept
{
    if (m_path.sendRefused) {
        net::EchoOutcome refused;
        refused.status = icmp::IpStatus::DestNetUnreachable;
        refused.origin = net::FailureOrigin::ThisMachine;
        return {refused, {}};
    }
    const int routers = static_cast<int>(m_path.routers.size());
    for (int hop = 1; hop <= routers; ++hop) {
        if (m_path.routers[static_cast<std::size_t>(hop) - 1].address == destination)
            return toRouter(hop, timeout);
    }
    const int hostTtl = m_path.hostAnswersFromTtl > 0 ? m_path.hostAnswersFromTtl : routers + 1;
    const int reaches = ttl == net::SystemTtl || ttl >= hostTtl ? hostTtl : ttl;
    if (m_path.breaksAfterHop >= 0 && reaches > m_path.breaksAfterHop)
        return silence(timeout);
    for (int hop = 1; hop <= reaches && hop <= routers; ++hop) {
        Router &router = m_path.routers[static_cast<std::size_t>(hop) - 1];
        const bool ownTtl = hop == reaches && router.answersItsOwnTtl;
        if (router.kind == Router::Kind::Refuses && !ownTtl)
            return fromRouter(router, 0, timeout);
    }
    if (reaches == hostTtl)
        return fromHost(destination, timeout);
    return fromRouter(m_path.routers[static_cast<std::size_t>(reaches) - 1], reaches, timeout);
}

// ttl: the TTL that ran out at the router; 0 when it sends its error.
ScriptedPath::Outcome ScriptedPath::fromRouter(Router &router, int ttl,
                                               std::chrono::milliseconds timeout) noexcept
{
    const auto index = static_cast<std::size_t>(&router - m_path.routers.data());
    m_heard.resize(m_path.routers.size());
    const int heard = m_heard[index]++;
    using Kind = Router::Kind;
    if (router.kind == Kind::Silent ||
        (router.kind == Kind::Rations && heard % router.answerEvery != 0))
        return silence(timeout);
    net::EchoOutcome outcome;
    const bool error = ttl == 0;
    outcome.message = error ? router.error : icmp::MessageKind{icmp::Type::TimeExceeded, 0};
    outcome.status =
        icmp::statusForIcmpError(outcome.message.type, outcome.message.code).value_or(0);
    outcome.origin = net::FailureOrigin::IcmpMessage;
    outcome.responder = router.address;
    outcome.roundTrip = router.roundTrip;
    return {outcome, router.roundTrip};
}

ScriptedPath::Outcome ScriptedPath::fromHost(std::uint32_t destination,
                                             std::chrono::milliseconds timeout) noexcept
{
    if (!m_path.hostAnswers)
        return silence(timeout);
    net::EchoOutcome outcome;
    outcome.status = icmp::IpStatus::Success;
    if (m_path.hostError) {
        outcome.message = *m_path.hostError;
        outcome.status = icmp::statusForIcmpError(outcome.message.type, outcome.message.code)
                             .value_or(icmp::IpStatus::GeneralFailure);
        outcome.origin = net::FailureOrigin::IcmpMessage;
    }
    outcome.responder = destination;
    outcome.roundTrip = m_path.hostRoundTrip;
    return {outcome, m_path.hostRoundTrip};
}

// A request to a router itself (the gateway asked beside a trace): its echo
// reply, where the way reaches it and it answers echoes.
ScriptedPath::Outcome ScriptedPath::toRouter(int hop, std::chrono::milliseconds timeout) noexcept
{
    const Router &router = m_path.routers[static_cast<std::size_t>(hop) - 1];
    if ((m_path.breaksAfterHop >= 0 && hop > m_path.breaksAfterHop) || !router.answersEcho)
        return silence(timeout);
    net::EchoOutcome outcome;
    outcome.status = icmp::IpStatus::Success;
    outcome.responder = router.address;
    outcome.roundTrip = router.roundTrip;
    return {outcome, router.roundTrip};
}

// Nothing answers: the request times out, unless a stale answer is
// scripted to come after the timeout.
ScriptedPath::Outcome ScriptedPath::silence(std::chrono::milliseconds timeout) noexcept
{
    net::EchoOutcome outcome;
    outcome.status = icmp::IpStatus::ReqTimedOut;
    if (m_service == Service::InFlight && m_path.staleAnswersAfter) {
        outcome.status = icmp::IpStatus::TtlExpiredTransit;
        outcome.origin = net::FailureOrigin::IcmpMessage;
        outcome.message = {icmp::Type::TimeExceeded, 0};
        outcome.responder = testpackets::address("192.0.2.99");
        return {outcome, timeout + *m_path.staleAnswersAfter};
    }
    return {outcome, timeout};
}

net::IcmpHandleOpening FailingFirstLibrary::IcmpCreateFile() noexcept
{
    if (m_failures.fetch_sub(1) > 0)
        return {net::IcmpHandle(), icmp::IpStatus::GeneralFailure};
    return m_path.IcmpCreateFile();
}

} // namespace scripted
