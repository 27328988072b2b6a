#include "echowatch/app/command_feed.h"

#include "echowatch/alerts/host_actions.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/host/host_event_signals.h"

#include <QTimer>

namespace app {

namespace {

using Change = records::ActionFacts::Change;

} // namespace

CommandFeed::CommandFeed(const host::HostEventSignals &events, alerts::HostActions &actions,
                         std::function<bool()> tracing, QObject *parent)
    : QObject(parent), m_actions(actions), m_tracing(std::move(tracing))
{
    connect(&events, &host::HostEventSignals::down, this, &CommandFeed::down);
    connect(&events, &host::HostEventSignals::up, this, &CommandFeed::up);
    connect(&events, &host::HostEventSignals::filed, this, &CommandFeed::verdict);
    connect(&events, &host::HostEventSignals::flapping, this,
            [this](const host::FlappingStarted &flapping) {
                records::ActionFacts facts = actionFacts(Change::Down, flapping);
                facts.flapping = true;
                queueDown(facts, flapping.outage);
            });
    connect(&events, &host::HostEventSignals::settled, this, &CommandFeed::settled);
    connect(&events, &host::HostEventSignals::slow, this, [this](const host::SlowStarted &slow) {
        m_actions.run(slowFacts(Change::Slow, slow.host, slow.since, slow.figures));
    });
    connect(&events, &host::HostEventSignals::normal, this, [this](const host::SlowEnded &normal) {
        if (normal.why == host::SlowEnd::Normal)
            m_actions.run(slowFacts(Change::Normal, normal.host, normal.since, normal.figures));
    });
}

void CommandFeed::down(const host::HostDown &down)
{
    if (!down.flapping)
        queueDown(downFacts(down), down.outage);
}

void CommandFeed::queueDown(const records::ActionFacts &facts, host::OutageId outage)
{
    m_waiting[outage] = facts;
    if (!m_tracing || !m_tracing()) {
        runDown(outage);
        return;
    }
    QTimer::singleShot(VerdictWait, this, [this, outage] { runDown(outage); });
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
    if (!up.flapping)
        m_actions.run(actionFacts(Change::Up, up));
}

// Settled down, its outage's up runs the up command as any outage's does.
void CommandFeed::settled(const host::FlappingSettled &settled)
{
    runDown(settled.outage);
    m_actions.run(actionFacts(settled.down ? Change::Down : Change::Up, settled));
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
