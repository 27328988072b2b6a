#include "echowatch/platform/desktop_network.h"

#include <QCoreApplication>
#include <QNetworkInformation>

namespace platform {

namespace {

const QString NetworkManagerBackend = QStringLiteral("networkmanager");

bool offline(QNetworkInformation::Reachability reachability)
{
    return reachability == QNetworkInformation::Reachability::Disconnected;
}

// Lives on the desktop network's thread: the backend is loaded there, and
// tells its changes there.
class NetworkListener final : public QObject
{
    Q_OBJECT

public:
    void listen()
    {
        if (!QNetworkInformation::loadBackendByName(NetworkManagerBackend)) {
            emit loaded(false);
            return;
        }
        QNetworkInformation *information = QNetworkInformation::instance();
        connect(information, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability now) { emit reached(offline(now)); });
        emit reached(offline(information->reachability()));
        emit loaded(true);
    }

    // Called on this thread as it ends: the backend outlives it (Qt keeps
    // one for the process) and goes to the application's thread, which
    // lasts until Qt deletes it.
    void handOver()
    {
        if (QNetworkInformation *information = QNetworkInformation::instance();
            information != nullptr && information->thread() == QThread::currentThread())
            information->moveToThread(QCoreApplication::instance()->thread());
    }

signals:
    void reached(bool offline);
    void loaded(bool available);
};

} // namespace

DesktopNetwork::DesktopNetwork(QObject *parent) : QObject(parent)
{
    auto *listener = new NetworkListener;
    listener->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, listener, &NetworkListener::listen);
    connect(&m_thread, &QThread::finished, listener, &NetworkListener::handOver,
            Qt::DirectConnection);
    connect(&m_thread, &QThread::finished, listener, &QObject::deleteLater);
    connect(listener, &NetworkListener::reached, this, &DesktopNetwork::hear);
    connect(listener, &NetworkListener::loaded, this, &DesktopNetwork::heard);
    m_thread.setObjectName(QStringLiteral("DesktopNetwork"));
    m_thread.start();
}

DesktopNetwork::~DesktopNetwork()
{
    m_thread.quit();
    m_thread.wait();
}

void DesktopNetwork::hear(bool offline)
{
    if (offline == m_offline)
        return;
    m_offline = offline;
    emit changed(offline);
}

} // namespace platform

#include "desktop_network.moc"
