// The history file as the window keeps it: nothing written until asked,
// every shown probe kept, a second run showing the first one in its History
// window with the gap between them, and a file that cannot be written
// reported once, on the status line's tooltip too.
#include "watched_window.h"

#include "echowatch/host/host_event_signals.h"

#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/store/history_reader.h"
#include "echowatch/store/sqlite_connection.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>

namespace {

using history_view::HistoryFile;

constexpr fakes::ScriptedEcho Answered{0, 12, 32};
constexpr fakes::ScriptedEcho TimedOut{11010, 0, 0};
constexpr const char *Host = "127.0.0.1";
const std::uint32_t HostAddress = htonl(INADDR_LOOPBACK);

// A window as the program puts it together, its clock at the given time.
struct FileTestWindow : WatchedWindow
{
    explicit FileTestWindow(std::chrono::system_clock::time_point now) : WatchedWindow(2)
    {
        clock.wallTime = now;
        window.Text1->setText(QString::fromLatin1(Host));
        start();
    }

    history_view::ProbeHistory *history = new history_view::ProbeHistory(window, events());
    history_view::HistoryActions *actions = new history_view::HistoryActions(window, *history);
    HistoryFile *file = new HistoryFile(window, events(), *history, HistoryFile::DefaultKeepDays);

    void tick(fakes::ScriptedEcho echo)
    {
        icmp.echo = echo;
        window.ProbeTick();
        clock.wallTime += std::chrono::seconds{1};
    }
};

const std::chrono::system_clock::time_point FirstRun{std::chrono::seconds{1'800'000'000}};

std::size_t probesInFile(const QString &file)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(file.toStdString(), store::Access::ReadOnly, error);
    if (!connection)
        return 0;
    std::optional<store::HostHistory> read =
        store::readHostHistory(*connection, Host, {0, std::int64_t{1} << 50}, 1000, error);
    return read ? read->probes.size() : 0;
}

} // namespace

class HistoryFileTest : public QObject
{
    Q_OBJECT

private slots:
    void offeredInTheMenuAndWritesNothingUntilAsked()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QDir(home.path()).filePath("data").toLocal8Bit());
        FileTestWindow test(FirstRun);
        QStringList captions;
        for (const QAction *action : test.window.contextMenu()->actions())
            captions += action->text();
        QVERIFY2(captions.contains(QStringLiteral("Keep history in a file…")),
                 qPrintable(captions.join(", ")));
        QCOMPARE(HistoryFile::proposedPath(),
                 QDir(home.path()).filePath("data/echowatch/history.sqlite"));
        test.tick(Answered);
        QVERIFY(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void aSecondRunShowsTheFirstWithTheGapBetween()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath("history.sqlite");
        {
            FileTestWindow first(FirstRun);
            first.file->keepIn(file);
            for (const auto echo : {Answered, TimedOut, TimedOut})
                first.tick(echo);
            // As the program ends: its watch ends as closed.
            first.window.close();
        }
        QCOMPARE(probesInFile(file), std::size_t{3});

        FileTestWindow second(FirstRun + std::chrono::hours{1});
        second.file->keepIn(file);
        second.tick(Answered);
        QTRY_COMPARE(second.history->earlierRuns(HostAddress), std::size_t{1});
        second.tick(Answered);
        const history::HostRecords &hosts = second.history->hosts();
        const history::ProbeRecord &record = hosts.at(*hosts.find(HostAddress));
        QCOMPARE(record.totals().transmitted, std::uint64_t{5});
        // The outage the first run ended in ends with its watch, not an
        // hour later, and not as up.
        QCOMPARE(record.outages().size(), std::size_t{1});
        QCOMPARE(record.outages()[0].end, std::optional<history::Milliseconds>(1'800'000'003'000));
        QVERIFY(record.outages()[0].endedUnwatched);

        second.actions->showHistory();
        const auto *history = second.window.findChild<history_view::HistoryWindow *>();
        const QString statistics =
            history->findChild<QPlainTextEdit *>(QStringLiteral("Statistics"))->toPlainText();
        QVERIFY2(statistics.startsWith(QStringLiteral("From 2027-01-15 ")), qPrintable(statistics));
        QVERIFY2(statistics.contains(QStringLiteral("this run and 1 earlier from the history "
                                                    "file:\n5 packets transmitted, 3 received")),
                 qPrintable(statistics));
        QCOMPARE(history->findChild<QTableView *>(QStringLiteral("Outages"))->model()->rowCount(),
                 1);
        QTRY_COMPARE(probesInFile(file), std::size_t{5});
    }

    // Where the path broke goes to the file with the outage it was found
    // in, and comes back with the earlier run; one noted before a file is
    // kept changes nothing.
    void keepsThePathVerdictWithItsOutage()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath("history.sqlite");
        const QString verdict = QStringLiteral("stops after hop 2 (192.0.2.18)");
        {
            FileTestWindow test(FirstRun);
            std::vector<host::OutageId> outages;
            QObject::connect(
                &test.events(), &host::HostEventSignals::down,
                [&outages](const host::HostDown &down) { outages.push_back(down.outage); });
            for (const auto echo : {Answered, TimedOut, TimedOut})
                test.tick(echo);
            test.watch.fileVerdict(outages.at(0), {host::Side::Unknown, "before the file", true});
            test.file->keepIn(file);
            for (const auto echo : {Answered, TimedOut, TimedOut, Answered, TimedOut, TimedOut})
                test.tick(echo);
            test.watch.fileVerdict(outages.at(1),
                                   {host::Side::Unknown, verdict.toStdString(), true});
            test.watch.fileVerdict(outages.at(2), {host::Side::Unknown, "not traced", false});
        }
        std::string error;
        auto connection =
            store::Connection::open(file.toStdString(), store::Access::ReadOnly, error);
        QVERIFY2(connection, error.c_str());
        const auto read =
            store::readHostHistory(*connection, Host, {0, std::int64_t{1} << 50}, 1000, error);
        QVERIFY2(read, error.c_str());
        QCOMPARE(read->outages.size(), std::size_t{2});
        QCOMPARE(read->outages[0].pathVerdict, std::optional(verdict.toStdString()));
        QCOMPARE(read->outages[1].pathVerdict, std::nullopt);

        FileTestWindow second(FirstRun + std::chrono::hours{1});
        second.file->keepIn(file);
        second.tick(Answered);
        QTRY_COMPARE(second.history->earlierRuns(HostAddress), std::size_t{1});
        const history::OutageWhere kept{{1'800'000'004'000, verdict.toStdString()}};
        QCOMPARE(second.history->where(HostAddress), kept);
    }

    // The file kept already, chosen again: this run's probes in it are no
    // earlier run. Another host's first read, which comes after any read
    // of the first host's, shows that none was made.
    void theSameFileChosenAgainCountsNothingTwice()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath("history.sqlite");
        FileTestWindow test(FirstRun);
        QSignalSpy read(test.file, &HistoryFile::earlierRunsRead);
        test.file->keepIn(file);
        for (int probe = 0; probe < 3; ++probe)
            test.tick(Answered);
        QTRY_COMPARE(probesInFile(file), std::size_t{3});
        test.file->keepIn(file);
        for (int probe = 0; probe < 3; ++probe)
            test.tick(Answered);
        test.window.Text1->setText(QStringLiteral("127.0.0.2"));
        test.tick(Answered);
        QTRY_COMPARE(read.size(), 2);
        QCOMPARE(read.at(1).at(0).toUInt(), htonl(INADDR_LOOPBACK + 1));
        const history::HostRecords &hosts = test.history->hosts();
        QCOMPARE(hosts.at(*hosts.find(HostAddress)).totals().transmitted, std::uint64_t{6});
        QCOMPARE(test.history->earlierRuns(HostAddress), std::size_t{0});
        test.actions->showHistory();
        test.window.Text1->setText(QString::fromLatin1(Host));
        test.tick(Answered);
        const auto *history = test.window.findChild<history_view::HistoryWindow *>();
        QTRY_VERIFY(history->findChild<QPlainTextEdit *>(QStringLiteral("Statistics"))
                        ->toPlainText()
                        .startsWith(QStringLiteral("7 packets transmitted, 7 received")));
    }

    void aFileItCannotWriteIsReportedOnceAndOnTheTooltip()
    {
        QTemporaryDir folder;
        QFile taken(folder.filePath("taken"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        FileTestWindow test(FirstRun);
        QSignalSpy warnings(test.file, &HistoryFile::warningChanged);
        test.file->keepIn(folder.filePath("taken/history.sqlite"));
        test.tick(Answered);
        QTRY_VERIFY(!test.file->warning().isEmpty());
        test.tick(TimedOut);
        test.tick(Answered);
        const QString tooltip = test.window.Label1->toolTip();
        QVERIFY2(tooltip.contains(QStringLiteral("cannot be written")), qPrintable(tooltip));
        QVERIFY2(tooltip.contains(QStringLiteral("taken/history.sqlite")), qPrintable(tooltip));
        QCOMPARE(warnings.count(), 1);
    }
};

QTEST_MAIN(HistoryFileTest)
#include "history_file_test.moc"
