// The window's figures: the failure log at a million lines, start-up, and a
// soak of the probe tick. Runs the real window code on whatever Qt platform
// is set (the bench script uses offscreen).
//
//   window_bench log
//   window_bench startup NANOSECONDS_SINCE_EPOCH_AT_LAUNCH
//   window_bench soak PROBES
//   window_bench soak-history PROBES   the same with the History window open
//   window_bench soak-records PROBES   the same with the history file, the
//       live log and the metrics all on
//   window_bench latency-history SECONDS   event latency while the window
//       probes 127.0.0.1 at 1 ms into a history file
//   window_bench open-history PROBES INTERVAL_MS   the History window on a
//       history file of that many probes ending now
//   window_bench year-spans [SCREENSHOT]   the History window on a history
//       file of a year: all of it, the last 90 days and the last 365 days,
//       each to its first chart with the file's part; the year's window
//       saved as an image where asked
//   window_bench latency ADDRESS INTERVAL_MS SECONDS LABEL [inline] [HELPER]
//       how long an event posted to the window's thread waits while the
//       window probes ADDRESS; "inline" probes on that thread, as the tick
//       once did; "path" opens the Path window on ADDRESS at the first
//       probe, its rounds running throughout, and traces the path when the
//       host goes down
#include "bench_table.h"
#include "process_figures.h"
#include "stored_probes.h"

#include "echowatch/app/application.h"
#include "echowatch/app/command_line.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/history_file.h"
#include "echowatch/history_view/history_window.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/path_view/path_actions.h"
#include "echowatch/path_view/trace_on_down.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/route/kernel_view.h"
#include "echowatch/window/failure_log_model.h"
#include "echowatch/window/form1.h"
#include "echowatch/window/threaded_probe_runner.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <malloc.h>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A desktop with no notification service: nothing here asks for one.
class NoNotifications final : public platform::Notifications
{
public:
    Service service() const override { return Service::Absent; }
    void show(const platform::Notification &) override {}
};

// The program as main() assembles it, with the probe helper of this build
// where ping sockets are refused.
struct Program
{
    explicit Program(const app::LaunchOptions &options = {}, bool inlineProbes = false,
                     const std::string &helperPath = ECHOWATCH_BENCH_HELPER)
        : icmp(helperPath),
          application(
              {sockets, icmp, messageBox, clock, notifications,
               [helperPath] { return std::make_unique<helper::AutomaticEchoLibrary>(helperPath); },
               !inlineProbes, false, false, route::lookUpRoute},
              options),
          window(application.window()), history(&application.history()),
          historyActions(&application.historyActions())
    {}

    net::LinuxSocketsLibrary sockets;
    helper::AutomaticEchoLibrary icmp;
    platform::QtMessageBox messageBox;
    platform::SystemClock clock;
    NoNotifications notifications;
    app::Application application;
    Form1 &window;
    history_view::ProbeHistory *history;
    history_view::HistoryActions *historyActions;
};

window::FailureLogModel &logOf(Form1 &window)
{
    return *static_cast<window::FailureLogModel *>(window.List1->model());
}

void fillLog(Form1 &window, int lines)
{
    auto &log = logOf(window);
    const QTime time(12, 34, 56);
    for (int i = 0; i < lines; ++i)
        log.append(11010, time, {});
}

double paintMilliseconds(Form1 &window, int repeats)
{
    QPixmap canvas(window.List1->size());
    const auto start = Clock::now();
    for (int i = 0; i < repeats; ++i)
        window.List1->render(&canvas);
    return millisecondsSince(start) / repeats;
}

void benchLog()
{
    constexpr int Lines = 1'000'000;
    constexpr int Repeats = 200;
    Program few;
    few.window.show();
    fillLog(few.window, 100);
    QApplication::processEvents();
    const double paintFew = paintMilliseconds(few.window, Repeats);

    Program many;
    many.window.show();
    QApplication::processEvents();
    const std::size_t before = residentBytes();
    const auto start = Clock::now();
    fillLog(many.window, Lines);
    const double appendMs = millisecondsSince(start);
    const double modelPerLine = static_cast<double>(residentBytes() - before) / Lines;
    const auto layoutStart = Clock::now();
    QApplication::processEvents();
    const double layoutMs = millisecondsSince(layoutStart);
    const double withViewPerLine = static_cast<double>(residentBytes() - before) / Lines;
    // What the view's layout freed on the way stays in the heap until
    // trimmed; the live figure is what the log really holds.
    malloc_trim(0);
    const double perLine = static_cast<double>(residentBytes() - before) / Lines;
    const double paintMany = paintMilliseconds(many.window, Repeats);

    printRow("log append, 1,000,000 lines to List1's model",
             formatNumber(appendMs, 0) + " ms (then " + formatNumber(layoutMs, 0) +
                 " ms until the view has taken them in)",
             "-", "under 1 s");
    printRow("log memory, resident growth per line",
             formatNumber(perLine, 1) + " bytes live (model " + formatNumber(modelPerLine, 1) +
                 ", the view's layout the rest; " + formatNumber(withViewPerLine, 1) +
                 " before freed heap is trimmed)",
             "-", "at most 16 bytes");
    printRow("log paint, List1 at 1,000,000 lines vs 100",
             formatNumber(paintMany, 3) + " ms vs " + formatNumber(paintFew, 3) + " ms, ratio " +
                 formatNumber(paintMany / paintFew, 2),
             "-", "ratio at most 1.2");
}

void benchStartup(long long launchedAtNanoseconds)
{
    Program program;
    program.window.show();
    QApplication::processEvents();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double startupMs =
        static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() -
                            launchedAtNanoseconds) /
        1e6;
    // Let the idle window settle before reading its memory.
    QTimer::singleShot(1000, qApp, &QApplication::quit);
    QApplication::exec();
    printRow("start-up, launch to window shown (offscreen)", formatNumber(startupMs, 0) + " ms",
             "-", "under 150 ms");
    printRow("resident memory of the idle window",
             formatNumber(static_cast<double>(residentBytes()) / (1024 * 1024), 1) + " MiB", "-",
             "under 40 MiB");
}

// The probe tick at the shortest interval against 127.0.0.1: memory and
// descriptors must stay flat (every probe is answered, so the log is empty).
enum class HistoryWindowState
{
    Closed,
    Open,
};

// Keeps the program's probes in a history file in folder.
void keepHistory(Program &program, const BenchFolder &folder)
{
    program.application.historyFile().keepIn(QString::fromStdString(folder.file("history.sqlite")));
}

// extra is asked for what else to say once the soak has ended.
void soakProgram(Program &program, int probes, const std::string &what,
                 const std::function<std::string()> &extra)
{
    program.window.Text1->setText(QStringLiteral("127.0.0.1"));
    program.window.Text2->setText(QStringLiteral("1"));
    int ticks = 0;
    std::size_t residentAfterWarmUp = 0;
    std::size_t residentAtHalf = 0;
    // Measured once the first probes have started what lives for the whole
    // run: the helper and its socket, where ping sockets are refused.
    int descriptorsAfterWarmUp = 0;
    QObject::connect(&program.window, &Form1::probeShown, [&] {
        if (++ticks == 1000) {
            residentAfterWarmUp = residentBytes();
            descriptorsAfterWarmUp = openDescriptors();
        }
        if (ticks == probes / 2)
            residentAtHalf = residentBytes();
        if (ticks >= probes)
            QApplication::quit();
    });
    const auto start = Clock::now();
    program.window.ToggleMonitoring();
    QApplication::exec();
    const double seconds = millisecondsSince(start) / 1000;
    printRow(
        "soak, " + std::to_string(ticks) + " probes of 127.0.0.1 through the tick at 1 ms" + what,
        "resident " + formatNumber(static_cast<double>(residentAfterWarmUp) / 1024, 0) +
            " KiB after 1,000 -> " + formatNumber(static_cast<double>(residentAtHalf) / 1024, 0) +
            " KiB at half -> " + formatNumber(static_cast<double>(residentBytes()) / 1024, 0) +
            " KiB at the end; descriptors after 1,000 " + std::to_string(descriptorsAfterWarmUp) +
            " -> " + std::to_string(openDescriptors()) + "; " + formatNumber(ticks / seconds, 0) +
            " probes/s; status " + program.window.Label1->text().toStdString() +
            "; the record holds " +
            formatNumber(static_cast<double>(program.history->hosts().memoryBytes()) / 1024, 0) +
            " KiB" + (extra ? extra() : std::string()),
        "-", "memory and descriptors flat");
}

void benchSoak(int probes, HistoryWindowState historyWindow)
{
    Program program;
    if (historyWindow == HistoryWindowState::Open)
        program.historyActions->showHistory();
    soakProgram(program, probes,
                historyWindow == HistoryWindowState::Open ? ", History window open" : "", {});
}

// The history file, the live log and /metrics on loopback all at once.
void benchSoakRecords(int probes)
{
    const BenchFolder folder;
    app::LaunchOptions options;
    options.logFile = QString::fromStdString(folder.file("probes.csv"));
    options.metrics = app::LaunchOptions::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
    Program program(options);
    keepHistory(program, folder);
    const auto size = [&folder](const char *name) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(folder.file(name), error);
        return formatNumber(error ? 0 : static_cast<double>(bytes) / 1048576, 1) + " MiB";
    };
    soakProgram(program, probes, ", history file, live log and metrics on", [&size] {
        return "; the log " + size("probes.csv") + ", the history file " + size("history.sqlite") +
               " with its journal " + size("history.sqlite-wal");
    });
}

struct LatencyRun
{
    std::string address;
    int intervalMilliseconds = 500;
    int seconds = 10;
    std::string label;
    bool inlineProbes = false;
    bool path = false;
    std::string helper = ECHOWATCH_BENCH_HELPER;
};

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

// Events posted from another thread every 10 ms, each timed from its
// posting until the window's thread runs it, while the window runs: those
// that run once it is told to quit (and closes its windows) are not
// counted.
std::vector<double> postedEventDelays(QObject &receiver, int seconds)
{
    std::vector<double> delays;
    bool running = true;
    std::atomic<bool> posting{true};
    std::thread poster([&] {
        while (posting) {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(
                &receiver,
                [&delays, &running, posted] {
                    if (running)
                        delays.push_back(millisecondsSince(posted));
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds{10});
        }
    });
    QTimer::singleShot(seconds * 1000, qApp, [&running] {
        running = false;
        QApplication::quit();
    });
    QApplication::exec();
    posting = false;
    poster.join();
    // Events still queued are let run, so that none refers to this frame.
    QApplication::processEvents();
    return delays;
}

// The Path window opened at the first probe.
void openPathWindow(Program &program)
{
    path_view::PathActions *paths = &program.application.pathActions();
    QObject::connect(&program.window, &Form1::probeShown, paths, [paths] {
        if (!paths->pathWindow())
            paths->showPath();
    });
}

void printLatency(const std::string &figure, const std::vector<double> &delays, int shown,
                  const Form1 &window)
{
    printRow(figure,
             formatNumber(percentile(delays, 0.5), 2) + " / " +
                 formatNumber(percentile(delays, 0.99), 2) + " / " +
                 formatNumber(percentile(delays, 1.0), 2) + " ms p50/p99/max (" +
                 std::to_string(delays.size()) + " events, " + std::to_string(shown) +
                 " probes; status " + window.Label1->text().toStdString() + ")",
             "-", "p99 under 16 ms");
}

void benchLatency(const LatencyRun &run)
{
    // With the path traced at the down, as --trace-on-down asks.
    app::LaunchOptions options;
    options.traceOnDown = run.path;
    Program program(options, run.inlineProbes, run.helper);
    Form1 &window = program.window;
    int shown = 0;
    QObject::connect(&window, &Form1::probeShown, [&] { ++shown; });
    if (run.path)
        openPathWindow(program);
    window.Text1->setText(QString::fromStdString(run.address));
    window.Text2->setText(QString::number(run.intervalMilliseconds));
    window.ToggleMonitoring();
    const std::vector<double> delays = postedEventDelays(window, run.seconds);
    window.ToggleMonitoring();
    printLatency("event latency of the window's thread, " + run.label + ", " +
                     std::to_string(run.intervalMilliseconds) + " ms interval" +
                     (run.inlineProbes ? ", probing on that thread (as before)" : "") +
                     (run.path ? ", Path window's rounds and the trace at the down running" : ""),
                 delays, shown, window);
}

// The window's thread hands each probe to the history file's thread; the
// commits and their fsync happen there.
void benchLatencyWritingHistory(int seconds)
{
    const BenchFolder folder;
    Program program;
    keepHistory(program, folder);
    int shown = 0;
    QObject::connect(&program.window, &Form1::probeShown, [&] { ++shown; });
    program.window.Text1->setText(QStringLiteral("127.0.0.1"));
    program.window.Text2->setText(QStringLiteral("1"));
    program.window.ToggleMonitoring();
    const std::vector<double> delays = postedEventDelays(program.window, seconds);
    program.window.ToggleMonitoring();
    printLatency("event latency of the window's thread, 127.0.0.1 at 1 ms, writing the history "
                 "file",
                 delays, shown, program.window);
}

// When a widget has first drawn itself: the paint is run from the filter
// so that the time taken includes it.
class FirstPaint : public QObject
{
public:
    std::optional<Clock::time_point> drawnAt;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || drawnAt)
            return false;
        watched->event(event);
        drawnAt = Clock::now();
        return true;
    }
};

// Runs the event loop until done or a bound; false at the bound.
bool runUntil(const std::function<bool()> &done, std::chrono::seconds bound)
{
    const auto start = Clock::now();
    while (!done()) {
        if (Clock::now() - start > bound)
            return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// When the file's part of a span was first drawn: the first paint after
// the window said it holds it, run from the filter so that the time taken
// includes it.
class FileSpanPaint : public QObject
{
public:
    bool fileSpanShown = false;
    std::optional<Clock::time_point> drawnAt;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !fileSpanShown || drawnAt)
            return false;
        watched->event(event);
        drawnAt = Clock::now();
        return true;
    }
};

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The first probe's time, and when the file's last 24 hours were merged
// into the record; none when they were not within the bound.
struct Merge
{
    Clock::time_point firstProbe;
    Clock::time_point merged;
};

// Probes 127.0.0.1 a second until the program has merged the history
// file's earlier runs, then stops, as a user who starts and opens History.
std::optional<Merge> watchUntilMerged(Program &program)
{
    std::optional<Clock::time_point> firstProbe;
    std::optional<Clock::time_point> merged;
    const auto probed = QObject::connect(&program.window, &Form1::probeShown, [&] {
        if (!firstProbe)
            firstProbe = Clock::now();
    });
    const auto replaced = QObject::connect(program.history, &history_view::ProbeHistory::replaced,
                                           [&] { merged = Clock::now(); });
    program.window.Text1->setText(QStringLiteral("127.0.0.1"));
    program.window.Text2->setText(QStringLiteral("1000"));
    program.window.ToggleMonitoring();
    const bool read = runUntil([&] { return merged.has_value(); }, std::chrono::seconds{60});
    program.window.ToggleMonitoring();
    QObject::disconnect(probed);
    QObject::disconnect(replaced);
    if (!read || !firstProbe)
        return std::nullopt;
    return Merge{*firstProbe, *merged};
}

// The History window of a program started with --history on a file whose
// probes end now: the earlier runs read at the first probe (off the
// window's thread) and merged, then the window opened to its first drawn
// chart.
void benchOpenHistory(std::int64_t probes, history::Milliseconds interval)
{
    const BenchFolder folder;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    writeProbes(folder.file("history.sqlite"), "127.0.0.1", now - 2000 - (probes - 1) * interval,
                probes, interval, 500);
    Program program;
    keepHistory(program, folder);
    const std::optional<Merge> merge = watchUntilMerged(program);
    const auto opening = Clock::now();
    program.historyActions->showHistory();
    FirstPaint paint;
    auto *window = program.window.findChild<history_view::HistoryWindow *>();
    window->findChild<history_view::RoundTripChart *>()->installEventFilter(&paint);
    const bool drawn =
        runUntil([&] { return paint.drawnAt.has_value(); }, std::chrono::seconds{10});
    const auto &hosts = program.history->hosts();
    const std::size_t shown = hosts.empty() ? 0 : hosts.at(hosts.latest()).retainedCount();
    const double readMs = merge ? millisecondsBetween(merge->firstProbe, merge->merged) : -1;
    const double openMs = drawn ? millisecondsBetween(opening, *paint.drawnAt) : -1;
    printRow("History window on a history file of " + std::to_string(probes) + " probes " +
                 std::to_string(interval) +
                 " ms apart: the last 24 hours read at the first probe "
                 "and merged, then the window opened to its first drawn chart",
             formatNumber(readMs + openMs, 0) + " ms (" + formatNumber(readMs, 0) + " read, " +
                 formatNumber(openMs, 0) + " opened; " + std::to_string(shown) + " probes shown)",
             "-", probes > 1'000'000 ? "under 1 s" : "under 500 ms");
}

// How long a span took to its first chart with the file's part: on the
// clock, which other work on the machine stretches, and in CPU time of the
// window's thread and of the whole process (the read's worker with it).
struct SpanTimes
{
    double wall = -1;
    double windowThreadCpu = 0;
    double processCpu = 0;
};

struct CpuMark
{
    double thread = threadCpuSeconds();
    double process = cpuSeconds();
};

// From `asked` (and the CPU marked then) to the first paint of the file's
// part of the span the window shows; a wall time of -1 past the bound.
SpanTimes untilFileSpanDrawn(history_view::HistoryWindow &window, Clock::time_point asked,
                             CpuMark mark)
{
    FileSpanPaint paint;
    auto *chart = window.findChild<history_view::RoundTripChart *>();
    chart->installEventFilter(&paint);
    const auto connection = QObject::connect(&window, &history_view::HistoryWindow::fileSpanShown,
                                             [&] { paint.fileSpanShown = true; });
    const bool drawn =
        runUntil([&] { return paint.drawnAt.has_value(); }, std::chrono::seconds{30});
    QObject::disconnect(connection);
    chart->removeEventFilter(&paint);
    if (!drawn)
        return {};
    return {millisecondsBetween(asked, *paint.drawnAt), (threadCpuSeconds() - mark.thread) * 1000,
            (cpuSeconds() - mark.process) * 1000};
}

void printSpanRow(const std::string &what, SpanTimes times,
                  const history_view::HistoryWindow &window)
{
    const history_view::ShownSpan &shown = window.shown();
    const int outages =
        window.findChild<QTableView *>(QStringLiteral("Outages"))->model()->rowCount();
    printRow("History window on a history file of a year at 1 s (default retention), " + what +
                 " to the first chart drawn with the file's part (" +
                 std::to_string(shown.fileColumns) + " of " + std::to_string(shown.grid.columns) +
                 " columns from the file, " + std::to_string(shown.statistics.transmitted) +
                 " probes, " + std::to_string(outages) + " outages in the table)",
             formatNumber(times.wall, 0) + " ms (CPU: window's thread " +
                 formatNumber(times.windowThreadCpu, 0) + " ms, process " +
                 formatNumber(times.processCpu, 0) + " ms)",
             "-", "under 200 ms");
}

// The last 90 and 365 days chosen, each to its first chart with the file's
// part.
void chooseSpans(history_view::HistoryWindow &window, const std::string &size)
{
    auto *span = window.findChild<QComboBox *>(QStringLiteral("Span"));
    for (const auto &[chosen, what] :
         {std::pair{history_view::HistoryWindow::Span::LastQuarter, "the last 90 days chosen"},
          std::pair{history_view::HistoryWindow::Span::LastYear, "the last 365 days chosen"}}) {
        const CpuMark askedCpu;
        const auto asked = Clock::now();
        span->setCurrentIndex(static_cast<int>(chosen));
        printSpanRow(what + size, untilFileSpanDrawn(window, asked, askedCpu), window);
    }
}

// A year of probes a second up to now in the file, the program started and
// stopped on the host so that it is the one shown; the window opened (on
// all the file holds: the year), then switched to the last 90 days and to
// the last 365. A screenshot of the year is saved where asked.
void benchYearSpans(const char *screenshot)
{
    const BenchFolder folder;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    writeYear(folder.file("history.sqlite"), "127.0.0.1", now - 2000);
    Program program;
    keepHistory(program, folder);
    if (!watchUntilMerged(program))
        return printRow("History window on a history file of a year", "not merged in 60 s", "-",
                        "-");
    const CpuMark openingCpu;
    const auto opening = Clock::now();
    program.historyActions->showHistory();
    auto *window = program.window.findChild<history_view::HistoryWindow *>();
    printSpanRow("opened on all of it", untilFileSpanDrawn(*window, opening, openingCpu), *window);
    if (screenshot)
        window->grab().save(QString::fromLocal8Bit(screenshot));
    chooseSpans(*window, "");
    // A wide window reads the 90 days by the minute rather than the hour.
    constexpr int WideWindow = 1920;
    window->resize(WideWindow, window->height());
    const bool wide = runUntil(
        [&] {
            const history_view::ShownSpan &shown = window->shown();
            return shown.grid.columns > WideWindow / 2 && shown.fileColumns > 0;
        },
        std::chrono::seconds{30});
    if (wide)
        chooseSpans(*window, ", 1,920 px wide");
}

LatencyRun latencyRun(int argc, char **argv)
{
    LatencyRun run;
    run.address = argv[2];
    run.intervalMilliseconds = std::stoi(argv[3]);
    run.seconds = std::stoi(argv[4]);
    run.label = argv[5];
    for (int index = 6; index < argc; ++index) {
        if (std::strcmp(argv[index], "inline") == 0)
            run.inlineProbes = true;
        else if (std::strcmp(argv[index], "path") == 0)
            run.path = true;
        else
            run.helper = argv[index];
    }
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "log";
    if (mode == "log")
        benchLog();
    else if (mode == "startup" && argc > 2)
        benchStartup(std::stoll(argv[2]));
    else if (mode == "soak")
        benchSoak(argc > 2 ? std::stoi(argv[2]) : 100'000, HistoryWindowState::Closed);
    else if (mode == "soak-history")
        benchSoak(argc > 2 ? std::stoi(argv[2]) : 100'000, HistoryWindowState::Open);
    else if (mode == "soak-records")
        benchSoakRecords(argc > 2 ? std::stoi(argv[2]) : 100'000);
    else if (mode == "latency-history")
        benchLatencyWritingHistory(argc > 2 ? std::stoi(argv[2]) : 10);
    else if (mode == "open-history" && argc > 3)
        benchOpenHistory(std::stoll(argv[2]), std::stoll(argv[3]));
    else if (mode == "year-spans")
        benchYearSpans(argc > 2 ? argv[2] : nullptr);
    else if (mode == "latency" && argc > 5)
        benchLatency(latencyRun(argc, argv));
    else
        std::fprintf(
            stderr,
            "usage: window_bench log | startup NS | soak PROBES | soak-history "
            "PROBES | soak-records PROBES | latency-history SECONDS | open-history "
            "PROBES INTERVAL_MS | year-spans [SCREENSHOT.png] | latency ADDRESS INTERVAL_MS SECONDS LABEL [inline] [HELPER]\n");
    return 0;
}
