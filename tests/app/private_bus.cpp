#include "private_bus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>

namespace {

const QString Logind = QStringLiteral("private-bus-logind");
const QString Anyone = QStringLiteral("private-bus-anyone");

// Anyone may own any name and talk to anyone: the test plays every part.
const char *const Configuration = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateBus::PrivateBus()
    : m_previousAddress(qgetenv("DBUS_SYSTEM_BUS_ADDRESS")),
      m_hadAddress(qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS"))
{
    if (!startDaemon())
        return;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    QDBusConnection logind = QDBusConnection::connectToBus(m_address, Logind);
    QDBusConnection::connectToBus(m_address, Anyone);
    if (!logind.isConnected() ||
        !logind.registerService(QStringLiteral("org.freedesktop.login1"))) {
        m_problem = QStringLiteral("cannot own org.freedesktop.login1 on the private bus");
        m_address.clear();
    }
}

bool PrivateBus::startDaemon()
{
    const QString configuration = m_folder.filePath(QStringLiteral("bus.conf"));
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QString::fromLatin1(Configuration).arg(m_folder.path()).toUtf8()) < 0) {
        m_problem = QStringLiteral("cannot write the bus's configuration");
        return false;
    }
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                    QStringLiteral("--config-file=") + configuration});
    // The address is its first line, once it listens.
    while (m_daemon.waitForReadyRead(10000)) {
        if (m_daemon.canReadLine()) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
            return true;
        }
    }
    m_problem = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
    return false;
}

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(Logind);
    QDBusConnection::disconnectFromBus(Anyone);
    if (m_hadAddress)
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_previousAddress);
    else
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished(10000);
    }
}

// Sent, then a call answered on the same connection: the bus has handed the
// signal on by the time this returns.
bool PrivateBus::announceSleep(bool start, bool asLogind)
{
    QDBusConnection connection = QDBusConnection(asLogind ? Logind : Anyone);
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << start;
    if (!connection.send(signal))
        return false;
    return connection.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1"));
}

PrivateBus &processBus()
{
    static PrivateBus bus;
    return bus;
}
