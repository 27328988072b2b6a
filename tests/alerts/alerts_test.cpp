// What the window tells beyond its labels: the host's going down and coming
// back, the status line's tooltip, and the mark on the window's icon.
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/icon_mark.h"
#include "echowatch/window/status_explanation.h"
#include "test_window.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <arpa/inet.h>

using namespace alerts;
using window::explainStatusLine;
using window::statusExplanation;

namespace {

using namespace std::chrono_literals;

probe::ProbeEvent probeEvent(EchoStatus status, std::chrono::seconds at = 0s)
{
    probe::ProbeEvent probe;
    probe.status = status;
    probe.sentAt = std::chrono::system_clock::time_point(at);
    probe.details.roundTripMicroseconds = status == 0 ? 2500 : -1;
    return probe;
}

// One letter per probe: a answered, f failed (11010), b bad address; the
// changes as "D<lost>" and "U<lost>", in order.
QString changes(const QString &probes, int downAfter)
{
    HostState state(downAfter);
    QString seen;
    for (QChar probe : probes) {
        const EchoStatus status = probe == u'a' ? 0 : probe == u'f' ? 11010 : -1;
        if (const auto change = state.observe(probeEvent(status))) {
            seen += change->kind == HostChange::Kind::Down ? u'D' : u'U';
            seen += QString::number(change->outage.probesLost);
        }
    }
    return seen;
}

// An outage of that many probes from the first failure to the latest probe.
HostChange hostChange(HostChange::Kind kind, const probe::ProbeEvent &firstFailure,
                      const probe::ProbeEvent &latest, int lost)
{
    using namespace std::chrono;
    const auto millisecondsOf = [](const probe::ProbeEvent &event) {
        return duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    };
    history::Outage outage;
    outage.start = millisecondsOf(firstFailure);
    for (int probe = 0; probe < lost; ++probe)
        outage.addFailure(millisecondsOf(firstFailure), firstFailure.status);
    if (kind == HostChange::Kind::Up)
        outage.end = millisecondsOf(latest);
    return HostChange{kind, outage, latest};
}

QImage rendered(const QIcon &icon, int size)
{
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class AlertsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    void decidesDownAndUp_data()
    {
        QTest::addColumn<QString>("probes");
        QTest::addColumn<int>("downAfter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("steady") << "aaaa" << 3 << "";
        QTest::newRow("a silence shorter than N") << "affaffa" << 3 << "";
        QTest::newRow("down once, up once") << "afffffa" << 3 << "D3U5";
        QTest::newRow("N of 1") << "afaf" << 1 << "D1U1D1";
        QTest::newRow("twice") << "fffafffa" << 3 << "D3U3D3U3";
        QTest::newRow("a bad address forgets") << "ffbfffa" << 3 << "D3U3";
        QTest::newRow("no up after a bad address") << "fffba" << 3 << "D3";
        QTest::newRow("N below 1 counts as 1") << "fa" << 0 << "D1U1";
    }

    void decidesDownAndUp()
    {
        QFETCH(QString, probes);
        QFETCH(int, downAfter);
        QFETCH(QString, expected);
        QCOMPARE(changes(probes, downAfter), expected);
    }

    void saysWhatChanged()
    {
        const HostChange down =
            hostChange(HostChange::Kind::Down, probeEvent(11010, 1'800'000'000s),
                       probeEvent(11010, 1'800'000'001s), 3);
        const auto downBubble = outageNotification(down, QStringLiteral("192.0.2.7"));
        QCOMPARE(downBubble.summary, QStringLiteral("192.0.2.7 is down"));
        QVERIFY2(downBubble.body.contains(QStringLiteral("3 probes in a row")),
                 qPrintable(downBubble.body));
        QVERIFY(downBubble.body.contains(QStringLiteral("11010   [ ip req timed out ]")));
        QVERIFY(downBubble.body.contains(QStringLiteral("2027")));
        QCOMPARE(downBubble.urgency, platform::NotificationUrgency::Critical);

        const HostChange up =
            hostChange(HostChange::Kind::Up, probeEvent(11010, 0s), probeEvent(0, 3725s), 61);
        const auto upBubble = outageNotification(up, QStringLiteral("192.0.2.7"));
        QCOMPARE(upBubble.summary, QStringLiteral("192.0.2.7 is back"));
        QCOMPARE(
            upBubble.body,
            QStringLiteral("Down for 1 h 2 min 5 s, 61 probes lost.\nRound trip now 2.50 ms."));
        QCOMPARE(upBubble.urgency, platform::NotificationUrgency::Normal);
    }

    void notifiesOnlyWhenSwitchedOn()
    {
        TestWindow test;
        fakes::Notifications desktop;
        HostAlerts alerts(test.window, desktop, 2);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.icmp.echo = {11010, 0, 0};
        test.window.ProbeTick();
        test.window.ProbeTick();
        QVERIFY(desktop.shown.empty());

        QVERIFY(alerts.switchOn());
        test.window.ProbeTick();
        // A new address is a new host: its count starts again.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.window.ProbeTick();
        QVERIFY(desktop.shown.empty());
        test.window.ProbeTick();
        test.icmp.echo = {0, 1, 32};
        test.window.ProbeTick();
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("127.0.0.2 is down"));
        QCOMPARE(desktop.shown[1].summary, QStringLiteral("127.0.0.2 is back"));
    }

    // A host left while down is still down when probed again.
    void eachHostIsWatchedOnItsOwn()
    {
        TestWindow test;
        fakes::Notifications desktop;
        HostAlerts alerts(test.window, desktop, 1);
        QVERIFY(alerts.switchOn());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.icmp.echo = {11010, 0, 0};
        test.window.ProbeTick();
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.icmp.echo = {0, 1, 32};
        test.window.ProbeTick();
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.clock.wallTime += std::chrono::milliseconds{2'500};
        test.window.ProbeTick();
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("127.0.0.1 is down"));
        QCOMPARE(desktop.shown[1].summary, QStringLiteral("127.0.0.1 is back"));
        // As long as the outage table says it was.
        QVERIFY2(desktop.shown[1].body.startsWith(QStringLiteral("Down for 2.5 s, 1 probes lost.")),
                 qPrintable(desktop.shown[1].body));
    }

    void withoutAServiceTheItemIsDisabled()
    {
        TestWindow test;
        fakes::Notifications desktop;
        desktop.served = false;
        HostAlerts alerts(test.window, desktop, 1);
        QVERIFY(!alerts.switchOn());
        QVERIFY(!alerts.action()->isEnabled());
        QVERIFY(!alerts.action()->toolTip().isEmpty());
        desktop.served = true;
        emit test.window.contextMenu()->aboutToShow();
        QVERIFY(alerts.action()->isEnabled());
    }

    // Switched on before the bus has said: on once it says there is a
    // service; off, sound and all, once it says there is none.
    void aSwitchBeforeTheBusHasSaidWaitsForIt_data()
    {
        QTest::addColumn<bool>("served");
        QTest::newRow("served") << true;
        QTest::newRow("absent") << false;
    }

    void aSwitchBeforeTheBusHasSaidWaitsForIt()
    {
        QFETCH(bool, served);
        TestWindow test;
        fakes::Notifications desktop;
        desktop.known = false;
        HostAlerts alerts(test.window, desktop, 1);
        QVERIFY(!alerts.action()->isEnabled());
        QVERIFY(alerts.switchOn());
        alerts.soundAction()->setChecked(true);
        QVERIFY(!alerts.action()->isChecked());
        desktop.learn(served);
        QCOMPARE(alerts.action()->isEnabled(), served);
        QCOMPARE(alerts.action()->isChecked(), served);
        QCOMPARE(alerts.soundAction()->isChecked(), served);
        // The service going away later leaves the choice as it is.
        desktop.learn(false);
        QVERIFY(!alerts.action()->isEnabled());
        QCOMPARE(alerts.action()->isChecked(), served);
    }

    void explainsTheStatus_data()
    {
        QTest::addColumn<EchoStatus>("status");
        QTest::addColumn<probe::FailureOrigin>("origin");
        QTest::addColumn<probe::HelperCondition>("helper");
        QTest::addColumn<QString>("says");
        using probe::FailureOrigin;
        using probe::HelperCondition;
        QTest::newRow("timeout") << 11010 << FailureOrigin::None << HelperCondition::NotUsed
                                 << "500 ms";
        QTest::newRow("router refused") << 11003 << FailureOrigin::IcmpMessage
                                        << HelperCondition::NotUsed << "came from 192.0.2.1.";
        QTest::newRow("this machine refused") << 11002 << FailureOrigin::ThisMachine
                                              << HelperCondition::NotUsed << "This machine refused";
        QTest::newRow("helper lacks capability")
            << 11050 << FailureOrigin::ThisMachine << HelperCondition::LacksCapability << "setcap";
        QTest::newRow("helper missing") << 11050 << FailureOrigin::ThisMachine
                                        << HelperCondition::Missing << "permissions problem";
        QTest::newRow("helper hung") << 11050 << FailureOrigin::ThisMachine
                                     << HelperCondition::Unresponsive << "started again";
        QTest::newRow("bad address")
            << -1 << FailureOrigin::None << HelperCondition::NotUsed << "no IPv4 address";
        QTest::newRow("rare code") << 11016 << FailureOrigin::IcmpMessage
                                   << HelperCondition::NotUsed << "ip source quench";
    }

    void explainsTheStatus()
    {
        QFETCH(EchoStatus, status);
        QFETCH(probe::FailureOrigin, origin);
        QFETCH(probe::HelperCondition, helper);
        QFETCH(QString, says);
        probe::ProbeEvent probe = probeEvent(status);
        probe.details.origin = origin;
        probe.details.helper = helper;
        probe.details.responder = inet_addr("192.0.2.1");
        QVERIFY2(statusExplanation(probe).contains(says), qPrintable(statusExplanation(probe)));
    }

    void tooltipFollowsTheStatusLineAlone()
    {
        TestWindow test;
        explainStatusLine(test.window);
        const QString description = test.window.Label1->accessibleDescription();
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.icmp.echo = {11010, 0, 0};
        test.window.ProbeTick();
        QVERIFY(test.window.Label1->toolTip().contains(QStringLiteral("500 ms")));
        test.icmp.echo = {0, 1, 32};
        test.window.ProbeTick();
        QVERIFY(test.window.Label1->toolTip().contains(QStringLiteral("answered")));
        QCOMPARE(test.window.Label1->accessibleDescription(), description);
    }

    void iconShowsTheLatestOutcome()
    {
        QPixmap square(64, 64);
        square.fill(Qt::darkBlue);
        const QIcon plain(square);
        TestWindow test;
        test.window.setWindowIcon(plain);
        IconMark mark(test.window);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.window.Text2->setText(QStringLiteral("100000"));
        test.window.ProbeTick();
        QCOMPARE(rendered(test.window.windowIcon(), 32), rendered(plain, 32));

        mark.action()->setChecked(true);
        test.window.Command1->click();
        test.window.ProbeTick();
        const QImage answered = rendered(test.window.windowIcon(), 32);
        test.icmp.echo = {11010, 0, 0};
        test.window.ProbeTick();
        const QImage failing = rendered(test.window.windowIcon(), 32);
        test.window.Command1->click();
        const QImage stopped = rendered(test.window.windowIcon(), 32);
        QVERIFY(answered != failing);
        QVERIFY(answered != stopped);
        QCOMPARE(stopped, rendered(plain, 32));
        // The mark is drawn at every size asked for, the smallest too.
        for (int size : {16, 48, 256})
            QVERIFY(rendered(markedIcon(plain, ProbeMark::Failing), size) != rendered(plain, size));
    }
};

QTEST_MAIN(AlertsTest)
#include "alerts_test.moc"
