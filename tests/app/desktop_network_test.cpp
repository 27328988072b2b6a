// Whether the desktop says it is offline, as Qt's network information hears
// it from NetworkManager: on a bus of the test's own, first with nobody
// there, then with a NetworkManager of the test's own that says it is
// disconnected, connected, and disconnected again.
#include "private_bus.h"

#include "echowatch/platform/desktop_network.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString Path = QStringLiteral("/org/freedesktop/NetworkManager");
const QString ConnectionName = QStringLiteral("fake-network-manager");
// NetworkManager's NMState.
constexpr uint Disconnected = 20;
constexpr uint ConnectedGlobal = 70;

// NetworkManager's State property, and its change as NetworkManager
// announces it (org.freedesktop.DBus.Properties.PropertiesChanged).
class FakeNetworkManager final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State READ state)

public:
    FakeNetworkManager(QObject *root, uint state) : QDBusAbstractAdaptor(root), m_state(state) {}

    uint state() const { return m_state; }

    bool change(uint state)
    {
        m_state = state;
        QDBusMessage changed =
            QDBusMessage::createSignal(Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        changed << Service << QVariantMap{{QStringLiteral("State"), QVariant::fromValue(state)}}
                << QStringList();
        return QDBusConnection(ConnectionName).send(changed);
    }

private:
    uint m_state;
};

} // namespace

class DesktopNetworkTest : public QObject
{
    Q_OBJECT

private:
    PrivateBus &bus() { return processBus(); }

private slots:
    // First: Qt keeps the backend it loads for the whole process.
    void withoutNetworkManagerItNeverSaysOffline()
    {
        QVERIFY2(bus().started(), qPrintable(bus().problem()));
        platform::DesktopNetwork network;
        QSignalSpy heard(&network, &platform::DesktopNetwork::heard);
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() > 0, 10000);
        QCOMPARE(heard.at(0).at(0).toBool(), false);
        QVERIFY(!network.saysOffline());
    }

    void followsWhatNetworkManagerSays()
    {
        QVERIFY2(bus().started(), qPrintable(bus().problem()));
        QDBusConnection connection = QDBusConnection::connectToBus(bus().address(), ConnectionName);
        QObject root;
        auto *manager = new FakeNetworkManager(&root, Disconnected);
        QVERIFY(connection.registerObject(Path, &root, QDBusConnection::ExportAdaptors));
        QVERIFY(connection.registerService(Service));

        platform::DesktopNetwork network;
        QSignalSpy heard(&network, &platform::DesktopNetwork::heard);
        QSignalSpy changed(&network, &platform::DesktopNetwork::changed);
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() > 0, 10000);
        QCOMPARE(heard.at(0).at(0).toBool(), true);
        QVERIFY(network.saysOffline());
        QVERIFY(manager->change(ConnectedGlobal));
        QTRY_VERIFY_WITH_TIMEOUT(!network.saysOffline(), 10000);
        QVERIFY(manager->change(Disconnected));
        QTRY_VERIFY_WITH_TIMEOUT(network.saysOffline(), 10000);
        QCOMPARE(changed.count(), 3);
        connection.unregisterService(Service);
        QDBusConnection::disconnectFromBus(ConnectionName);
    }
};

QTEST_MAIN(DesktopNetworkTest)
#include "desktop_network_test.moc"
