#pragma once

#include "echowatch/helper/probe_helper_protocol.h"
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

// The window's side of the probe helper: starts it, sends it one echo
// request at a time over a socket pair, and reads back the typed outcome.
// Whatever the helper does (hangs, stops, floods garbage, claims a huge
// answer, dies), a probe returns within MaxProbeTime of its start, as a
// general failure, and the helper is replaced at the next probe; helpers are
// started at most once per RestartSpacing, so one that cannot serve never
// becomes a storm of processes. This side never holds a capability.
class ProbeHelperClient
{
public:
    static constexpr std::chrono::milliseconds MaxProbeTime{600};
    static constexpr std::chrono::milliseconds RestartSpacing{1000};

    // helperPath is fixed by the caller (next to the program, or where it was
    // installed), never taken from the environment.
    explicit ProbeHelperClient(std::string helperPath);
    ~ProbeHelperClient();
    ProbeHelperClient(const ProbeHelperClient &) = delete;
    ProbeHelperClient &operator=(const ProbeHelperClient &) = delete;

    // The outcome's data lives in the client's buffer until the next probe.
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout,
                          net::TimeToLive ttl = net::SystemTtl) noexcept;

    // The running helper's process, or -1; for tests that look at it.
    pid_t helperProcess() const noexcept { return m_process; }

private:
    using Clock = std::chrono::steady_clock;

    net::EchoOutcome askHelper(std::span<const std::byte> frame, AnswerLimits limits,
                               Clock::time_point deadline) noexcept;
    net::EchoOutcome failed(std::int32_t status, net::HelperCondition condition) noexcept;
    std::int32_t ensureRunning() noexcept;
    std::int32_t start() noexcept;
    void stop() noexcept;
    void noteHowItEnded(int status) noexcept;
    bool sendAll(std::span<const std::byte> bytes, Clock::time_point deadline) noexcept;
    std::size_t receiveAnswer(AnswerLimits limits, Clock::time_point deadline) noexcept;

    std::string m_path;
    pid_t m_process = -1;
    int m_socket = -1;
    Clock::time_point m_lastStart{};
    bool m_started = false;
    // Why the last helper went away, told while no new one may start yet.
    net::HelperCondition m_lastCondition = net::HelperCondition::Unresponsive;
    // How the last heard helper that never served ended (its wait status):
    // the next ones are silenced while they end the same way.
    std::optional<int> m_saidExit;
    bool m_silenced = false;
    bool m_served = false;
    // Sized once for the largest frames, so a probe allocates nothing.
    std::vector<std::byte> m_request;
    std::vector<std::byte> m_answer;
};

} // namespace helper
