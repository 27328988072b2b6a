#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace net {

// The window's side of the privileged probe helper: starts it once, sends it
// one echo request at a time over a socket pair, and copies its answer into
// the caller's reply record. The helper is the only process that holds
// CAP_NET_RAW; this side never does. A helper that is missing, refuses or
// dies makes that probe a general failure, and is started again at the next.
class ProbeHelperClient
{
public:
    // helperPath is fixed by the caller (next to the program, or where it was
    // installed), never taken from the environment.
    explicit ProbeHelperClient(std::string helperPath);
    ~ProbeHelperClient();
    ProbeHelperClient(const ProbeHelperClient &) = delete;
    ProbeHelperClient &operator=(const ProbeHelperClient &) = delete;

    // The same contract as IcmpEchoHandle::IcmpSendEcho: the outcome is the
    // status written into replyBuffer, whatever happens.
    std::uint32_t echo(std::uint32_t destination, std::span<const std::byte> requestData,
                       std::span<std::byte> replyBuffer,
                       std::chrono::milliseconds timeout) noexcept;

    // The running helper's process, or -1; for tests that look at it.
    pid_t helperProcess() const noexcept { return m_process; }

private:
    using Clock = std::chrono::steady_clock;

    std::int32_t ensureRunning() noexcept;
    std::int32_t start() noexcept;
    void stop() noexcept;
    bool sendAll(std::span<const std::byte> bytes) noexcept;
    std::size_t receiveAnswer(std::uint32_t replySize, Clock::time_point deadline) noexcept;

    std::string m_path;
    pid_t m_process = -1;
    int m_socket = -1;
    // Sized once for the largest frames, so a probe allocates nothing.
    std::vector<std::byte> m_request;
    std::vector<std::byte> m_answer;
};

} // namespace net
