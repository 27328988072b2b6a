#include "echowatch/app/window_watch.h"

#include "echowatch/platform/clock.h"
#include "echowatch/window/form1.h"

#include <QEvent>

namespace app {

WindowWatch::WindowWatch(Form1 &window, const platform::Clock &clock, host::AlertRules rules,
                         host::AddressWatch::Naming naming)
    : QObject(&window), m_clock(clock), m_watch(rules, std::move(naming), m_ids, m_events)
{
    setObjectName(QStringLiteral("WindowWatch"));
    connect(&window, &Form1::probeShown, this,
            [this](const probe::ProbeEvent &probe) { m_watch.take(probe); });
    connect(&window, &Form1::monitoringChanged, this, &WindowWatch::switchProbes);
    window.installEventFilter(this);
}

host::Milliseconds WindowWatch::now() const
{
    return host::millisecondsOf(m_clock.now());
}

void WindowWatch::fileVerdict(host::OutageId outage, const host::Verdict &verdict)
{
    m_watch.fileVerdict(outage, verdict);
}

void WindowWatch::switchProbes(bool on)
{
    m_probesOn = on;
    if (!on)
        m_watch.stop(now(), host::WatchEnd::Stopped);
    else if (!m_asleep)
        m_watch.start(now());
}

void WindowWatch::sleep()
{
    if (m_asleep)
        return;
    m_asleep = true;
    if (m_probesOn)
        m_watch.stop(now(), host::WatchEnd::Sleep);
}

void WindowWatch::wake()
{
    if (!m_asleep)
        return;
    m_asleep = false;
    if (m_probesOn)
        m_watch.start(now());
}

// The window's closing ends the program: whatever it watched is no longer.
bool WindowWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && m_probesOn) {
        m_probesOn = false;
        m_watch.stop(now(), host::WatchEnd::Closed);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace app
