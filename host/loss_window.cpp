#include "echowatch/host/loss_window.h"

namespace host {

void LossWindow::resize(std::size_t size)
{
    m_size = size;
    while (m_outcomes.size() > m_size)
        dropOldest();
}

void LossWindow::add(history::Milliseconds sentAt, EchoStatus status)
{
    if (m_size == 0)
        return;
    if (m_outcomes.size() == m_size)
        dropOldest();
    m_outcomes.push_back({sentAt, status});
    if (status != 0)
        ++m_failures;
}

void LossWindow::dropOldest()
{
    if (m_outcomes.front().status != 0)
        --m_failures;
    m_outcomes.pop_front();
}

void LossWindow::clear() noexcept
{
    m_outcomes.clear();
    m_failures = 0;
}

// In whole numbers: 20% of 50 is reached by 10 failures, not by 9.
bool LossWindow::reaches(int percent) const noexcept
{
    return m_size > 0 && m_failures * 100 >= static_cast<std::size_t>(percent) * m_size;
}

bool LossWindow::atMost(int percent) const noexcept
{
    return m_failures * 100 <= static_cast<std::size_t>(percent) * m_size;
}

history::Outage LossWindow::failureFigures() const
{
    history::Outage figures;
    for (const Outcome &outcome : m_outcomes) {
        if (outcome.status == 0)
            continue;
        if (figures.probesLost == 0)
            figures.start = outcome.sentAt;
        figures.addFailure(outcome.sentAt, outcome.status);
    }
    return figures;
}

} // namespace host
