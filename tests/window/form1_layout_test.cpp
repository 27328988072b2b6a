// The window as it opens: controls, places, tab order, fonts.
#include "test_window.h"

#include "echowatch/probe/status_text.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <vector>

namespace {

const std::vector<const char *> Controls{"Text1",  "Command1", "Text2",  "Label2",
                                         "Label3", "Label1",   "Label4", "List1"};

QWidget *control(Form1 &window, const char *name)
{
    return window.findChild<QWidget *>(QString::fromLatin1(name));
}

bool fits(const QLabel *label, const QString &text)
{
    const QFontMetrics metrics(label->font());
    const QRect room = label->contentsRect();
    return metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height();
}

QString widestStatusLine(const QFontMetrics &metrics)
{
    QString widest;
    for (EchoStatus status = BadAddressStatus; status <= 11255; ++status) {
        const QString line = QString::fromStdString(StatusText(status));
        if (metrics.horizontalAdvance(line) > metrics.horizontalAdvance(widest))
            widest = line;
    }
    return widest;
}

} // namespace

class Form1LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void opensIdleAndEmpty()
    {
        TestWindow test;
        Form1 &window = test.window;
        window.show();
        QCoreApplication::processEvents();

        QCOMPARE(window.windowTitle(), QStringLiteral("EchoWatch"));
        QVERIFY(window.Text1->text().isEmpty());
        QVERIFY(window.Text2->text().isEmpty());
        QCOMPARE(window.Text1->placeholderText(), QStringLiteral("IPv4 address"));
        QCOMPARE(window.Text2->placeholderText(), QStringLiteral("Interval in ms"));
        QCOMPARE(window.Text2->toolTip(), window.Text2->placeholderText());
        QCOMPARE(window.Command1->text(), QStringLiteral("Start"));
        QVERIFY(window.Label1->text().isEmpty());
        QVERIFY(window.Label2->text().isEmpty());
        QVERIFY(window.Label3->text().isEmpty());
        QCOMPARE(window.Label4->text(),
                 QStringLiteral("EchoWatch - ICMP echo monitor, by the EchoWatch authors"));
        QCOMPARE(test.logLines(), 0);
        QVERIFY(!window.Timer1->isActive());
        QCOMPARE(window.Timer1->interval(), 100);
        QCOMPARE(window.Timer1->timerType(), Qt::PreciseTimer);
        QCOMPARE(window.Timer1->objectName(), QStringLiteral("Timer1"));
        QVERIFY(window.List1->uniformItemSizes());
        QCOMPARE(test.sockets.starts, 0);
        QCOMPARE(test.icmp.sends.size(), std::size_t{0});
    }

    void labelsArePlainTextOnOneLine()
    {
        TestWindow test;
        for (QLabel *label :
             {test.window.Label1, test.window.Label2, test.window.Label3, test.window.Label4}) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QVERIFY(!label->wordWrap());
        }
    }

    // How the drawing arranges the controls, whatever their exact places:
    // the address over the button in one column, the interval beside the
    // button, the two readings in a column on the right, then the status,
    // the attribution and the log across the window, one under the other.
    void arrangesControlsAsDrawn()
    {
        TestWindow test;
        Form1 &w = test.window;
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!w.size().isEmpty());
        const QRect text1 = w.Text1->geometry(), command1 = w.Command1->geometry(),
                    text2 = w.Text2->geometry(), label2 = w.Label2->geometry(),
                    label3 = w.Label3->geometry(), label1 = w.Label1->geometry(),
                    label4 = w.Label4->geometry(), list1 = w.List1->geometry();
        QCOMPARE(command1.left(), text1.left());
        QCOMPARE(command1.width(), text1.width());
        QVERIFY(command1.top() > text1.bottom());
        QCOMPARE(text2.top(), command1.top());
        QVERIFY(text2.left() > command1.right());
        QCOMPARE(label2.top(), text1.top());
        QCOMPARE(label3.top(), command1.top());
        QCOMPARE(label3.left(), label2.left());
        QVERIFY(label2.left() > text2.right());
        for (const QRect &row : {label1, label4, list1})
            QCOMPARE(row.left(), text1.left());
        QVERIFY(label1.top() > command1.bottom());
        QVERIFY(label4.top() > label1.bottom());
        QVERIFY(list1.top() > label4.bottom());
        QVERIFY(label1.right() >= label2.right());
        QVERIFY(list1.right() >= label1.right());
    }

    void controlsNeitherOverlapNorLeaveTheWindow()
    {
        TestWindow test;
        const QRect client = test.window.rect();
        for (std::size_t first = 0; first < Controls.size(); ++first) {
            QWidget *widget = control(test.window, Controls[first]);
            QVERIFY2(widget, Controls[first]);
            const QRect place = widget->geometry();
            QVERIFY2(client.contains(place), Controls[first]);
            for (std::size_t second = first + 1; second < Controls.size(); ++second) {
                const QRect other = control(test.window, Controls[second])->geometry();
                QVERIFY2(!place.intersects(other), Controls[second]);
            }
        }
    }

    void tabsInTheDrawnOrderFromTheButton()
    {
        TestWindow test;
        Form1 &window = test.window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget(), window.Command1);
        const std::vector<QWidget *> order{window.Text1, window.Text2, window.List1,
                                           window.Command1};
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void tellsScreenReadersWhatEachControlIs()
    {
        TestWindow test;
        Form1 &window = test.window;
        QCOMPARE(window.Text1->accessibleName(), QStringLiteral("Address"));
        QCOMPARE(window.Text2->accessibleName(), QStringLiteral("Interval (ms)"));
        QCOMPARE(window.List1->accessibleName(), QStringLiteral("Failure log"));
        QCOMPARE(window.Label1->accessibleDescription(), QStringLiteral("Status"));
        QCOMPARE(window.Label2->accessibleDescription(), QStringLiteral("Round-trip time"));
        QCOMPARE(window.Label3->accessibleDescription(), QStringLiteral("Reply size"));
        // A name would hide the value from a reader.
        QVERIFY(window.Label1->accessibleName().isEmpty());
    }

    void everyTextFitsItsControl()
    {
        TestWindow test;
        Form1 &window = test.window;
        QCOMPARE(QFontInfo(window.font()).family(), QStringLiteral("DejaVu Sans"));
        const QString widest = widestStatusLine(QFontMetrics(window.Label1->font()));
        QVERIFY2(fits(window.Label1, widest), qPrintable(widest));
        QVERIFY(fits(window.Label2, QStringLiteral("500 ms")));
        QVERIFY(fits(window.Label3, QStringLiteral("32 bytes")));
        QVERIFY(fits(window.Label4, window.Label4->text()));
        // Inside a line edit's frame and margins, two pixels each side.
        const QFontMetrics editMetrics(window.Text1->font());
        QVERIFY(editMetrics.horizontalAdvance(QStringLiteral("255.255.255.255")) <=
                window.Text1->contentsRect().width() - 8);
    }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
