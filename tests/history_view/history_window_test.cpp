// The history actions on the real window over scripted probes: the context
// menu, one History window on Ctrl+H beside the main window and named after
// the host, its statistics, outages newest first, reading and zooming the
// chart with the mouse, unique mnemonics, the log's dates, following and
// copying the log, and nothing new until an action is taken.
#include "watched_window.h"

#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/window/log_actions.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include <arpa/inet.h>

Q_DECLARE_METATYPE(history::TimeSpan)
Q_DECLARE_METATYPE(history::ChartColumn)

namespace {

using history_view::HistoryWindow;

// The window with its log's actions and the history's, as the program has
// them.
struct HistoryTestWindow : WatchedWindow
{
    explicit HistoryTestWindow(const host::AlertRules &rules = {}) : WatchedWindow(rules)
    {
        start();
    }

    window::LogActions *logActions = new window::LogActions(window);
    history_view::ProbeHistory *history = new history_view::ProbeHistory(window, events());
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
constexpr fakes::ScriptedEcho HostUnreachable{11003, 0, 0};

// The letter Alt takes to a control, lower case; none when it has none.
QChar mnemonic(const QString &text)
{
    for (qsizetype at = text.indexOf('&'); at >= 0 && at + 1 < text.size();
         at = text.indexOf('&', at + 2)) {
        if (text[at + 1] != '&')
            return text[at + 1].toLower();
    }
    return QChar();
}

history::TimeSpan localSpan(QTime from, history::Milliseconds length)
{
    const qint64 start = QDateTime(QDate(2027, 1, 15), from).toMSecsSinceEpoch();
    return history::TimeSpan{start, start + length};
}

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
                           "down 60% of the watched time (3.0 s of 5.0 s)\n"
                           "rtt min/avg/max/mdev = 12.000/12.000/12.000/0.000 ms\n"
                           "1 not sent (bad address)");
        const auto *figures = history->findChild<QPlainTextEdit *>(QStringLiteral("Statistics"));
        QCOMPARE(figures->toPlainText(), statistics);
        // Read and copied, never edited, and no caret blinks in it.
        QVERIFY(figures->isReadOnly() && figures->cursorWidth() == 0);
        QVERIFY(figures->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.1"));
        // The newest outage first.
        const QAbstractItemModel &outages =
            *history->findChild<QTableView *>(QStringLiteral("Outages"))->model();
        QCOMPARE(outages.rowCount(), 2);
        // The text that was no address ended the watch, and the outage with
        // it: nobody saw the host back.
        QCOMPARE(outages.data(outages.index(0, 1)).toString(),
                 QStringLiteral("2027-01-15 %1, not watched")
                     .arg(QDateTime::fromMSecsSinceEpoch(1'800'000'005'000).toString("HH:mm:ss")));
        QCOMPARE(outages.data(outages.index(0, 4)).toString(),
                 QStringLiteral("11010   [ ip req timed out ]"));
        QCOMPARE(outages.data(outages.index(1, 2)).toString(), QStringLiteral("2.0 s"));
        QCOMPARE(outages.data(outages.index(1, 3)).toString(), QStringLiteral("2"));
        const QWidget *chart = history->findChild<QWidget *>(QStringLiteral("RoundTripChart"));
        QCOMPARE(chart->accessibleDescription(),
                 QStringLiteral("All: ") + QString(statistics).replace('\n', "; "));

        // Another host is a series of its own: its outages, not the first's.
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.tick(Answered);
        QTRY_COMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.2"));
        QCOMPARE(outages.rowCount(), 0);
        test.tick(TimedOut);
        QTRY_COMPARE(outages.rowCount(), 1);
        QCOMPARE(outages.data(outages.index(0, 1)).toString(), QStringLiteral("ongoing"));
    }

    // A verdict noted for an outage shows in its row's Where cell, and
    // Enter on that row asks for its trace; a row without one asks nothing.
    void showsWhereThePathBrokeAndAsksForItsTrace()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        const qint64 firstOutage = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       test.clock.wallTime.time_since_epoch())
                                       .count() +
                                   1000;
        for (const auto echo : {Answered, TimedOut, TimedOut, Answered, TimedOut})
            test.tick(echo);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        auto *table = history->findChild<QTableView *>(QStringLiteral("Outages"));
        const QAbstractItemModel &outages = *table->model();
        QCOMPARE(outages.headerData(5, Qt::Horizontal).toString(), QStringLiteral("Where"));
        const std::uint32_t host = *test.history->hosts().address(0);
        const QString where = QStringLiteral("stops after hop 2 (192.0.2.18)");
        test.history->noteWhere(host + 1, firstOutage, QStringLiteral("another host's"));
        test.history->noteWhere(host, firstOutage, where);
        QCOMPARE(outages.data(outages.index(1, 5)).toString(), where);
        QCOMPARE(outages.data(outages.index(1, 5), Qt::ToolTipRole).toString(), where);
        QCOMPARE(outages.data(outages.index(0, 5)).toString(), QString());

        QSignalSpy asked(test.actions, &history_view::HistoryActions::traceAsked);
        table->setCurrentIndex(outages.index(0, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(asked.size(), 0);
        table->setCurrentIndex(outages.index(1, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).at(0).toUInt(), host);
        QCOMPARE(asked.at(0).at(1).toLongLong(), firstOutage);
        // A later outage moves the row down; its verdict goes with it.
        test.tick(Answered);
        test.tick(TimedOut);
        QTRY_COMPARE(outages.rowCount(), 3);
        QCOMPARE(outages.data(outages.index(2, 5)).toString(), where);
    }

    // At the window's default size, with a long cause and a long verdict,
    // the Where column still has room for the longest class before its
    // text is cut; the whole verdict stays in its tooltip.
    void theWhereColumnShowsTheClassAtTheDefaultSize()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        const qint64 outage = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  test.clock.wallTime.time_since_epoch())
                                  .count() +
                              1000;
        // Mixed causes, the longest of cause texts, and an end time.
        for (const auto echo : {Answered, HostUnreachable, TimedOut, HostUnreachable, Answered})
            test.tick(echo);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        QVERIFY(QTest::qWaitForWindowExposed(history));
        auto *table = history->findChild<QTableView *>(QStringLiteral("Outages"));
        const QString where = QStringLiteral("beyond the gateway: router 198.51.100.2 (hop 2) "
                                             "cannot reach the host (host unreachable)");
        test.history->noteWhere(*test.history->hosts().address(0), outage, where);
        const int needed =
            table->fontMetrics().horizontalAdvance(QStringLiteral("beyond the gateway: \u2026"));
        QTRY_VERIFY2(table->columnWidth(5) >= needed &&
                         table->columnViewportPosition(5) + needed <= table->viewport()->width(),
                     qPrintable(QStringLiteral("Where at %1, %2 wide of %3")
                                    .arg(table->columnViewportPosition(5))
                                    .arg(table->columnWidth(5))
                                    .arg(table->viewport()->width())));
        QCOMPARE(table->model()->data(table->model()->index(0, 5), Qt::ToolTipRole).toString(),
                 where);
    }

    void opensBesideTheMainWindowOnTheScreen_data()
    {
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1024, 768);
        QTest::newRow("right of it")
            << QRect(0, 0, 300, 200) << QSize(640, 500) << screen << QRect(308, 0, 640, 500);
        QTest::newRow("left of it")
            << QRect(700, 600, 300, 150) << QSize(300, 400) << screen << QRect(392, 368, 300, 400);
        QTest::newRow("no room: the wider side")
            << QRect(600, 100, 300, 200) << QSize(640, 500) << screen << QRect(0, 100, 640, 500);
        QTest::newRow("larger than the screen")
            << QRect(0, 0, 300, 200) << QSize(2000, 1000) << screen << QRect(0, 0, 1024, 768);
        QTest::newRow("second screen") << QRect(1930, 10, 300, 200) << QSize(640, 500)
                                       << QRect(1920, 0, 1280, 1024) << QRect(2238, 10, 640, 500);
    }

    void opensBesideTheMainWindowOnTheScreen()
    {
        QFETCH(QRect, owner);
        QFETCH(QSize, size);
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        QCOMPARE(history_view::besideOwner(owner, size, available), expected);
    }

    void mnemonicsAreUnique()
    {
        HistoryTestWindow test;
        test.actions->showHistory();
        QMap<QChar, QString> taken;
        QStringList texts;
        // Buttons with words (not the table's corner), and labels that lead
        // to a control.
        for (const QAbstractButton *button :
             test.historyWindow()->findChildren<QAbstractButton *>()) {
            if (!button->text().isEmpty())
                texts += button->text();
        }
        for (const QLabel *label : test.historyWindow()->findChildren<QLabel *>()) {
            if (label->buddy())
                texts += label->text();
        }
        for (const QString &text : texts) {
            const QChar letter = mnemonic(text);
            QVERIFY2(!letter.isNull(), qPrintable(text + " has no mnemonic"));
            QVERIFY2(!taken.contains(letter), qPrintable(text + " and " + taken.value(letter)));
            taken.insert(letter, text);
        }
        // Span, Host, Outages, Save outages, Close.
        QCOMPARE(taken.size(), 5);
    }

    void readsAColumnAsTimeRoundTripAndStatus_data()
    {
        QTest::addColumn<history::TimeSpan>("stretch");
        QTest::addColumn<history::ChartColumn>("column");
        QTest::addColumn<QString>("expected");
        history::ChartColumn one;
        one.answered = 1;
        one.minimumMicroseconds = one.maximumMicroseconds = 1234;
        QTest::newRow("one answer") << localSpan({13, 4, 5}, 500) << one
                                    << QStringLiteral("13:04:05: 1 answered (round trip 1.234 ms)");
        history::ChartColumn mixed;
        mixed.answered = 3;
        mixed.minimumMicroseconds = 30;
        mixed.maximumMicroseconds = 70;
        mixed.timeouts = 2;
        QTest::newRow("answers and timeouts over 3 s")
            << localSpan({13, 4, 5}, 3000) << mixed
            << QStringLiteral("13:04:05–13:04:07: 3 answered (round trip 0.030–0.070 ms), "
                              "2 timed out");
        history::ChartColumn failures;
        failures.unreachables = 1;
        failures.otherFailures = 4;
        QTest::newRow("failures only")
            << localSpan({23, 59, 59}, 1000) << failures
            << QStringLiteral("23:59:59: 1 unreachable, 4 failed otherwise");
        QTest::newRow("nothing") << localSpan({0, 0, 0}, 1) << history::ChartColumn{}
                                 << QStringLiteral("00:00:00: no probes");
    }

    void readsAColumnAsTimeRoundTripAndStatus()
    {
        QFETCH(history::TimeSpan, stretch);
        QFETCH(history::ChartColumn, column);
        QFETCH(QString, expected);
        QCOMPARE(history_view::columnReading(history::ColumnStretch{0, stretch}, column), expected);
    }

    // The pointer reads the column it is over; a drag zooms into what it
    // crossed; Escape goes back to the whole run, and only then closes.
    void hoverReadsTheChartAndADragZoomsIn()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        for (int i = 0; i < 60; ++i)
            test.tick(i % 10 < 7 ? Answered : TimedOut);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        QVERIFY(QTest::qWaitForWindowExposed(history));
        auto *chart = history->findChild<history_view::RoundTripChart *>();
        const QLabel *reading = history->findChild<QLabel *>(QStringLiteral("ChartReading"));
        const history::TimeSpan whole = chart->shownSpan();
        const QPoint middle = chart->rect().center();

        QTest::mouseMove(chart, middle);
        QTRY_VERIFY2(reading->text().contains(QStringLiteral("answered (round trip 12.000 ms)")) ||
                         reading->text().contains(QStringLiteral("timed out")),
                     qPrintable(reading->text()));

        // From the keyboard: Right steps to the next column with probes.
        const QString pointed = reading->text();
        chart->setFocus();
        QTest::keyClick(chart, Qt::Key_Right);
        QVERIFY(reading->text() != pointed);
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(reading->text(), pointed);

        QTest::mousePress(chart, Qt::LeftButton, {}, middle);
        QTest::mouseMove(chart, middle + QPoint(60, 0));
        QTest::mouseRelease(chart, Qt::LeftButton, {}, middle + QPoint(60, 0));
        QTRY_VERIFY(chart->isZoomed());
        const history::TimeSpan zoomed = chart->shownSpan();
        QVERIFY(zoomed.from > whole.from && zoomed.to < whole.to && zoomed.to > zoomed.from);
        // A reader hears the stretch shown and its own figures, not the run's.
        const QString described = chart->accessibleDescription();
        QVERIFY2(described.contains(QRegularExpression(QStringLiteral(
                     "^\\d\\d:\\d\\d:\\d\\d–\\d\\d:\\d\\d:\\d\\d: \\d+ packets transmitted"))),
                 qPrintable(described));
        QVERIFY(!described.contains(QStringLiteral("60 packets transmitted")));

        QTest::keyClick(history, Qt::Key_Escape);
        QVERIFY(!chart->isZoomed());
        QCOMPARE(chart->shownSpan().from, whole.from);
        QVERIFY(history->isVisible());
        QTest::keyClick(history, Qt::Key_Escape);
        QTRY_VERIFY(!test.historyWindow());
    }

    // What the host monitor called slow and flapping, kept by host: a
    // stretch going on ends at the time asked for, one settled where it
    // settled.
    void keepsTheSlowAndFlappingStretches()
    {
        host::AlertRules rules;
        rules.downAfter = 1;
        rules.slow = {100, 95};
        rules.flap = {2, 1};
        WatchedWindow test(rules);
        history_view::ProbeHistory history(test.window, test.events());
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.start();
        const std::uint32_t address = htonl(INADDR_LOOPBACK);
        const history::Milliseconds zero =
            std::chrono::duration_cast<std::chrono::milliseconds>(
                test.clock.wallTime.time_since_epoch())
                .count();
        const auto at = [zero](int second) { return zero + second * 1000; };
        using Spans = std::vector<history::TimeSpan>;
        // Slow answers from second 1 to 62: slow from 1; under again at 119,
        // once 3 of the minute's 60 answers are slow; normal at 179.
        for (int second = 1; second <= 62; ++second)
            test.probe(0, 150);
        QCOMPARE(history.slowPeriods(address, at(62)), (Spans{{at(1), at(62)}}));
        for (int second = 63; second <= 192; ++second)
            test.probe(0, 20);
        QCOMPARE(history.slowPeriods(address, at(192)), (Spans{{at(1), at(119)}}));
        QVERIFY(history.flappingStretches(address, at(192)).empty());
        // Downs at 193, 195 and 197: the third flaps; up from 198 on, it
        // settles a minute later.
        test.probes("fafafa");
        QCOMPARE(history.flappingStretches(address, at(200)), (Spans{{at(193), at(200)}}));
        test.probes(QByteArray(60, 'a').constData());
        QCOMPARE(history.flappingStretches(address, at(300)), (Spans{{at(193), at(258)}}));
        QVERIFY(history.slowPeriods(htonl(INADDR_LOOPBACK + 1), at(300)).empty());
    }

    // A slow stretch is shaded across the chart, its band along the top
    // in the legend's colour: far more columns of it than the legend's
    // swatch has. ECHOWATCH_HISTORY_PICTURE names a file for a picture.
    void shadesASlowStretchAndAFlappingOne()
    {
        host::AlertRules rules;
        rules.downAfter = 1;
        rules.slow = {100, 95};
        rules.flap = {2, 10};
        HistoryTestWindow test(rules);
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        const auto answers = [&test](int count, int milliseconds) {
            for (int answer = 0; answer < count; ++answer)
                test.probe(0, milliseconds + answer % 5);
        };
        answers(40, 20);
        answers(90, 150);
        // Under again after 57 answers, normal a minute later.
        answers(130, 20);
        test.probes("fafafafafa");
        answers(20, 20);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        QVERIFY(QTest::qWaitForWindowExposed(history));
        auto *chart = history->findChild<history_view::RoundTripChart *>();
        const QImage drawn = chart->grab().toImage();
        const QRgb yellow = qRgb(215, 190, 0);
        int yellowColumns = 0;
        for (int x = 0; x < drawn.width(); ++x) {
            for (int y = 0; y < drawn.height(); ++y) {
                if (drawn.pixel(x, y) == yellow) {
                    ++yellowColumns;
                    break;
                }
            }
        }
        QVERIFY2(yellowColumns > drawn.width() / 5, qPrintable(QString::number(yellowColumns)));
        const QString picture = qEnvironmentVariable("ECHOWATCH_HISTORY_PICTURE");
        if (!picture.isEmpty())
            QVERIFY(history->grab().save(picture));
    }

    void eachHostHasItsOwnSeries()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.tick(Answered);
        test.tick(Answered);
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.tick(TimedOut);
        test.tick(TimedOut);
        test.tick(Answered);
        test.actions->showHistory();
        HistoryWindow *history = test.historyWindow();
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.2"));
        const auto *statistics = history->findChild<QPlainTextEdit *>(QStringLiteral("Statistics"));
        QCOMPARE(statistics->toPlainText(),
                 QStringLiteral("3 packets transmitted, 1 received, 66.6667% packet loss, time "
                                "2000ms\n"
                                "down 100% of the watched time (2.0 s of 2.0 s)\n"
                                "rtt min/avg/max/mdev = 12.000/12.000/12.000/0.000 ms"));
        auto *hosts = history->findChild<QComboBox *>(QStringLiteral("Host"));
        QVERIFY(hosts->isVisibleTo(history));
        QCOMPARE(hosts->count(), 2);
        QCOMPARE(hosts->itemText(0), QStringLiteral("127.0.0.1"));
        hosts->setCurrentIndex(0);
        emit hosts->activated(0);
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.1"));
        QCOMPARE(statistics->toPlainText(),
                 QStringLiteral("2 packets transmitted, 2 received, 0% packet loss, time 1000ms\n"
                                "down 0% of the watched time (0.0 s of 2.0 s)\n"
                                "rtt min/avg/max/mdev = 12.000/12.000/12.000/0.000 ms"));
        const QAbstractItemModel &outages =
            *history->findChild<QTableView *>(QStringLiteral("Outages"))->model();
        QCOMPARE(outages.rowCount(), 0);
        // A probe of the other host leaves the one picked shown.
        test.tick(Answered);
        history->refresh();
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.1"));
    }

    // The name given on the command line goes with its address alone, in
    // the title and in the host box, and follows the address if it moves.
    void aNamedHostIsCalledByItsNameBesideItsAddress()
    {
        HistoryTestWindow test;
        QString namedAddress = QStringLiteral("127.0.0.1");
        const history_view::HostLabel label = [&namedAddress](const QString &address) {
            return address == namedAddress ? QStringLiteral("router.lan") : address;
        };
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.tick(Answered);
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.tick(Answered);
        auto *history = new HistoryWindow(*test.history, &test.window, label);
        auto *hosts = history->findChild<QComboBox *>(QStringLiteral("Host"));
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.2"));
        QCOMPARE(hosts->itemText(0), QStringLiteral("router.lan (127.0.0.1)"));
        QCOMPARE(hosts->itemText(1), QStringLiteral("127.0.0.2"));
        emit hosts->activated(0);
        QCOMPARE(history->windowTitle(), QStringLiteral("History of router.lan (127.0.0.1)"));
        namedAddress = QStringLiteral("127.0.0.2");
        history->refresh();
        QCOMPARE(hosts->itemText(0), QStringLiteral("127.0.0.1"));
        QCOMPARE(hosts->itemText(1), QStringLiteral("router.lan (127.0.0.2)"));
        QCOMPARE(history->windowTitle(), QStringLiteral("History of 127.0.0.1"));
        delete history;
    }

    void oneHostIsNotOffered()
    {
        HistoryTestWindow test;
        test.window.Text1->setText(QStringLiteral("127.0.0.1"));
        test.tick(Answered);
        test.actions->showHistory();
        QVERIFY(!test.historyWindow()
                     ->findChild<QComboBox *>(QStringLiteral("Host"))
                     ->isVisibleTo(test.historyWindow()));
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
