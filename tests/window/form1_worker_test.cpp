// The tick with its probe on the worker thread, against an echo service
// that answers only when the test says so: ticks while a probe is under way
// fold into one, Stop and closing the window during a probe, and no probe
// while a message box is open.
#include "late_echo_library.h"
#include "test_window.h"

#include "echowatch/window/form1_layout.h"
#include "echowatch/window/threaded_probe_runner.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleActionInterface>
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

// Probing back to back through a host that answers after a delay, with the
// window's order watched: the caption at each probe shown, and whether a
// probe is under way when a click lands and when the caption turns "Start".
struct InFlight
{
    InFlight(std::chrono::milliseconds delay, EchoStatus status) : icmp(delay)
    {
        icmp.script.echo = {status, 0, 0};
        window.Text1->setText(QStringLiteral("127.0.0.1"));
        QObject::connect(&probes, &window::ThreadedProbeRunner::requested, [this] { ++requested; });
        QObject::connect(&window, &Form1::probeShown, [this] {
            ++shown;
            captionsWhenShown << window.Command1->text();
        });
        // Connected after the window's own handler, so it sees the click's
        // immediate effect.
        QObject::connect(window.Command1, &QPushButton::clicked, [this] {
            if (requested > shown) {
                ++clicksDuringAProbe;
                QCOMPARE(window.Command1->text(), QStringLiteral("Stop"));
            }
        });
        QObject::connect(&window, &Form1::monitoringChanged, [this](bool running) {
            if (!running)
                underWayAtStart = requested - shown;
        });
    }

    void startEveryMillisecond()
    {
        window.Text2->setText(QStringLiteral("1"));
        window.Command1->click();
    }

    // As a user does it: with the mouse, with Space on the focused button,
    // or as a screen reader does, which Qt answers with animateClick().
    void pressStop(const QString &press)
    {
        if (press == QLatin1String("mouse")) {
            QTest::mouseClick(window.Command1, Qt::LeftButton);
        } else if (press == QLatin1String("space")) {
            window.Command1->setFocus();
            QTest::keyClick(window.Command1, Qt::Key_Space);
        } else {
            QAccessibleInterface *button = QAccessible::queryAccessibleInterface(window.Command1);
            QVERIFY(button != nullptr && button->actionInterface() != nullptr);
            button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        }
    }

    int logLines() const { return window.List1->model()->rowCount(); }

    fakes::SocketsLibrary sockets;
    LateEchoLibrary icmp;
    fakes::MessageBox messageBox;
    fakes::Clock clock;
    window::ThreadedProbeRunner probes{sockets, icmp};
    Form1 window{probes, messageBox, clock};
    int requested = 0;
    int shown = 0;
    int clicksDuringAProbe = 0;
    int underWayAtStart = -1;
    QStringList captionsWhenShown;
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

    // The click waits for the probe, not the window: the caption says
    // "Stop" until the probe is shown, and the box can be typed in meanwhile.
    void stopDuringAProbeTakesEffectOnceItIsShown()
    {
        WorkerWindow test;
        test.start();
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        test.window->ProbeTick();
        QSignalSpy switched(test.window.get(), &Form1::monitoringChanged);
        QTest::mouseClick(test.window->Command1, Qt::LeftButton);
        QCOMPARE(test.window->Command1->text(), QStringLiteral("Stop"));
        QTest::keyClicks(test.window->Text1, QStringLiteral("9"));
        QCOMPARE(test.window->Text1->text(), QStringLiteral("127.0.0.19"));
        QVERIFY(switched.isEmpty());
        test.icmp.answer();
        QTRY_COMPARE(test.window->Command1->text(), QStringLiteral("Start"));
        QCOMPARE(test.shown.size(), std::size_t{1});
        QCOMPARE(test.window->Label1->text(), QStringLiteral("0   [ ip success ]"));
        QCOMPARE(test.window->Label2->text(), QStringLiteral("12 ms"));
        QCOMPARE(switched.size(), 1);
        // The pending tick died with the Stop: no probe after it.
        QCOMPARE(test.icmp.begun(), 1);
    }

    // Stop then Start, both while a probe is under way: each in turn once
    // it is shown, so probing goes on at the interval typed meanwhile.
    void clicksDuringAProbeKeepTheirOrder()
    {
        WorkerWindow test;
        test.start();
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        QSignalSpy switched(test.window.get(), &Form1::monitoringChanged);
        test.window->Command1->click();
        test.window->Text2->setText(QStringLiteral("250000"));
        test.window->Command1->click();
        QCOMPARE(test.window->Command1->text(), QStringLiteral("Stop"));
        test.icmp.answer();
        QTRY_COMPARE(switched.size(), 2);
        QCOMPARE(switched[0][0].toBool(), false);
        QCOMPARE(switched[1][0].toBool(), true);
        QCOMPARE(test.window->Command1->text(), QStringLiteral("Stop"));
        QCOMPARE(test.window->Timer1->interval(), 250000);
    }

    // A worker that never answers does not hold the button for good: past
    // the bound the click takes effect, and the late result is never shown.
    void aProbeThatNeverEndsHoldsTheClickOnlyForItsBound()
    {
        WorkerWindow test;
        test.start();
        test.window->ProbeTick();
        QTRY_COMPARE(test.icmp.begun(), 1);
        test.window->Command1->click();
        QTRY_COMPARE_WITH_TIMEOUT(test.window->Command1->text(), QStringLiteral("Start"),
                                  static_cast<int>(window::ClickWaitBound.count()) * 5);
        test.icmp.answer();
        test.probes.reset();
        QCoreApplication::processEvents();
        QVERIFY(test.shown.empty());
        QCOMPARE(test.window->Label1->text(), QString());
    }

    // Stop while a probe is in flight, however the button is pressed and
    // however long the host takes, on a silent and on an unreachable host:
    // every probe is shown while the caption says "Stop", and when it says
    // "Start" no probe is under way, so nothing can be shown after it.
    void stopWhileAProbeIsInFlightShowsItFirst_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("press");
        for (const int delay : {1, 600}) {
            for (const int status : {11010, 11003}) {
                for (const char *press : {"mouse", "space", "accessible"}) {
                    QTest::addRow("%d ms, %d, %s", delay, status, press)
                        << delay << status << QString::fromLatin1(press);
                }
            }
        }
    }

    void stopWhileAProbeIsInFlightShowsItFirst()
    {
        QFETCH(int, delay);
        QFETCH(int, status);
        QFETCH(QString, press);
        InFlight test(std::chrono::milliseconds{delay}, status);
        // A press lands when it lands (an accessible one 100 ms later): a
        // run whose click found the window between two probes is run again.
        for (int run = 0; run < 20 && test.clicksDuringAProbe == 0; ++run) {
            test.startEveryMillisecond();
            QTRY_VERIFY(test.requested > test.shown);
            test.pressStop(press);
            QTRY_COMPARE(test.window.Command1->text(), QStringLiteral("Start"));
            QVERIFY(!test.window.Timer1->isActive());
            QCOMPARE(test.underWayAtStart, 0);
        }
        QVERIFY2(test.clicksDuringAProbe > 0, "no click landed while a probe was under way");
        QCOMPARE(test.captionsWhenShown, QStringList(test.shown, QStringLiteral("Stop")));
        QCOMPARE(test.logLines(), test.shown);
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
