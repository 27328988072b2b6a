#pragma once

#include "echowatch/probe/echo_status.h"

#include <cstdint>
#include <limits>

namespace history {

// Wall-clock time in milliseconds since the Unix epoch.
using Milliseconds = std::int64_t;

inline constexpr Milliseconds MillisecondsPerMinute = 60'000;

// The start of the minute a time falls in, also before 1970.
constexpr Milliseconds minuteOf(Milliseconds time) noexcept
{
    const Milliseconds remainder = time % MillisecondsPerMinute;
    return time - (remainder < 0 ? remainder + MillisecondsPerMinute : remainder);
}

// [from, to): a stretch of the run, as a chart shows it.
struct TimeSpan
{
    Milliseconds from = 0;
    Milliseconds to = 0;

    bool operator==(const TimeSpan &) const = default;
};

// How a probe ended, as the chart colours it.
enum class ProbeKind : std::uint8_t
{
    Answered,
    Timeout,
    Unreachable,
    OtherFailure,
    NotSent,
};

// The echo service's codes for an ICMP destination unreachable (net, host,
// protocol, port) and for a request no answer came back to.
inline constexpr EchoStatus FirstUnreachableStatus = 11002;
inline constexpr EchoStatus LastUnreachableStatus = 11005;
inline constexpr EchoStatus TimedOutStatus = 11010;

// Inline: the chart asks it of every probe it draws.
constexpr ProbeKind kindOf(EchoStatus status) noexcept
{
    if (status == 0)
        return ProbeKind::Answered;
    if (!wasSent(status))
        return ProbeKind::NotSent;
    if (status == TimedOutStatus)
        return ProbeKind::Timeout;
    if (status >= FirstUnreachableStatus && status <= LastUnreachableStatus)
        return ProbeKind::Unreachable;
    return ProbeKind::OtherFailure;
}

// One probe in 16 bytes, so that a million of them fit in 16 MB: the send
// time in milliseconds (48 bits reach 8,900 years) shares a word with the
// reply size; the round trip keeps the kernel's microseconds.
class ProbeSample
{
public:
    ProbeSample() = default;
    ProbeSample(Milliseconds sentAt, EchoStatus status, std::int64_t roundTripMicroseconds,
                std::int32_t replySize) noexcept;

    Milliseconds sentAt() const noexcept
    {
        // An arithmetic shift brings back the sign of a time before 1970.
        return static_cast<Milliseconds>(m_timeAndSize) >> SizeBits;
    }
    std::int32_t replySize() const noexcept
    {
        return static_cast<std::int32_t>(m_timeAndSize & SizeMask);
    }
    EchoStatus status() const noexcept { return m_status; }
    bool answered() const noexcept { return m_status == 0; }
    // -1 when nothing answered.
    std::int64_t roundTripMicroseconds() const noexcept
    {
        // Both arms as int64: with the unsigned member, -1 would read 2^32-1.
        return m_roundTrip == NoRoundTrip ? std::int64_t{-1} : std::int64_t{m_roundTrip};
    }

private:
    static constexpr unsigned SizeBits = 16;
    static constexpr std::uint64_t SizeMask = (std::uint64_t{1} << SizeBits) - 1;
    static constexpr std::uint32_t NoRoundTrip = std::numeric_limits<std::uint32_t>::max();

    std::uint64_t m_timeAndSize = 0;
    std::uint32_t m_roundTrip = NoRoundTrip;
    EchoStatus m_status = 0;
};

static_assert(sizeof(ProbeSample) == 16);

} // namespace history
