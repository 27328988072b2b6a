// Start and Stop: the button, the timer, and the interval typed for it.
#include "test_window.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString BadInterval =
    QStringLiteral("The interval must be a whole number of milliseconds from 1 to 2147483647.");

void startWith(TestWindow &test, const QString &interval)
{
    test.window.Text2->setText(interval);
    QTest::mouseClick(test.window.Command1, Qt::LeftButton);
}

} // namespace

class Form1ToggleTest : public QObject
{
    Q_OBJECT

private slots:
    void captionFollowsTheTimer()
    {
        TestWindow test;
        Form1 &window = test.window;
        startWith(test, QStringLiteral("1000"));
        QVERIFY(window.Timer1->isActive());
        QCOMPARE(window.Timer1->interval(), 1000);
        QCOMPARE(window.Command1->text(), QStringLiteral("Stop"));

        QTest::mouseClick(window.Command1, Qt::LeftButton);
        QVERIFY(!window.Timer1->isActive());
        QCOMPARE(window.Command1->text(), QStringLiteral("Start"));

        startWith(test, QStringLiteral("250"));
        QVERIFY(window.Timer1->isActive());
        QCOMPARE(window.Timer1->interval(), 250);
        QVERIFY(test.messageBox.shown.empty());
    }

    void intervalIsReadOnlyAtStart()
    {
        TestWindow test;
        startWith(test, QStringLiteral("400"));
        test.window.Text2->setText(QStringLiteral("50"));
        QCOMPARE(test.window.Timer1->interval(), 400);
    }

    void firstProbeComesOneIntervalAfterStart()
    {
        TestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        QElapsedTimer sinceStart;
        sinceStart.start();
        startWith(test, QStringLiteral("300"));
        QCoreApplication::processEvents();
        QCOMPARE(test.icmp.sends.size(), std::size_t{0});
        QTRY_COMPARE_WITH_TIMEOUT(test.icmp.sends.size(), std::size_t{1}, 5000);
        QVERIFY2(sinceStart.elapsed() >= 290, qPrintable(QString::number(sinceStart.elapsed())));
    }

    void stopKeepsLabelsAndLog()
    {
        TestWindow test;
        Form1 &window = test.window;
        window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.icmp.echo = {11010, 0, 0};
        window.ProbeTick();
        startWith(test, QStringLiteral("100000"));
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        QCOMPARE(window.Label1->text(), QStringLiteral("11010   [ ip req timed out ]"));
        QCOMPARE(window.Label2->text(), QStringLiteral("0 ms"));
        QCOMPARE(window.Label3->text(), QStringLiteral("0 bytes"));
        QCOMPARE(test.logLines(), 1);
    }

    // Which texts are intervals is platform::intervalFromText's table
    // (platform_qt_test); here, what the window does with one it refuses.
    void refusesBadIntervals_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::newRow("empty") << QString();
        QTest::newRow("a megabyte of digits") << QString(1024 * 1024, u'9');
    }

    void refusesBadIntervals()
    {
        QFETCH(QString, interval);
        TestWindow test;
        test.window.Text2->setMaxLength(std::numeric_limits<int>::max());
        startWith(test, interval);
        QVERIFY(!test.window.Timer1->isActive());
        QCOMPARE(test.window.Timer1->interval(), 100);
        QCOMPARE(test.window.Command1->text(), QStringLiteral("Start"));
        QCOMPARE(test.messageBox.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(test.messageBox.shown[0].text), BadInterval);
        QCOMPARE(test.messageBox.shown[0].icon, probe::MessageIcon::Exclamation);
        QCOMPARE(test.sockets.starts, 0);
    }

    void acceptsWholeMilliseconds_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("surrounding spaces") << QStringLiteral("  250 ") << 250;
        QTest::newRow("the largest") << QStringLiteral("2147483647") << 2147483647;
    }

    void acceptsWholeMilliseconds()
    {
        QFETCH(QString, interval);
        QFETCH(int, milliseconds);
        TestWindow test;
        startWith(test, interval);
        QVERIFY(test.window.Timer1->isActive());
        QCOMPARE(test.window.Timer1->interval(), milliseconds);
        QCOMPARE(test.window.Command1->text(), QStringLiteral("Stop"));
        QVERIFY(test.messageBox.shown.empty());
    }
};

QTEST_MAIN(Form1ToggleTest)
#include "form1_toggle_test.moc"
