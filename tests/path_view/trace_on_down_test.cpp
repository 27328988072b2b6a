// The trace at the start of an outage: off until asked for; once on, the
// host called down after three failures gets one trace over a scripted
// path, whose verdict is kept and told in the down notification.
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/path_view/path_actions.h"
#include "echowatch/path_view/path_table_model.h"
#include "echowatch/path_view/trace_on_down.h"
#include "scripted_path.h"
#include "support/descriptors_taken.h"
#include "support/packet_builder.h"
#include "test_window.h"

#include <QAction>
#include <QLabel>
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

    // With no descriptor free, a thread's event loop aborts the program
    // (GLib's "Creating pipes for GWakeup"): the trace waits instead, and
    // runs once there is room, while its outage lasts.
    void tracesOnceADescriptorIsFree()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        QSignalSpy verdicts(&watched.trace, &path_view::TraceOnDown::verdictReady);
        watched.answer();
        // One failure before: UndefinedBehaviorSanitizer's first look at
        // the log's type needs a descriptor of its own.
        watched.fail(1);
        {
            testsupport::DescriptorsTaken taken;
            QVERIFY(taken.tookAll());
            watched.fail(2);
            QCoreApplication::processEvents();
        }
        QCOMPARE(verdicts.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(verdicts.size(), 1, 10000);
        QCOMPARE(verdicts.at(0).at(0).toString(),
                 QStringLiteral("stops after hop 2 (198.51.100.1)"));
    }

    // The verdict goes with the outage the down decision was made in: its
    // first failure, not the probe that decided.
    void keepsTheVerdictWithItsOutage()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        QSignalSpy kept(&watched.trace, &path_view::TraceOnDown::verdictKept);
        auto &wallTime = watched.window.clock.wallTime;
        const auto firstFailure = wallTime + std::chrono::seconds{1};
        watched.answer();
        for (int probe = 0; probe < 3; ++probe) {
            wallTime += std::chrono::seconds{1};
            watched.fail(1);
        }
        QTRY_COMPARE(kept.size(), 1);
        const auto &verdict = watched.trace.verdicts().front();
        QCOMPARE(kept.at(0).at(0).toUInt(), testpackets::address("203.0.113.9"));
        QCOMPARE(kept.at(0).at(1).toLongLong(), verdict.outageStart);
        QCOMPARE(verdict.outageStart, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          firstFailure.time_since_epoch())
                                          .count());
        QVERIFY(watched.trace.verdictFor(verdict.destination, verdict.outageStart) == &verdict);
        QVERIFY(!watched.trace.verdictFor(verdict.destination, verdict.outageStart + 1));
    }

    // Read on the status line's tooltip while the outage lasts, gone when
    // the host answers again.
    void tellsWhereOnTheStatusLineWhileDown()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        QSignalSpy kept(&watched.trace, &path_view::TraceOnDown::verdictKept);
        const QString note = QStringLiteral("Where: stops after hop 2 (198.51.100.1)");
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(kept.size(), 1);
        QVERIFY(watched.window.window.Label1->toolTip().contains(note));
        watched.fail(1);
        QVERIFY(watched.window.window.Label1->toolTip().contains(note));
        watched.answer();
        QVERIFY(!watched.window.window.Label1->toolTip().contains(QStringLiteral("Where:")));
    }

    // A trace that comes back after the host did belongs to an outage that
    // is over: nothing is left on the status line.
    void leavesNoNoteForAnOutageAlreadyOver()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        QSignalSpy kept(&watched.trace, &path_view::TraceOnDown::verdictKept);
        watched.answer();
        watched.fail(3);
        watched.answer();
        QTRY_COMPARE(kept.size(), 1);
        QVERIFY(!watched.window.window.Label1->toolTip().contains(QStringLiteral("Where:")));
    }

    // The kept trace opens as it was, with its verdict, and no rounds run;
    // "Path…" then gives way to a live window again.
    void opensTheKeptTraceInThePathWindow()
    {
        Watched watched(threeRouters(false, 2));
        path_view::PathActions paths(watched.window.window, [] {
            return std::make_unique<scripted::ScriptedLibrary>(threeRouters(true, -1));
        });
        watched.trace.action()->setChecked(true);
        QSignalSpy kept(&watched.trace, &path_view::TraceOnDown::verdictKept);
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(kept.size(), 1);
        paths.showTrace(watched.trace.verdicts().front());
        path_view::PathWindow *shown = paths.pathWindow();
        QVERIFY(shown && shown->isVisible() && !shown->live());
        QCOMPARE(shown->model().table().hops.size(),
                 watched.trace.verdicts().front().trace.hops.size());
        QVERIFY(shown->findChild<QLabel *>(QStringLiteral("status"))
                    ->text()
                    .endsWith(QStringLiteral("stops after hop 2 (198.51.100.1)")));
        paths.showPath();
        QVERIFY(paths.pathWindow() && paths.pathWindow()->live());
        QTRY_VERIFY(paths.pathWindow()->model().table().rounds > 0);
    }
};

QTEST_MAIN(TraceOnDownTest)
#include "trace_on_down_test.moc"
