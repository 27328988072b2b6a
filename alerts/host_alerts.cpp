#include "echowatch/alerts/host_alerts.h"

#include "echowatch/window/form1.h"

#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/probe/status_text.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMenu>

#include <arpa/inet.h>

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

// Whole units, largest first, zeros left out but for a duration under a
// second: "1 h 2 min", "4 min 30 s", "0 s".
QString durationText(history::Milliseconds milliseconds)
{
    using namespace std::chrono;
    const auto total = duration_cast<seconds>(
        std::chrono::milliseconds(std::max<history::Milliseconds>(milliseconds, 0)));
    const auto hoursPart = duration_cast<hours>(total);
    const auto minutesPart = duration_cast<minutes>(total - hoursPart);
    const auto secondsPart = total - hoursPart - minutesPart;
    QStringList parts;
    if (hoursPart.count() > 0)
        parts << tr("%1 h").arg(hoursPart.count());
    if (minutesPart.count() > 0)
        parts << tr("%1 min").arg(minutesPart.count());
    if (secondsPart.count() > 0 || parts.isEmpty())
        parts << tr("%1 s").arg(secondsPart.count());
    return parts.join(QLatin1Char(' '));
}

QString roundTripText(std::int64_t microseconds)
{
    constexpr double MicrosecondsPerMillisecond = 1000.0;
    return QLocale().toString(static_cast<double>(microseconds) / MicrosecondsPerMillisecond, 'f',
                              2);
}

} // namespace

QString dottedAddress(std::uint32_t address)
{
    const in_addr binary{address};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &binary, text, sizeof text);
    return QString::fromLatin1(text);
}

platform::Notification outageNotification(const HostChange &change, const QString &address)
{
    const history::Outage &outage = change.outage;
    if (change.kind == HostChange::Kind::Down) {
        return {tr("%1 is down").arg(address),
                tr("No answer since %1, %2 probes in a row.\n%3")
                    .arg(dateAndTime(outage.start))
                    .arg(outage.probesLost)
                    .arg(QString::fromStdString(StatusText(change.latest.status))),
                platform::NotificationUrgency::Critical};
    }
    return {tr("%1 is back").arg(address),
            tr("Down for %1, %2 probes lost.\nRound trip now %3 ms.")
                .arg(durationText(outage.duration()))
                .arg(outage.probesLost)
                .arg(roundTripText(change.latest.details.roundTripMicroseconds)),
            platform::NotificationUrgency::Normal};
}

HostAlerts::HostAlerts(Form1 &window, platform::Notifications &notifications, int downAfter)
    : QObject(&window), m_notifications(notifications),
      m_action(new QAction(tr("Notify when the host goes down or comes back"), this)),
      m_state(downAfter)
{
    m_action->setCheckable(true);
    window.addContextAction(window::MenuSection::Alerts, m_action);
    connect(&window, &Form1::contextMenuOpening, this, &HostAlerts::offerIfServed);
    connect(m_action, &QAction::toggled, this, [this] {
        m_state.forget();
        m_down.reset();
    });
    connect(&window, &Form1::probeShown, this, &HostAlerts::observe);
}

bool HostAlerts::switchOn()
{
    offerIfServed();
    if (m_action->isEnabled())
        m_action->setChecked(true);
    return m_action->isChecked();
}

// Asked each time the menu opens: the service may come and go with the
// desktop session.
void HostAlerts::offerIfServed()
{
    const bool served = m_notifications.available();
    m_action->setEnabled(served);
    m_action->setToolTip(served ? QString()
                                : tr("No notification service answers on the session bus."));
}

void HostAlerts::observe(const probe::ProbeEvent &event)
{
    if (!m_action->isChecked())
        return;
    // The address is read at every tick; a new one is a new host. A probe
    // that was never sent names none, and its status forgets anyway.
    const std::uint32_t destination = event.details.destination;
    if (destination != 0 && destination != m_destination) {
        m_state.forget();
        m_destination = destination;
    }
    const auto change = m_state.observe(event);
    if (!change)
        return;
    m_down = change->kind == HostChange::Kind::Down ? change : std::nullopt;
    m_notifications.show(outageNotification(*change, dottedAddress(m_destination)));
}

void HostAlerts::tellWhere(const QString &where)
{
    if (!m_action->isChecked() || !m_down)
        return;
    auto notification = outageNotification(*m_down, dottedAddress(m_destination));
    notification.body += QLatin1Char('\n') + tr("Where: %1").arg(where);
    m_notifications.show(notification);
}

} // namespace alerts
