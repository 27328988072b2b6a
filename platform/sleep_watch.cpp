#include "echowatch/platform/sleep_watch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace platform {

namespace {

const QString Login = QStringLiteral("org.freedesktop.login1");
const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString LoginManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString ConnectionName = QStringLiteral("echowatch-sleep");

// Lives on the watch's thread: connecting, subscribing and every message
// from the bus happen there.
class SleepListener final : public QObject
{
    Q_OBJECT

public:
    void listen()
    {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SystemBus, ConnectionName);
        // Only logind's own announcement counts: the bus hands on a signal
        // under that name from its owner alone.
        if (!bus.isConnected() ||
            !bus.connect(Login, LoginPath, LoginManager, QStringLiteral("PrepareForSleep"), this,
                         SLOT(prepareForSleep(bool))))
            return;
        // A call answered after the subscription was sent: the bus has
        // taken it in by then.
        bus.interface()->isServiceRegistered(Login);
        emit listening();
    }

    ~SleepListener() override { QDBusConnection::disconnectFromBus(ConnectionName); }

signals:
    void sleeping();
    void awake();
    void listening();

private slots:
    void prepareForSleep(bool start)
    {
        if (start)
            emit sleeping();
        else
            emit awake();
    }
};

} // namespace

SleepWatch::SleepWatch(QObject *parent) : QObject(parent)
{
    auto *listener = new SleepListener;
    listener->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, listener, &SleepListener::listen);
    connect(&m_thread, &QThread::finished, listener, &QObject::deleteLater);
    connect(listener, &SleepListener::sleeping, this, &SleepWatch::sleeping);
    connect(listener, &SleepListener::awake, this, &SleepWatch::awake);
    connect(listener, &SleepListener::listening, this, &SleepWatch::listening);
    m_thread.setObjectName(QStringLiteral("SleepWatch"));
    m_thread.start();
}

SleepWatch::~SleepWatch()
{
    m_thread.quit();
    m_thread.wait();
}

} // namespace platform

#include "sleep_watch.moc"
