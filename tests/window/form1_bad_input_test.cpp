// Whatever is typed or pasted into the two boxes, the window neither crashes
// nor hangs: an address that is no IPv4 address is the documented -1 with
// nothing sent, and an interval that is no whole number of milliseconds is
// the documented warning with the timer left off.
#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString BadAddressLine = QStringLiteral("-1   [ inet_addr: bad IP format ]");
constexpr int Megabyte = 1024 * 1024;

} // namespace

class Form1BadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void badAddressIsReportedAndNothingSent_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("a megabyte of digits") << QString(Megabyte, u'1');
        QTest::newRow("a megabyte of dotted quads")
            << QStringLiteral("127.0.0.1.").repeated(Megabyte / 10);
        QTest::newRow("a valid address then a megabyte")
            << QStringLiteral("127.0.0.1") + QString(Megabyte, u'x');
        QTest::newRow("cyrillic") << QStringLiteral("\u0441\u0435\u0440\u0432\u0435\u0440");
        QTest::newRow("chinese") << QStringLiteral("\u4e3b\u673a.\u4f8b\u5b50");
        QTest::newRow("emoji") << QStringLiteral("127.0.0.\U0001F600");
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QStringLiteral("127.0.0.1");
        QTest::newRow("control characters") << QStringLiteral("127.\a0.\b0.\x1b"
                                                              "1");
        QTest::newRow("nul after an address") << QStringLiteral("127.0.0.1") + QChar(u'\0');
        QTest::newRow("nul before an address") << QChar(u'\0') + QStringLiteral("127.0.0.1");
        QTest::newRow("right-to-left mark") << QStringLiteral("\u200f127.0.0.1");
        QTest::newRow("broadcast") << QStringLiteral("255.255.255.255");
    }

    void badAddressIsReportedAndNothingSent()
    {
        QFETCH(QString, address);
        TestWindow test;
        test.window.Text1->setMaxLength(std::numeric_limits<int>::max());
        test.window.Text1->setText(address);
        test.window.ProbeTick();
        QCOMPARE(test.window.Label1->text(), BadAddressLine);
        QCOMPARE(test.window.Label2->text(), QStringLiteral("0 ms"));
        QCOMPARE(test.window.Label3->text(), QStringLiteral("0 bytes"));
        QCOMPARE(test.icmp.sends, 0);
        QCOMPARE(test.logLines(), 0);
        QVERIFY(test.messageBox.shown.empty());
    }

    void oddIntervalIsRefused_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::newRow("a megabyte of digits") << QString(Megabyte, u'9');
        QTest::newRow("nul inside") << QStringLiteral("10") + QChar(u'\0') + QStringLiteral("0");
        QTest::newRow("hexadecimal") << QStringLiteral("0x10");
        QTest::newRow("fullwidth digits") << QStringLiteral("\uff11\uff10\uff10");
        QTest::newRow("superscript digits") << QStringLiteral("\u00b9\u00b2");
        QTest::newRow("minus zero") << QStringLiteral("-0");
        QTest::newRow("infinity") << QStringLiteral("inf");
        QTest::newRow("control character") << QStringLiteral("1\a0");
    }

    void oddIntervalIsRefused()
    {
        QFETCH(QString, interval);
        TestWindow test;
        test.window.Text2->setMaxLength(std::numeric_limits<int>::max());
        test.window.Text2->setText(interval);
        test.window.ToggleMonitoring();
        QVERIFY(!test.window.Timer1->isActive());
        QCOMPARE(test.window.Command1->text(), QStringLiteral("Start"));
        QCOMPARE(test.messageBox.shown.size(), std::size_t{1});
    }
};

QTEST_MAIN(Form1BadInputTest)
#include "form1_bad_input_test.moc"
