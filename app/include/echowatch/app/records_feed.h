#pragma once

#include "echowatch/alerts/host_state.h"

#include "echowatch/records/action_environment.h"
#include "echowatch/records/log_line.h"

#include <QObject>
#include <QString>

#include <cstdint>

class Form1;

namespace alerts {
struct HostNaming;
} // namespace alerts

namespace app {

// What the window shows, turned into the records that leave it: a line per
// probe, and the host's going down and coming back as --down-after decides,
// each with the host's name. Lives on the GUI thread and only emits; the
// log, the metrics and the commands take it from there.
class RecordsFeed : public QObject
{
    Q_OBJECT

public:
    // naming must outlive the window.
    RecordsFeed(Form1 &window, const alerts::HostNaming &naming, int downAfter);

signals:
    void probeLogged(const records::LoggedProbe &probe);
    void hostChanged(const records::ActionFacts &facts);

private:
    void observe(const probe::ProbeEvent &event);

    const alerts::HostNaming &m_naming;
    alerts::HostState m_state;
    std::uint32_t m_destination = 0;
};

} // namespace app
