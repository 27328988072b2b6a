// One tick of the probe timer, through scripted sockets and echo services.
#include "support/echo_record.h"
#include "support/packet_builder.h"
#include "test_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>

using fakes::ScriptedEcho;
Q_DECLARE_METATYPE(ScriptedEcho)

namespace {

const QString SocketsNotResponding = QStringLiteral(
    "Windows Sockets for 32 bit Windows environments is not successfully responding.");
const QString CleanupFailed = QStringLiteral("Windows Sockets error occurred in Cleanup.");
constexpr int Megabyte = 1024 * 1024;

// A tick that leaves something to keep: an answer, then a logged failure.
void probeTwice(TestWindow &test)
{
    test.window.Text1->setText(QStringLiteral("127.0.0.1"));
    test.window.ProbeTick();
    test.icmp.echo = {11010, 0, 0};
    test.window.ProbeTick();
}

} // namespace

class Form1ProbeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Log lines carry the time of day in the user's locale; pin one.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void showsEachOutcome_data()
    {
        QTest::addColumn<ScriptedEcho>("echo");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("roundTrip");
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("logged");
        QTest::newRow("answered") << ScriptedEcho{0, 12, 32} << "0   [ ip success ]"
                                  << "12 ms"
                                  << "32 bytes" << false;
        QTest::newRow("timed out") << ScriptedEcho{11010, 0, 0} << "11010   [ ip req timed out ]"
                                   << "0 ms"
                                   << "0 bytes" << true;
        QTest::newRow("general failure")
            << ScriptedEcho{11050, 0, 0} << "11050   [ ip general failure ]"
            << "0 ms"
            << "0 bytes" << true;
        QTest::newRow("unknown negative code")
            << ScriptedEcho{-2, 3, 0} << "-2   [ unknown  msg returned ]"
            << "3 ms"
            << "0 bytes" << false;
    }

    void showsEachOutcome()
    {
        QFETCH(ScriptedEcho, echo);
        QFETCH(QString, status);
        QFETCH(QString, roundTrip);
        QFETCH(QString, size);
        QFETCH(bool, logged);
        TestWindow test;
        test.icmp.echo = echo;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        std::vector<probe::ProbeEvent> events;
        QObject::connect(&test.window, &Form1::probeShown,
                         [&](const probe::ProbeEvent &event) { events.push_back(event); });
        test.window.ProbeTick();

        QCOMPARE(events.size(), std::size_t{1});
        QCOMPARE(events[0].status, echo.status);
        QCOMPARE(events[0].replySize, std::int32_t{echo.dataSize});
        QCOMPARE(events[0].details.roundTripMicroseconds,
                 echo.status == 0 ? std::int64_t{echo.roundTripTime} * 1000 : -1);
        QVERIFY(events[0].sentAt == test.clock.wallTime);
        QCOMPARE(test.window.Label1->text(), status);
        QCOMPARE(test.window.Label2->text(), roundTrip);
        QCOMPARE(test.window.Label3->text(), size);
        QCOMPARE(test.logLines(), logged ? 1 : 0);
        if (logged)
            QCOMPARE(test.logLine(0), status + QStringLiteral(" - 13:04:05"));
        QCOMPARE(test.sockets.starts, 1);
        QCOMPARE(test.sockets.cleanups, 1);
        QVERIFY(test.messageBox.shown.empty());
    }

    // Whatever is typed or pasted into the address box, the window neither
    // crashes nor hangs: what is no IPv4 address is the documented -1, with
    // nothing sent and nothing logged.
    void badAddressIsReportedAndNothingSent_data()
    {
        QTest::addColumn<QString>("address");
        // Which texts are addresses is Module1's table (address_conversion_test);
        // here, that the window's box and labels take the longest.
        QTest::newRow("host name") << QStringLiteral("localhost");
        QTest::newRow("a megabyte of digits") << QString(Megabyte, u'1');
    }

    void badAddressIsReportedAndNothingSent()
    {
        QFETCH(QString, address);
        TestWindow test;
        test.window.Text1->setMaxLength(std::numeric_limits<int>::max());
        test.window.Text1->setText(address);
        test.window.ProbeTick();
        QCOMPARE(test.window.Label1->text(), QStringLiteral("-1   [ inet_addr: bad IP format ]"));
        QCOMPARE(test.window.Label2->text(), QStringLiteral("0 ms"));
        QCOMPARE(test.window.Label3->text(), QStringLiteral("0 bytes"));
        QCOMPARE(test.icmp.sends.size(), std::size_t{0});
        QCOMPARE(test.logLines(), 0);
        QCOMPARE(test.sockets.starts, 1);
        QCOMPARE(test.sockets.cleanups, 1);
        QVERIFY(test.messageBox.shown.empty());
    }

    void sendsThePayloadToTheTypedAddress()
    {
        TestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.9"));
        test.window.ProbeTick();
        QCOMPARE(test.icmp.sends.back().destination, ::inet_addr("127.0.0.9"));
        QVERIFY(test.icmp.sends.back().data == testpackets::bytesOf(TestPayload));
        // The address is read at every tick.
        test.window.Text1->setText(QStringLiteral("127.0.0.10"));
        test.window.ProbeTick();
        QCOMPARE(test.icmp.sends.back().destination, ::inet_addr("127.0.0.10"));
    }

    void logsOneLinePerFailureInOrder()
    {
        TestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        const std::vector<std::pair<EchoStatus, QTime>> ticks{
            {11010, {9, 0, 1}}, {0, {9, 0, 2}}, {11003, {9, 0, 3}}, {0, {9, 0, 4}}};
        for (const auto &[status, time] : ticks) {
            test.icmp.echo = {status, 0, 0};
            test.clock.time = time;
            test.window.ProbeTick();
        }
        QCOMPARE(test.logLines(), 2);
        QCOMPARE(test.logLine(0), QStringLiteral("11010   [ ip req timed out ] - 09:00:01"));
        QCOMPARE(test.logLine(1),
                 QStringLiteral("11003   [ ip dest host unreachable ] - 09:00:03"));
        QCOMPARE(test.window.Label1->text(), QStringLiteral("0   [ ip success ]"));
    }

    void socketsThatWillNotStartStopTheTick()
    {
        TestWindow test;
        probeTwice(test);
        test.sockets.startupResult = 10091;
        test.icmp.echo = {0, 7, 32};
        test.window.ProbeTick();

        QCOMPARE(test.messageBox.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(test.messageBox.shown[0].text), SocketsNotResponding);
        QCOMPARE(test.messageBox.shown[0].icon, probe::MessageIcon::None);
        QCOMPARE(test.icmp.sends.size(), std::size_t{2});
        QCOMPARE(test.sockets.cleanups, 2);
        QCOMPARE(test.window.Label1->text(), QStringLiteral("11010   [ ip req timed out ]"));
        QCOMPARE(test.window.Label3->text(), QStringLiteral("0 bytes"));
        QCOMPARE(test.logLines(), 1);
    }

    void cleanupFailureWarnsAfterTheResultIsShown()
    {
        TestWindow test;
        test.sockets.cleanupResult = 10093;
        test.icmp.echo = {11010, 0, 0};
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        QString statusWhileOpen;
        int logLinesWhileOpen = -1;
        test.messageBox.whileOpen = [&] {
            statusWhileOpen = test.window.Label1->text();
            logLinesWhileOpen = test.logLines();
        };
        test.window.ProbeTick();

        QCOMPARE(test.messageBox.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(test.messageBox.shown[0].text), CleanupFailed);
        QCOMPARE(test.messageBox.shown[0].icon, probe::MessageIcon::Exclamation);
        QCOMPARE(statusWhileOpen, QStringLiteral("11010   [ ip req timed out ]"));
        QCOMPARE(logLinesWhileOpen, 1);
    }

    void ticksWhileABoxIsOpenAreDropped_data()
    {
        QTest::addColumn<int>("startupResult");
        QTest::addColumn<int>("cleanupResult");
        QTest::newRow("sockets do not start") << 10091 << 0;
        QTest::newRow("sockets do not stop") << 0 << 10093;
    }

    void ticksWhileABoxIsOpenAreDropped()
    {
        QFETCH(int, startupResult);
        QFETCH(int, cleanupResult);
        TestWindow test;
        test.sockets.startupResult = startupResult;
        test.sockets.cleanupResult = cleanupResult;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        int startsWhileOpen = -1;
        // Ten intervals pass while the user leaves the box open; then the
        // user closes it and stops. Qt itself does not re-enter a timer's
        // handler, so one tick also comes the way any other event would.
        test.messageBox.whileOpen = [&] {
            QTest::qWait(200);
            test.window.ProbeTick();
            startsWhileOpen = test.sockets.starts;
            test.window.Timer1->stop();
        };
        test.window.Timer1->start(20);
        QTRY_VERIFY_WITH_TIMEOUT(startsWhileOpen != -1, 5000);

        QCOMPARE(test.messageBox.deepestNesting, 1);
        QCOMPARE(startsWhileOpen, 1);
    }
};

QTEST_MAIN(Form1ProbeTest)
#include "form1_probe_test.moc"
