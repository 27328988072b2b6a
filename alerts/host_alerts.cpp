#include "echowatch/alerts/host_alerts.h"

#include "echowatch/alerts/host_naming.h"

#include "echowatch/window/form1.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/probe/status_text.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMenu>

#include <arpa/inet.h>

#include <cstdio>

namespace alerts {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HostAlerts", text);
}

QString dateAndTime(std::chrono::system_clock::time_point when)
{
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(since.count()), QLocale::ShortFormat);
}

QString dateAndTime(history::Milliseconds when)
{
    return dateAndTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(when)));
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

QString dottedAddress(std::uint32_t address)
{
    const in_addr binary{address};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &binary, text, sizeof text);
    return QString::fromLatin1(text);
}

platform::Notification outageNotification(const HostChange &change, const QString &address,
                                          AlertSound sound)
{
    const bool played = sound == AlertSound::Played;
    const history::Outage &outage = change.outage;
    if (change.kind == HostChange::Kind::Down) {
        return {tr("%1 is down").arg(address),
                tr("No answer since %1, %2 probes in a row.\n%3")
                    .arg(dateAndTime(outage.start))
                    .arg(outage.probesLost)
                    .arg(QString::fromStdString(StatusText(change.latest.status))),
                platform::NotificationUrgency::Critical, played ? ConnectionLostSound : QString()};
    }
    return {tr("%1 is back").arg(address),
            tr("Down for %1, %2 probes lost.\nRound trip now %3 ms.")
                .arg(QString::fromStdString(history::durationText(outage.duration())))
                .arg(outage.probesLost)
                .arg(roundTripText(change.latest.details.roundTripMicroseconds)),
            platform::NotificationUrgency::Normal, played ? ConnectionBackSound : QString()};
}

HostAlerts::HostAlerts(Form1 &window, platform::Notifications &notifications, int downAfter)
    : QObject(&window), m_notifications(notifications),
      m_action(new QAction(tr("Notify when the host goes down or comes back"), this)),
      m_soundAction(new QAction(tr("Play a sound with the notifications"), this)),
      m_downAfter(downAfter)
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
    connect(m_action, &QAction::toggled, this, [this] {
        m_hosts.clear();
        m_down.reset();
    });
    connect(&window, &Form1::probeShown, this, &HostAlerts::observe);
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

void HostAlerts::observe(const probe::ProbeEvent &event)
{
    if (!m_action->isChecked())
        return;
    // Each host is watched on its own. A probe that was never sent names
    // none; it belongs to the host probed last, which its status makes
    // forget what it saw.
    if (event.details.destination != 0)
        m_latest = event.details.destination;
    auto host = m_hosts.find(m_latest);
    if (host == m_hosts.end())
        host = m_hosts.emplace(m_latest, HostState(m_downAfter)).first;
    const auto change = host->second.observe(event);
    if (!change)
        return;
    m_down = change->kind == HostChange::Kind::Down ? change : std::nullopt;
    m_downHost = m_latest;
    m_notifications.show(notificationOf(*change, m_latest));
}

platform::Notification HostAlerts::notificationOf(const HostChange &change,
                                                  std::uint32_t host) const
{
    const QString address = dottedAddress(host);
    return outageNotification(change, m_naming ? m_naming->label(address) : address,
                              m_soundAction->isChecked() ? AlertSound::Played : AlertSound::Silent);
}

void HostAlerts::tellWhere(const QString &where)
{
    if (!m_action->isChecked() || !m_down)
        return;
    auto notification = notificationOf(*m_down, m_downHost);
    notification.body += QLatin1Char('\n') + tr("Where: %1").arg(where);
    m_notifications.show(notification);
}

} // namespace alerts
