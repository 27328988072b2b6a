#pragma once

#include "echowatch/host/host_events.h"
#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"

#include <QObject>
#include <QString>

namespace host {
class HostEventSignals;
} // namespace host

namespace app {

// The host monitor's events turned into the records that leave the window:
// a line per probe shown, the host's going down and coming back, becoming
// slow and ending a slow period, and its watch's start and end, each with
// the host's name. Lives on the GUI thread and only emits; the log, the
// metrics and the commands take it from there.
class RecordsFeed : public QObject
{
    Q_OBJECT

public:
    // events must outlive the feed.
    RecordsFeed(const host::HostEventSignals &events, QObject *parent);

signals:
    void probeLogged(const records::LoggedProbe &probe);
    void hostChanged(const records::ActionFacts &facts);
    // Somebody watches the host from now on, or nobody does any more.
    void watchChanged(const QString &host, bool watched);
    // An outage of the host got its one verdict, of that class (empty where
    // none was found).
    void outageClassed(const QString &host, const QString &side);
};

// What a command is told of an outage's turn.
records::ActionFacts actionFacts(records::ActionFacts::Change change, const host::OutageTurn &turn);
// Of a down: also the loss that called it.
records::ActionFacts downFacts(const host::HostDown &down);
// Of a slow period's start or end.
records::ActionFacts slowFacts(records::ActionFacts::Change change, const host::HostIdentity &host,
                               host::Milliseconds since, const host::RoundTripFigures &figures);

} // namespace app
