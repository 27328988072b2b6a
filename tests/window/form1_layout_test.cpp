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

// The drawing, in twips: left, top, width, height.
struct Drawn
{
    const char *name;
    int left;
    int top;
    int width;
    int height;
};

const std::vector<Drawn> Drawing{
    {"Text1", 120, 0, 1455, 285},     {"Command1", 120, 360, 1455, 375},
    {"Text2", 2160, 360, 735, 285},   {"Label2", 3120, 0, 1215, 255},
    {"Label3", 3120, 360, 1215, 255}, {"Label1", 120, 840, 4335, 255},
    {"Label4", 120, 1200, 4335, 375}, {"List1", 120, 1680, 4455, 645},
};

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

    void placesControlsAsDrawn()
    {
        TestWindow test;
        QCOMPARE(test.window.size(), QSize(4680 / 15, 2430 / 15));
        QCOMPARE(test.window.minimumSize(), test.window.maximumSize());
        for (const Drawn &drawn : Drawing) {
            QWidget *widget = control(test.window, drawn.name);
            QVERIFY2(widget, drawn.name);
            const QRect expected(drawn.left / 15, drawn.top / 15, drawn.width / 15,
                                 drawn.height / 15);
            QCOMPARE(widget->geometry(), expected);
        }
    }

    void controlsNeitherOverlapNorLeaveTheWindow()
    {
        TestWindow test;
        const QRect client = test.window.rect();
        for (std::size_t first = 0; first < Drawing.size(); ++first) {
            const QRect place = control(test.window, Drawing[first].name)->geometry();
            QVERIFY2(client.contains(place), Drawing[first].name);
            for (std::size_t second = first + 1; second < Drawing.size(); ++second) {
                const QRect other = control(test.window, Drawing[second].name)->geometry();
                QVERIFY2(!place.intersects(other), Drawing[second].name);
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
