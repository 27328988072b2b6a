#include "echowatch/host/flapping.h"

namespace host {

bool Flapping::down(Milliseconds at)
{
    m_lastTurn = at;
    if (m_flapping) {
        ++m_count;
        return false;
    }
    if (!m_rule.on())
        return false;
    const Milliseconds window = m_rule.window().count();
    m_downs.push_back(at);
    while (m_downs.front() <= at - window)
        m_downs.pop_front();
    if (m_downs.size() <= static_cast<std::size_t>(m_rule.limit))
        return false;
    m_flapping = true;
    m_since = m_downs.front();
    m_count = static_cast<std::uint32_t>(m_downs.size());
    m_downs.clear();
    return true;
}

bool Flapping::settledBy(Milliseconds at) const noexcept
{
    return m_flapping && (!m_rule.on() || at - m_lastTurn >= m_rule.window().count());
}

void Flapping::settle() noexcept
{
    m_flapping = false;
    m_count = 0;
    m_downs.clear();
}

void Flapping::clear() noexcept
{
    settle();
    m_lastTurn = 0;
}

} // namespace host
