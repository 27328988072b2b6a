// The history actions on the real window over scripted probes: the context
// menu, one History window on Ctrl+H, its statistics, the log's dates,
// following and copying the log, and nothing new until an action is taken.
#include "test_window.h"

#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/window/log_actions.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

namespace {

using history_view::HistoryWindow;

// The window with its log's actions and the history's, as the program has
// them.
struct HistoryTestWindow : TestWindow
{
    window::LogActions *logActions = new window::LogActions(window);
    history_view::ProbeHistory *history = new history_view::ProbeHistory(window);
    history_view::HistoryActions *actions = new history_view::HistoryActions(window, *history);

    // One tick a second of wall-clock time.
    void tick(fakes::ScriptedEcho echo)
    {
        icmp.echo = echo;
        window.ProbeTick();
        clock.wallTime += std::chrono::seconds{1};
    }

    HistoryWindow *historyWindow() const { return window.findChild<HistoryWindow *>(); }
};

constexpr fakes::ScriptedEcho Answered{0, 12, 32};
constexpr fakes::ScriptedEcho TimedOut{11010, 0, 0};

} // namespace

class HistoryWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void menuOffersTheActionsAndCtrlHOpensOneWindow()
    {
        HistoryTestWindow test;
        QStringList captions;
        for (const QAction *action : test.window.contextMenu()->actions())
            captions += action->text();
        QCOMPARE(captions,
                 (QStringList{"History", "Follow new lines", "Copy log", "Save history…"}));
        test.window.show();
        test.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&test.window));
        QVERIFY(!test.historyWindow());
        QTest::keyClick(&test.window, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(test.historyWindow() && test.historyWindow()->isVisible());
        test.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&test.window));
        QTest::keyClick(test.window.Command1, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(test.window.findChildren<HistoryWindow *>().size(), qsizetype{1});
        test.historyWindow()->close();
        QTRY_VERIFY(!test.historyWindow());
    }

    void showsStatisticsOutagesAndTheChartsDescription()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        for (const auto echo : {Answered, TimedOut, TimedOut, Answered, TimedOut})
            test.tick(echo);
        test.window.Text1->setText(QStringLiteral("no address"));
        test.tick(Answered);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        const QString statistics =
            QStringLiteral("5 packets transmitted, 2 received, 60% packet loss, time 5000ms\n"
                           "rtt min/avg/max/mdev = 12.000/12.000/12.000/0.000 ms\n"
                           "1 not sent (bad address)");
        QCOMPARE(history->findChild<QLabel *>(QStringLiteral("Statistics"))->text(), statistics);
        const QAbstractItemModel &outages =
            *history->findChild<QTableView *>(QStringLiteral("Outages"))->model();
        QCOMPARE(outages.rowCount(), 2);
        QCOMPARE(outages.data(outages.index(0, 2)).toString(), QStringLiteral("2.0 s"));
        QCOMPARE(outages.data(outages.index(0, 3)).toString(), QStringLiteral("2"));
        QCOMPARE(outages.data(outages.index(1, 1)).toString(), QStringLiteral("ongoing"));
        QCOMPARE(outages.data(outages.index(1, 4)).toString(),
                 QStringLiteral("11010   [ ip req timed out ]"));
        const QWidget *chart = history->findChild<QWidget *>(QStringLiteral("RoundTripChart"));
        QCOMPARE(chart->accessibleDescription(),
                 QStringLiteral("Whole run: ") + QString(statistics).replace('\n', "; "));

        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.tick(Answered);
        QTRY_VERIFY(
            outages.data(outages.index(1, 1)).toString().startsWith(QStringLiteral("2027-01-15 ")));
    }

    void logLinesKeepTheirTextAndGiveTheDateAsTooltip()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.tick(TimedOut);
        const QAbstractItemModel &log = *test.window.List1->model();
        QCOMPARE(log.data(log.index(0, 0)).toString(),
                 QStringLiteral("11010   [ ip req timed out ] - 13:04:05"));
        const QString date = log.data(log.index(0, 0), Qt::ToolTipRole).toString();
        QVERIFY2(date.contains(QStringLiteral("15. Januar 2027")), qPrintable(date));
        QVERIFY2(date.contains(QRegularExpression(QStringLiteral(" UTC[+-]\\d\\d:\\d\\d$"))),
                 qPrintable(date));
        QCOMPARE(log.data(log.index(0, 0), Qt::AccessibleDescriptionRole).toString(), date);

        // Dates are kept once per change: each line keeps its own.
        test.clock.wallTime += std::chrono::hours{24};
        test.tick(TimedOut);
        test.tick(TimedOut);
        QVERIFY(log.data(log.index(0, 0), Qt::ToolTipRole).toString().contains("15. Januar 2027"));
        QVERIFY(log.data(log.index(2, 0), Qt::ToolTipRole).toString().contains("16. Januar 2027"));
    }

    void followsAndCopiesTheLogOnlyWhenAsked()
    {
        HistoryTestWindow test;
        test.window.show();
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        for (int i = 0; i < 8; ++i)
            test.tick(TimedOut);
        const QScrollBar *scroll = test.window.List1->verticalScrollBar();
        QTRY_VERIFY(scroll->maximum() > 0);
        QCOMPARE(scroll->value(), 0);

        QAction *follow = test.window.contextMenu()->actions().at(1);
        follow->setChecked(true);
        test.tick(TimedOut);
        QTRY_COMPARE(scroll->value(), scroll->maximum());

        test.logActions->copyLog();
        const QAbstractItemModel &log = *test.window.List1->model();
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines.last(), log.data(log.index(8, 0)).toString());

        test.window.List1->setCurrentIndex(log.index(3, 0));
        QTest::keyClick(test.window.List1, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), log.data(log.index(3, 0)).toString());
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
