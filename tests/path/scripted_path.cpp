#include "scripted_path.h"

#include "echowatch/icmp/ip_status.h"
#include "support/packet_builder.h"

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
    if (m_path.sendRefused) {
        net::EchoOutcome refused;
        refused.status = icmp::IpStatus::DestNetUnreachable;
        refused.origin = net::FailureOrigin::ThisMachine;
        return refused;
    }
    const int routers = static_cast<int>(m_path.routers.size());
    const int hostTtl = m_path.hostAnswersFromTtl > 0 ? m_path.hostAnswersFromTtl : routers + 1;
    const int reaches = ttl == net::SystemTtl || ttl >= hostTtl ? hostTtl : ttl;
    if (m_path.breaksAfterHop >= 0 && reaches > m_path.breaksAfterHop)
        return silence(timeout);
    for (int hop = 1; hop < reaches && hop <= routers; ++hop) {
        if (m_path.routers[static_cast<std::size_t>(hop) - 1].kind == Router::Kind::Refuses)
            return fromRouter(m_path.routers[static_cast<std::size_t>(hop) - 1], timeout);
    }
    if (reaches == hostTtl)
        return fromHost(destination, timeout);
    return fromRouter(m_path.routers[static_cast<std::size_t>(reaches) - 1], timeout);
}

net::EchoOutcome ScriptedPath::fromRouter(Router &router,
                                          std::chrono::milliseconds timeout) noexcept
{
    const auto index = static_cast<std::size_t>(&router - m_path.routers.data());
    m_heard.resize(m_path.routers.size());
    const int heard = m_heard[index]++;
    using Kind = Router::Kind;
    if (router.kind == Kind::Silent ||
        (router.kind == Kind::Rations && heard % router.answerEvery != 0))
        return silence(timeout);
    m_clock.advance(router.roundTrip);
    net::EchoOutcome outcome;
    outcome.status = router.kind == Kind::Refuses ? icmp::IpStatus::DestHostUnreachable
                                                  : icmp::IpStatus::TtlExpiredTransit;
    outcome.origin = net::FailureOrigin::IcmpMessage;
    outcome.responder = router.address;
    outcome.roundTrip = router.roundTrip;
    return outcome;
}

net::EchoOutcome ScriptedPath::fromHost(std::uint32_t destination,
                                        std::chrono::milliseconds timeout) noexcept
{
    if (!m_path.hostAnswers)
        return silence(timeout);
    m_clock.advance(m_path.hostRoundTrip);
    net::EchoOutcome outcome;
    outcome.status = icmp::IpStatus::Success;
    outcome.responder = destination;
    outcome.roundTrip = m_path.hostRoundTrip;
    return outcome;
}

net::EchoOutcome ScriptedPath::silence(std::chrono::milliseconds timeout) noexcept
{
    m_clock.advance(timeout);
    net::EchoOutcome outcome;
    outcome.status = icmp::IpStatus::ReqTimedOut;
    return outcome;
}

net::IcmpHandleOpening FailingFirstLibrary::IcmpCreateFile() noexcept
{
    if (m_failures.fetch_sub(1) > 0)
        return {net::IcmpHandle(), icmp::IpStatus::GeneralFailure};
    return m_path.IcmpCreateFile();
}

} // namespace scripted
