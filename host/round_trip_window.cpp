#include "echowatch/host/round_trip_window.h"

#include <algorithm>
#include <vector>

namespace host {

RoundTripWindow::RoundTripWindow(history::Milliseconds span, int percentile)
    : m_span(span), m_percentile(std::clamp(percentile, 1, 100))
{}

void RoundTripWindow::setPercentile(int percentile)
{
    m_percentile = std::clamp(percentile, 1, 100);
    rebalance();
}

// Nearest rank: the p-th percentile of n answers is the ceil(p n / 100)-th
// shortest.
std::size_t RoundTripWindow::rankFor(std::size_t count) const noexcept
{
    return (static_cast<std::size_t>(m_percentile) * count + 99) / 100;
}

void RoundTripWindow::add(history::Milliseconds sentAt, std::int64_t microseconds)
{
    passTo(sentAt);
    m_answers.emplace_back(sentAt, microseconds);
    if (!m_low.empty() && microseconds <= *m_low.rbegin())
        m_low.insert(microseconds);
    else
        m_high.insert(microseconds);
    rebalance();
}

void RoundTripWindow::passTo(history::Milliseconds now)
{
    while (!m_answers.empty() && m_answers.front().first <= now - m_span) {
        remove(m_answers.front().second);
        m_answers.pop_front();
    }
}

// Every round trip in the lower half is at most every one in the upper: one
// no longer than the lower half's longest is in it.
void RoundTripWindow::remove(std::int64_t microseconds)
{
    if (!m_low.empty() && microseconds <= *m_low.rbegin())
        m_low.erase(m_low.find(microseconds));
    else
        m_high.erase(m_high.find(microseconds));
    rebalance();
}

void RoundTripWindow::rebalance()
{
    const std::size_t rank = rankFor(m_low.size() + m_high.size());
    while (m_low.size() > rank) {
        const auto longest = std::prev(m_low.end());
        m_high.insert(*longest);
        m_low.erase(longest);
    }
    while (m_low.size() < rank && !m_high.empty()) {
        m_low.insert(*m_high.begin());
        m_high.erase(m_high.begin());
    }
}

void RoundTripWindow::clear() noexcept
{
    m_answers.clear();
    m_low.clear();
    m_high.clear();
}

std::optional<std::int64_t> RoundTripWindow::percentile() const
{
    if (m_low.empty())
        return std::nullopt;
    return *m_low.rbegin();
}

// Once a minute at most: a copy and a partial sort of the minute's answers.
std::optional<std::int64_t> RoundTripWindow::median() const
{
    if (m_answers.empty())
        return std::nullopt;
    std::vector<std::int64_t> values;
    values.reserve(m_answers.size());
    for (const auto &answer : m_answers)
        values.push_back(answer.second);
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace host
