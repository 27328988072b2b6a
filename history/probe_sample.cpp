#include "echowatch/history/probe_sample.h"

#include <algorithm>

namespace history {

namespace {

// The echo service's codes for an ICMP destination unreachable (net, host,
// protocol, port) and for a request no answer came back to.
constexpr EchoStatus FirstUnreachableStatus = 11002;
constexpr EchoStatus LastUnreachableStatus = 11005;
constexpr EchoStatus TimedOutStatus = 11010;

constexpr unsigned SizeBits = 16;
constexpr std::int32_t LargestSize = (1 << SizeBits) - 1;

} // namespace

ProbeKind kindOf(EchoStatus status) noexcept
{
    if (status == 0)
        return ProbeKind::Answered;
    if (status == BadAddressStatus)
        return ProbeKind::NotSent;
    if (status == TimedOutStatus)
        return ProbeKind::Timeout;
    if (status >= FirstUnreachableStatus && status <= LastUnreachableStatus)
        return ProbeKind::Unreachable;
    return ProbeKind::OtherFailure;
}

ProbeSample::ProbeSample(Milliseconds sentAt, EchoStatus status, std::int64_t roundTripMicroseconds,
                         std::int32_t replySize) noexcept
    : m_timeAndSize(static_cast<std::uint64_t>(sentAt) << SizeBits |
                    static_cast<std::uint64_t>(std::clamp(replySize, 0, LargestSize))),
      m_roundTrip(roundTripMicroseconds < 0 ? NoRoundTrip
                                            : static_cast<std::uint32_t>(std::min<std::int64_t>(
                                                  roundTripMicroseconds, NoRoundTrip - 1))),
      m_status(status)
{}

Milliseconds ProbeSample::sentAt() const noexcept
{
    // An arithmetic shift brings back the sign of a time before 1970.
    return static_cast<Milliseconds>(m_timeAndSize) >> SizeBits;
}

} // namespace history
