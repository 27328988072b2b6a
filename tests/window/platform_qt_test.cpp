// The toolkit services: number texts, the time of day, the message box, and
// the failure log's model.
#include "echowatch/monitor/failure_log_model.h"
#include "echowatch/platform/number_text.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/platform/time_of_day_text.h"
#include "echowatch/probe/status_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTime>
#include <QTimer>
#include <QtTest>

#include <climits>

Q_DECLARE_METATYPE(probe::MessageIcon)

class PlatformQtTest : public QObject
{
    Q_OBJECT

private slots:
    void integerTextIsPlainDecimal_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("thousands") << 1234567 << "1234567";
        QTest::newRow("negative") << -42 << "-42";
        QTest::newRow("smallest") << INT_MIN << "-2147483648";
    }

    void integerTextIsPlainDecimal()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(platform::integerText(value), text);
        QLocale::setDefault(QLocale::c());
    }

    void timeOfDayHasSecondsAndNoZone_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "13:04:05";
        QTest::newRow("British") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "13:04:05";
        QTest::newRow("C") << QLocale::c() << "13:04:05";
    }

    void timeOfDayHasSecondsAndNoZone()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        QCOMPARE(locale.toString(QTime(13, 4, 5), platform::timeOfDayFormat(locale)), expected);
    }

    void twelveHourLocalesKeepSecondsAndTheirMarker()
    {
        const QLocale american(QLocale::English, QLocale::UnitedStates);
        const QString text =
            american.toString(QTime(13, 4, 5), platform::timeOfDayFormat(american));
        QVERIFY2(text.startsWith(QStringLiteral("1:04:05")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("PM")), qPrintable(text));
    }

    void messageBoxIsModalWithOneOk_data()
    {
        QTest::addColumn<probe::MessageIcon>("icon");
        QTest::addColumn<int>("toolkitIcon");
        QTest::newRow("plain") << probe::MessageIcon::None << int(QMessageBox::NoIcon);
        QTest::newRow("warning") << probe::MessageIcon::Exclamation << int(QMessageBox::Warning);
    }

    void messageBoxIsModalWithOneOk()
    {
        QFETCH(probe::MessageIcon, icon);
        QFETCH(int, toolkitIcon);
        QMessageBox *seen = nullptr;
        QString title, text;
        int seenIcon = -1;
        qsizetype buttons = 0;
        QTimer::singleShot(0, [&] {
            seen = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(seen);
            title = seen->windowTitle();
            text = seen->text();
            seenIcon = seen->icon();
            buttons = seen->buttons().size();
            seen->button(QMessageBox::Ok)->click();
        });
        platform::QtMessageBox().show("<b>not bold</b>", icon);
        QVERIFY(seen);
        QCOMPARE(title, QStringLiteral("EchoWatch"));
        QCOMPARE(text, QStringLiteral("<b>not bold</b>"));
        QCOMPARE(seenIcon, toolkitIcon);
        QCOMPARE(buttons, qsizetype{1});
    }

    void failureLogKeepsStatusAndTime()
    {
        FailureLogModel log(QLocale(QLocale::German, QLocale::Germany));
        log.append(11010, QTime(23, 59, 59));
        log.append(-7, QTime(0, 0, 0));
        QCOMPARE(log.rowCount(), 2);
        QCOMPARE(log.data(log.index(0)).toString(),
                 QStringLiteral("11010   [ ip req timed out ] - 23:59:59"));
        QCOMPARE(log.data(log.index(1)).toString(),
                 QStringLiteral("-7   [ unknown  msg returned ] - 00:00:00"));
        QVERIFY(!log.data(log.index(2)).isValid());
        QVERIFY(!log.data(log.index(0), Qt::EditRole).isValid());
    }

    // Lines are packed; codes outside the packed range must come back whole,
    // each on its own row, among packed ones.
    void failureLogKeepsEveryCode_data()
    {
        QTest::addColumn<int>("status");
        for (const int status :
             {1, 11010, 11255, 32767, 32768, 65536, -1, -2147483647 - 1, 2147483647})
            QTest::newRow(QByteArray::number(status).constData()) << status;
    }

    void failureLogKeepsEveryCode()
    {
        QFETCH(int, status);
        FailureLogModel log(QLocale(QLocale::German, QLocale::Germany));
        log.append(11003, QTime(1, 2, 3));
        log.append(status, QTime(12, 0, 1));
        log.append(11013, QTime(23, 59, 59));
        QCOMPARE(log.data(log.index(0)).toString(),
                 QStringLiteral("11003   [ ip dest host unreachable ] - 01:02:03"));
        QCOMPARE(log.data(log.index(1)).toString(),
                 QString::fromStdString(StatusText(status)) + QStringLiteral(" - 12:00:01"));
        QCOMPARE(log.data(log.index(2)).toString(),
                 QStringLiteral("11013   [ ip ttl expired transit ] - 23:59:59"));
    }
};

QTEST_MAIN(PlatformQtTest)
#include "platform_qt_test.moc"
