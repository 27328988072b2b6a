#include "echowatch/store/stored_history.h"

#include <algorithm>
#include <cstdint>

namespace store {

Milliseconds hourOf(Milliseconds time) noexcept
{
    const Milliseconds remainder = time % MillisecondsPerHour;
    return time - (remainder < 0 ? remainder + MillisecondsPerHour : remainder);
}

void SummarySum::add(const StoredMinute &part)
{
    m_sum.statistics.add(part.statistics);
    m_sum.timeouts += part.timeouts;
    m_sum.unreachables += part.unreachables;
    m_sum.otherFailures += part.otherFailures;
    if (part.quantiles) {
        m_p10.push_back(part.quantiles->p10);
        m_median.push_back(part.quantiles->median);
        m_p90.push_back(part.quantiles->p90);
    }
}

StoredMinute SummarySum::take(Milliseconds start)
{
    StoredMinute sum = m_sum;
    sum.minuteStart = start;
    if (!m_median.empty())
        sum.quantiles = RoundTripQuantiles{medianOf(m_p10), medianOf(m_median), medianOf(m_p90)};
    m_sum = StoredMinute{};
    m_p10.clear();
    m_median.clear();
    m_p90.clear();
    return sum;
}

void StoredMinute::add(const history::ProbeSample &sample) noexcept
{
    statistics.add(sample);
    switch (history::kindOf(sample.status())) {
    case history::ProbeKind::Timeout:
        ++timeouts;
        break;
    case history::ProbeKind::Unreachable:
        ++unreachables;
        break;
    case history::ProbeKind::OtherFailure:
        ++otherFailures;
        break;
    case history::ProbeKind::Answered:
    case history::ProbeKind::NotSent:
        break;
    }
}

std::uint32_t medianOf(std::span<std::uint32_t> values)
{
    return history::nearestRank(values, 1, 2);
}

std::optional<RoundTripQuantiles> quantilesOf(std::span<std::uint32_t> roundTrips)
{
    return history::bandOf(roundTrips);
}

void MinuteSummer::add(const history::ProbeSample &sample)
{
    if (empty())
        m_minute.minuteStart = minuteOf(sample.sentAt());
    m_minute.add(sample);
    if (sample.answered() && sample.roundTripMicroseconds() >= 0) {
        m_roundTrips.push_back(static_cast<std::uint32_t>(
            std::min<std::int64_t>(sample.roundTripMicroseconds(), UINT32_MAX)));
    }
}

StoredMinute MinuteSummer::take()
{
    StoredMinute minute = m_minute;
    minute.quantiles = quantilesOf(m_roundTrips);
    m_minute = StoredMinute{};
    m_roundTrips.clear();
    return minute;
}

namespace {

struct ReasonName
{
    WatchEndReason why;
    const char *text;
};

constexpr ReasonName ReasonNames[] = {
    {WatchEndReason::Stopped, "stopped"},
    {WatchEndReason::AddressChanged, "address changed"},
    {WatchEndReason::Closed, "closed"},
    {WatchEndReason::Sleep, "sleep"},
};

constexpr const char *AnswerText = "answer";
constexpr const char *NotWatchedText = "not watched";

} // namespace

const char *reasonText(WatchEndReason why) noexcept
{
    for (const ReasonName &name : ReasonNames) {
        if (name.why == why)
            return name.text;
    }
    return nullptr;
}

WatchEndReason reasonFromText(const std::optional<std::string> &text) noexcept
{
    for (const ReasonName &name : ReasonNames) {
        if (text == name.text)
            return name.why;
    }
    return WatchEndReason::Unknown;
}

const char *outageEndText(OutageEnd end) noexcept
{
    switch (end) {
    case OutageEnd::Answer:
        return AnswerText;
    case OutageEnd::NotWatched:
        return NotWatchedText;
    case OutageEnd::None:
        break;
    }
    return nullptr;
}

OutageEnd outageEndFromText(const std::optional<std::string> &text) noexcept
{
    if (text == AnswerText)
        return OutageEnd::Answer;
    if (text == NotWatchedText)
        return OutageEnd::NotWatched;
    return OutageEnd::None;
}

} // namespace store
