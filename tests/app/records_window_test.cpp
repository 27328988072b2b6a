// What leaves the window: the commands on down and up, the live log, the
// metrics endpoint, and the host's name and sound in its notifications.
#include "echowatch/alerts/host_actions.h"
#include "echowatch/alerts/host_alerts.h"
#include "echowatch/alerts/host_naming.h"
#include "echowatch/app/command_line.h"
#include "echowatch/app/metrics_server.h"
#include "echowatch/app/records_feed.h"
#include "echowatch/app/records_setup.h"
#include "echowatch/app/worker_thread.h"
#include "echowatch/records/command_words.h"
#include "test_window.h"

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

// One letter per tick: a answered, f failed.
void tick(TestWindow &test, const char *probes)
{
    for (const char *probe = probes; *probe; ++probe) {
        test.icmp.echo =
            *probe == 'a' ? fakes::ScriptedEcho{0, 1, 32} : fakes::ScriptedEcho{11010, 0, 0};
        test.window.ProbeTick();
    }
}

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
        TestWindow test;
        const alerts::HostNaming naming{name, QStringLiteral("127.0.0.1")};
        app::RecordsFeed feed(test.window, naming, 2);
        // The environment as the command sees it, one variable a line.
        alerts::HostActions actions(
            commandWords(QStringLiteral("sh -c 'env > \"$1\"' sh ") + facts), {},
            std::chrono::seconds(30), &test.window);
        connect(&feed, &app::RecordsFeed::hostChanged, &actions, &alerts::HostActions::run);
        QSignalSpy ended(&actions, &alerts::HostActions::finished);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        tick(test, "aff");
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
        TestWindow test;
        const alerts::HostNaming naming;
        app::RecordsFeed feed(test.window, naming, 1);
        alerts::HostActions actions(commandWords(command), commandWords(command),
                                    std::chrono::seconds(30), &test.window);
        connect(&feed, &app::RecordsFeed::hostChanged, &actions, &alerts::HostActions::run);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        tick(test, "af");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\n"), 10000);
        tick(test, "a");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\nup\n"), 10000);
        tick(test, "f");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(trace), QStringLiteral("down\nup\ndown\n"), 10000);
    }

    // Nothing asked for: no feed, no thread, no process, no file.
    void attachesNothingUnasked()
    {
        TestWindow test;
        const alerts::HostNaming naming;
        app::attachRecords(test.window, app::LaunchOptions(), naming);
        QVERIFY(test.window.findChildren<app::RecordsFeed *>().isEmpty());
        QVERIFY(test.window.findChildren<app::WorkerThread *>().isEmpty());
        QVERIFY(test.window.findChildren<alerts::HostActions *>().isEmpty());
    }

    void logsEachProbeByName()
    {
        QTemporaryDir scratch;
        app::LaunchOptions options;
        options.logFile = scratch.filePath(QStringLiteral("live.csv"));
        TestWindow test;
        const alerts::HostNaming naming{QStringLiteral("router.test"), QStringLiteral("127.0.0.1")};
        app::attachRecords(test.window, options, naming);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        tick(test, "af");
        // Another address in the box is no longer the named host.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        tick(test, "a");
        QTRY_COMPARE_WITH_TIMEOUT(fileText(*options.logFile).count(QLatin1Char('\n')), 4, 10000);
        const QStringList lines = fileText(*options.logFile).split(QStringLiteral("\r\n"));
        QVERIFY(lines[1].contains(QStringLiteral(",router.test,127.0.0.1,0,")));
        QVERIFY(lines[2].contains(QStringLiteral(",router.test,127.0.0.1,11010,")));
        QVERIFY(lines[3].contains(QStringLiteral(",127.0.0.2,127.0.0.2,0,")));
    }

    void servesMetricsOffTheGuiThread()
    {
        TestWindow test;
        const alerts::HostNaming naming;
        app::RecordsFeed feed(test.window, naming, 1);
        auto *server = new app::MetricsServer(QHostAddress::LocalHost, 0);
        connect(&feed, &app::RecordsFeed::probeLogged, server, &app::MetricsServer::recordProbe);
        connect(&feed, &app::RecordsFeed::hostChanged, server, &app::MetricsServer::recordChange);
        QSignalSpy listening(server, &app::MetricsServer::listening);
        new app::WorkerThread(server, QStringLiteral("metrics"), &test.window);
        QMetaObject::invokeMethod(server, &app::MetricsServer::listen, Qt::QueuedConnection);
        // It may have said so already: the count is looked at first.
        QTRY_VERIFY_WITH_TIMEOUT(listening.count() > 0, 10000);
        const auto port = listening.first().at(1).value<quint16>();
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        tick(test, "aaf");

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
                .second.contains(QStringLiteral("echowatch_requests_total{host=\"127.0.0.1\"} 3")),
            10000);
        const auto [status, text] = fetch("/metrics");
        QCOMPARE(status, 200);
        QVERIFY(text.contains(QStringLiteral("echowatch_up{host=\"127.0.0.1\"} 0\n")));
        QVERIFY(text.contains(
            QStringLiteral("echowatch_failures_total{host=\"127.0.0.1\",status=\"11010\"} 1\n")));
        QCOMPARE(fetch("/other").first, 404);
    }

    void notificationsNameTheHostAndPlayASound()
    {
        TestWindow test;
        fakes::Notifications desktop;
        alerts::HostAlerts hostAlerts(test.window, desktop, 1);
        const alerts::HostNaming naming{QStringLiteral("router.test"), QStringLiteral("127.0.0.1")};
        hostAlerts.setNaming(&naming);
        QVERIFY(hostAlerts.switchOn());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        tick(test, "af");
        hostAlerts.soundAction()->setChecked(true);
        tick(test, "a");
        QCOMPARE(desktop.shown.size(), std::size_t{2});
        QCOMPARE(desktop.shown[0].summary, QStringLiteral("router.test is down"));
        QCOMPARE(desktop.shown[0].soundName, QString());
        QCOMPARE(desktop.shown[1].soundName, QStringLiteral("network-connectivity-established"));

        // A sound asked for where there is no service switches nothing on.
        TestWindow quiet;
        fakes::Notifications none;
        none.served = false;
        alerts::HostAlerts silent(quiet.window, none, 1);
        silent.soundAction()->setChecked(true);
        QVERIFY(!silent.soundAction()->isChecked() && !silent.action()->isChecked());
    }
};

QTEST_MAIN(RecordsWindowTest)
#include "records_window_test.moc"
