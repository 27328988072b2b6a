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
        QCOMPARE(none.options.downAfter, 3);
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
        QCOMPARE(all.options.downAfter, 100);
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
        QCOMPARE(line.options.downAfter, 5);
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

        records::ActionFacts facts;
        facts.pathVerdict = "stops after hop 2 (192.0.2.18)";
        QStringList set;
        for (const auto &[name, value] : records::actionEnvironment(facts))
            set << QString::fromStdString(name);
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
