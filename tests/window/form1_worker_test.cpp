// The tick with its probe on the worker thread, against an echo service
// that answers only when the test says so: ticks while a probe is under way
// fold into one, Stop and closing the window during a probe, and no probe
// while a message box is open.
#include "late_echo_library.h"
#include "test_window.h"

#include "echowatch/window/threaded_probe_runner.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>

#include <memory>

namespace {

// The window as the program has it, over scripted services.
struct WorkerWindow
{
    fakes::SocketsLibrary sockets;
    LateEchoLibrary icmp;
    fakes::MessageBox messageBox;
    fakes::Clock clock;
    std::unique_ptr<window::ThreadedProbeRunner> probes =
        std::make_unique<window::ThreadedProbeRunner>(sockets, icmp);
    std::unique_ptr<Form1> window = std::make_unique<Form1>(*probes, messageBox, clock);
    std::vector<probe::ProbeEvent> shown;

    WorkerWindow()
    {
        QObject::connect(window.get(), &Form1::probeShown,
                         [this](const probe::ProbeEvent &event) { shown.push_back(event); });
        window->Text1->setText(QStringLiteral("127.0.0.1"));
    }

    // Running at an interval no tick of its own comes in during a test; the
    // test ticks by hand.
    void start()
    {
        window->Text2->setText(QStringLiteral("1000000"));
        window->ToggleMonitoring();
    }

    int logLines() const { return window->List1->model()->rowCount(); }
    std::uint32_t sentTo(std::size_t probe) const
    {
        return icmp.script.sends.at(probe).destination;
    }
};

} // namespace

class Form1WorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void ticksDuringAProbeFoldIntoOneAfterIt()
    {
        WorkerWindow test;
        test.start();
        test.icmp.script.echo = {11010, 0, 0};
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        // Nothing is shown before the answer; the address typed meanwhile is
        // the next probe's.
        QCOMPARE(test.window->Label1->text(), QString());
        test.window->Text1->setText(QStringLiteral("127.0.0.2"));
        for (int tick = 0; tick < 3; ++tick)
            test.window->ProbeTick();
        test.clock.time = QTime(9, 30, 0);
        test.icmp.answer();
        QTRY_COMPARE(test.shown.size(), std::size_t{1});
        QCOMPARE(test.window->Label1->text(), QStringLiteral("11010   [ ip req timed out ]"));
        // The time of day the line carries is the answer's.
        QCOMPARE(test.window->List1->model()->index(0, 0).data().toString(),
                 QStringLiteral("11010   [ ip req timed out ] - 09:30:00"));
        QCOMPARE(test.sentTo(0), ::inet_addr("127.0.0.1"));
        QCOMPARE(test.shown[0].details.destination, ::inet_addr("127.0.0.1"));
        // The three ticks made one probe, started as the first ended.
        QCOMPARE(test.icmp.begun(), 2);
        test.icmp.answer();
        QTRY_COMPARE(test.shown.size(), std::size_t{2});
        QCOMPARE(test.icmp.begun(), 2);
        QCOMPARE(test.sentTo(1), ::inet_addr("127.0.0.2"));
        QCOMPARE(test.logLines(), 2);
        QCOMPARE(test.sockets.starts, 2);
        QCOMPARE(test.sockets.cleanups, 2);
    }

    void stopDuringAProbeShowsItAndStartsNoOther()
    {
        WorkerWindow test;
        test.start();
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        test.window->ProbeTick();
        QTest::mouseClick(test.window->Command1, Qt::LeftButton);
        QCOMPARE(test.window->Command1->text(), QStringLiteral("Start"));
        test.icmp.answer();
        QTRY_COMPARE(test.shown.size(), std::size_t{1});
        QCOMPARE(test.window->Label1->text(), QStringLiteral("0   [ ip success ]"));
        QCOMPARE(test.window->Label2->text(), QStringLiteral("12 ms"));
        // A probe after it would have started as this one was shown.
        QCOMPARE(test.icmp.begun(), 1);
    }

    void closingDuringAProbeLeavesNothingBehind()
    {
        WorkerWindow test;
        test.start();
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        test.window->close();
        test.window.reset();
        // Its result comes back to no window.
        test.icmp.answer();
        test.probes.reset();
        QCOMPARE(test.sockets.cleanups, test.sockets.starts);
        QCOMPARE(test.icmp.script.closed, test.icmp.script.opened);
        QCoreApplication::processEvents();
    }

    void noProbeStartsWhileAMessageBoxIsOpen()
    {
        WorkerWindow test;
        test.sockets.cleanupResult = 10093;
        test.start();
        int begunWhileOpen = -1;
        QString statusWhileOpen;
        test.messageBox.whileOpen = [&] {
            statusWhileOpen = test.window->Label1->text();
            for (int tick = 0; tick < 3; ++tick)
                test.window->ProbeTick();
            QCoreApplication::processEvents();
            begunWhileOpen = test.icmp.begun();
        };
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        // Pending from before the box: dropped with the ticks during it.
        test.window->ProbeTick();
        test.icmp.answer();
        QTRY_COMPARE(test.shown.size(), std::size_t{1});
        QCOMPARE(statusWhileOpen, QStringLiteral("0   [ ip success ]"));
        QCOMPARE(begunWhileOpen, 1);
        QCOMPARE(test.icmp.begun(), 1);
        QCOMPARE(test.messageBox.shown.size(), std::size_t{1});
        QCOMPARE(test.messageBox.shown[0].text, std::string(CleanupFailedText));

        test.icmp.answer();
        test.window->ProbeTick();
        QTRY_COMPARE(test.shown.size(), std::size_t{2});
    }

    void socketsThatWillNotStartShowTheirBoxOnTheWindowsThread()
    {
        WorkerWindow test;
        test.sockets.startupResult = 10091;
        test.start();
        Qt::HANDLE boxThread = nullptr;
        test.messageBox.whileOpen = [&] {
            boxThread = QThread::currentThreadId();
        };
        test.window->ProbeTick();
        QTRY_COMPARE(test.messageBox.shown.size(), std::size_t{1});
        QCOMPARE(boxThread, QThread::currentThreadId());
        QCOMPARE(test.icmp.begun(), 0);
        QVERIFY(test.shown.empty());
        QCOMPARE(test.window->Label1->text(), QString());
    }
};

QTEST_MAIN(Form1WorkerTest)
#include "form1_worker_test.moc"
