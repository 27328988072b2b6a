#include "echowatch/platform/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QVariantMap>

#include <utility>

namespace platform {

namespace {

const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");
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
    : Notifications(parent), m_applicationName(std::move(applicationName)),
      m_applicationId(std::move(applicationId))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_service = Service::Absent;
        return;
    }
    auto *owners = new QDBusServiceWatcher(ServiceName, bus, QDBusServiceWatcher::WatchForOwnerChange,
                                           this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &DesktopNotifications::askForService);
    askForService();
}

// Asked of the bus, which answers for the service: a service that does not
// answer holds nothing up, and neither does a bus that does not.
void DesktopNotifications::askForService()
{
    const unsigned int question = ++m_question;
    QDBusMessage owned = QDBusMessage::createMethodCall(BusService, BusPath, BusService,
                                                       QStringLiteral("NameHasOwner"));
    owned << ServiceName;
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(owned), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher *answer) {
                const QDBusPendingReply<bool> reply = *answer;
                answer->deleteLater();
                if (!reply.isError() && reply.value())
                    learn(question, Service::Served);
                else
                    askForActivation(question);
            });
}

// A service that is installed but not yet running is started by the bus at
// the first call, so being activatable counts as being there.
void DesktopNotifications::askForActivation(unsigned int question)
{
    const QDBusMessage names = QDBusMessage::createMethodCall(
        BusService, BusPath, BusService, QStringLiteral("ListActivatableNames"));
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(names), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher *answer) {
                const QDBusPendingReply<QStringList> reply = *answer;
                answer->deleteLater();
                learn(question, !reply.isError() && reply.value().contains(ServiceName)
                                    ? Service::Served
                                    : Service::Absent);
            });
}

void DesktopNotifications::learn(unsigned int question, Service service)
{
    if (question != m_question || service == m_service)
        return;
    m_service = service;
    emit serviceChanged();
}

// Asynchronous, so that a slow service never holds up the window's ticks.
void DesktopNotifications::show(const Notification &notification)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, Path, Interface, QStringLiteral("Notify"));
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
