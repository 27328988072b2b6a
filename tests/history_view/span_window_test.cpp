// The History window over a history file made for the test: each span, from
// the last 5 minutes to all, shows what the file and this run hold (counts,
// loss, round trips, down of the watched time, outage rows, the time nobody
// watched), its bands where the file's minutes and hours give them; the
// read runs on a worker, and the window answers while it is held; the
// earlier runs' slow periods are shaded as this run's are; a
// damaged or locked file is reported and nothing of it merged; without a
// file the spans show the run alone.
#include "watched_window.h"

#include "echowatch/history/duration_text.h"
#include "echowatch/history/probe_record.h"
#include "echowatch/history_view/file_span.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/store/history_writer.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <netinet/in.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

namespace {

using history::Milliseconds;
using history::ProbeSample;
using history::TimeSpan;
using history_view::HistoryWindow;

constexpr Milliseconds Minute = history::MillisecondsPerMinute;
constexpr Milliseconds Hour = 60 * Minute;
constexpr Milliseconds Day = 24 * Hour;
// Where the window's clock starts: this run's first probe.
constexpr Milliseconds Now = 1'800'000'000'000;
constexpr const char *Host = "127.0.0.1";
const std::uint32_t HostAddress = htonl(INADDR_LOOPBACK);
constexpr int RunProbes = 20;

// What the file was given: two watches of the host, 20 days apart, one a
// probe every 10 minutes, the other every 30 seconds until half an hour
// before this run, each with runs of timeouts and (the second) single
// unreachables; the host slow for six hours of the first, ten minutes of
// the second.
struct Truth
{
    std::vector<ProbeSample> probes;
    std::vector<TimeSpan> watches;
    std::vector<TimeSpan> slow;
};

struct Watch
{
    TimeSpan time;
    Milliseconds step;
    std::size_t outageEvery;
    std::size_t unreachableEvery;
};

constexpr Watch Watches[] = {
    {{Now - 40 * Day, Now - 20 * Day}, 10 * Minute, 97, 0},
    {{Now - 2 * Day, Now - 30 * Minute}, 30'000, 211, 307},
};

constexpr TimeSpan SlowPeriods[] = {
    {Now - 25 * Day, Now - 25 * Day + 6 * Hour},
    {Now - 50 * Minute, Now - 40 * Minute},
};

EchoStatus statusOf(std::size_t index, const Watch &watch)
{
    if (index % watch.outageEvery >= 5 && index % watch.outageEvery < 8)
        return 11010;
    return watch.unreachableEvery && index % watch.unreachableEvery == 11 ? 11003 : 0;
}

Truth writeFile(const std::string &path)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(path, store::Access::ReadWrite, error);
    if (!connection)
        qFatal("%s", error.c_str());
    store::HistoryWriter writer(std::move(*connection));
    writer.addHost(Host);
    Truth truth;
    for (const Watch &watch : Watches) {
        store::Batch batch;
        batch.watches.push_back({0, 0, watch.time.from, std::nullopt});
        std::size_t index = 0;
        for (Milliseconds at = watch.time.from; at < watch.time.to; at += watch.step, ++index) {
            const EchoStatus status = statusOf(index, watch);
            const ProbeSample probe(at, status,
                                    status ? -1 : 300 + std::int64_t(index * 7919 % 2000), 32);
            batch.probes.push_back({0, probe});
            truth.probes.push_back(probe);
        }
        batch.watches.push_back(
            {0, batch.probes.size(), watch.time.to, store::WatchEndReason::Stopped});
        if (!writer.write(batch))
            qFatal("%s", writer.lastError().c_str());
        truth.watches.push_back(watch.time);
    }
    store::Batch slow;
    for (const TimeSpan &period : SlowPeriods) {
        slow.slowPeriods.push_back({0, period.from, period.to, "{}"});
        truth.slow.push_back(period);
    }
    if (!writer.write(slow))
        qFatal("%s", writer.lastError().c_str());
    return truth;
}

enum class Keeping
{
    // As the program does: this run's probes go to the file, and the
    // file's last 24 hours come into the run's record at its first probe.
    Appending,
    // Only read, for the span: the record holds this run alone.
    Reading,
};

// The program's window with the history file, its clock at Now.
struct SpanTestWindow : WatchedWindow
{
    explicit SpanTestWindow(const QString &file, Keeping keeping = Keeping::Appending)
    {
        clock.wallTime = std::chrono::system_clock::time_point(std::chrono::milliseconds{Now});
        window.Text1->setText(QString::fromLatin1(Host));
        start();
        if (file.isEmpty())
            return;
        if (keeping == Keeping::Appending)
            historyFile->keepIn(file);
        else
            history->setHistoryFile(file);
    }

    history_view::ProbeHistory *history = new history_view::ProbeHistory(window, events());
    history_view::HistoryFile *historyFile =
        new history_view::HistoryFile(window, events(), *history, 30);

    // This run: answers of 12 ms a second, the 6th and 7th timed out.
    std::vector<ProbeSample> probeRun()
    {
        std::vector<ProbeSample> sent;
        for (int index = 0; index < RunProbes; ++index) {
            const bool lost = index == 5 || index == 6;
            icmp.echo = lost ? fakes::ScriptedEcho{11010, 0, 0} : fakes::ScriptedEcho{0, 12, 32};
            sent.emplace_back(Now + index * 1000, lost ? 11010 : 0, lost ? -1 : 12'000, 32);
            window.ProbeTick();
            clock.wallTime += std::chrono::seconds{1};
        }
        return sent;
    }

    HistoryWindow *open(history_view::FileReader reader = {})
    {
        auto *shown = new HistoryWindow(*history, &window, {}, std::move(reader));
        shown->show();
        return QTest::qWaitForWindowExposed(shown) ? shown : nullptr;
    }
};

QString statisticsOf(const HistoryWindow &window)
{
    return window.findChild<QPlainTextEdit *>(QStringLiteral("Statistics"))->toPlainText();
}

const QLabel &noteOf(const HistoryWindow &window)
{
    return *window.findChild<QLabel *>(QStringLiteral("FileNote"));
}

int outageRows(const HistoryWindow &window)
{
    return window.findChild<QTableView *>(QStringLiteral("Outages"))->model()->rowCount();
}

// Picks the span and waits for the file's part, when it needs one.
bool showSpan(HistoryWindow &window, HistoryWindow::Span span)
{
    window.findChild<QComboBox *>(QStringLiteral("Span"))->setCurrentIndex(static_cast<int>(span));
    return QTest::qWaitFor([&] { return !noteOf(window).isVisibleTo(&window); });
}

// A run of failures, ended by an answer or with its watch.
struct ExpectedOutage
{
    Milliseconds start = 0;
    Milliseconds end = 0;
};

std::vector<ExpectedOutage> outagesOf(const std::vector<ProbeSample> &probes,
                                      const std::vector<TimeSpan> &watches)
{
    std::vector<ExpectedOutage> outages;
    std::optional<ExpectedOutage> open;
    for (const ProbeSample &probe : probes) {
        const auto watch = std::find_if(watches.begin(), watches.end(), [&](TimeSpan w) {
            return probe.sentAt() >= w.from && probe.sentAt() < w.to;
        });
        if (open && (probe.answered() || probe.sentAt() >= open->end)) {
            if (probe.answered() && probe.sentAt() < open->end)
                open->end = probe.sentAt();
            outages.push_back(*open);
            open.reset();
        }
        if (!probe.answered() && !open)
            open = ExpectedOutage{probe.sentAt(), watch == watches.end() ? probe.sentAt() + 1 : watch->to};
    }
    if (open)
        outages.push_back(*open);
    return outages;
}

Milliseconds overlap(TimeSpan a, TimeSpan b)
{
    return std::max<Milliseconds>(std::min(a.to, b.to) - std::max(a.from, b.from), 0);
}

// ping's lines of everything sent in the span, the file's and this run's,
// with the down time of the outages in it and the watched time.
QString expectedStatistics(const std::vector<ProbeSample> &probes,
                           const std::vector<TimeSpan> &watches, TimeSpan span,
                           int &outagesInSpan)
{
    history::RunStatistics statistics;
    for (const ProbeSample &probe : probes) {
        if (probe.sentAt() >= span.from && probe.sentAt() < span.to)
            statistics.add(probe);
    }
    Milliseconds down = 0;
    outagesInSpan = 0;
    for (const ExpectedOutage &outage : outagesOf(probes, watches)) {
        if (outage.start < span.to && outage.end > span.from) {
            ++outagesInSpan;
            down += overlap({outage.start, outage.end}, span);
        }
    }
    Milliseconds watched = 0;
    for (const TimeSpan &watch : watches)
        watched += overlap(watch, span);
    QStringList lines{QString::fromStdString(history::transmissionLine(statistics)),
                      QString::fromStdString(history::downTimeLine(down, watched)),
                      QString::fromStdString(history::roundTripLine(statistics))};
    return lines.join('\n');
}

// Nearest rank, from all of them sorted.
std::uint32_t rankFromSorted(std::vector<std::uint32_t> values, int percent)
{
    std::sort(values.begin(), values.end());
    const std::size_t rank = std::max<std::size_t>((values.size() * percent + 99) / 100, 1);
    return values[rank - 1];
}

using Band = history::RoundTripBand;

Band bandOfValues(const std::vector<std::uint32_t> &values)
{
    return Band{rankFromSorted(values, 10), rankFromSorted(values, 50), rankFromSorted(values, 90)};
}

// The file's band of a stretch: each of its periods' (minutes' or hours')
// own, their medians taken figure by figure.
Band medianOfBands(const std::vector<Band> &bands)
{
    std::vector<std::uint32_t> p10, median, p90;
    for (const Band &band : bands) {
        p10.push_back(band.p10);
        median.push_back(band.median);
        p90.push_back(band.p90);
    }
    return Band{rankFromSorted(p10, 50), rankFromSorted(median, 50), rankFromSorted(p90, 50)};
}

std::map<Milliseconds, Band> periodBands(const std::vector<ProbeSample> &probes, Milliseconds period)
{
    std::map<Milliseconds, std::vector<std::uint32_t>> minutes;
    for (const ProbeSample &probe : probes) {
        if (probe.answered())
            minutes[history::minuteOf(probe.sentAt())].push_back(
                static_cast<std::uint32_t>(probe.roundTripMicroseconds()));
    }
    std::map<Milliseconds, std::vector<Band>> periods;
    for (const auto &[start, values] : minutes)
        periods[start - start % period].push_back(bandOfValues(values));
    std::map<Milliseconds, Band> bands;
    for (const auto &[start, parts] : periods)
        bands[start] = medianOfBands(parts);
    return bands;
}

// Each column the file gave, as its minutes or hours make it.
void checkFileBands(const history_view::ShownSpan &shown, const std::vector<ProbeSample> &probes)
{
    const history::ChartGrid &grid = shown.grid;
    const Milliseconds period = grid.width >= history::ColumnsOfHoursFrom ? Hour : Minute;
    QVERIFY(grid.width > history::ColumnsOfProbesUpTo);
    const std::map<Milliseconds, Band> bands = periodBands(probes, period);
    std::size_t checked = 0;
    for (std::size_t index = 0; index < shown.fileColumns; ++index) {
        std::vector<Band> parts;
        for (auto band = bands.lower_bound(grid.columnStart(index));
             band != bands.end() && band->first < grid.columnStart(index + 1); ++band)
            parts.push_back(band->second);
        const history::ChartColumn &column = shown.columns[index];
        QCOMPARE(column.band.has_value(), !parts.empty());
        if (parts.empty())
            continue;
        QCOMPARE(*column.band, medianOfBands(parts));
        QCOMPARE(column.drawnAsBand(), column.answered >= history::BandFromAnswers);
        ++checked;
    }
    QVERIFY(checked > 0);
}

// Holds every read back until let go.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int entered = 0;

    history_view::FileReader reader()
    {
        return [this](const history_view::FileRequest &request) {
            std::unique_lock lock(mutex);
            ++entered;
            changed.notify_all();
            changed.wait(lock, [this] { return open; });
            lock.unlock();
            return history_view::readFromFile(request);
        };
    }
    int reads()
    {
        const std::lock_guard lock(mutex);
        return entered;
    }
    void letGo()
    {
        const std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

// The slow band's yellow, also where an outage's shade lies over it; apart
// from the amber of an unreachable mark and from the faint shade below.
bool bandYellow(QRgb pixel)
{
    return qRed(pixel) >= 190 && qGreen(pixel) >= 160 && qBlue(pixel) <= 40;
}

// How many of the chart's pixel columns hold the slow band along the plot's
// top: a few pixels of its colour, where the legend's swatch has more.
int slowBandColumns(const HistoryWindow &window)
{
    const QImage drawn = window.findChild<history_view::RoundTripChart *>()->grab().toImage();
    constexpr int BandHeight = 4;
    int columns = 0;
    for (int x = 0; x < drawn.width(); ++x) {
        int yellow = 0;
        for (int y = 0; y < drawn.height(); ++y)
            yellow += bandYellow(drawn.pixel(x, y)) ? 1 : 0;
        columns += yellow > 0 && yellow <= BandHeight ? 1 : 0;
    }
    return columns;
}

std::vector<TimeSpan> overlapping(const std::vector<TimeSpan> &stretches, TimeSpan span)
{
    std::vector<TimeSpan> within;
    std::copy_if(stretches.begin(), stretches.end(), std::back_inserter(within),
                 [span](TimeSpan stretch) { return stretch.to > span.from && stretch.from < span.to; });
    return within;
}

} // namespace

Q_DECLARE_METATYPE(HistoryWindow::Span)

class SpanWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_pristine;
    Truth m_truth;

    // A copy of the file for one test, as a run ended there left it.
    QString freshFile(const char *name)
    {
        const QString file = m_folder.filePath(QString::fromLatin1(name));
        QFile::remove(file);
        if (!QFile::copy(m_pristine, file))
            qFatal("cannot copy the history file");
        return file;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_pristine = m_folder.filePath("pristine.sqlite");
        m_truth = writeFile(m_pristine.toStdString());
    }

    void eachSpanShowsWhatTheFileAndTheRunHold_data()
    {
        QTest::addColumn<HistoryWindow::Span>("span");
        QTest::newRow("5 minutes") << HistoryWindow::Span::LastFiveMinutes;
        QTest::newRow("hour") << HistoryWindow::Span::LastHour;
        QTest::newRow("day") << HistoryWindow::Span::LastDay;
        QTest::newRow("week") << HistoryWindow::Span::LastWeek;
        QTest::newRow("month") << HistoryWindow::Span::LastMonth;
        QTest::newRow("quarter") << HistoryWindow::Span::LastQuarter;
        QTest::newRow("year") << HistoryWindow::Span::LastYear;
        QTest::newRow("all") << HistoryWindow::Span::All;
    }

    // The run reads the last 24 hours of the file into its record as it
    // starts; what lies before comes from the file as the span needs it.
    void eachSpanShowsWhatTheFileAndTheRunHold()
    {
        QFETCH(HistoryWindow::Span, span);
        SpanTestWindow test(freshFile("spans.sqlite"));
        const std::vector<ProbeSample> run = test.probeRun();
        QTRY_COMPARE(test.history->earlierRuns(HostAddress), std::size_t{1});
        HistoryWindow *window = test.open();
        QVERIFY(window);
        QSignalSpy fileShown(window, &HistoryWindow::fileSpanShown);
        QVERIFY(showSpan(*window, span));
        const history_view::ShownSpan &shown = window->shown();
        // The record holds the day before this run, read at its start.
        const bool fromFile = shown.grid.span.from < Now - Day;
        QCOMPARE(shown.fileColumns > 0, fromFile);
        QCOMPARE(fileShown.count() > 0, fromFile);
        const bool earlier = shown.grid.span.from < Watches[1].time.to;

        std::vector<ProbeSample> probes = m_truth.probes;
        probes.insert(probes.end(), run.begin(), run.end());
        std::vector<TimeSpan> watches = m_truth.watches;
        watches.push_back({Now, Now + (RunProbes - 1) * 1000 + 1});
        int outages = 0;
        const QString expected = expectedStatistics(probes, watches, shown.grid.span, outages);
        QStringList lines = statisticsOf(*window).split('\n');
        if (earlier) {
            const QString heading = lines.takeFirst();
            QVERIFY2(heading.startsWith(QStringLiteral("From ")), qPrintable(heading));
            QVERIFY2(heading.endsWith(fromFile
                                          ? QStringLiteral("from the history file and this run:")
                                          : QStringLiteral("1 earlier from the history file:")),
                     qPrintable(heading));
        }
        QCOMPARE(lines.join('\n'), expected);
        QCOMPARE(outageRows(*window), outages);
        QVERIFY(outages > 0);
        // The 18 days between the watches, nobody watched.
        const TimeSpan between{Watches[0].time.to, Watches[1].time.from};
        const bool spansTheGap = shown.grid.span.from < between.from;
        QCOMPARE(std::find(shown.unwatched.begin(), shown.unwatched.end(), between) !=
                     shown.unwatched.end(),
                 spansTheGap);
        if (fromFile)
            checkFileBands(shown, m_truth.probes);
    }

    void earlierRunsSlowPeriodsAreShaded_data()
    {
        QTest::addColumn<HistoryWindow::Span>("span");
        QTest::addColumn<int>("periods");
        QTest::newRow("5 minutes: none") << HistoryWindow::Span::LastFiveMinutes << 0;
        QTest::newRow("hour: the record's") << HistoryWindow::Span::LastHour << 1;
        QTest::newRow("week: beside the file's") << HistoryWindow::Span::LastWeek << 1;
        QTest::newRow("month: the file's too") << HistoryWindow::Span::LastMonth << 2;
        QTest::newRow("year") << HistoryWindow::Span::LastYear << 2;
    }

    // The day before this run comes into its record with its slow periods;
    // those before, with the file's part of a longer span.
    void earlierRunsSlowPeriodsAreShaded()
    {
        QFETCH(HistoryWindow::Span, span);
        QFETCH(int, periods);
        SpanTestWindow test(freshFile("slow.sqlite"));
        test.probeRun();
        QTRY_COMPARE(test.history->earlierRuns(HostAddress), std::size_t{1});
        HistoryWindow *window = test.open();
        QVERIFY(window);
        QVERIFY(showSpan(*window, span));
        const TimeSpan shownSpan = window->shown().grid.span;
        const std::vector<TimeSpan> expected = overlapping(m_truth.slow, shownSpan);
        QCOMPARE(int(expected.size()), periods);
        QCOMPARE(overlapping(window->shown().slow, shownSpan), expected);
        QCOMPARE(slowBandColumns(*window) > 0, periods > 0);
    }

    // Opened on All, the window learns when the file first saw the host
    // and gets All's file part in one read (a later layout of the window
    // may read again at its new width).
    void allOpensOnOneRead()
    {
        Gate gate;
        gate.letGo();
        SpanTestWindow test(freshFile("one-read.sqlite"));
        test.probeRun();
        QTRY_COMPARE(test.history->earlierRuns(HostAddress), std::size_t{1});
        HistoryWindow *window = test.open(gate.reader());
        QVERIFY(window);
        int readsAtFirstShown = 0;
        connect(window, &HistoryWindow::fileSpanShown, this, [&] {
            if (readsAtFirstShown == 0)
                readsAtFirstShown = gate.reads();
        });
        QTRY_VERIFY(readsAtFirstShown > 0);
        QCOMPARE(readsAtFirstShown, 1);
        QVERIFY(window->shown().grid.span.from <= Watches[0].time.from);
    }

    void oneReadAnswersAllAsTwoDid_data()
    {
        // How many days before now the record's first kept probe is; none
        // when it keeps none.
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<int>("recordDaysAgo");
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("filePart");
        constexpr int Empty = -1;
        QTest::newRow("a record of the last day") << true << 1 << 600 << true;
        QTest::newRow("1,920 columns") << true << 1 << 1920 << true;
        QTest::newRow("an empty record") << true << Empty << 600 << true;
        QTest::newRow("a record older than the file") << true << 50 << 600 << false;
        QTest::newRow("no file yet") << false << 1 << 600 << false;
    }

    // All's one read finds when the file first saw the host and reads its
    // part of the grid that gives, as asking first and then reading did.
    void oneReadAnswersAllAsTwoDid()
    {
        QFETCH(bool, fileThere);
        QFETCH(int, recordDaysAgo);
        QFETCH(int, columns);
        QFETCH(bool, filePart);
        const std::optional<Milliseconds> recordFrom =
            recordDaysAgo < 0 ? std::nullopt : std::optional(Now - recordDaysAgo * Day);
        const std::string path =
            fileThere ? m_pristine.toStdString() : m_folder.filePath("none.sqlite").toStdString();
        const history_view::WholeSpan whole{
            {Now - Day, Now}, static_cast<std::size_t>(columns), recordFrom};
        const history_view::FileAnswer one =
            history_view::readFromFile({path, Host, std::nullopt, whole});
        const history_view::FileAnswer first =
            history_view::readFromFile({path, Host, std::nullopt, std::nullopt});
        QVERIFY(one.error.empty() && first.error.empty());
        QCOMPARE(one.firstSeen, first.firstSeen);
        const std::optional<history::ChartGrid> grid = history_view::filePartOf(
            history_view::wholeGrid(whole, first.firstSeen), recordFrom, &first.firstSeen);
        QCOMPARE(grid.has_value(), filePart);
        QCOMPARE(one.grid, grid);
        QCOMPARE(one.span.has_value(), filePart);
        if (!filePart)
            return;
        QCOMPARE(grid->span.from,
                 history::gridOver({Watches[0].time.from, Now}, whole.columns).span.from);
        const history_view::FileAnswer second =
            history_view::readFromFile({path, Host, grid, std::nullopt});
        QVERIFY(second.span);
        QVERIFY(one.span->columns == second.span->columns);
        QCOMPARE(one.span->statistics.transmitted, second.span->statistics.transmitted);
        QCOMPARE(one.span->statistics.received, second.span->statistics.received);
        QVERIFY(one.span->watches == second.span->watches);
        QCOMPARE(one.span->outages.size(), second.span->outages.size());
        QVERIFY(one.span->statistics.transmitted > 0);
    }

    // The span switch never waits for the file: the run's own part shows at
    // once with a note, the keyboard works, and a further switch waits for
    // its turn; the file's part follows when the read is let go.
    void aHeldReadLeavesTheWindowAnswering()
    {
        // Before the window, so that it outlives any read the window started.
        Gate gate;
        SpanTestWindow test(freshFile("held.sqlite"));
        test.probeRun();
        QTRY_COMPARE(test.history->earlierRuns(HostAddress), std::size_t{1});
        HistoryWindow *window = test.open(gate.reader());
        QVERIFY(window);
        // All, the span opened on, asks when the file first saw the host.
        QTRY_COMPARE(gate.reads(), 1);
        QVERIFY(noteOf(*window).isVisibleTo(window));
        QCOMPARE(noteOf(*window).text(), QStringLiteral("Reading the history file…"));
        QVERIFY(window->shown().fileColumns == 0);

        auto *span = window->findChild<QComboBox *>(QStringLiteral("Span"));
        span->setFocus();
        QTest::keyClick(span, Qt::Key_Up);
        QCOMPARE(span->currentIndex(), static_cast<int>(HistoryWindow::Span::LastYear));
        // The run's own part, at once: the day merged from the file and this
        // run, nothing older.
        QVERIFY2(statisticsOf(*window).contains(QStringLiteral("2840 packets transmitted")),
                 qPrintable(statisticsOf(*window)));
        QTest::keyClick(span, Qt::Key_Up);
        QCOMPARE(span->currentIndex(), static_cast<int>(HistoryWindow::Span::LastQuarter));
        QCOMPARE(gate.reads(), 1);

        QSignalSpy fileShown(window, &HistoryWindow::fileSpanShown);
        gate.letGo();
        QTRY_VERIFY(fileShown.count() > 0);
        QTRY_VERIFY(!noteOf(*window).isVisibleTo(window));
        QVERIFY(window->shown().fileColumns > 0);
        // The older watch's probes are in the quarter now.
        QVERIFY2(statisticsOf(*window).contains(QStringLiteral("8600 packets transmitted")),
                 qPrintable(statisticsOf(*window)));
        // The first read, for All, and the quarter's: the year's gave way.
        QCOMPARE(gate.reads(), 2);
    }

    void aFileThatCannotBeReadIsReportedAndNotMerged_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("damaged") << false;
        QTest::newRow("locked") << true;
    }

    void aFileThatCannotBeReadIsReportedAndNotMerged()
    {
        QFETCH(bool, locked);
        const QString file = freshFile("unreadable.sqlite");
        SpanTestWindow test(file, Keeping::Reading);
        test.probeRun();
        sqlite3 *other = nullptr;
        if (locked) {
            // Another program's exclusive transaction, where the file is
            // kept without WAL.
            QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "PRAGMA journal_mode = DELETE; BEGIN EXCLUSIVE", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);
        } else {
            damageMinutes(file);
        }
        // Not the program's bound: the test need not wait that long to see it.
        HistoryWindow *window = test.open([](const history_view::FileRequest &request) {
            return history_view::readFromFile(request, std::chrono::milliseconds{50});
        });
        QVERIFY(window);
        window->findChild<QComboBox *>(QStringLiteral("Span"))
            ->setCurrentIndex(static_cast<int>(HistoryWindow::Span::LastWeek));
        const QLabel &note = noteOf(*window);
        QTRY_VERIFY2(note.text().contains(QStringLiteral("cannot be read")), qPrintable(note.text()));
        QVERIFY(note.isVisibleTo(window));
        QVERIFY2(note.text().contains(locked ? QStringLiteral("locked")
                                             : QStringLiteral("malformed")),
                 qPrintable(note.text()));
        QCOMPARE(window->shown().fileColumns, std::size_t{0});
        QVERIFY2(statisticsOf(*window).startsWith(QStringLiteral("20 packets transmitted")),
                 qPrintable(statisticsOf(*window)));
        if (other) {
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
    }

    // Without a file the spans go over the run's own record.
    void withoutAFileEachSpanShowsTheRun()
    {
        SpanTestWindow test{QString()};
        const std::vector<ProbeSample> run = test.probeRun();
        HistoryWindow *window = test.open();
        QVERIFY(window);
        const std::vector<TimeSpan> watches{{Now, Now + (RunProbes - 1) * 1000 + 1}};
        for (int span = 0; span <= static_cast<int>(HistoryWindow::Span::All); ++span) {
            QVERIFY(showSpan(*window, static_cast<HistoryWindow::Span>(span)));
            int outages = 0;
            QCOMPARE(statisticsOf(*window),
                     expectedStatistics(run, watches, window->shown().grid.span, outages));
            QCOMPARE(outageRows(*window), 1);
            QVERIFY(!noteOf(*window).isVisibleTo(window));
        }
    }

private:
    // Every page of the minutes' table overwritten, as a failing disk
    // might leave it.
    static void damageMinutes(const QString &file)
    {
        sqlite3 *database = nullptr;
        sqlite3_open_v2(file.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *select = nullptr;
        sqlite3_prepare_v2(database,
                           "SELECT pageno, (SELECT page_size FROM pragma_page_size) FROM dbstat "
                           "WHERE name = 'minutes' AND pagetype = 'leaf'",
                           -1, &select, nullptr);
        std::vector<std::pair<int, int>> pages;
        while (sqlite3_step(select) == SQLITE_ROW)
            pages.emplace_back(sqlite3_column_int(select, 0), sqlite3_column_int(select, 1));
        sqlite3_finalize(select);
        sqlite3_close(database);
        QVERIFY(!pages.empty());
        std::fstream damaged(file.toStdString(), std::ios::in | std::ios::out | std::ios::binary);
        for (const auto &[page, size] : pages) {
            damaged.seekp(static_cast<std::streamoff>(page - 1) * size);
            const std::string garbage(static_cast<std::size_t>(size), '\x55');
            damaged.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        }
    }
};

QTEST_MAIN(SpanWindowTest)
#include "span_window_test.moc"
