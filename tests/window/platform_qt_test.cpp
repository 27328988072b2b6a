// The toolkit services: number texts, the time of day, the message box, and
// the failure log's model.
#include "echowatch/platform/number_text.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/platform/time_of_day_text.h"
#include "echowatch/probe/status_text.h"
#include "echowatch/window/failure_log_model.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>
#include <QtTest>

#include <climits>
#include <utility>

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

    // What an interval box accepts, the same in every locale: whole
    // milliseconds from 1 to the largest 32-bit value and nothing else.
    void intervalTextIsRefused_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::newRow("empty") << QString();
        QTest::newRow("only spaces") << QStringLiteral("   ");
        QTest::newRow("letters") << QStringLiteral("abc");
        QTest::newRow("digits then letters") << QStringLiteral("100ms");
        QTest::newRow("zero") << QStringLiteral("0");
        QTest::newRow("negative") << QStringLiteral("-5");
        QTest::newRow("plus sign") << QStringLiteral("+5");
        QTest::newRow("fraction") << QStringLiteral("1.5");
        QTest::newRow("exponent") << QStringLiteral("1e3");
        QTest::newRow("group separator") << QStringLiteral("1,000");
        QTest::newRow("inner space") << QStringLiteral("1 000");
        QTest::newRow("just beyond the timer") << QStringLiteral("2147483648");
        QTest::newRow("far beyond") << QStringLiteral("99999999999999999999999");
        QTest::newRow("other digits") << QStringLiteral("\u0661\u0660\u0660");
        QTest::newRow("a megabyte of digits") << QString(1024 * 1024, u'9');
        QTest::newRow("nul inside") << QStringLiteral("10") + QChar(u'\0') + QStringLiteral("0");
        QTest::newRow("hexadecimal") << QStringLiteral("0x10");
        QTest::newRow("fullwidth digits") << QStringLiteral("\uff11\uff10\uff10");
        QTest::newRow("superscript digits") << QStringLiteral("\u00b9\u00b2");
        QTest::newRow("minus zero") << QStringLiteral("-0");
        QTest::newRow("infinity") << QStringLiteral("inf");
        QTest::newRow("control character") << QStringLiteral("1\a0");
    }

    void intervalTextIsRefused()
    {
        QFETCH(QString, interval);
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        QVERIFY(!platform::intervalFromText(interval));
        QLocale::setDefault(QLocale::c());
    }

    void intervalTextIsAccepted_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("one") << QStringLiteral("1") << 1;
        QTest::newRow("surrounding spaces") << QStringLiteral("  250 ") << 250;
        QTest::newRow("leading zeros") << QStringLiteral("0042") << 42;
        QTest::newRow("the largest") << QStringLiteral("2147483647") << 2147483647;
    }

    void intervalTextIsAccepted()
    {
        QFETCH(QString, interval);
        QFETCH(int, milliseconds);
        QCOMPARE(platform::intervalFromText(interval), std::chrono::milliseconds(milliseconds));
    }

    // One row per way a locale writes its time zone: after the time, in
    // brackets, after a comma, before the time; in its own digits.
    void timeOfDayHasSecondsAndNoZone_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("hour");
        const std::pair<const char *, int> rows[] = {
            {"C", 22},      {"en_US", 10}, {"en_GB", 22},  {"de_DE", 22}, {"fr_FR", 22},
            {"fa_IR", 22},  {"ar_EG", 10}, {"ja_JP", 22},  {"zh_CN", 22}, {"ko_KR", 10},
            {"hi_IN", 10},  {"zh_TW", 10}, {"sq_AL", 10},  {"be_BY", 22}, {"my_MM", 22},
            {"nus_SS", 10}, {"eu_ES", 22}, {"nds_DE", 22}, {"bg_BG", 22}, {"fr_CA", 22},
        };
        for (const auto &[name, hour] : rows)
            QTest::newRow(name) << QLocale(QString::fromLatin1(name)) << hour;
    }

    void timeOfDayHasSecondsAndNoZone()
    {
        QFETCH(QLocale, locale);
        QFETCH(int, hour);
        const QTime time(22, 47, 58);
        const QString text = locale.toString(time, platform::timeOfDayFormat(locale));
        for (const int field : {hour, 47, 58})
            QVERIFY2(text.contains(locale.toString(field)), qPrintable(text));
        QVERIFY2(!text.contains(locale.toString(time, QStringLiteral("t"))), qPrintable(text));
        static const QRegularExpression emptyBrackets(QStringLiteral(R"(\p{Ps}\s*\p{Pe})"));
        QVERIFY2(!text.contains(emptyBrackets), qPrintable(text));
        static const QRegularExpression looseEnd(QStringLiteral(R"(^[\s,]|[\s,]$)"));
        QVERIFY2(!text.contains(looseEnd), qPrintable(text));
    }

    // Whatever else the locale writes stays: its day period, its words, the
    // full stop of an abbreviation. Which space separates them is the locale
    // data's choice (newer data puts a narrow no-break space before "PM"), so
    // any space separator counts as one.
    void timeOfDayKeepsTheLocalesWords_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "1:04:05 PM";
        QTest::newRow("zh_TW") << QLocale(QLocale::Chinese, QLocale::Taiwan)
                               << QStringLiteral(u"下午1:04:05");
        QTest::newRow("ko_KR") << QLocale(QLocale::Korean, QLocale::SouthKorea)
                               << QStringLiteral(u"오후 1시 4분 5초");
        QTest::newRow("bg_BG") << QLocale(QLocale::Bulgarian, QLocale::Bulgaria)
                               << QStringLiteral(u"13:04:05 ч.");
        QTest::newRow("fr_CA") << QLocale(QLocale::French, QLocale::Canada) << "13 h 04 min 05 s";
    }

    void timeOfDayKeepsTheLocalesWords()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        static const QRegularExpression space(QStringLiteral(R"(\p{Zs})"));
        QString text = locale.toString(QTime(13, 4, 5), platform::timeOfDayFormat(locale));
        QCOMPARE(text.replace(space, QStringLiteral(" ")), expected);
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
        window::FailureLogModel log(QLocale(QLocale::German, QLocale::Germany));
        log.append(11010, QTime(23, 59, 59), {});
        log.append(-7, QTime(0, 0, 0), {});
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
        window::FailureLogModel log(QLocale(QLocale::German, QLocale::Germany));
        log.append(11003, QTime(1, 2, 3), {});
        log.append(status, QTime(12, 0, 1), {});
        log.append(11013, QTime(23, 59, 59), {});
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
