// The desktop's notification service as a real session bus of the test's
// own tells of it: learnt without waiting, learnt again when its name
// changes hands, and a context menu that opens at once while the bus says
// nothing at all.
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/platform/desktop_notifications.h"
#include "watched_window.h"

#include <QAction>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
using Service = platform::Notifications::Service;

// No service directories: nothing is started on demand, so the service is
// there only while the test holds its name.
QByteArray busConfiguration(const QString &socket)
{
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
               "<busconfig><type>session</type><listen>unix:path=%1</listen>"
               "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
               "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>")
        .arg(socket)
        .toUtf8();
}

} // namespace

class NotificationBusTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is missing (package dbus)");
        QVERIFY(m_scratch.isValid());
        QFile configuration(m_scratch.filePath(QStringLiteral("bus.conf")));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write(busConfiguration(m_scratch.filePath(QStringLiteral("bus"))));
        configuration.close();
        m_bus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + configuration.fileName(),
                     QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(m_bus.canReadLine());
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        // Read at the first use of the session bus, which is this test's.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }

    void cleanupTestCase()
    {
        signalBus(SIGCONT);
        m_bus.terminate();
        m_bus.waitForFinished();
    }

    void learnsTheServiceAsItsNameChangesHands()
    {
        platform::DesktopNotifications notifications(QStringLiteral("EchoWatch"),
                                                     QStringLiteral("org.echowatch.EchoWatch"));
        QCOMPARE(notifications.service(), Service::Unknown);
        QTRY_COMPARE(notifications.service(), Service::Absent);
        QDBusConnection desktop =
            QDBusConnection::connectToBus(m_address, QStringLiteral("desktop"));
        QVERIFY(desktop.registerService(ServiceName));
        QTRY_COMPARE(notifications.service(), Service::Served);
        QVERIFY(desktop.unregisterService(ServiceName));
        QTRY_COMPARE(notifications.service(), Service::Absent);
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }

    // A bus that answers nothing (stopped here, as a hung one would be)
    // holds up neither the menu nor the switch.
    void theMenuOpensWhileTheBusIsSilent()
    {
        WatchedWindow test;
        platform::DesktopNotifications notifications(QStringLiteral("EchoWatch"),
                                                     QStringLiteral("org.echowatch.EchoWatch"));
        alerts::HostAlerts alerts(test.window, test.events(), notifications);
        QTRY_VERIFY(notifications.service() != Service::Unknown);
        signalBus(SIGSTOP);
        QElapsedTimer opening;
        opening.start();
        emit test.window.contextMenu()->aboutToShow();
        alerts.switchOn();
        const qint64 took = opening.elapsed();
        signalBus(SIGCONT);
        // A call that waited would take the bus's timeout of 25 s.
        QVERIFY2(took < 2000, qPrintable(QStringLiteral("the menu took %1 ms").arg(took)));
        QVERIFY(!alerts.action()->isEnabled());
    }

private:
    void signalBus(int signal)
    {
        const qint64 bus = m_bus.processId();
        if (bus > 0 && m_bus.state() == QProcess::Running)
            ::kill(static_cast<pid_t>(bus), signal);
    }

    QTemporaryDir m_scratch;
    QProcess m_bus;
    QString m_address;
};

QTEST_MAIN(NotificationBusTest)
#include "notification_bus_test.moc"
