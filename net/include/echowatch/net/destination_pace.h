#pragma once

#include "echowatch/net/user_pace.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace net {

// Keeps the requests to each destination as far apart as ping keeps a
// user's (user_pace.h), with several in flight: the next request to a host
// may follow the last one sent to it AnsweredSpacing after its send once
// the host has answered it, UnansweredSpacing after it while it has not (an
// ICMP error is no answer). Requests to other hosts are not held back by it.
// A destination is remembered only as long as it can hold a request back,
// so a pace for many hosts stays small.
class DestinationPace
{
public:
    using Clock = std::chrono::steady_clock;

    // room: destinations remembered at once; past it, a new destination
    // waits until the oldest is forgotten.
    explicit DestinationPace(std::size_t room);

    // The earliest moment a request to destination may go; now or earlier
    // when it may go at once.
    Clock::time_point nextSendAt(std::uint32_t destination, Clock::time_point now) noexcept;
    // key names the request, so that a late answer to an earlier one does
    // not shorten the spacing after a later one.
    void noteSent(std::uint32_t destination, std::uint64_t key, Clock::time_point at) noexcept;
    void noteAnswered(std::uint32_t destination, std::uint64_t key) noexcept;

private:
    struct LastSend
    {
        std::uint32_t destination;
        std::uint64_t key;
        Clock::time_point at;
        bool answered;

        Clock::time_point freeAt() const noexcept;
    };

    void forgetPast(Clock::time_point now) noexcept;
    LastSend *find(std::uint32_t destination) noexcept;

    std::size_t m_room;
    std::vector<LastSend> m_sends;
};

} // namespace net
