// The command line: each option and each bad value, read in the process and
// then by the shipped binary on no display at all; and the shipped binary
// ended by a signal.
#include "echowatch/app/command_line.h"
#include "echowatch/store/history_reader.h"
#include "echowatch/store/sqlite_connection.h"
#include "echowatch/records/action_environment.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

Q_DECLARE_METATYPE(host::AlertRules)

namespace {

// Words apart at spaces, '' standing for an empty one.
QStringList words(const QString &line)
{
    QStringList split = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &word : split) {
        if (word == QStringLiteral("''"))
            word.clear();
    }
    return split;
}

} // namespace

using namespace app;

namespace {

// The watches of 127.0.0.1 the history file holds; none while it cannot be
// read.
std::vector<store::StoredWatch> watchesIn(const QString &file)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file.toStdString(), store::Access::ReadOnly, error);
    if (!connection)
        return {};
    const std::optional<store::HostHistory> read = store::readHostHistory(
        *connection, "127.0.0.1", {0, std::int64_t{1} << 50}, 10, error);
    return read ? read->watches : std::vector<store::StoredWatch>{};
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("echowatch")); }

    void refusesMisuse_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << "--colour"
                                        << "'colour'";
        QTest::newRow("interval without value") << "--interval"
                                                << "'--interval'";
        QTest::newRow("down-after 0") << "--down-after 0"
                                      << "--down-after";
        QTest::newRow("down-after 101") << "--down-after 101"
                                        << "--down-after";
        QTest::newRow("down-after words") << "--down-after three"
                                          << "'three'";
        QTest::newRow("start without interval") << "127.0.0.1 --start"
                                                << "--start";
        QTest::newRow("two addresses") << "127.0.0.1 127.0.0.2"
                                       << "'127.0.0.2'";
        QTest::newRow("history without file") << "--history"
                                              << "'--history'";
        QTest::newRow("keep-days 0") << "--keep-days 0"
                                     << "--keep-days";
        QTest::newRow("keep-days 3651") << "--history h.sqlite --keep-days 3651"
                                        << "--keep-days";
        QTest::newRow("keep-days words") << "--keep-days month"
                                         << "'month'";
        QTest::newRow("log format") << "--log-format xml"
                                    << "'xml'";
        QTest::newRow("metrics port") << "--metrics 65536"
                                      << "'65536'";
        QTest::newRow("metrics name") << "--metrics localhost:9100"
                                      << "'localhost:9100'";
        QTest::newRow("metrics words") << "--metrics all"
                                       << "'all'";
        QTest::newRow("open quote") << "--on-down 'mail"
                                    << "--on-down";
        QTest::newRow("shell expansion") << "--on-up echo$HOME"
                                         << "'$'";
        QTest::newRow("home directory") << "--on-down ~/bin/alert"
                                        << "'~'";
        QTest::newRow("glob") << "--on-up rm*.tmp"
                              << "'*'";
        QTest::newRow("action-timeout 0") << "--action-timeout 0"
                                          << "--action-timeout";
        QTest::newRow("action-timeout a day and more") << "--action-timeout 86401"
                                                       << "--action-timeout";
        QTest::newRow("down-loss 0") << "--down-loss 0" << "'0'";
        QTest::newRow("down-loss over 100") << "--down-loss 101" << "'101'";
        QTest::newRow("down-loss clear at raise") << "--down-loss 20:20" << "'20:20'";
        QTest::newRow("down-loss clear negative") << "--down-loss 20:-1" << "'20:-1'";
        QTest::newRow("down-loss three levels") << "--down-loss 20:5:1" << "'20:5:1'";
        QTest::newRow("down-loss empty clear") << "--down-loss 20:" << "'20:'";
        QTest::newRow("down-loss words") << "--down-loss much" << "'much'";
        QTest::newRow("loss-window alone") << "--loss-window 50" << "--down-loss";
        QTest::newRow("loss-window 9") << "--down-loss 20 --loss-window 9" << "--loss-window";
        QTest::newRow("loss-window 10001") << "--down-loss 20 --loss-window 10001"
                                           << "--loss-window";
        QTest::newRow("slow-over 0") << "--slow-over 0" << "'0'";
        QTest::newRow("slow-over a minute and more") << "--slow-over 60001" << "'60001'";
        QTest::newRow("slow-over percentile 0") << "--slow-over 100:0" << "'100:0'";
        QTest::newRow("slow-over percentile 101") << "--slow-over 100:101" << "'100:101'";
        QTest::newRow("slow-over words") << "--slow-over fast" << "'fast'";
        QTest::newRow("flap-limit negative") << "--flap-limit -1" << "--flap-limit";
        QTest::newRow("flap-limit 1001") << "--flap-limit 1001" << "--flap-limit";
        QTest::newRow("flap-window 0") << "--flap-window 0" << "--flap-window";
        QTest::newRow("flap-window a day and more") << "--flap-window 1441" << "--flap-window";
        QTest::newRow("on-slow shell") << "--on-slow a;b" << "';'";
        QTest::newRow("on-normal open quote") << "--on-normal 'x" << "--on-normal";
        QTest::newRow("headless without hosts") << "--headless --metrics 9100"
                                                << "--hosts-file";
        QTest::newRow("headless with start") << "--headless 127.0.0.1 -i 1000 -s"
                                             << "--start";
        QTest::newRow("headless with notify") << "--headless 127.0.0.1 --notify"
                                              << "--notify";
        QTest::newRow("headless with platform") << "--headless 127.0.0.1 -platform offscreen"
                                                << "-platform";
        QTest::newRow("headless interval too short") << "--headless 127.0.0.1 -i 9"
                                                     << "--interval";
        QTest::newRow("headless interval words") << "--headless 127.0.0.1 -i 1s"
                                                 << "'1s'";
        QTest::newRow("hosts file without headless") << "--hosts-file hosts"
                                                     << "--headless";
        QTest::newRow("helper socket without headless") << "--helper-socket /run/x"
                                                        << "--headless";
    }

    void refusesMisuse()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, named);
        const CommandLine line = parseCommandLine(words(QStringLiteral("echowatch ") + arguments));
        QVERIFY(line.exit.has_value());
        QCOMPARE(line.exit->status, 2);
        QCOMPARE(line.exit->stream, CommandLineExit::Stream::Error);
        QVERIFY2(line.exit->text.contains(named), qPrintable(line.exit->text));
    }

    void readsWhatItIsGiven()
    {
        const CommandLine none = parseCommandLine({QStringLiteral("echowatch")});
        QVERIFY(!none.exit);
        QVERIFY(!none.options.address && !none.options.interval);
        QVERIFY(!none.options.start && !none.options.notify);
        QCOMPARE(none.options.alerts.downAfter, 3);
        QVERIFY(!none.options.historyFile);
        QCOMPARE(none.options.keepDays, 30);

        const CommandLine all = parseCommandLine(
            words(QStringLiteral("echowatch -platform offscreen 127.0.0.1 -i 250x -s --notify "
                                 "--down-after 100 --history /tmp/h.sqlite --keep-days 3650")));
        QVERIFY(!all.exit);
        QCOMPARE(all.options.address, QStringLiteral("127.0.0.1"));
        // Not checked here: the box takes it as typed, and Start judges it.
        QCOMPARE(all.options.interval, QStringLiteral("250x"));
        QVERIFY(all.options.start && all.options.notify);
        QCOMPARE(all.options.alerts.downAfter, 100);
        QCOMPARE(all.options.historyFile, QStringLiteral("/tmp/h.sqlite"));
        QCOMPARE(all.options.keepDays, 3650);
        QVERIFY(!all.options.logFile && !all.options.metrics && !all.options.hostName);
        QVERIFY(all.options.onDown.isEmpty() && all.options.onUp.isEmpty());
        QCOMPARE(all.options.actionTimeout, std::chrono::seconds(30));
        const CommandLine limited =
            parseCommandLine(words(QStringLiteral("echowatch --action-timeout 86400")));
        QVERIFY(!limited.exit);
        QCOMPARE(limited.options.actionTimeout, std::chrono::seconds(86400));
    }

    // What calls the host down, slow and flapping: each rule off unless
    // asked for, but flapping, on at 5 downs in 10 minutes.
    void readsAlertRules_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<host::AlertRules>("expected");
        const host::AlertRules defaults;
        QTest::newRow("none") << "" << defaults;
        auto with = [&defaults](auto change) {
            host::AlertRules rules = defaults;
            change(rules);
            return rules;
        };
        QTest::newRow("loss, clear a quarter of raise")
            << "--down-loss 20" << with([](auto &r) { r.loss = {20, 5, 50}; });
        QTest::newRow("loss, the quarter rounded down")
            << "--down-loss 30" << with([](auto &r) { r.loss = {30, 7, 50}; });
        QTest::newRow("loss, a raise of 1 clears at 0")
            << "--down-loss 1" << with([](auto &r) { r.loss = {1, 0, 50}; });
        QTest::newRow("loss, both levels and a window")
            << "--down-loss 100:99 --loss-window 10000"
            << with([](auto &r) { r.loss = {100, 99, 10000}; });
        QTest::newRow("loss, clear 0") << "--down-loss 20:0 --loss-window 10"
                                       << with([](auto &r) { r.loss = {20, 0, 10}; });
        QTest::newRow("slow, the 95th by default")
            << "--slow-over 150" << with([](auto &r) { r.slow = {150, 95}; });
        QTest::newRow("slow, a percentile given")
            << "--slow-over 60000:100" << with([](auto &r) { r.slow = {60000, 100}; });
        QTest::newRow("flapping off") << "--flap-limit 0"
                                      << with([](auto &r) { r.flap = {0, 10}; });
        QTest::newRow("flapping, limit and window")
            << "--flap-limit 1000 --flap-window 1440 --down-after 1"
            << with([](auto &r) {
                   r.flap = {1000, 1440};
                   r.downAfter = 1;
               });
    }

    void readsAlertRules()
    {
        QFETCH(QString, arguments);
        QFETCH(host::AlertRules, expected);
        const CommandLine line = parseCommandLine(words(QStringLiteral("echowatch ") + arguments));
        QVERIFY2(!line.exit, qPrintable(line.exit ? line.exit->text : QString()));
        const host::AlertRules &read = line.options.alerts;
        QCOMPARE(read.downAfter, expected.downAfter);
        QCOMPARE(read.loss.raisePercent, expected.loss.raisePercent);
        QCOMPARE(read.loss.clearPercent, expected.loss.clearPercent);
        QCOMPARE(read.loss.window, expected.loss.window);
        QCOMPARE(read.slow.overMilliseconds, expected.slow.overMilliseconds);
        QCOMPARE(read.slow.percentile, expected.slow.percentile);
        QCOMPARE(read.flap.limit, expected.flap.limit);
        QCOMPARE(read.flap.windowMinutes, expected.flap.windowMinutes);
    }

    // Every host given is watched, each at the one interval.
    void readsHeadlessHosts()
    {
        const CommandLine line = parseCommandLine(
            words(QStringLiteral("echowatch --headless 127.0.0.1 router.lan 127.0.0.2 -i 250 "
                                 "--hosts-file /etc/echowatch/hosts --trace-on-down "
                                 "--down-after 5")));
        QVERIFY2(!line.exit, qPrintable(line.exit ? line.exit->text : QString()));
        QVERIFY(line.options.headless.has_value());
        QCOMPARE(line.options.headless->hosts,
                 (QStringList{"127.0.0.1", "router.lan", "127.0.0.2"}));
        QCOMPARE(line.options.headless->hostsFile, QStringLiteral("/etc/echowatch/hosts"));
        QCOMPARE(line.options.headless->interval, std::chrono::milliseconds(250));
        QVERIFY(!line.options.headless->helperSocket);
        QVERIFY(line.options.traceOnDown);
        QCOMPARE(line.options.alerts.downAfter, 5);
        QVERIFY(!line.options.address);

        const CommandLine fileOnly = parseCommandLine(
            words(QStringLiteral("echowatch --headless --hosts-file hosts")));
        QVERIFY(!fileOnly.exit);
        QVERIFY(fileOnly.options.headless->hosts.isEmpty());
        QCOMPARE(fileOnly.options.headless->interval, std::chrono::milliseconds(1000));
        QVERIFY(!parseCommandLine({QStringLiteral("echowatch")}).options.headless);
    }

    void readsRecordOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QString>("metrics");
        QTest::newRow("name") << QStringList{"router.lan"} << ""
                              << "router.lan"
                              << "";
        QTest::newRow("malformed address stays") << QStringList{"1.2.3"} << "1.2.3"
                                                 << ""
                                                 << "";
        QTest::newRow("empty address stays") << QStringList{""} << ""
                                             << ""
                                             << "";
        QTest::newRow("port on loopback") << QStringList{"--metrics", "9100"} << ""
                                          << ""
                                          << "127.0.0.1:9100";
        QTest::newRow("address and port") << QStringList{"--metrics", "0.0.0.0:9100"} << ""
                                          << ""
                                          << "0.0.0.0:9100";
        QTest::newRow("IPv6") << QStringList{"--metrics", "[::1]:0"} << ""
                              << ""
                              << "::1:0";
    }

    void readsRecordOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(QString, hostName);
        QFETCH(QString, metrics);
        const CommandLine line = parseCommandLine(QStringList{"echowatch"} + arguments);
        QVERIFY(!line.exit);
        QCOMPARE(line.options.address.value_or(QString()), address);
        QCOMPARE(line.options.hostName.value_or(QString()), hostName);
        const auto &at = line.options.metrics;
        QCOMPARE(at ? at->address.toString() + QLatin1Char(':') + QString::number(at->port)
                    : QString(),
                 metrics);
    }

    void readsCommandsAndTheLog()
    {
        const CommandLine line = parseCommandLine(
            {"echowatch", "--log", "/tmp/x y.jsonl", "--log-format", "jsonl", "--on-down",
             "mail -s 'host down' root", "--on-up", "logger \"back up\"", "--sound"});
        QVERIFY(!line.exit);
        QCOMPARE(line.options.logFile, QStringLiteral("/tmp/x y.jsonl"));
        QCOMPARE(line.options.logFormat, records::LogFormat::JsonLines);
        QCOMPARE(line.options.onDown, (QStringList{"mail", "-s", "host down", "root"}));
        QCOMPARE(line.options.onUp, (QStringList{"logger", "back up"}));
        QVERIFY(line.options.onSlow.isEmpty() && line.options.onNormal.isEmpty());
        const CommandLine slow = parseCommandLine(
            {"echowatch", "--on-slow", "logger 'is slow'", "--on-normal", "logger normal"});
        QVERIFY(!slow.exit);
        QCOMPARE(slow.options.onSlow, (QStringList{"logger", "is slow"}));
        QCOMPARE(slow.options.onNormal, (QStringList{"logger", "normal"}));
        // A sound comes with a notification.
        QVERIFY(line.options.sound && line.options.notify);
    }

    // No display and the toolkit told to use X: a window opened anyway would
    // abort (134) instead.
    void endsBeforeAnyWindow_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed");
        QTest::newRow("help") << "--help" << 0 << "--down-after <N>";
        QTest::newRow("help lists Qt's options") << "--help" << 0 << "  -platform NAME ";
        QTest::newRow("short help") << "-h" << 0 << "Usage: echowatch";
        QTest::newRow("version") << "--version" << 0 << "echowatch " ECHOWATCH_VERSION "\n";
        QTest::newRow("bad value") << "--down-after 0" << 2 << "echowatch: --down-after";
        QTest::newRow("unknown option") << "--bogus" << 2 << "Unknown option 'bogus'";
        // Qt would abort (134) after several lines of its own.
        QTest::newRow("no such platform")
            << "-platform nosuch" << 2 << "echowatch: the window platform 'nosuch' cannot start";
        QTest::newRow("empty platform")
            << "-platform ''" << 2 << "echowatch: the window platform '' cannot start";
        QTest::newRow("X without display")
            << "-platform xcb" << 2 << "echowatch: the window platform 'xcb' cannot start";
        QTest::newRow("X from the environment")
            << "127.0.0.1" << 2 << "echowatch: the window platform 'xcb' cannot start";
    }

    void endsBeforeAnyWindow()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, printed);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ECHOWATCH_BINARY), words(arguments));
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QByteArray output =
            status == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
        QVERIFY2(output.contains(printed.toUtf8()), output.constData());
        if (printed.contains(QStringLiteral("platform")) && status != 0)
            QVERIFY2(output.count('\n') == 1 && output.startsWith(printed.toUtf8()),
                     output.constData());
    }

    // SIGTERM and SIGINT end the program as closing its window does: the
    // watch under way ends as closed in the history file, whose last
    // commit is written, and the program ends with status 0.
    void aTerminationSignalEndsItAsClosingTheWindowDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void aTerminationSignalEndsItAsClosingTheWindowDoes()
    {
        QFETCH(int, signal);
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("history.sqlite"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ECHOWATCH_BINARY),
                      {QStringLiteral("127.0.0.1"), QStringLiteral("-i"), QStringLiteral("200"),
                       QStringLiteral("--start"), QStringLiteral("--history"), file});
        QVERIFY(program.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(watchesIn(file).size(), std::size_t{1}, 20000);
        QVERIFY(program.processId() > 0);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const std::vector<store::StoredWatch> watches = watchesIn(file);
        QCOMPARE(watches.size(), std::size_t{1});
        QCOMPARE(watches[0].why, store::WatchEndReason::Closed);
    }

    // The manual page names every option --help lists, and exactly the
    // variables a command is given.
    void theManualSaysWhatTheProgramDoes()
    {
        QFile manual(QStringLiteral(ECHOWATCH_MANUAL));
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(manual.readAll()).replace(QStringLiteral("\\-"),
                                                                         QStringLiteral("-"));
        const CommandLine help = parseCommandLine({QStringLiteral("echowatch"), QStringLiteral("--help")});
        QVERIFY(help.exit.has_value());
        const QString usage = help.exit->text.section(QStringLiteral("Options passed on to Qt"), 0, 0);
        const QRegularExpression longOption(QStringLiteral("--([a-z][a-z-]+)"));
        int options = 0;
        for (const auto &match : longOption.globalMatch(usage)) {
            ++options;
            QVERIFY2(page.contains(QStringLiteral("--") + match.captured(1)),
                     qPrintable(match.captured(0)));
        }
        QVERIFY(options > 10);

        // A down by loss with a path, and a slow period with what is usual:
        // between them every variable there is.
        records::ActionFacts down;
        down.pathVerdict = "beyond the gateway: stops after hop 2 (192.0.2.18)";
        down.where = "beyond the gateway";
        down.loss = records::ActionFacts::Loss{10, 50};
        records::ActionFacts slow;
        slow.change = records::ActionFacts::Change::Slow;
        slow.roundTrips = records::ActionFacts::RoundTrips{95, 182'000, 47'000};
        QStringList set;
        for (const records::ActionFacts &facts : {down, slow}) {
            for (const auto &[name, value] : records::actionEnvironment(facts))
                set << QString::fromStdString(name);
        }
        set.removeDuplicates();
        QStringList described;
        const QRegularExpression variable(QStringLiteral("\\bECHOWATCH_[A-Z_]+"));
        for (const auto &match : variable.globalMatch(page))
            described << match.captured(0);
        described.removeDuplicates();
        set.sort();
        described.sort();
        QCOMPARE(described, set);
    }

    // A port the system chose is printed as an address to paste: an IPv6
    // one in brackets.
    void printsWhereTheMetricsAre_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("printed");
        QTest::newRow("IPv4") << "127.0.0.1:0"
                              << "metrics at http://127.0.0.1:";
        QTest::newRow("IPv6") << "[::1]:0"
                              << "metrics at http://[::1]:";
    }

    void printsWhereTheMetricsAre()
    {
        QFETCH(QString, given);
        QFETCH(QString, printed);
        QProcess program;
        program.start(QStringLiteral(ECHOWATCH_BINARY),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QStringLiteral("--metrics"), given});
        QVERIFY(program.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += program.readAllStandardError()).contains("/metrics\n"),
                                 20000);
        program.kill();
        program.waitForFinished();
        QVERIFY2(said.contains(printed.toUtf8()), said.constData());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
