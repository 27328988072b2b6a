#include "echowatch/history/watched_time.h"

#include <algorithm>

namespace history {

void WatchedTime::start(Milliseconds at)
{
    if (!m_since)
        m_since = at;
}

void WatchedTime::end(Milliseconds at)
{
    if (!m_since)
        return;
    add(*m_since, std::max(at, *m_since));
    m_since.reset();
}

void WatchedTime::add(Milliseconds from, std::optional<Milliseconds> to)
{
    if (!to) {
        m_since = m_since ? std::min(*m_since, from) : from;
        return;
    }
    const auto after = std::find_if(m_ended.begin(), m_ended.end(),
                                    [from](const TimeSpan &watch) { return watch.from > from; });
    TimeSpan merged{from, *to};
    auto first = after;
    while (first != m_ended.begin() && std::prev(first)->to >= merged.from)
        --first;
    auto last = after;
    while (last != m_ended.end() && last->from <= merged.to)
        ++last;
    for (auto overlapping = first; overlapping != last; ++overlapping) {
        merged.from = std::min(merged.from, overlapping->from);
        merged.to = std::max(merged.to, overlapping->to);
    }
    m_ended.insert(m_ended.erase(first, last), merged);
}

std::vector<TimeSpan> WatchedTime::watches(Milliseconds now) const
{
    std::vector<TimeSpan> all = m_ended;
    if (m_since) {
        if (!all.empty() && all.back().to >= *m_since)
            all.back().to = std::max(all.back().to, now);
        else
            all.push_back({*m_since, std::max(now, *m_since)});
    }
    return all;
}

Milliseconds WatchedTime::within(TimeSpan span, Milliseconds now) const noexcept
{
    Milliseconds watched = 0;
    for (const TimeSpan &watch : watches(now))
        watched += std::max<Milliseconds>(
            std::min(watch.to, span.to) - std::max(watch.from, span.from), 0);
    return watched;
}

std::vector<TimeSpan> WatchedTime::gapsIn(TimeSpan span, Milliseconds now) const
{
    std::vector<TimeSpan> gaps;
    Milliseconds from = span.from;
    for (const TimeSpan &watch : watches(now)) {
        if (watch.from > from && from < span.to)
            gaps.push_back({from, std::min(watch.from, span.to)});
        from = std::max(from, watch.to);
    }
    if (from < span.to)
        gaps.push_back({from, span.to});
    return gaps;
}

} // namespace history
