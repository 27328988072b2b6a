#include "echowatch/platform/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace platform {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// -1: the service's own default for how long a bubble stays.
constexpr int ServiceDefaultTimeout = -1;

QVariantMap hints(const Notification &notification, const QString &desktopEntry)
{
    // The service reads urgency as a byte; a plain int would be ignored.
    QVariantMap map{
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(notification.urgency))},
        {QStringLiteral("desktop-entry"), desktopEntry}};
    if (!notification.soundName.isEmpty())
        map.insert(QStringLiteral("sound-name"), notification.soundName);
    return map;
}

} // namespace

DesktopNotifications::DesktopNotifications(QString applicationName, QString applicationId,
                                           QObject *parent)
    : QObject(parent), m_applicationName(std::move(applicationName)),
      m_applicationId(std::move(applicationId))
{}

// A service that is installed but not yet running is started by the bus at
// the first call, so being activatable counts as being there.
bool DesktopNotifications::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QDBusConnectionInterface *busInterface = bus.interface();
    if (busInterface->isServiceRegistered(Service))
        return true;
    const QDBusMessage names = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusMessage reply = bus.call(names);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().toStringList().contains(Service);
}

// Asynchronous, so that a slow service never holds up the window's ticks.
void DesktopNotifications::show(const Notification &notification)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    call << m_applicationName << m_shownId << m_applicationId << notification.summary
         << notification.body << QStringList() << hints(notification, m_applicationId)
         << ServiceDefaultTimeout;
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<quint32> reply = *finished;
                if (!reply.isError())
                    m_shownId = reply.value();
                finished->deleteLater();
            });
}

} // namespace platform
