#pragma once

#include "echowatch/net/echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/pace_clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// A way to a host in a box, for the hop prober: routers that answer a
// request running out of TTL with time-exceeded, stay silent, ration their
// answers or send an ICMP error, a host that answers (or sends an error
// itself) or not, and a break after which nothing goes on. Time is the
// script's own: a request's outcome comes its round trip after its send, or
// its timeout after it when nothing answers. Requests are answered one at a
// time (echo()), or several in flight at once (flight()), where they are
// matched by tag and come back in the order their answers arrive.
namespace scripted {

// The host every scripted path leads to.
extern const std::uint32_t Host;

class ManualClock final : public path::PaceClock
{
public:
    Clock::time_point now() noexcept override { return m_now; }
    bool sleepUntil(Clock::time_point when, std::stop_token stop) noexcept override;
    void advance(std::chrono::nanoseconds by) noexcept { m_now += by; }
    void advanceTo(Clock::time_point when) noexcept { m_now = std::max(m_now, when); }

private:
    Clock::time_point m_now{std::chrono::hours{1}};
};

struct Router
{
    enum class Kind
    {
        Answers,
        Silent,  // passes requests on, never answers
        Rations, // answers one request in every answerEvery
        Refuses, // answers requests for past it with `error`, passes nothing on
    };
    std::uint32_t address;
    Kind kind = Kind::Answers;
    int answerEvery = 1;
    std::chrono::microseconds roundTrip{1'000};
    // Refuses: what it answers (host unreachable unless told otherwise).
    icmp::MessageKind error{3, 1};
    // Refuses: whether it answers time-exceeded for requests that run out
    // at it, as a router whose next hop is gone does; one without a route
    // refuses them too.
    bool answersItsOwnTtl = true;
    // Whether a request addressed to it gets its echo reply (where the way
    // reaches it).
    bool answersEcho = true;
};

struct Path
{
    std::vector<Router> routers; // hop 1 first; the host is one hop past them
    bool hostAnswers = true;
    std::chrono::microseconds hostRoundTrip{4'000};
    // The host answers with this ICMP error rather than an echo reply.
    std::optional<icmp::MessageKind> hostError;
    int breaksAfterHop = -1;    // requests go no further than this hop; -1: nowhere
    int hostAnswersFromTtl = 0; // answers at this TTL already; 0: one past the routers
    bool sendRefused = false;   // this machine refuses every send
    // In flight: an answer that comes this long after its request's timeout
    // is handed over again, as a stale one, after the timeout was.
    std::optional<std::chrono::microseconds> staleAnswersAfter;
};

struct SentProbe
{
    path::PaceClock::Clock::time_point at;
    int ttl;
};

enum class Service
{
    OneAtATime,
    InFlight,
};

class ScriptedPath final : public net::IcmpEchoHandle, private net::EchoFlight
{
public:
    ScriptedPath(Path path, ManualClock &clock, Service service = Service::InFlight)
        : m_path(std::move(path)), m_clock(clock), m_service(service)
    {}

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept override;
    net::EchoFlight *flight() noexcept override
    {
        return m_service == Service::InFlight ? this : nullptr;
    }

    Path &path() noexcept { return m_path; }
    const std::vector<SentProbe> &sent() const noexcept { return m_sent; }
    // The most requests that were in flight at once.
    std::size_t mostInFlight() const noexcept { return m_mostInFlight; }

private:
    struct Scheduled
    {
        net::FlightTag tag;
        path::PaceClock::Clock::time_point at;
        net::EchoOutcome outcome;
    };
    struct Outcome
    {
        net::EchoOutcome outcome;
        std::chrono::nanoseconds after; // since the request was sent
    };

    net::FlightTag send(const net::FlightRequest &request) noexcept override;
    std::size_t collect(Clock::time_point deadline, net::FlightSink &sink) noexcept override;
    std::size_t outstanding() const noexcept override;

    Outcome answer(std::uint32_t destination, std::chrono::milliseconds timeout,
                   net::TimeToLive ttl) noexcept;
    Outcome fromRouter(Router &router, int ttl, std::chrono::milliseconds timeout) noexcept;
    Outcome fromHost(std::uint32_t destination, std::chrono::milliseconds timeout) noexcept;
    Outcome toRouter(int hop, std::chrono::milliseconds timeout) noexcept;
    Outcome silence(std::chrono::milliseconds timeout) noexcept;

    Path m_path;
    ManualClock &m_clock;
    Service m_service;
    std::vector<SentProbe> m_sent;
    std::vector<int> m_heard; // requests each router has run out at
    std::vector<Scheduled> m_scheduled;
    std::vector<Scheduled> m_stale; // handed over again later; not in flight
    net::FlightTag m_nextTag = 1;
    std::size_t m_mostInFlight = 0;
};

// The echo service over a scripted path: every handle is the one path,
// answering one request at a time, with a clock of its own for the time its
// answers take.
class ScriptedLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit ScriptedLibrary(Path path) : m_echo(std::move(path), m_clock, Service::OneAtATime) {}

    net::IcmpHandleOpening IcmpCreateFile() noexcept override
    {
        return {net::IcmpHandle(&m_echo, net::IcmpHandleCloser(net::keepLentHandle)), 0};
    }

private:
    ManualClock m_clock;
    ScriptedPath m_echo;
};

// The same path behind an echo service that cannot be opened the first
// `failures` times it is asked (out of descriptors, say).
class FailingFirstLibrary final : public net::IcmpEchoLibrary
{
public:
    FailingFirstLibrary(Path path, int failures) : m_path(std::move(path)), m_failures(failures) {}

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

private:
    ScriptedLibrary m_path;
    std::atomic<int> m_failures;
};

} // namespace scripted
