#pragma once

#include "echowatch/icmp/ip_status.h"

#include <chrono>
#include <cstdint>

namespace net {

// How fast the system ping lets an unprivileged user send: a request at
// least AnsweredSpacing after one that was answered, and UnansweredSpacing
// after one that was not (an ICMP error is no answer), so that a timeout of
// 0 cannot make a sender send and forget. Both are a little wider than
// ping's own limits (2 and 10 ms), because ping's work per request stretches
// its pace (to about 2.5 and 10.4 ms for the largest requests, measured side
// by side) where ours is counted from each send.
namespace UserPace {

inline constexpr std::chrono::milliseconds AnsweredSpacing{3};
inline constexpr std::chrono::milliseconds UnansweredSpacing{11};

// How long after a request's send the next may go, given its status.
constexpr std::chrono::milliseconds spacingAfter(std::int32_t status) noexcept
{
    return status == icmp::IpStatus::Success ? AnsweredSpacing : UnansweredSpacing;
}

} // namespace UserPace

} // namespace net
