#pragma once

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/net/user_pace.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace net {
class LinuxIcmpEchoLibrary;
} // namespace net

namespace helper {

// Answers echo requests read from one descriptor on another, one at a time,
// until the input closes or stops making sense. Every request is checked
// against the protocol's limits before a byte of it is used, and requests go
// out no faster than the system ping lets an unprivileged user send
// (net::UserPace), whatever TTL they ask for.
class RequestServer
{
public:
    static constexpr auto AnsweredSpacing = net::UserPace::AnsweredSpacing;
    static constexpr auto UnansweredSpacing = net::UserPace::UnansweredSpacing;

    explicit RequestServer(net::LinuxIcmpEchoLibrary &library);

    // Returns the process's exit status: 0 when the input closed between
    // requests, 2 when it broke off or was not our framing, 3 when the
    // answer could not be written, ExitSocketLost when the socket failed.
    int serve(int input, int output) noexcept;

private:
    using Clock = std::chrono::steady_clock;

    std::size_t answer(const ParsedRequest &parsed) noexcept;
    net::EchoOutcome probe(const EchoRequest &request) noexcept;

    net::LinuxIcmpEchoLibrary &m_library;
    std::vector<std::byte> m_request;
    std::vector<std::byte> m_answer;
    Clock::time_point m_nextSend{};
};

} // namespace helper
