#include "echowatch/net/destination_pace.h"

#include <algorithm>

namespace net {

DestinationPace::DestinationPace(std::size_t room) : m_room(std::max<std::size_t>(room, 1))
{
    m_sends.reserve(m_room);
}

DestinationPace::Clock::time_point DestinationPace::LastSend::freeAt() const noexcept
{
    return at + (answered ? UserPace::AnsweredSpacing : UserPace::UnansweredSpacing);
}

DestinationPace::Clock::time_point DestinationPace::nextSendAt(std::uint32_t destination,
                                                               Clock::time_point now) noexcept
{
    forgetPast(now);
    if (const LastSend *last = find(destination))
        return last->freeAt();
    if (m_sends.size() < m_room)
        return now;
    // Full: the first to be forgotten makes room.
    const auto oldest = std::min_element(
        m_sends.begin(), m_sends.end(),
        [](const LastSend &a, const LastSend &b) { return a.freeAt() < b.freeAt(); });
    return oldest->freeAt();
}

void DestinationPace::noteSent(std::uint32_t destination, std::uint64_t key,
                               Clock::time_point at) noexcept
{
    forgetPast(at);
    if (LastSend *last = find(destination)) {
        *last = {destination, key, at, false};
        return;
    }
    if (m_sends.size() < m_room)
        m_sends.push_back({destination, key, at, false});
}

void DestinationPace::noteAnswered(std::uint32_t destination, std::uint64_t key) noexcept
{
    LastSend *last = find(destination);
    if (last != nullptr && last->key == key)
        last->answered = true;
}

// Only what can still hold a request back is kept.
void DestinationPace::forgetPast(Clock::time_point now) noexcept
{
    std::erase_if(m_sends, [now](const LastSend &send) { return send.freeAt() <= now; });
}

DestinationPace::LastSend *DestinationPace::find(std::uint32_t destination) noexcept
{
    const auto found = std::find_if(m_sends.begin(), m_sends.end(), [destination](const auto &s) {
        return s.destination == destination;
    });
    return found != m_sends.end() ? &*found : nullptr;
}

} // namespace net
