#include "echowatch/app/command_feed.h"

#include "echowatch/alerts/host_actions.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/host/host_event_signals.h"

#include <QTimer>

namespace app {

CommandFeed::CommandFeed(const host::HostEventSignals &events, alerts::HostActions &actions,
                         std::function<bool()> tracing, QObject *parent)
    : QObject(parent), m_actions(actions), m_tracing(std::move(tracing))
{
    connect(&events, &host::HostEventSignals::down, this, &CommandFeed::down);
    connect(&events, &host::HostEventSignals::up, this, &CommandFeed::up);
    connect(&events, &host::HostEventSignals::filed, this, &CommandFeed::verdict);
}

void CommandFeed::down(const host::HostDown &down)
{
    m_waiting[down.outage] = actionFacts(records::ActionFacts::Change::Down, down);
    if (!m_tracing || !m_tracing()) {
        runDown(down.outage);
        return;
    }
    QTimer::singleShot(VerdictWait, this, [this, outage = down.outage] { runDown(outage); });
}

// A trace that could not run files its outage's answer too, without a path.
void CommandFeed::verdict(const host::VerdictFiled &filed)
{
    const auto waiting = m_waiting.find(filed.outage);
    if (waiting == m_waiting.end())
        return;
    if (filed.verdict.side != host::Side::Unknown)
        waiting->second.where = std::string(host::sideName(filed.verdict.side));
    if (host::tellsWhere(filed.verdict))
        waiting->second.pathVerdict = filed.verdict.text;
    runDown(filed.outage);
}

// Down before up, even when the host is back before the verdict.
void CommandFeed::up(const host::HostUp &up)
{
    runDown(up.outage);
    m_actions.run(actionFacts(records::ActionFacts::Change::Up, up));
}

void CommandFeed::runDown(host::OutageId outage)
{
    const auto waiting = m_waiting.find(outage);
    if (waiting == m_waiting.end())
        return;
    const records::ActionFacts facts = std::move(waiting->second);
    m_waiting.erase(waiting);
    m_actions.run(facts);
}

} // namespace app
