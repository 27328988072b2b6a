#pragma once

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/net/echo_flight.h"
#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/time_to_live.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace helper {

// A probe helper served at a Unix socket, one for each connection (the
// service's, which the service manager starts with its capability), rather
// than one this process starts.
struct HelperSocket
{
    std::string path;
};

// The window's side of the probe helper: starts it, sends it echo requests
// over a socket pair (one at a time, or several in flight), and reads back
// the typed outcomes. Whatever the helper does (hangs, stops, floods
// garbage, claims a huge answer, answers a request never asked, dies), a
// single probe returns within MaxProbeTime of its start, and a request in
// flight within its timeout and FlightAllowance, as a general failure; the
// helper is then replaced at the next request. Helpers are started at most
// once per RestartSpacing, so one that cannot serve never becomes a storm of
// processes. This side never holds a capability.
class ProbeHelperClient final : public net::EchoFlight
{
public:
    static constexpr std::chrono::milliseconds MaxProbeTime{600};
    static constexpr std::chrono::milliseconds RestartSpacing{1000};
    // Beyond its timeout, what a request in flight may take: the helper may
    // hold it back for its pace.
    static constexpr std::chrono::milliseconds FlightAllowance{1000};

    // helperPath is fixed by the caller (next to the program, or where it was
    // installed), never taken from the environment.
    explicit ProbeHelperClient(std::string helperPath);
    // Connects to a helper served there instead, as often as it would start
    // one.
    explicit ProbeHelperClient(HelperSocket served);
    ~ProbeHelperClient() override;
    ProbeHelperClient(const ProbeHelperClient &) = delete;
    ProbeHelperClient &operator=(const ProbeHelperClient &) = delete;

    // One request, waited for. The outcome's data lives in the client's
    // buffer until the next request. Not while requests are in flight.
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout,
                          net::TimeToLive ttl = net::SystemTtl) noexcept;

    net::FlightTag send(const net::FlightRequest &request) noexcept override;
    std::size_t collect(Clock::time_point deadline, net::FlightSink &sink) noexcept override;
    std::size_t outstanding() const noexcept override;

    // The running helper's process, or -1; for tests that look at it.
    pid_t helperProcess() const noexcept { return m_process; }

private:
    struct Pending
    {
        std::uint32_t tag;
        std::chrono::milliseconds timeout;
        Clock::time_point deadline;
    };
    struct Done
    {
        std::uint32_t tag;
        net::EchoOutcome outcome;
    };
    enum class Reading
    {
        Going,
        Broken, // the helper answered nonsense or went away
    };

    std::uint32_t nextTag() noexcept;
    bool handOver(const EchoRequest &request, Clock::time_point deadline) noexcept;
    net::EchoOutcome awaitAnswer(Clock::time_point deadline) noexcept;
    net::EchoOutcome failed(std::int32_t status, net::HelperCondition condition) noexcept;
    void failPending() noexcept;
    void ready(std::uint32_t tag, const net::EchoOutcome &outcome) noexcept;
    std::size_t handOverReady(net::FlightSink &sink) noexcept;
    Reading takeAnswer(const ParsedAnswer &answer, net::FlightSink *sink,
                       std::size_t &handed) noexcept;
    Reading takeAnswers(net::FlightSink *sink, std::size_t &handed) noexcept;
    Reading receiveMore(Clock::time_point deadline) noexcept;
    std::int32_t ensureRunning() noexcept;
    std::int32_t start() noexcept;
    std::int32_t connectToServed() noexcept;
    void stop() noexcept;
    void noteHowItEnded(int status) noexcept;
    bool sendAll(std::span<const std::byte> bytes, Clock::time_point deadline) noexcept;

    std::string m_path;
    // Whether m_path names the helper's program or the socket it is served at.
    bool m_servedAtSocket = false;
    pid_t m_process = -1;
    int m_socket = -1;
    Clock::time_point m_lastStart{};
    bool m_started = false;
    // Why the last helper went away, told while no new one may start yet.
    net::HelperCondition m_lastCondition = net::HelperCondition::Unresponsive;
    std::uint32_t m_nextTag = 0;
    std::vector<Pending> m_pending;
    // Outcomes in, not handed over yet: failures, and answers that came
    // while a single probe was waited for.
    std::vector<Done> m_ready;
    // A single probe's request, and its outcome once in.
    Pending m_awaited{};
    std::optional<net::EchoOutcome> m_awaitedOutcome;
    // How the last heard helper that never served ended (its wait status):
    // the next ones are silenced while they end the same way.
    std::optional<int> m_saidExit;
    bool m_silenced = false;
    bool m_served = false;
    // Sized once for the largest frames, so a probe allocates nothing.
    std::vector<std::byte> m_request;
    std::vector<std::byte> m_received;
    std::size_t m_receivedSize = 0;
    std::vector<std::byte> m_echoed;
};

} // namespace helper
