// Whole scenarios through the program as main() builds it, over fakes: a
// scripted echo service and path, a clock the test sets, a desktop that
// keeps its bubbles, and, for the machine's sleep, a bus of the test's own.
// Each checks what leaves the program (notifications, commands, /metrics,
// the history file, the History window) where one truth per host matters.
#include "late_echo_library.h"
#include "private_bus.h"
#include "scripted_path.h"
#include "test_window.h"

#include "echowatch/alerts/host_actions.h"
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/app/application.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/window_watch.h"
#include "echowatch/history/history_csv.h"
#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/platform/sleep_watch.h"
#include "echowatch/records/command_words.h"
#include "echowatch/records/metrics_registry.h"
#include "echowatch/route/route_facts.h"
#include "echowatch/store/sqlite_connection.h"
#include "support/packet_builder.h"

#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

namespace {

using namespace std::chrono_literals;

const std::chrono::system_clock::time_point T0{1'800'000'000s};

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A command that appends one line, echo's words, to a file.
QStringList appendingCommand(const QString &echoed, const QString &file)
{
    QStringList words;
    const QString line = QStringLiteral("sh -c 'echo \"%1\" >> \"$1\"' sh ").arg(echoed) + file;
    for (const std::string &word : records::splitCommandWords(line.toStdString()).words)
        words << QString::fromStdString(word);
    return words;
}

// A command that writes one line "status|host|address|path" to a file.
QStringList reportingCommand(const QString &file)
{
    return appendingCommand(QStringLiteral("$ECHOWATCH_STATUS|$ECHOWATCH_HOST|"
                                           "$ECHOWATCH_ADDRESS|${ECHOWATCH_PATH-}"),
                            file);
}

// The way to 203.0.113.9: three routers, nothing past the second.
scripted::Path brokenAfterHop2()
{
    scripted::Path path;
    for (const char *router : {"192.0.2.1", "198.51.100.1", "198.51.100.2"})
        path.routers.push_back({testpackets::address(router)});
    path.hostAnswers = false;
    path.breaksAfterHop = 2;
    return path;
}

// The way to 203.0.113.9 with its first router, the gateway, passing
// nothing and answering nothing.
scripted::Path gatewaySilent()
{
    scripted::Path path = brokenAfterHop2();
    path.routers[0].kind = scripted::Router::Kind::Silent;
    path.routers[0].answersEcho = false;
    path.breaksAfterHop = 0;
    return path;
}

// The kernel's way to any host: through 192.0.2.1, on a link that is up.
route::RouteFacts throughTheGateway(std::uint32_t)
{
    return {route::RouteKind::Gateway, testpackets::address("192.0.2.1"), 2,
            route::LinkFacts{2, "eth0", true, true, route::OperState::Up}, 0};
}

// A command that writes one line "where|path" to a file.
QStringList whereCommand(const QString &file)
{
    return appendingCommand(QStringLiteral("${ECHOWATCH_WHERE-}|${ECHOWATCH_PATH-}"), file);
}

// What the program runs on, the same across its runs.
struct Machine
{
    app::Services services()
    {
        return {sockets,
                echo != nullptr ? *echo : icmp,
                messageBox,
                clock,
                notifications,
                [this] {
                    return std::make_unique<scripted::FailingFirstLibrary>(path, pathOpenFailures);
                },
                echo != nullptr,
                watchSleep,
                false,
                routes,
                [this] {
                    return desktopOffline;
                }};
    }

    void at(std::chrono::seconds second) { clock.wallTime = T0 + second; }

    fakes::SocketsLibrary sockets;
    fakes::IcmpEchoLibrary icmp;
    fakes::MessageBox messageBox;
    fakes::Clock clock;
    fakes::Notifications notifications;
    int pathOpenFailures = 0;
    scripted::Path path = brokenAfterHop2();
    path_view::RouteLookup routes;
    bool desktopOffline = false;
    bool watchSleep = false;
    // Another echo service, probed on the worker thread as the program
    // does.
    net::IcmpEchoLibrary *echo = nullptr;
};

// One run of the program, its probes stepped by the test.
struct Program
{
    Program(Machine &machine, const app::LaunchOptions &options)
        : machine(machine), application(machine.services(), options)
    {}

    Form1 &window() { return application.window(); }
    const host::HostEventSignals &events() { return application.watch().events(); }

    // Start pressed at that second, at an interval no tick of its own
    // comes in during a test.
    void start(std::chrono::seconds at, const QString &address)
    {
        machine.at(at);
        window().Text1->setText(address);
        window().Text2->setText(QStringLiteral("1000000"));
        window().Command1->click();
    }

    // One probe a second from the second given: a answered, f timed out,
    // r refused by this machine (as 0.0.0.0 is).
    void probes(std::chrono::seconds from, const char *letters)
    {
        for (const char *letter = letters; *letter != '\0'; ++letter, from += 1s) {
            machine.at(from);
            const EchoStatus status = *letter == 'a' ? 0 : *letter == 'r' ? 11018 : 11010;
            machine.icmp.echo = {status, status == 0 ? 1u : 0u,
                                 static_cast<std::uint16_t>(status == 0 ? 32 : 0)};
            window().ProbeTick();
        }
    }

    void closeAt(std::chrono::seconds at)
    {
        machine.at(at);
        window().close();
    }

    QString historyStatistics()
    {
        application.historyActions().showHistory();
        auto *history = window().findChild<history_view::HistoryWindow *>();
        history->refresh();
        return history->findChild<QPlainTextEdit *>(QStringLiteral("Statistics"))->toPlainText();
    }

    // The History window's outage table, the window shown.
    const QAbstractItemModel *outageRows()
    {
        application.historyActions().showHistory();
        return window()
            .findChild<history_view::HistoryWindow *>()
            ->findChild<QTableView *>(QStringLiteral("Outages"))
            ->model();
    }

    QString scrape()
    {
        QNetworkAccessManager network;
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(
            QStringLiteral("http://127.0.0.1:%1/metrics").arg(application.metrics()->port()))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(10000);
        reply->deleteLater();
        return QString::fromUtf8(reply->readAll());
    }

    Machine &machine;
    app::Application application;
};

app::LaunchOptions withMetricsAndCommands(const QString &commandFile)
{
    app::LaunchOptions options;
    options.metrics = app::LaunchOptions::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
    options.onDown = reportingCommand(commandFile);
    options.onUp = reportingCommand(commandFile);
    options.notify = true;
    return options;
}

// "side|path_verdict" of the history file's one outage, once it is there.
QString storedSide(const QString &file)
{
    std::string error;
    auto connection = store::Connection::open(file.toStdString(), store::Access::ReadOnly, error);
    if (!connection)
        return QString::fromStdString(error);
    store::Statement read = connection->prepare("SELECT side, path_verdict FROM outages");
    if (!read.nextRow())
        return QString();
    return QString::fromStdString(read.optionalText(0).value_or("NULL") + "|" +
                                  read.optionalText(1).value_or("NULL"));
}

QStringList summaries(const fakes::Notifications &desktop)
{
    QStringList seen;
    for (const auto &notification : desktop.shown)
        seen << notification.summary;
    return seen;
}

} // namespace

class ScenarioTest : public QObject
{
    Q_OBJECT

private:
    PrivateBus &bus() { return processBus(); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }

    // The box changed to B while A is down: A is never claimed up, by a
    // bubble, /metrics or --on-up; it leaves /metrics; B is a host of its
    // own.
    void theAddressChangedDuringAnOutage()
    {
        QTemporaryDir scratch;
        const QString commands = scratch.filePath(QStringLiteral("commands"));
        Machine machine;
        app::LaunchOptions options = withMetricsAndCommands(commands);
        options.alerts.downAfter = 2;
        Program program(machine, options);
        program.application.open();
        QSignalSpy ended(program.application.commands(), &alerts::HostActions::finished);
        program.start(0s, QStringLiteral("127.0.0.2"));
        program.probes(1s, "aff");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        program.window().Text1->setText(QStringLiteral("127.0.0.3"));
        program.probes(4s, "a");
        program.probes(5s, "ffa");
        // Commands run one at a time, in order: an up of A would be second.
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, 10000);
        QCOMPARE(fileText(commands), QStringLiteral("down|127.0.0.2|127.0.0.2|\n"
                                                    "down|127.0.0.3|127.0.0.3|\n"
                                                    "up|127.0.0.3|127.0.0.3|\n"));
        QCOMPARE(summaries(machine.notifications),
                 QStringList({"127.0.0.2 is down", "127.0.0.3 is down", "127.0.0.3 is back"}));
        // B's figures reach the server after A's watch ended.
        QTRY_VERIFY(program.application.metrics()->port() != 0);
        QTRY_VERIFY_WITH_TIMEOUT(program.scrape().contains(QStringLiteral(
                                     "echowatch_outages_total{host=\"127.0.0.3\"} 1")),
                                 10000);
        const QString metrics = program.scrape();
        QVERIFY2(!metrics.contains(QStringLiteral("echowatch_up{host=\"127.0.0.2\"}")),
                 qPrintable(metrics));
        QVERIFY(metrics.contains(QStringLiteral("echowatch_up{host=\"127.0.0.3\"} 1\n")));
        QVERIFY(
            metrics.contains(QStringLiteral("echowatch_outages_total{host=\"127.0.0.2\"} 1\n")));
        // In the History window A's outage ended with its watch.
        QVERIFY(program.historyStatistics().startsWith(QStringLiteral("4 packets transmitted")));
    }

    // 0.0.0.0, refused by this machine, is an address: a host of its own
    // in every record, named as such.
    void theAllZeroAddressIsAHost()
    {
        QTemporaryDir scratch;
        const QString commands = scratch.filePath(QStringLiteral("commands"));
        Machine machine;
        Program program(machine, withMetricsAndCommands(commands));
        program.application.open();
        QSignalSpy ended(program.application.commands(), &alerts::HostActions::finished);
        program.start(0s, QStringLiteral("0.0.0.0"));
        program.probes(1s, "rrr");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        QCOMPARE(fileText(commands), QStringLiteral("down|0.0.0.0|0.0.0.0|\n"));
        QCOMPARE(summaries(machine.notifications), QStringList{"0.0.0.0 is down"});
        QTRY_VERIFY(program.application.metrics()->port() != 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            program.scrape().contains(QStringLiteral("echowatch_up{host=\"0.0.0.0\"} 0\n")), 10000);
        const QString metrics = program.scrape();
        QVERIFY(metrics.contains(QStringLiteral("echowatch_outages_total{host=\"0.0.0.0\"} 1\n")));
        QVERIFY(metrics.contains(QStringLiteral("echowatch_requests_total{host=\"0.0.0.0\"} 3\n")));
        QVERIFY2(!metrics.contains(QStringLiteral("host=\"\"")), qPrintable(metrics));
    }

    // The first outage's trace cannot open an echo service; it answers for
    // that outage all the same, at once and without a path, and the next
    // outage gets its own verdict, which reaches ECHOWATCH_PATH, the down
    // bubble and the History window's row of that outage alone.
    void aTraceThatCouldNotStartThenAVerdictOfItsOwn()
    {
        QTemporaryDir scratch;
        const QString commands = scratch.filePath(QStringLiteral("commands"));
        Machine machine;
        machine.pathOpenFailures = 1;
        app::LaunchOptions options = withMetricsAndCommands(commands);
        options.traceOnDown = true;
        Program program(machine, options);
        program.application.open();
        QSignalSpy ended(program.application.commands(), &alerts::HostActions::finished);
        QSignalSpy filed(&program.events(), &host::HostEventSignals::filed);
        program.start(0s, QStringLiteral("203.0.113.9"));
        program.probes(1s, "afff");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        QCOMPARE(filed.count(), 1);
        program.probes(5s, "afff");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, 10000);
        const QString verdict =
            QStringLiteral("beyond the gateway: stops after hop 2 (198.51.100.1)");
        QCOMPARE(fileText(commands), QStringLiteral("down|203.0.113.9|203.0.113.9|\n"
                                                    "up|203.0.113.9|203.0.113.9|\n"
                                                    "down|203.0.113.9|203.0.113.9|") +
                                         verdict + QLatin1Char('\n'));
        const QString where = QStringLiteral("Where: ") + verdict;
        QCOMPARE(machine.notifications.shown.size(), std::size_t{4});
        QVERIFY(!machine.notifications.shown[0].body.contains(QStringLiteral("Where")));
        QVERIFY(machine.notifications.shown[3].body.endsWith(where));
        const auto *outages = program.outageRows();
        QTRY_COMPARE(outages->rowCount(), 2);
        QCOMPARE(outages->data(outages->index(0, 5)).toString(), verdict);
        QCOMPARE(outages->data(outages->index(1, 5)).toString(), QString());
    }

    // The gateway passes nothing and answers nothing: its outage is the
    // local network's, and says so in every record of it: the down bubble,
    // the status line's tooltip, the History window's row (its tooltip in
    // full), the outages CSV, the history file's side, ECHOWATCH_WHERE and
    // ECHOWATCH_PATH, and /metrics, which counts every class from the
    // start.
    void theClassReachesEveryRecord()
    {
        QTemporaryDir scratch;
        const QString commands = scratch.filePath(QStringLiteral("commands"));
        const QString file = scratch.filePath(QStringLiteral("history.sqlite"));
        Machine machine;
        machine.path = gatewaySilent();
        machine.routes = throughTheGateway;
        app::LaunchOptions options = withMetricsAndCommands(commands);
        options.onDown = whereCommand(commands);
        options.onUp.clear();
        options.traceOnDown = true;
        options.historyFile = file;
        Program program(machine, options);
        program.application.open();
        QSignalSpy ended(program.application.commands(), &alerts::HostActions::finished);
        QTRY_VERIFY(program.application.metrics()->port() != 0);
        program.start(0s, QStringLiteral("203.0.113.9"));
        program.probes(1s, "a");
        const QString host =
            QStringLiteral("echowatch_outages_by_side_total{host=\"203.0.113.9\",");
        QTRY_VERIFY_WITH_TIMEOUT(program.scrape().contains(host), 10000);
        for (const std::string_view side : records::OutageClasses)
            QVERIFY(program.scrape().contains(
                host + QStringLiteral("side=\"%1\"} 0\n")
                           .arg(QString::fromUtf8(side.data(), side.size()))));

        program.probes(2s, "fff");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        const QString verdict = QStringLiteral("local network: gateway 192.0.2.1 does not answer");
        QCOMPARE(fileText(commands),
                 QStringLiteral("local network|") + verdict + QLatin1Char('\n'));
        QVERIFY(
            machine.notifications.shown.back().body.endsWith(QStringLiteral("Where: ") + verdict));
        QVERIFY2(program.window().Label1->toolTip().contains(QStringLiteral("Where: ") + verdict),
                 qPrintable(program.window().Label1->toolTip()));
        const auto *outages = program.outageRows();
        QTRY_COMPARE(outages->rowCount(), 1);
        QCOMPARE(outages->data(outages->index(0, 5)).toString(), verdict);
        QCOMPARE(outages->data(outages->index(0, 5), Qt::ToolTipRole).toString(), verdict);
        const std::uint32_t address = testpackets::address("203.0.113.9");
        const history::HostRecords &hosts = program.application.history().hosts();
        std::ostringstream csv;
        history::writeOutagesCsv(hosts.at(hosts.latest()).outages(), csv,
                                 program.application.history().where(address));
        QVERIFY2(csv.str().find("," + verdict.toStdString() + ",") != std::string::npos,
                 csv.str().c_str());
        QTRY_COMPARE_WITH_TIMEOUT(storedSide(file), QStringLiteral("local network|") + verdict,
                                  10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            program.scrape().contains(host + QStringLiteral("side=\"local network\"} 1\n")), 10000);
    }

    // Stop during an outage, tracing off: the outage ended with its watch
    // is classed not watched, in its row, the file and /metrics.
    void anOutageStoppedIsNotWatched()
    {
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("history.sqlite"));
        Machine machine;
        app::LaunchOptions options = withMetricsAndCommands(scratch.filePath(QStringLiteral("c")));
        options.historyFile = file;
        Program program(machine, options);
        program.application.open();
        QTRY_VERIFY(program.application.metrics()->port() != 0);
        program.start(0s, QStringLiteral("203.0.113.9"));
        program.probes(1s, "afff");
        machine.at(5s);
        program.window().Command1->click();
        const auto *outages = program.outageRows();
        QTRY_COMPARE(outages->rowCount(), 1);
        const QString words = QStringLiteral("not watched: the watch ended during the outage");
        QTRY_COMPARE(outages->data(outages->index(0, 5)).toString(), words);
        QTRY_COMPARE_WITH_TIMEOUT(storedSide(file), QStringLiteral("not watched|") + words, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            program.scrape().contains(QStringLiteral(
                "echowatch_outages_by_side_total{host=\"203.0.113.9\",side=\"not watched\"} 1\n")),
            10000);
    }

    // Keep history in a file, then choose the same file again: this run's
    // probes in it are not read back as an earlier run.
    void theSameHistoryFileChosenAgain()
    {
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("history.sqlite"));
        Machine machine;
        app::LaunchOptions options;
        options.historyFile = file;
        Program program(machine, options);
        program.application.open();
        QSignalSpy read(&program.application.historyFile(),
                        &history_view::HistoryFile::earlierRunsRead);
        program.start(0s, QStringLiteral("127.0.0.1"));
        program.probes(1s, "aaa");
        program.application.historyFile().keepIn(file);
        program.probes(4s, "aaa");
        // Another host's first read comes after any other read of the first.
        program.window().Text1->setText(QStringLiteral("127.0.0.2"));
        program.probes(7s, "a");
        QTRY_COMPARE(read.count(), 2);
        program.window().Text1->setText(QStringLiteral("127.0.0.1"));
        program.probes(8s, "a");
        const QString statistics = program.historyStatistics();
        QVERIFY2(statistics.startsWith(QStringLiteral("7 packets transmitted, 7 received")),
                 qPrintable(statistics));
        QVERIFY2(!statistics.contains(QStringLiteral("earlier")), qPrintable(statistics));
    }

    // Stop clicked while a probe to a silent host is under way on the worker
    // (600 ms): the probe is shown and counted, then the watch ends; nothing
    // is shown, logged or counted after the caption reads "Start".
    void stopWhileAProbeIsInFlight()
    {
        LateEchoLibrary late(600ms);
        late.script.echo = {11010, 0, 0};
        Machine machine;
        machine.echo = &late;
        Program program(machine, {});
        program.application.open();
        int shown = 0;
        QObject::connect(&program.window(), &Form1::probeShown, [&shown] { ++shown; });
        QSignalSpy taken(&program.events(), &host::HostEventSignals::taken);
        QSignalSpy ended(&program.events(), &host::HostEventSignals::ended);
        program.machine.at(0s);
        program.window().Text1->setText(QStringLiteral("127.0.0.1"));
        program.window().Text2->setText(QStringLiteral("1"));
        program.window().Command1->click();
        QTRY_VERIFY(late.begun() > 1);
        QTest::mouseClick(program.window().Command1, Qt::LeftButton);
        QCOMPARE(program.window().Command1->text(), QStringLiteral("Stop"));
        QTRY_COMPARE_WITH_TIMEOUT(program.window().Command1->text(), QStringLiteral("Start"), 5000);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(late.begun(), shown);
        QCOMPARE(taken.count(), shown);
        const history::HostRecords &hosts = program.application.history().hosts();
        QCOMPARE(hosts.at(hosts.latest()).totals().transmitted, std::uint64_t(shown));
    }

    // PrepareForSleep counts from logind alone: anyone else on the system
    // bus may send the same signal, and is not heeded.
    void onlyLogindPutsTheWatchToSleep()
    {
        QVERIFY2(bus().started(), qPrintable(bus().problem()));
        platform::SleepWatch watch;
        QSignalSpy listening(&watch, &platform::SleepWatch::listening);
        QSignalSpy sleeping(&watch, &platform::SleepWatch::sleeping);
        QSignalSpy awake(&watch, &platform::SleepWatch::awake);
        QTRY_VERIFY_WITH_TIMEOUT(listening.count() > 0, 10000);
        QVERIFY(bus().announceSleep(true, false));
        QVERIFY(bus().announceSleep(false));
        QTRY_COMPARE(awake.count(), 1);
        QCOMPARE(sleeping.count(), 0);
    }

    // A first run watched 10 s, slept a minute, watched 30 s more and was
    // closed; 100 s later a second run starts. Its History counts the
    // watched time alone (10 + 30 + 2 s), and an outage the sleep cut short
    // ends with it, not watched: neither the night nor the gap is up or
    // down.
    void aRestartWithAGapAndASleepInTheMiddle()
    {
        QVERIFY2(bus().started(), qPrintable(bus().problem()));
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("history.sqlite"));
        Machine machine;
        machine.watchSleep = true;
        app::LaunchOptions options;
        options.historyFile = file;
        options.alerts.downAfter = 1;
        {
            Program first(machine, options);
            QSignalSpy listening(first.application.sleepWatch(), &platform::SleepWatch::listening);
            QSignalSpy ended(&first.events(), &host::HostEventSignals::ended);
            // Connected after the program's own: when it is told, the
            // program has woken.
            QSignalSpy awake(first.application.sleepWatch(), &platform::SleepWatch::awake);
            first.application.open();
            QTRY_VERIFY_WITH_TIMEOUT(listening.count() > 0, 10000);
            first.start(0s, QStringLiteral("127.0.0.1"));
            first.probes(1s, "aff");
            machine.at(10s);
            QVERIFY(bus().announceSleep(true));
            QTRY_COMPARE(ended.count(), 1);
            QCOMPARE(ended.at(0).at(0).value<host::WatchEnded>().why, host::WatchEnd::Sleep);
            machine.at(70s);
            QVERIFY(bus().announceSleep(false));
            QTRY_COMPARE(awake.count(), 1);
            first.probes(71s, "afa");
            first.closeAt(100s);
            QCOMPARE(ended.count(), 2);
            QCOMPARE(ended.at(1).at(0).value<host::WatchEnded>().why, host::WatchEnd::Closed);
        }
        machine.watchSleep = false;
        Program second(machine, options);
        QSignalSpy read(&second.application.historyFile(),
                        &history_view::HistoryFile::earlierRunsRead);
        second.application.open();
        second.start(200s, QStringLiteral("127.0.0.1"));
        second.probes(201s, "aa");
        QTRY_COMPARE(read.count(), 1);
        const QString statistics = second.historyStatistics();
        QVERIFY2(statistics.contains(QStringLiteral("8 packets transmitted, 5 received, 37.5% "
                                                    "packet loss, time 201000ms\n"
                                                    "down 21.4% of the watched time (9.0 s of "
                                                    "42.0 s)")),
                 qPrintable(statistics));
        const auto *outages = second.outageRows();
        QCOMPARE(outages->rowCount(), 2);
        QVERIFY(outages->data(outages->index(1, 1))
                    .toString()
                    .endsWith(QStringLiteral(", not watched")));
        QCOMPARE(outages->data(outages->index(1, 2)).toString(), QStringLiteral("8.0 s"));
    }
};

QTEST_MAIN(ScenarioTest)
#include "scenario_test.moc"
