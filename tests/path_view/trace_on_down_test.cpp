// The trace at the start of an outage: off until asked for; once on, the
// host called down after three failures gets one trace over a scripted
// path, whose verdict is kept and told in the down notification.
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/path_view/trace_on_down.h"
#include "scripted_path.h"
#include "support/packet_builder.h"
#include "test_window.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

namespace {

scripted::Path threeRouters(bool hostAnswers, int breaksAfterHop)
{
    scripted::Path path;
    for (const char *router : {"192.0.2.1", "198.51.100.1", "198.51.100.2"})
        path.routers.push_back({testpackets::address(router)});
    path.hostAnswers = hostAnswers;
    path.breaksAfterHop = breaksAfterHop;
    return path;
}

// The window probing the scripted host, with the trace and the alerts on it.
struct Watched
{
    explicit Watched(scripted::Path path)
        : trace(
              window.window,
              [this, path] {
                  ++librariesMade;
                  return std::make_unique<scripted::ScriptedLibrary>(path);
              },
              3),
          alerts(window.window, notifications, 3)
    {
        window.window.Text1->setText(QStringLiteral("203.0.113.9"));
        QObject::connect(&trace, &path_view::TraceOnDown::verdictReady, &alerts,
                         &alerts::HostAlerts::tellWhere);
    }

    // An answer that came back over three routers (TTL 64 less 3).
    void answer()
    {
        net::EchoOutcome outcome;
        outcome.status = icmp::IpStatus::Success;
        outcome.responder = testpackets::address("203.0.113.9");
        outcome.ttl = 61;
        window.icmp.outcome = outcome;
        window.window.ProbeTick();
    }
    void fail(int times)
    {
        net::EchoOutcome outcome;
        outcome.status = icmp::IpStatus::ReqTimedOut;
        window.icmp.outcome = outcome;
        for (int probe = 0; probe < times; ++probe)
            window.window.ProbeTick();
    }

    TestWindow window;
    fakes::Notifications notifications;
    std::atomic<int> librariesMade = 0;
    path_view::TraceOnDown trace;
    alerts::HostAlerts alerts;
};

} // namespace

class TraceOnDownTest : public QObject
{
    Q_OBJECT

private slots:
    void tracesNothingUntilAskedFor()
    {
        Watched watched(threeRouters(false, -1));
        QVERIFY(!watched.trace.action()->isChecked());
        watched.answer();
        watched.fail(5);
        QCoreApplication::processEvents();
        QCOMPARE(watched.librariesMade.load(), 0);
        QVERIFY(watched.trace.verdicts().empty());
    }

    void blamesTheHostWhereEveryHopBeforeItAnswered()
    {
        Watched watched(threeRouters(false, -1));
        watched.trace.action()->setChecked(true);
        QVERIFY(watched.alerts.switchOn());
        QSignalSpy verdicts(&watched.trace, &path_view::TraceOnDown::verdictReady);
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(verdicts.size(), 1);
        const QString text = QStringLiteral("every hop answered up to the host; the host did not");
        QCOMPARE(verdicts.at(0).at(0).toString(), text);
        QCOMPARE(watched.trace.verdicts().size(), 1u);
        QCOMPARE(watched.trace.verdicts().front().trace.hops.size(), 4u);
        QVERIFY(watched.notifications.shown.back().body.endsWith(QStringLiteral("Where: ") + text));
        QVERIFY(watched.notifications.shown.back().summary.contains(QStringLiteral("down")));
    }

    // One trace per outage: failures past the threshold ask for no more.
    void namesTheHopAfterWhichNothingAnswered()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        QSignalSpy verdicts(&watched.trace, &path_view::TraceOnDown::verdictReady);
        watched.answer();
        watched.fail(6);
        QTRY_COMPARE(verdicts.size(), 1);
        QCOMPARE(verdicts.at(0).at(0).toString(),
                 QStringLiteral("stops after hop 2 (198.51.100.1)"));
        QCOMPARE(watched.librariesMade.load(), 1);
    }
};

QTEST_MAIN(TraceOnDownTest)
#include "trace_on_down_test.moc"
