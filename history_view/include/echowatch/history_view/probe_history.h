#pragma once

#include "echowatch/history/host_records.h"

#include <QObject>

class Form1;

namespace probe {
struct ProbeEvent;
} // namespace probe

namespace history_view {

// The record of every probe the window shows, one series per host, kept
// from the window's signal alone. Owned by the window; writes nothing
// anywhere.
class ProbeHistory : public QObject
{
    Q_OBJECT

public:
    explicit ProbeHistory(Form1 &window);

    const history::HostRecords &hosts() const noexcept { return m_hosts; }

signals:
    // After each probe is recorded, for the History window while it is open.
    void recorded();

private:
    void recordProbe(const probe::ProbeEvent &event);

    history::HostRecords m_hosts;
};

} // namespace history_view
