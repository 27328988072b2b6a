#pragma once

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path/pace_clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

// A way to a host in a box, for the hop prober: routers that answer a
// request running out of TTL with time-exceeded, stay silent, ration their
// answers or refuse, a host that answers or not, and a break after which
// nothing goes on. Time is the script's own: each probe moves the clock by
// its round trip, or by its timeout when nothing answers.
namespace scripted {

// The host every scripted path leads to.
extern const std::uint32_t Host;

class ManualClock final : public path::PaceClock
{
public:
    Clock::time_point now() noexcept override { return m_now; }
    bool sleepUntil(Clock::time_point when, std::stop_token stop) noexcept override;
    void advance(std::chrono::nanoseconds by) noexcept { m_now += by; }

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
        Refuses, // answers with host-unreachable, passes nothing on
    };
    std::uint32_t address;
    Kind kind = Kind::Answers;
    int answerEvery = 1;
    std::chrono::microseconds roundTrip{1'000};
};

struct Path
{
    std::vector<Router> routers; // hop 1 first; the host is one hop past them
    bool hostAnswers = true;
    std::chrono::microseconds hostRoundTrip{4'000};
    int breaksAfterHop = -1;    // requests go no further than this hop; -1: nowhere
    int hostAnswersFromTtl = 0; // answers at this TTL already; 0: one past the routers
    bool sendRefused = false;   // this machine refuses every send
};

struct SentProbe
{
    path::PaceClock::Clock::time_point at;
    int ttl;
};

class ScriptedPath final : public net::IcmpEchoHandle
{
public:
    ScriptedPath(Path path, ManualClock &clock) : m_path(std::move(path)), m_clock(clock) {}

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept override;

    Path &path() noexcept { return m_path; }
    const std::vector<SentProbe> &sent() const noexcept { return m_sent; }

private:
    net::EchoOutcome fromRouter(Router &router, std::chrono::milliseconds timeout) noexcept;
    net::EchoOutcome fromHost(std::uint32_t destination,
                              std::chrono::milliseconds timeout) noexcept;
    net::EchoOutcome silence(std::chrono::milliseconds timeout) noexcept;

    Path m_path;
    ManualClock &m_clock;
    std::vector<SentProbe> m_sent;
    std::vector<int> m_heard; // requests each router has run out at
};

// The echo service over a scripted path: every handle is the one path,
// with a clock of its own for the time its answers take.
class ScriptedLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit ScriptedLibrary(Path path) : m_echo(std::move(path), m_clock) {}

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
