// The command line: each option and each bad value, read in the process and
// then by the shipped binary on no display at all.
#include "echowatch/app/command_line.h"

#include <QProcess>
#include <QtTest>

namespace {

QStringList words(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

using namespace app;

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

        const CommandLine all = parseCommandLine(
            words(QStringLiteral("echowatch -platform offscreen 127.0.0.1 -i 250x -s --notify "
                                 "--down-after 100")));
        QVERIFY(!all.exit);
        QCOMPARE(all.options.address, QStringLiteral("127.0.0.1"));
        // Not checked here: the box takes it as typed, and Start judges it.
        QCOMPARE(all.options.interval, QStringLiteral("250x"));
        QVERIFY(all.options.start && all.options.notify);
        QCOMPARE(all.options.downAfter, 100);
    }

    // No display and the toolkit told to use X: a window opened anyway would
    // abort (134) instead.
    void endsBeforeAnyWindow_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("printed");
        QTest::newRow("help") << "--help" << 0 << "--down-after <N>";
        QTest::newRow("short help") << "-h" << 0 << "Usage: echowatch";
        QTest::newRow("version") << "--version" << 0 << "echowatch " ECHOWATCH_VERSION "\n";
        QTest::newRow("bad value") << "--down-after 0" << 2 << "echowatch: --down-after";
        QTest::newRow("unknown option") << "--bogus" << 2 << "Unknown option 'bogus'";
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
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
