#pragma once

#include "echowatch/history/probe_record.h"

#include <QObject>

class Form1;

namespace probe {
struct ProbeEvent;
} // namespace probe

namespace history_view {

// The record of every probe the window shows, kept from the window's
// signal alone. Owned by the window; writes nothing anywhere.
class ProbeHistory : public QObject
{
    Q_OBJECT

public:
    explicit ProbeHistory(Form1 &window);

    const history::ProbeRecord &record() const noexcept { return m_record; }

signals:
    // After each probe is recorded, for the History window while it is open.
    void recorded();

private:
    void recordProbe(const probe::ProbeEvent &event);

    history::ProbeRecord m_record;
};

} // namespace history_view
