#pragma once

#include "echowatch/monitor/outage_tracker.h"

#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"

#include <QObject>
#include <QString>

class Form1;
struct HostNaming;

// What the window shows, turned into the records that leave it: a line per
// probe, and the host's going down and coming back as --down-after decides,
// each with the host's name. Lives on the GUI thread and only emits; the
// log, the metrics and the commands take it from there.
class RecordsFeed : public QObject
{
    Q_OBJECT

public:
    // naming must outlive the window.
    RecordsFeed(Form1 &window, const HostNaming &naming, int downAfter);

signals:
    void probeLogged(const records::LoggedProbe &probe);
    void hostChanged(const records::ActionFacts &facts);

private:
    void observe(const probe::ProbeEvent &event);

    Form1 &m_window;
    const HostNaming &m_naming;
    OutageTracker m_tracker;
    QString m_address;
};
