#pragma once

#include "echowatch/host/host_events.h"
#include "echowatch/records/action_environment.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <map>

namespace alerts {
class HostActions;
} // namespace alerts
namespace host {
class HostEventSignals;
} // namespace host

namespace app {

// The commands on down, up, slow and normal, told by the host monitor's
// events. Where the path is traced at the down, the down command waits for
// its outage's verdict, VerdictWait at most or until the trace fails, so
// that ECHOWATCH_PATH reaches it; otherwise it runs at once. An up command
// runs only for an outage the host came back from, never for one that
// ended with its watch; a normal command only for a slow period the host
// ended itself. A flapping host gets one down command (ECHOWATCH_FLAPPING
// 1) when it starts to flap, none for its downs and ups after, and one as
// it settles: up, or down.
class CommandFeed : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds VerdictWait{2000};

    // tracing tells, at a down, whether its path is being traced; events
    // and actions must outlive the feed.
    CommandFeed(const host::HostEventSignals &events, alerts::HostActions &actions,
                std::function<bool()> tracing, QObject *parent);

private:
    void down(const host::HostDown &down);
    void queueDown(const records::ActionFacts &facts, host::OutageId outage);
    void up(const host::HostUp &up);
    void settled(const host::FlappingSettled &settled);
    void verdict(const host::VerdictFiled &filed);
    void runDown(host::OutageId outage);

    alerts::HostActions &m_actions;
    std::function<bool()> m_tracing;
    // Down commands waiting for their outage's verdict.
    std::map<host::OutageId, records::ActionFacts> m_waiting;
};

} // namespace app
