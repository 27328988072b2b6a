#pragma once

#include "echowatch/net/probe_helper_protocol.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace net {
class IcmpEchoLibrary;
} // namespace net

namespace net::helper {

// Answers echo requests read from one descriptor on another, one at a time
// and at most one per millisecond, until the input closes or stops making
// sense. Every request is checked against the protocol's limits before a
// byte of it is used.
class RequestServer
{
public:
    explicit RequestServer(IcmpEchoLibrary &library);

    // Returns the process's exit status: 0 when the input closed between
    // requests, 2 when it broke off or was not our framing, 3 when the
    // answer could not be written.
    int serve(int input, int output) noexcept;

private:
    using Clock = std::chrono::steady_clock;

    std::size_t answer(const ParsedRequest &parsed) noexcept;
    void keepPace() noexcept;

    IcmpEchoLibrary &m_library;
    std::vector<std::byte> m_request;
    std::vector<std::byte> m_reply;
    std::vector<std::byte> m_answer;
    Clock::time_point m_lastProbe{};
};

} // namespace net::helper
