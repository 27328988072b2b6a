#include "echowatch/history/probe_sample.h"

#include <algorithm>

namespace history {

namespace {

constexpr std::int32_t LargestSize = 0xffff;

} // namespace

ProbeSample::ProbeSample(Milliseconds sentAt, EchoStatus status, std::int64_t roundTripMicroseconds,
                         std::int32_t replySize) noexcept
    : m_timeAndSize(static_cast<std::uint64_t>(sentAt) << SizeBits |
                    static_cast<std::uint64_t>(std::clamp(replySize, 0, LargestSize))),
      m_roundTrip(roundTripMicroseconds < 0 ? NoRoundTrip
                                            : static_cast<std::uint32_t>(std::min<std::int64_t>(
                                                  roundTripMicroseconds, NoRoundTrip - 1))),
      m_status(status)
{}

} // namespace history
