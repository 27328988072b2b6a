#include "echowatch/alerts/host_alerts.h"

#include "echowatch/alerts/turn_notifications.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/window/form1.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/platform/translation.h"
#include "echowatch/probe/status_text.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <cstdio>

namespace alerts {

namespace {

constexpr platform::Translation tr{"HostAlerts"};

QString dateAndTime(history::Milliseconds when)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(when), QLocale::ShortFormat);
}

QString roundTripText(std::int64_t microseconds)
{
    constexpr double MicrosecondsPerMillisecond = 1000.0;
    return QLocale().toString(static_cast<double>(microseconds) / MicrosecondsPerMillisecond, 'f',
                              2);
}

// Names from the freedesktop.org sound naming list.
const QString ConnectionLostSound = QStringLiteral("network-connectivity-lost");
const QString ConnectionBackSound = QStringLiteral("network-connectivity-established");

} // namespace

// Down by loss, the host answered in between: how many of how many failed.
platform::Notification downNotification(const host::HostDown &down, AlertSound sound,
                                        const QString &where)
{
    const history::Outage &outage = down.figures;
    const QString status = QString::fromStdString(StatusText(down.latest.status));
    QString body = down.by == host::DownBy::Loss
                       ? tr("%1 of the last %2 probes failed, the first at %3.\n%4")
                             .arg(down.loss.failed)
                             .arg(down.loss.window)
                             .arg(dateAndTime(outage.start))
                             .arg(status)
                       : tr("No answer since %1, %2 probes in a row.\n%3")
                             .arg(dateAndTime(outage.start))
                             .arg(outage.probesLost)
                             .arg(status);
    if (!where.isEmpty())
        body += QLatin1Char('\n') + tr("Where: %1").arg(where);
    return {tr("%1 is down").arg(QString::fromStdString(down.host.label)), body,
            platform::NotificationUrgency::Critical,
            sound == AlertSound::Played ? ConnectionLostSound : QString()};
}

platform::Notification upNotification(const host::HostUp &up, AlertSound sound)
{
    const history::Outage &outage = up.figures;
    return {tr("%1 is back").arg(QString::fromStdString(up.host.label)),
            tr("Down for %1, %2 probes lost.\nRound trip now %3 ms.")
                .arg(QString::fromStdString(history::durationText(outage.duration())))
                .arg(outage.probesLost)
                .arg(roundTripText(up.latest.details.roundTripMicroseconds)),
            platform::NotificationUrgency::Normal,
            sound == AlertSound::Played ? ConnectionBackSound : QString()};
}

HostAlerts::HostAlerts(Form1 &window, const host::HostEventSignals &events,
                       platform::Notifications &notifications)
    : QObject(&window), m_notifications(notifications),
      m_action(new QAction(tr("Notify when the host goes down or comes back"), this)),
      m_soundAction(new QAction(tr("Play a sound with the notifications"), this))
{
    m_action->setCheckable(true);
    window.addContextAction(window::MenuSection::Alerts, m_action);
    m_soundAction->setCheckable(true);
    window.addContextAction(window::MenuSection::Alerts, m_soundAction);
    // A sound comes with a bubble: asking for it asks for the bubbles too.
    connect(m_soundAction, &QAction::toggled, this, [this](bool on) {
        if (on && !switchOn())
            m_soundAction->setChecked(false);
    });
    connect(&window, &Form1::contextMenuOpening, this, &HostAlerts::offerIfServed);
    connect(&m_notifications, &platform::Notifications::serviceChanged, this,
            &HostAlerts::serviceLearnt);
    offerIfServed();
    connect(m_action, &QAction::toggled, this, [this] { m_down.reset(); });
    connect(&events, &host::HostEventSignals::down, this, &HostAlerts::tellDown);
    connect(&events, &host::HostEventSignals::up, this, &HostAlerts::tellUp);
    connect(&events, &host::HostEventSignals::ended, this, &HostAlerts::forget);
    connect(&events, &host::HostEventSignals::filed, this, &HostAlerts::tellWhere);
    connect(&events, &host::HostEventSignals::flapping, this, &HostAlerts::tellFlapping);
    connect(&events, &host::HostEventSignals::settled, this, &HostAlerts::tellSettled);
    connect(&events, &host::HostEventSignals::slow, this, [this](const host::SlowStarted &slow) {
        if (m_action->isChecked())
            m_notifications.show(slowNotification(slow));
    });
    connect(&events, &host::HostEventSignals::normal, this, [this](const host::SlowEnded &normal) {
        if (m_action->isChecked() && normal.why == host::SlowEnd::Normal)
            m_notifications.show(normalNotification(normal));
    });
}

// Before the bus has answered, the alerts are switched on once it has, and
// a service it says is not there is told then.
bool HostAlerts::switchOn()
{
    offerIfServed();
    if (m_notifications.service() == platform::Notifications::Service::Unknown) {
        m_switchOnWhenLearnt = true;
        return true;
    }
    if (m_action->isEnabled())
        m_action->setChecked(true);
    return m_action->isChecked();
}

// Read each time the menu opens, from what the bus said last: the service
// comes and goes with the desktop session, and the menu never waits for it.
void HostAlerts::offerIfServed()
{
    const auto service = m_notifications.service();
    const bool served = service == platform::Notifications::Service::Served;
    m_action->setEnabled(served);
    m_soundAction->setEnabled(served);
    m_action->setToolTip(served ? QString()
                         : service == platform::Notifications::Service::Unknown
                             ? tr("Asking the session bus for a notification service.")
                             : tr("No notification service answers on the session bus."));
}

void HostAlerts::serviceLearnt()
{
    offerIfServed();
    if (!m_switchOnWhenLearnt ||
        m_notifications.service() == platform::Notifications::Service::Unknown)
        return;
    m_switchOnWhenLearnt = false;
    if (m_action->isEnabled()) {
        m_action->setChecked(true);
        return;
    }
    m_soundAction->setChecked(false);
    const QString line =
        QCoreApplication::applicationName() +
        tr(": warning: --notify: no notification service answers on the session bus; the "
           "window runs without notifications") +
        QLatin1Char('\n');
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

// A flapping host's downs and ups are told once, by its flapping.
void HostAlerts::tellDown(const host::HostDown &down)
{
    if (!m_action->isChecked() || down.flapping)
        return;
    m_down = down;
    m_notifications.show(downNotification(down, sound()));
}

// Only an outage that was told down is told back up.
void HostAlerts::tellUp(const host::HostUp &up)
{
    if (!m_down || m_down->outage != up.outage)
        return;
    m_down.reset();
    m_notifications.show(upNotification(up, sound()));
}

// An outage that ended with its watch was never seen back: nothing to tell.
void HostAlerts::forget(const host::WatchEnded &ended)
{
    if (m_down && ended.outage == m_down->outage)
        m_down.reset();
}

// The down bubble, while its outage lasts, is shown again telling where.
void HostAlerts::tellWhere(const host::VerdictFiled &filed)
{
    if (!m_down || m_down->outage != filed.outage || !host::tellsWhere(filed.verdict))
        return;
    m_notifications.show(
        downNotification(*m_down, sound(), QString::fromStdString(filed.verdict.text)));
}

void HostAlerts::tellFlapping(const host::FlappingStarted &flapping)
{
    if (!m_action->isChecked())
        return;
    m_down.reset();
    m_notifications.show(flappingNotification(
        flapping, sound() == AlertSound::Played ? ConnectionLostSound : QString()));
}

// Settled down, its outage's end is told as any outage's.
void HostAlerts::tellSettled(const host::FlappingSettled &settled)
{
    if (!m_action->isChecked())
        return;
    if (settled.down)
        m_down = host::HostDown{settled, host::DownBy::InARow, {}};
    const QString &soundName = settled.down ? ConnectionLostSound : ConnectionBackSound;
    m_notifications.show(
        settledNotification(settled, sound() == AlertSound::Played ? soundName : QString()));
}

AlertSound HostAlerts::sound() const
{
    return m_soundAction->isChecked() ? AlertSound::Played : AlertSound::Silent;
}

} // namespace alerts
