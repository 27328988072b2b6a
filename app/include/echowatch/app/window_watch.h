#pragma once

#include "echowatch/host/address_watch.h"
#include "echowatch/host/host_event_signals.h"

#include <QObject>

class Form1;

namespace platform {
class Clock;
} // namespace platform

namespace app {

// The one reader of the window's probes: each probe shown, the button's
// Start and Stop, the window's closing and the machine's sleep go to the
// host monitor, whose events are what every feature listens to. Owned by
// the window.
class WindowWatch : public QObject
{
    Q_OBJECT

public:
    // clock must outlive the window; naming is asked once per address, at
    // its first probe.
    WindowWatch(Form1 &window, const platform::Clock &clock, host::AlertRules rules,
                host::AddressWatch::Naming naming);

    const host::HostEventSignals &events() const noexcept { return m_events; }
    // A trace's answer for an outage, whichever host's it is.
    void fileVerdict(host::OutageId outage, const host::Verdict &verdict);
    // What calls a host down, slow and flapping, from the next probe on.
    void setRules(const host::AlertRules &rules) { m_watch.setRules(rules); }
    const host::AlertRules &rules() const noexcept { return m_watch.rules(); }

    // The machine goes to sleep, and wakes: a watch ends with the sleep,
    // and a new one starts at the wake-up if the probes are still on.
    void sleep();
    void wake();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void switchProbes(bool on);
    host::Milliseconds now() const;

    const platform::Clock &m_clock;
    host::HostEventSignals m_events;
    host::IdSource m_ids;
    host::AddressWatch m_watch;
    bool m_probesOn = false;
    bool m_asleep = false;
};

} // namespace app
