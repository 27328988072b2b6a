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
#include "watched_window.h"

#include "echowatch/host/host_event_signals.h"

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

// The window probing the scripted host, with the host monitor reading it,
// the trace and the alerts listening, and the trace's answers filed.
struct Watched
{
    explicit Watched(scripted::Path path, int openFailures = 0, path_view::SideSources sides = {})
        : trace(
              window.window, window.events(),
              [this, path, openFailures] {
                  ++librariesMade;
                  return std::make_unique<scripted::FailingFirstLibrary>(path, openFailures);
              },
              std::move(sides)),
          alerts(window.window, window.events(), notifications)
    {
        window.window.Text1->setText(QStringLiteral("203.0.113.9"));
        QObject::connect(&trace, &path_view::TraceOnDown::verdictReached, &window.watch,
                         &app::WindowWatch::fileVerdict);
        QObject::connect(&window.events(), &host::HostEventSignals::down,
                         [this](const host::HostDown &down) { downs.push_back(down); });
        QObject::connect(&window.events(), &host::HostEventSignals::filed,
                         [this](const host::VerdictFiled &verdict) { filed.push_back(verdict); });
        window.start();
    }

    // An answer that came back over three routers (TTL 64 less 3).
    void answer()
    {
        window.clock.wallTime += std::chrono::seconds{1};
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
        for (int probe = 0; probe < times; ++probe) {
            window.clock.wallTime += std::chrono::seconds{1};
            window.window.ProbeTick();
        }
    }

    WatchedWindow window;
    fakes::Notifications notifications;
    std::atomic<int> librariesMade = 0;
    path_view::TraceOnDown trace;
    alerts::HostAlerts alerts;
    std::vector<host::HostDown> downs;
    std::vector<host::VerdictFiled> filed;
};

// Where the kernel is not asked, the routers' answers alone class it.
const std::string Stops2 = "beyond the gateway: stops after hop 2 (198.51.100.1)";

route::RouteFacts viaGateway(const char *gateway, bool carrier = true)
{
    route::RouteFacts facts;
    facts.kind = route::RouteKind::Gateway;
    facts.gateway = testpackets::address(gateway);
    facts.outputInterface = 3;
    facts.link = route::LinkFacts{
        3, "c0", true, carrier, carrier ? route::OperState::Up : route::OperState::LowerLayerDown};
    return facts;
}

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
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        const QString text =
            QStringLiteral("the host: every hop answered up to the host; the host did not");
        QCOMPARE(QString::fromStdString(watched.filed[0].verdict.text), text);
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
        watched.answer();
        watched.fail(6);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        QCOMPARE(watched.filed[0].verdict.text, Stops2);
        QCOMPARE(watched.librariesMade.load(), 1);
    }

    // With no descriptor free, a thread's event loop aborts the program
    // (GLib's "Creating pipes for GWakeup"): the trace waits instead, and
    // runs once there is room, while its outage lasts.
    void tracesOnceADescriptorIsFree()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
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
        QCOMPARE(watched.downs.size(), std::size_t{1});
        QVERIFY(watched.filed.empty());
        QTRY_COMPARE_WITH_TIMEOUT(watched.filed.size(), std::size_t{1}, 10000);
        QCOMPARE(watched.filed[0].outage, watched.downs[0].outage);
        QCOMPARE(watched.filed[0].verdict.text, Stops2);
    }

    // The verdict goes with the outage the down decision was made in, by
    // its id: kept by its first failure, not the probe that decided.
    void keepsTheVerdictWithItsOutage()
    {
        Watched watched(threeRouters(false, 2));
        watched.trace.action()->setChecked(true);
        watched.answer();
        const auto firstFailure = watched.window.clock.wallTime + std::chrono::seconds{1};
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        const auto &verdict = watched.trace.verdicts().front();
        QCOMPARE(watched.filed[0].outage, watched.downs.at(0).outage);
        QCOMPARE(watched.filed[0].host.address, testpackets::address("203.0.113.9"));
        QCOMPARE(watched.filed[0].outageStart, verdict.outageStart);
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
        const QString note = QStringLiteral("Where: ") + QString::fromStdString(Stops2);
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
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
        watched.answer();
        watched.fail(3);
        watched.answer();
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        QVERIFY(!watched.window.window.Label1->toolTip().contains(QStringLiteral("Where:")));
    }

    // A trace that could not open its echo service still answers for its
    // outage, by its id, without a path; the next outage gets its own
    // verdict, not one shifted from the outage before.
    void aTraceThatCouldNotRunShiftsNoVerdict()
    {
        Watched watched(threeRouters(false, 2), 1);
        watched.trace.action()->setChecked(true);
        QVERIFY(watched.alerts.switchOn());
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        QCOMPARE(watched.filed[0].outage, watched.downs.at(0).outage);
        QVERIFY(!watched.filed[0].verdict.traced);
        QVERIFY(watched.trace.verdicts().empty());
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{2});
        QCOMPARE(watched.filed[1].outage, watched.downs.at(1).outage);
        QVERIFY(watched.filed[1].verdict.traced);
        QCOMPARE(watched.filed[1].verdict.text, Stops2);
        QCOMPARE(watched.trace.verdicts().size(), std::size_t{1});
        QCOMPARE(watched.trace.verdicts().front().outageStart, watched.downs[1].figures.start);
        // The bubble of the first outage never told a "Where".
        for (const auto &bubble : watched.notifications.shown)
            QVERIFY(!bubble.body.contains(QStringLiteral("Where")) ||
                    bubble.body.endsWith(QStringLiteral("(198.51.100.1)")));
    }

    // The kept trace opens as it was, with its verdict, and no rounds run;
    // "Path…" then gives way to a live window again.
    void opensTheKeptTraceInThePathWindow()
    {
        Watched watched(threeRouters(false, 2));
        path_view::PathActions paths(watched.window.window, watched.window.events(), [] {
            return std::make_unique<scripted::ScriptedLibrary>(threeRouters(true, -1));
        });
        watched.trace.action()->setChecked(true);
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        paths.showTrace(watched.trace.verdicts().front());
        path_view::PathWindow *shown = paths.pathWindow();
        QVERIFY(shown && shown->isVisible() && !shown->live());
        QCOMPARE(shown->model().table().hops.size(),
                 watched.trace.verdicts().front().trace.hops.size());
        QVERIFY(shown->findChild<QLabel *>(QStringLiteral("status"))
                    ->text()
                    .endsWith(QString::fromStdString(Stops2)));
        paths.showPath();
        QVERIFY(paths.pathWindow() && paths.pathWindow()->live());
        QTRY_VERIFY(paths.pathWindow()->model().table().rounds > 0);
    }

    // The kernel's route and the echo to its gateway go with the trace:
    // a gateway that passes nothing and answers nothing is the local
    // network's, named in the notification.
    void classesASilentGatewayAsTheLocalNetwork()
    {
        std::atomic<std::uint32_t> asked = 0;
        Watched watched(threeRouters(false, 0), 0,
                        {[&asked](std::uint32_t destination) {
                             asked = destination;
                             return viaGateway("192.0.2.1");
                         },
                         {}});
        watched.trace.action()->setChecked(true);
        QVERIFY(watched.alerts.switchOn());
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        QCOMPARE(asked.load(), testpackets::address("203.0.113.9"));
        QCOMPARE(watched.filed[0].verdict.side, host::Side::LocalNetwork);
        const QString text = QStringLiteral("local network: gateway 192.0.2.1 does not answer");
        QCOMPARE(QString::fromStdString(watched.filed[0].verdict.text), text);
        QVERIFY(watched.notifications.shown.back().body.endsWith(QStringLiteral("Where: ") + text));
    }

    // Neither a trace that could not run nor the desktop's word alone
    // hides what the kernel says of the way out.
    void classesThisComputerEvenWhereNoTraceRan()
    {
        int desktopAsked = 0;
        Watched watched(threeRouters(false, 0), 1,
                        {[](std::uint32_t) { return viaGateway("192.0.2.1", false); },
                         [&desktopAsked] {
                             ++desktopAsked;
                             return true;
                         }});
        watched.trace.action()->setChecked(true);
        watched.answer();
        watched.fail(3);
        QTRY_COMPARE(watched.filed.size(), std::size_t{1});
        QVERIFY(!watched.filed[0].verdict.traced);
        QCOMPARE(watched.filed[0].verdict.side, host::Side::ThisComputer);
        QCOMPARE(watched.filed[0].verdict.text, "this computer: c0 has no carrier");
        QVERIFY(desktopAsked > 0);
        QVERIFY(watched.window.window.Label1->toolTip().contains(
            QStringLiteral("Where: this computer: c0 has no carrier")));
    }
};

QTEST_MAIN(TraceOnDownTest)
#include "trace_on_down_test.moc"
