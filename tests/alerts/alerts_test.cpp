// What the window tells beyond its labels, as the host monitor decides it:
// the host's going down and coming back, where its path broke, the status
// line's tooltip, and the mark on the window's icon.
#include "echowatch/alerts/alert_settings.h"
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/icon_mark.h"
#include "echowatch/alerts/turn_notifications.h"
#include "echowatch/window/status_explanation.h"
#include "watched_window.h"

#include "echowatch/host/host_event_signals.h"

#include <QAction>
#include <QGroupBox>
#include <QSignalSpy>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
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

// An outage's turn: that many probes lost from the first failure on, and
// the probe that made the turn.
template <typename Turn>
Turn turn(const probe::ProbeEvent &firstFailure, const probe::ProbeEvent &latest, int lost)
{
    Turn made;
    made.host = {QStringLiteral("router").toStdString(), 0, "192.0.2.7"};
    made.figures.start = host::millisecondsOf(firstFailure.sentAt);
    for (int probe = 0; probe < lost; ++probe)
        made.figures.addFailure(made.figures.start, firstFailure.status);
    if constexpr (std::is_same_v<Turn, host::HostUp>)
        made.figures.end = host::millisecondsOf(latest.sentAt);
    made.latest = latest;
    return made;
}

// The window under some rules, probing 127.0.0.1 with its alerts on.
struct AlertedWindow
{
    explicit AlertedWindow(const host::AlertRules &rules) : test(rules)
    {
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
    }

    WatchedWindow test;
    fakes::Notifications desktop;
    HostAlerts alerts{test.window, test.events(), desktop};
};

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

    void saysWhatChanged()
    {
        const auto down = turn<host::HostDown>(probeEvent(11010, 1'800'000'000s),
                                               probeEvent(11010, 1'800'000'001s), 3);
        const auto downBubble = downNotification(down);
        QCOMPARE(downBubble.summary, QStringLiteral("router is down"));
        QVERIFY2(downBubble.body.contains(QStringLiteral("3 probes in a row")),
                 qPrintable(downBubble.body));
        QVERIFY(downBubble.body.contains(QStringLiteral("11010   [ ip req timed out ]")));
        QVERIFY(downBubble.body.contains(QStringLiteral("2027")));
        QVERIFY(!downBubble.body.contains(QStringLiteral("Where")));
        QCOMPARE(downBubble.urgency, platform::NotificationUrgency::Critical);
        QVERIFY(downNotification(down, AlertSound::Silent, QStringLiteral("stops after hop 2"))
                    .body.endsWith(QStringLiteral("\nWhere: stops after hop 2")));

        const auto up = turn<host::HostUp>(probeEvent(11010, 0s), probeEvent(0, 3725s), 61);
        const auto upBubble = upNotification(up);
        QCOMPARE(upBubble.summary, QStringLiteral("router is back"));
        QCOMPARE(
            upBubble.body,
            QStringLiteral("Down for 1 h 2 min 5 s, 61 probes lost.\nRound trip now 2.50 ms."));
        QCOMPARE(upBubble.urgency, platform::NotificationUrgency::Normal);
    }

    // As the host monitor calls them: each host on its own, from the count
    // of failures in a row, and only once the user asked.
    void notifiesOnlyWhenSwitchedOn()
    {
        WatchedWindow test(2);
        fakes::Notifications desktop;
        HostAlerts alerts(test.window, test.events(), desktop);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("ff");
        QVERIFY(desktop.shown.empty());

        QVERIFY(alerts.switchOn());
        test.probes("f");
        // A new address is a new host: its count starts again.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.probes("f");
        QVERIFY(desktop.shown.empty());
        test.probes("fa");
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("127.0.0.2 is down"));
        QCOMPARE(desktop.shown[1].summary, QStringLiteral("127.0.0.2 is back"));
        QVERIFY2(desktop.shown[1].body.startsWith(QStringLiteral("Down for 2.0 s, 2 probes lost.")),
                 qPrintable(desktop.shown[1].body));
    }

    // 71 flips in ten minutes: the first five downs and backs, one
    // "flapping" bubble, silence, and one "settled" once it stayed up.
    void aFlappingHostIsToldOnce()
    {
        host::AlertRules rules;
        rules.downAfter = 1;
        AlertedWindow alerted(rules);
        auto &[test, desktop, alerts] = alerted;
        QVERIFY(alerts.switchOn());
        for (int flip = 0; flip < 71; ++flip)
            test.probes("fa");
        QStringList summaries;
        for (const platform::Notification &shown : desktop.shown)
            summaries << shown.summary;
        QStringList expected;
        for (int flip = 0; flip < 5; ++flip)
            expected << QStringLiteral("127.0.0.1 is down") << QStringLiteral("127.0.0.1 is back");
        expected << QStringLiteral("127.0.0.1 is flapping");
        QCOMPARE(summaries, expected);
        QVERIFY2(desktop.shown.back().body.startsWith(QStringLiteral("Down 6 times since ")),
                 qPrintable(desktop.shown.back().body));
        QCOMPARE(desktop.shown.back().urgency, platform::NotificationUrgency::Critical);
        for (int second = 0; second < 600; ++second)
            test.probes("a");
        QCOMPARE(desktop.shown.size(), std::size_t{12});
        QCOMPARE(desktop.shown.back().summary, QStringLiteral("127.0.0.1 has settled: up"));
        QVERIFY2(desktop.shown.back().body.contains(QStringLiteral("after 71 downs in")),
                 qPrintable(desktop.shown.back().body));
    }

    // The slow bubble says the percentile and what is usual; normal again,
    // for how long it was slow.
    void aSlowHostIsToldWithItsFigures()
    {
        host::AlertRules rules;
        rules.slow = {100, 95};
        AlertedWindow alerted(rules);
        auto &[test, desktop, alerts] = alerted;
        QVERIFY(alerts.switchOn());
        for (int second = 0; second < 120; ++second)
            test.probe(0, 47);
        // Over from the fourth slow answer on (3 of 60 are within the 5%).
        for (int second = 0; second < 65; ++second)
            test.probe(0, 182);
        QCOMPARE(desktop.shown.size(), std::size_t{1});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("127.0.0.1 is slow"));
        QCOMPARE(desktop.shown[0].body,
                 QStringLiteral("95% of answers within 182 ms over the last minute, usually "
                                "47 ms."));
        for (int second = 0; second < 130; ++second)
            test.probe(0, 47);
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[1].summary, QStringLiteral("127.0.0.1 is normal again"));
        QVERIFY2(desktop.shown[1].body.startsWith(
                     QStringLiteral("95% of answers within 47 ms over the last minute; slow for ")),
                 qPrintable(desktop.shown[1].body));
    }

    // The dialog shows the rules it is given and gives them back as they
    // are, a rule switched off included; one switched on by its box offers
    // figures that make sense.
    void theSettingsDialogKeepsTheRules_data()
    {
        QTest::addColumn<int>("downAfter");
        QTest::addColumn<QList<int>>("loss");
        QTest::addColumn<QList<int>>("slow");
        QTest::addColumn<QList<int>>("flap");
        QTest::newRow("defaults") << 3 << QList<int>{0, 0, 50} << QList<int>{0, 95}
                                  << QList<int>{5, 10};
        QTest::newRow("every rule on")
            << 1 << QList<int>{20, 5, 50} << QList<int>{150, 90} << QList<int>{3, 5};
        QTest::newRow("the bounds")
            << 100 << QList<int>{100, 99, 10000} << QList<int>{60000, 100} << QList<int>{1000, 1440};
        QTest::newRow("flapping off") << 3 << QList<int>{1, 0, 10} << QList<int>{1, 1}
                                      << QList<int>{0, 10};
    }

    void theSettingsDialogKeepsTheRules()
    {
        QFETCH(int, downAfter);
        QFETCH(QList<int>, loss);
        QFETCH(QList<int>, slow);
        QFETCH(QList<int>, flap);
        host::AlertRules rules;
        rules.downAfter = downAfter;
        rules.loss = {loss[0], loss[1], loss[2]};
        rules.slow = {slow[0], slow[1]};
        rules.flap = {flap[0], flap[1]};
        AlertSettingsDialog dialog;
        dialog.setRules(rules);
        QVERIFY(dialog.rules() == rules);
    }

    void theSettingsDialogOffersFiguresForARuleSwitchedOn()
    {
        AlertSettingsDialog dialog;
        dialog.setRules({});
        dialog.findChild<QGroupBox *>(QStringLiteral("DownLoss"))->setChecked(true);
        dialog.findChild<QGroupBox *>(QStringLiteral("Slow"))->setChecked(true);
        const host::AlertRules offered = dialog.rules();
        QCOMPARE(offered.loss.raisePercent, 20);
        QCOMPARE(offered.loss.clearPercent, 5);
        QCOMPARE(offered.slow.overMilliseconds, 100);
        // The clear level stays below the raise level.
        dialog.findChild<QSpinBox *>(QStringLiteral("LossRaise"))->setValue(4);
        QCOMPARE(dialog.findChild<QSpinBox *>(QStringLiteral("LossClear"))->maximum(), 3);
        QCOMPARE(dialog.rules().loss.clearPercent, 3);
    }

    // "Alert settings…" opens the dialog with the rules the host monitor
    // goes by; its OK sets them, and the next probes are judged by them.
    void theSettingsApplyFromTheNextProbe()
    {
        WatchedWindow test(3);
        AlertSettings settings(test.window, [&test] { return test.watch.rules(); });
        connect(&settings, &AlertSettings::chosen, &test.watch, &app::WindowWatch::setRules);
        QSignalSpy downs(&test.events(), &host::HostEventSignals::down);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        settings.action()->trigger();
        QVERIFY(settings.dialog() != nullptr);
        QCOMPARE(settings.dialog()->rules().downAfter, 3);
        settings.dialog()->findChild<QSpinBox *>(QStringLiteral("DownAfter"))->setValue(1);
        settings.dialog()->accept();
        QCOMPARE(test.watch.rules().downAfter, 1);
        test.probes("f");
        QCOMPARE(downs.count(), 1);
    }

    void roundTripsInWords_data()
    {
        QTest::addColumn<qint64>("microseconds");
        QTest::addColumn<QString>("words");
        QTest::newRow("whole from 10 ms") << qint64{182'400} << "182 ms";
        QTest::newRow("10 ms") << qint64{10'000} << "10 ms";
        QTest::newRow("tenths below") << qint64{4'660} << "4.7 ms";
        QTest::newRow("1 ms") << qint64{1'000} << "1.0 ms";
        QTest::newRow("hundredths below") << qint64{50} << "0.05 ms";
        QTest::newRow("thousands grouped") << qint64{12'345'000} << "12,345 ms";
    }

    void roundTripsInWords()
    {
        QFETCH(qint64, microseconds);
        QFETCH(QString, words);
        QCOMPARE(roundTripWords(microseconds), words);
    }

    // Nobody saw a host back that was left while down: another address,
    // text that is no address, Stop. Probed again, it starts afresh.
    void anOutageLeftIsNeverToldBack_data()
    {
        QTest::addColumn<QString>("leave");
        QTest::newRow("another address") << "other";
        QTest::newRow("no address") << "none";
        QTest::newRow("stop") << "stop";
    }

    void anOutageLeftIsNeverToldBack()
    {
        QFETCH(QString, leave);
        WatchedWindow test(1);
        fakes::Notifications desktop;
        HostAlerts alerts(test.window, test.events(), desktop);
        QVERIFY(alerts.switchOn());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("f");
        if (leave == QLatin1String("stop")) {
            test.window.Command1->click();
            test.window.Command1->click();
        } else {
            test.window.Text1->setText(leave == QLatin1String("other") ? QStringLiteral("127.0.0.2")
                                                                       : QStringLiteral("x"));
            test.probes("a");
            test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        }
        test.probes("a");
        QCOMPARE(desktop.shown.size(), std::size_t{1});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("127.0.0.1 is down"));
    }

    // The verdict filed with the outage under way shows the down bubble
    // again, once; one filed with another outage, a second one, or a trace
    // that could not run and classed nothing shows nothing; a class found
    // without a trace (the kernel's word) is shown.
    void tellsWhereWhileTheOutageLasts()
    {
        WatchedWindow test(1);
        fakes::Notifications desktop;
        HostAlerts alerts(test.window, test.events(), desktop);
        QVERIFY(alerts.switchOn());
        std::vector<host::OutageId> outages;
        QObject::connect(
            &test.events(), &host::HostEventSignals::down,
            [&outages](const host::HostDown &down) { outages.push_back(down.outage); });
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("fa");
        test.probes("f");
        QCOMPARE(outages.size(), std::size_t{2});
        test.watch.fileVerdict(outages[0], {host::Side::Unknown, "late", true});
        QCOMPARE(desktop.shown.size(), std::size_t{3});
        test.watch.fileVerdict(outages[1], {host::Side::TheHost, "the host does not answer", true});
        QCOMPARE(desktop.shown.size(), std::size_t{4});
        QCOMPARE(desktop.shown[3].summary, QStringLiteral("127.0.0.1 is down"));
        QVERIFY(desktop.shown[3].body.endsWith(QStringLiteral("Where: the host does not answer")));
        test.watch.fileVerdict(outages[1], {host::Side::TheHost, "again", true});
        QCOMPARE(desktop.shown.size(), std::size_t{4});
        test.probes("af");
        QCOMPARE(outages.size(), std::size_t{3});
        test.watch.fileVerdict(outages[2], {host::Side::Unknown, "not traced", false});
        QCOMPARE(desktop.shown.size(), std::size_t{6});
        test.probes("af");
        QCOMPARE(outages.size(), std::size_t{4});
        const QString noCarrier = QStringLiteral("this computer: c0 has no carrier");
        test.watch.fileVerdict(outages[3],
                               {host::Side::ThisComputer, noCarrier.toStdString(), false});
        QCOMPARE(desktop.shown.size(), std::size_t{9});
        QVERIFY(desktop.shown[8].body.endsWith(QStringLiteral("Where: ") + noCarrier));
    }

    void withoutAServiceTheItemIsDisabled()
    {
        WatchedWindow test;
        fakes::Notifications desktop;
        desktop.served = false;
        HostAlerts alerts(test.window, test.events(), desktop);
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
        WatchedWindow test;
        fakes::Notifications desktop;
        desktop.known = false;
        HostAlerts alerts(test.window, test.events(), desktop);
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
        WatchedWindow test;
        test.window.setWindowIcon(plain);
        IconMark mark(test.window, test.events());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("a");
        QCOMPARE(rendered(test.window.windowIcon(), 32), rendered(plain, 32));

        mark.action()->setChecked(true);
        test.probes("a");
        const QImage answered = rendered(test.window.windowIcon(), 32);
        test.probes("f");
        const QImage failing = rendered(test.window.windowIcon(), 32);
        // Text that is no address: no host is watched.
        test.probes("b");
        const QImage noHost = rendered(test.window.windowIcon(), 32);
        test.probes("f");
        test.window.Command1->click();
        const QImage stopped = rendered(test.window.windowIcon(), 32);
        QVERIFY(answered != failing);
        QVERIFY(answered != stopped);
        QCOMPARE(noHost, rendered(plain, 32));
        QCOMPARE(stopped, rendered(plain, 32));
        // The mark is drawn at every size asked for, the smallest too.
        for (int size : {16, 48, 256})
            QVERIFY(rendered(markedIcon(plain, ProbeMark::Failing), size) != rendered(plain, size));
    }
};

QTEST_MAIN(AlertsTest)
#include "alerts_test.moc"
