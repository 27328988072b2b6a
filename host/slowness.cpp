#include "echowatch/host/slowness.h"

#include <algorithm>
#include <vector>

namespace host {

namespace {

constexpr Milliseconds MinuteSpan = SlowRule::Span.count();
constexpr Milliseconds UsualSpan = 60 * MinuteSpan;

} // namespace

Slowness::Slowness(SlowRule rule) : m_rule(rule), m_window(MinuteSpan, rule.percentile) {}

void Slowness::setRule(SlowRule rule)
{
    m_rule = rule;
    m_window.setPercentile(rule.percentile);
}

void Slowness::clear()
{
    m_window.clear();
    m_slow = false;
    m_otherSideSince.reset();
    m_usual.reset();
    m_minuteMedians.clear();
    m_nextMinute.reset();
}

Slowness::Turn Slowness::take(Milliseconds at, std::optional<std::int64_t> roundTripMicroseconds)
{
    if (roundTripMicroseconds)
        m_window.add(at, *roundTripMicroseconds);
    else
        m_window.passTo(at);
    noteMinute(at);
    const std::optional<std::int64_t> percentile = m_window.percentile();
    if (!percentile) {
        m_otherSideSince.reset();
        return Turn::None;
    }
    const bool over = *percentile > std::int64_t{m_rule.overMilliseconds} * 1000;
    if (over == m_slow) {
        m_otherSideSince.reset();
        return Turn::None;
    }
    if (!m_otherSideSince)
        m_otherSideSince = at;
    if (at - *m_otherSideSince < MinuteSpan)
        return Turn::None;
    m_slow = over;
    m_since = *m_otherSideSince;
    m_otherSideSince.reset();
    if (m_slow)
        m_usual = usualBefore(m_since);
    return m_slow ? Turn::Slow : Turn::Normal;
}

// Each minute's median is taken as the minute ends, of the minute's answers.
void Slowness::noteMinute(Milliseconds at)
{
    if (!m_nextMinute)
        m_nextMinute = at + MinuteSpan;
    if (at < *m_nextMinute)
        return;
    if (const auto median = m_window.median())
        m_minuteMedians.emplace_back(at, *median);
    m_nextMinute = at + MinuteSpan;
    while (!m_minuteMedians.empty() && m_minuteMedians.front().first <= at - UsualSpan - MinuteSpan)
        m_minuteMedians.pop_front();
}

// The minutes that ended before the round trips went over, within the hour
// before: the slow minutes themselves never make what is usual.
std::optional<std::int64_t> Slowness::usualBefore(Milliseconds at) const
{
    std::vector<std::int64_t> medians;
    for (const auto &[end, median] : m_minuteMedians) {
        if (end <= at && end > at - UsualSpan)
            medians.push_back(median);
    }
    if (medians.empty())
        return std::nullopt;
    const auto middle = medians.begin() + static_cast<std::ptrdiff_t>((medians.size() - 1) / 2);
    std::nth_element(medians.begin(), middle, medians.end());
    return *middle;
}

RoundTripFigures Slowness::figures() const
{
    return {m_rule.percentile, m_window.percentile().value_or(0), m_window.answers(),
            m_rule.overMilliseconds, m_usual};
}

} // namespace host
