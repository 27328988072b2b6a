// The window's own tick against a real host in the lab: while the host
// answers nothing is logged; once it stops, every tick logs one line; when it
// answers again, logging stops again.
#include "lab_network.h"

#include "echowatch/platform/clock.h"
#include "echowatch/window/form1.h"
#include "support/real_probe.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

namespace {

bool setHostSilent(const std::string &lab, bool silent)
{
    const std::string command =
        "ip netns exec " + lab::labNamespace(lab, "host") +
        " sysctl -q -w net.ipv4.icmp_echo_ignore_all=" + (silent ? "1" : "0");
    return std::system(command.c_str()) == 0;
}

} // namespace

class WindowTickTest : public QObject
{
    Q_OBJECT

private slots:
    void logsOneLinePerFailedTickOnly()
    {
        if (::geteuid() != 0)
            QSKIP("the network lab needs root");
        const auto lab = lab::currentLab();
        if (!lab)
            QSKIP("not inside a lab's client namespace; run through tests/lab/run_lab.sh");

        RealProbe probe;
        platform::SystemClock clock;
        Form1 window(probe.module, probe.messageBox, clock);
        const QAbstractItemModel &log = *window.List1->model();

        int ticks = 0;
        QObject::connect(window.Timer1, &QTimer::timeout, [&] { ++ticks; });
        window.Text1->setText(
            QString::fromLatin1(lab::Address::Host.data(), lab::Address::Host.size()));
        window.Text2->setText(QStringLiteral("50"));
        window.ToggleMonitoring();

        constexpr int Answered = 4;
        constexpr int Silent = 3;
        QVERIFY(QTest::qWaitFor([&] { return ticks >= Answered; }, 5000));
        QCOMPARE(window.Label1->text(), QStringLiteral("0   [ ip success ]"));
        QCOMPARE(window.Label3->text(), QStringLiteral("32 bytes"));
        QCOMPARE(log.rowCount(), 0);

        QVERIFY(setHostSilent(*lab, true));
        const int silentFrom = ticks;
        QVERIFY(QTest::qWaitFor([&] { return ticks >= silentFrom + Silent; }, 10000));
        QVERIFY(setHostSilent(*lab, false));
        const int failedTicks = ticks - silentFrom;
        QCOMPARE(log.rowCount(), failedTicks);
        for (int row = 0; row < log.rowCount(); ++row) {
            QVERIFY(log.data(log.index(row, 0))
                        .toString()
                        .startsWith(QStringLiteral("11010   [ ip req timed out ] - ")));
        }

        const int answeringFrom = ticks;
        QVERIFY(QTest::qWaitFor([&] { return ticks >= answeringFrom + Answered; }, 10000));
        window.ToggleMonitoring();
        QCOMPARE(window.Label1->text(), QStringLiteral("0   [ ip success ]"));
        // A tick already under way when the host came back may still have
        // timed out; after that none is logged.
        QVERIFY(log.rowCount() <= failedTicks + 1);
        QVERIFY(probe.messageBox.shown.empty());
    }
};

QTEST_MAIN(WindowTickTest)
#include "window_tick_test.moc"
