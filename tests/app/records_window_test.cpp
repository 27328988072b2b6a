// What leaves the window: the commands on down and up, the live log, the
// metrics endpoint, and the host's name and sound in its notifications.
#include "echowatch/alerts/host_actions.h"
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/app/command_feed.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/app/worker_thread.h"
#include "echowatch/records/command_words.h"
#include "watched_window.h"

#include <QAction>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList commandWords(const QString &line)
{
    QStringList words;
    for (const std::string &word : records::splitCommandWords(line.toStdString()).words)
        words << QString::fromStdString(word);
    return words;
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A command that appends the words given, the facts' variables expanded,
// as a line to the trace file.
QString tracingCommand(const QString &words, const QString &trace)
{
    return QStringLiteral("sh -c 'echo \"%1\" >> \"$1\"' sh %2").arg(words, trace);
}

// The name given for 127.0.0.1 on the command line.
std::string routerAtLoopback(const std::string &dotted)
{
    return dotted == "127.0.0.1" ? "router.test" : dotted;
}

// The commands as the program runs them, fed by the host monitor.
struct Commands
{
    Commands(WatchedWindow &test, const QString &onDown, const QString &onUp,
             std::function<bool()> tracing = {})
        : actions(commandWords(onDown), commandWords(onUp), std::chrono::seconds(30), &test.window),
          feed(test.events(), actions, std::move(tracing), &actions)
    {}

    alerts::HostActions actions;
    app::CommandFeed feed;
};

// The window under some rules, probing 127.0.0.1 with commands to trace.
struct CommandedWindow
{
    CommandedWindow(const host::AlertRules &rules, const QString &onDown, const QString &onUp)
        : test(rules), commands(test, onDown, onUp)
    {
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
    }

    WatchedWindow test;
    Commands commands;
};

} // namespace

class RecordsWindowTest : public QObject
{
    Q_OBJECT

private slots:
    // Text that a shell would run, as the host's name: the command gets it
    // as a value and nothing ever runs it.
    void commandsGetTheFactsAndNoShell_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("command substitution") << "x$(touch MARK)";
        QTest::newRow("backquotes") << "x`touch MARK`";
        QTest::newRow("separator") << "x;touch MARK;";
        QTest::newRow("quotes") << "x'\";touch MARK;'\"";
        QTest::newRow("line end") << "x\ntouch MARK";
    }

    void commandsGetTheFactsAndNoShell()
    {
        QFETCH(QString, name);
        QTemporaryDir scratch;
        const QString mark = scratch.filePath(QStringLiteral("mark"));
        name.replace(QStringLiteral("MARK"), mark);
        const QString facts = scratch.filePath(QStringLiteral("facts"));
        WatchedWindow test(2, [&name](const std::string &dotted) {
            return dotted == "127.0.0.1" ? name.toStdString() : dotted;
        });
        // The environment as the command sees it, one variable a line.
        Commands commands(test, QStringLiteral("sh -c 'env > \"$1\"' sh ") + facts, {});
        QSignalSpy ended(&commands.actions, &alerts::HostActions::finished);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("aff");
        QTRY_VERIFY_WITH_TIMEOUT(ended.count() > 0, 10000);

        const QString seen = fileText(facts);
        for (const QString &line :
             {QStringLiteral("ECHOWATCH_STATUS=down"), QStringLiteral("ECHOWATCH_HOST=") + name,
              QStringLiteral("ECHOWATCH_ADDRESS=127.0.0.1"), QStringLiteral("ECHOWATCH_LOST=2"),
              QStringLiteral("ECHOWATCH_CAUSE=11010"),
              QStringLiteral("ECHOWATCH_SINCE=2027-01-15T")})
            QVERIFY2(seen.contains(line), qPrintable(seen));
        QVERIFY(!QFile::exists(mark));
    }

    // Each change of the host runs its command, in the order it changed.
    void eachChangeRunsItsCommand()
    {
        QTemporaryDir scratch;
        const QString trace = scratch.filePath(QStringLiteral("trace"));
        const QString command =
            QStringLiteral("sh -c 'echo \"$ECHOWATCH_STATUS\" >> \"$1\"' sh ") + trace;
        WatchedWindow test(1);
        Commands commands(test, command, command);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("af");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\n"), 10000);
        test.probes("a");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\nup\n"), 10000);
        test.probes("f");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\nup\ndown\n"), 10000);
    }

    // 71 flips in ten minutes: a command for each of the first five downs
    // and ups, one down command that says the host flaps, none for the
    // rest, and one up command once it has stayed up for the window.
    void aFlappingHostRunsOneCommand()
    {
        QTemporaryDir scratch;
        const QString trace = scratch.filePath(QStringLiteral("trace"));
        const QString command =
            tracingCommand(QStringLiteral("$ECHOWATCH_STATUS $ECHOWATCH_FLAPPING"), trace);
        host::AlertRules rules;
        rules.downAfter = 1;
        CommandedWindow commanded(rules, command, command);
        WatchedWindow &test = commanded.test;
        QString expected;
        // Each command waits for the one before, and a newer down ends an
        // older one still running: the first five flips wait for theirs.
        for (int flip = 0; flip < 5; ++flip) {
            test.probes("fa");
            expected += QStringLiteral("down 0\nup 0\n");
            QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), expected, 10000);
        }
        for (int flip = 5; flip < 71; ++flip)
            test.probes("fa");
        expected += QStringLiteral("down 1\n");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), expected, 10000);
        // Ten minutes up settles it; a command the flips had queued would
        // come before this one.
        for (int second = 0; second < 600; ++second)
            test.probes("a");
        expected += QStringLiteral("up 0\n");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), expected, 10000);
    }

    // Slow for a minute, then normal for a minute: each runs its command
    // with the percentile's round trip.
    void slowAndNormalRunTheirCommands()
    {
        QTemporaryDir scratch;
        const QString trace = scratch.filePath(QStringLiteral("trace"));
        const QStringList command = commandWords(
            tracingCommand(QStringLiteral("$ECHOWATCH_STATUS $ECHOWATCH_ROUND_TRIP_MS"), trace));
        host::AlertRules rules;
        rules.slow = {100, 95};
        CommandedWindow commanded(rules, {}, {});
        WatchedWindow &test = commanded.test;
        commanded.commands.actions.setCommand(records::ActionFacts::Change::Slow, command);
        commanded.commands.actions.setCommand(records::ActionFacts::Change::Normal, command);
        for (int second = 0; second < 62; ++second)
            test.probe(0, 150);
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("slow 150.000\n"), 10000);
        // Under once at most 3 of the minute's 60 answers are slow, 57
        // answers on; normal a minute after.
        for (int second = 0; second < 130; ++second)
            test.probe(0, 20);
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace),
                                  QStringLiteral("slow 150.000\nnormal 20.000\n"), 10000);
    }

    // Where the path is traced, the down command waits for its outage's
    // verdict (ECHOWATCH_PATH), or for a trace that could not run, or for
    // the bound; an up never overtakes its down.
    void aDownCommandWaitsForItsVerdict()
    {
        QTemporaryDir scratch;
        const QString seen = scratch.filePath(QStringLiteral("seen"));
        const QString command = QStringLiteral("sh -c 'echo \"$ECHOWATCH_STATUS "
                                               "${ECHOWATCH_PATH-none}\" >> \"$1\"' sh ") +
                                seen;
        WatchedWindow test(1);
        Commands commands(test, command, command, [] { return true; });
        QSignalSpy ended(&commands.actions, &alerts::HostActions::finished);
        std::vector<host::OutageId> outages;
        connect(&test.events(), &host::HostEventSignals::down,
                [&outages](const host::HostDown &down) { outages.push_back(down.outage); });
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        // A newer change of a kind ends the command of the one before: each
        // step waits for the last.
        test.probes("f");
        test.watch.fileVerdict(outages.at(0), {host::Side::TheHost, "the host is silent", true});
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
        test.probes("af");
        test.watch.fileVerdict(outages.at(1), {host::Side::Unknown, "not traced", false});
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, 10000);
        test.probes("a");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 4, 10000);
        // The host back before the verdict: the down runs first, without.
        test.probes("fa");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 6, 10000);
        // No verdict ever: the down runs once the bound is past.
        test.probes("f");
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 7, 10000);
        QCOMPARE(fileText(seen), QStringLiteral("down the host is silent\nup none\n"
                                                "down none\nup none\ndown none\nup none\n"
                                                "down none\n"));
    }

    // Nothing asked for: no feed, no thread, no process, no file.
    void attachesNothingUnasked()
    {
        WatchedWindow test;
        app::attachRecords(test.window, test.events(), app::LaunchOptions());
        QVERIFY(test.window.findChildren<app::RecordsFeed *>().isEmpty());
        QVERIFY(test.window.findChildren<app::WorkerThread *>().isEmpty());
        QVERIFY(test.window.findChildren<alerts::HostActions *>().isEmpty());
    }

    void logsEachProbeByName()
    {
        QTemporaryDir scratch;
        app::LaunchOptions options;
        options.logFile = scratch.filePath(QStringLiteral("live.csv"));
        WatchedWindow test(3, routerAtLoopback);
        app::attachRecords(test.window, test.events(), options);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("af");
        // Another address in the box is no longer the named host; text
        // that is no address sends nothing, to no host.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.probes("ab");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(*options.logFile).count(QLatin1Char('\n')), 5, 10000);
        const QStringList lines = fileText(*options.logFile).split(QStringLiteral("\r\n"));
        QVERIFY(lines[1].contains(QStringLiteral(",router.test,127.0.0.1,0,")));
        QVERIFY(lines[2].contains(QStringLiteral(",router.test,127.0.0.1,11010,")));
        QVERIFY(lines[3].contains(QStringLiteral(",127.0.0.2,127.0.0.2,0,")));
        QVERIFY2(lines[4].contains(QStringLiteral(",,,-1,")), qPrintable(lines[4]));
    }

    void servesMetricsOffTheGuiThread()
    {
        WatchedWindow test(1);
        app::RecordsFeed feed(test.events(), &test.window);
        auto *server = new app::MetricsServer(QHostAddress::LocalHost, 0);
        connect(&feed, &app::RecordsFeed::probeLogged, server, &app::MetricsServer::recordProbe);
        connect(&feed, &app::RecordsFeed::hostChanged, server, &app::MetricsServer::recordChange);
        connect(&feed, &app::RecordsFeed::watchChanged, server, &app::MetricsServer::recordWatch);
        QSignalSpy listening(server, &app::MetricsServer::listening);
        new app::WorkerThread(server, QStringLiteral("metrics"), &test.window);
        QMetaObject::invokeMethod(server, &app::MetricsServer::listen, Qt::QueuedConnection);
        // It may have said so already: the count is looked at first.
        QTRY_VERIFY_WITH_TIMEOUT(listening.count() > 0, 10000);
        const auto port = listening.first().at(1).value<quint16>();
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("aafb");
        // Told after all of the first host's figures.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.probes("a");

        QNetworkAccessManager network;
        const auto fetch = [&network, port](const char *path) {
            QNetworkReply *reply = network.get(QNetworkRequest(
                QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(path)))));
            QSignalSpy done(reply, &QNetworkReply::finished);
            if (!QTest::qWaitFor([&done] { return done.count() > 0; }, 10000))
                return std::pair(0, QString());
            reply->deleteLater();
            return std::pair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                             QString::fromUtf8(reply->readAll()));
        };
        // The probes reach the server's thread by queued signals.
        QTRY_VERIFY_WITH_TIMEOUT(
            fetch("/metrics")
                .second.contains(QStringLiteral("echowatch_requests_total{host=\"127.0.0.2\"} 1")),
            10000);
        const auto [status, text] = fetch("/metrics");
        QCOMPARE(status, 200);
        // Its watch ended with the text that was no address: no longer
        // up or down, its counters kept.
        QVERIFY2(!text.contains(QStringLiteral("echowatch_up{host=\"127.0.0.1\"}")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("echowatch_up{host=\"127.0.0.2\"} 1\n")));
        QVERIFY(text.contains(QStringLiteral("echowatch_requests_total{host=\"127.0.0.1\"} 3\n")));
        QVERIFY(text.contains(QStringLiteral("echowatch_outages_total{host=\"127.0.0.1\"} 1\n")));
        QVERIFY(!text.contains(QStringLiteral("host=\"\"")));
        QVERIFY(text.contains(
            QStringLiteral("echowatch_failures_total{host=\"127.0.0.1\",status=\"11010\"} 1\n")));
        QCOMPARE(fetch("/other").first, 404);
    }

    // The headless prober waits for the server's first word, listening or
    // failed: started before it had connected, the word could come first.
    void aHeadlessServerListensOnlyWhenTold()
    {
        WatchedWindow test;
        app::LaunchOptions options;
        options.metrics = app::LaunchOptions::Endpoint{QHostAddress::LocalHost, 0};
        const app::AttachedRecords attached = app::attachRecords(
            test.window, test.events(), options, {}, app::RecordsOwner::Headless);
        QVERIFY(attached.metrics != nullptr);
        // The server's thread takes what is queued to it in order, so what
        // attaching queued has run once this returns.
        QMetaObject::invokeMethod(attached.metrics, [] {}, Qt::BlockingQueuedConnection);
        QCOMPARE(attached.metrics->port(), quint16{0});
        QSignalSpy listening(attached.metrics, &app::MetricsServer::listening);
        app::listenForScrapes(*attached.metrics);
        // Said on the server's thread, maybe before a wait would begin.
        QTRY_VERIFY_WITH_TIMEOUT(listening.count() > 0, 10000);
        QVERIFY(attached.metrics->port() != 0);
    }

    void notificationsNameTheHostAndPlayASound()
    {
        WatchedWindow test(1, routerAtLoopback);
        fakes::Notifications desktop;
        alerts::HostAlerts hostAlerts(test.window, test.events(), desktop);
        QVERIFY(hostAlerts.switchOn());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        test.probes("af");
        hostAlerts.soundAction()->setChecked(true);
        test.probes("a");
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("router.test is down"));
        QCOMPARE(desktop.shown[0].soundName, QString());
        QCOMPARE(desktop.shown[1].soundName, QStringLiteral("network-connectivity-established"));

        // A sound asked for where there is no service switches nothing on.
        WatchedWindow quiet;
        fakes::Notifications none;
        none.served = false;
        alerts::HostAlerts silent(quiet.window, quiet.events(), none);
        silent.soundAction()->setChecked(true);
        QVERIFY(!silent.soundAction()->isChecked() && !silent.action()->isChecked());
    }
};

QTEST_MAIN(RecordsWindowTest)
#include "records_window_test.moc"
