#pragma once

#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"

#include <QObject>
#include <QString>

namespace host {
class HostEventSignals;
struct OutageTurn;
} // namespace host

namespace app {

// The host monitor's events turned into the records that leave the window:
// a line per probe shown, the host's going down and coming back, and its
// watch's start and end, each with the host's name. Lives on the GUI thread
// and only emits; the log, the metrics and the commands take it from there.
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

} // namespace app
