// The window's figures: the failure log at a million lines, start-up, and a
// soak of the probe tick. Runs the real window code on whatever Qt platform
// is set (the bench script uses offscreen).
//
//   window_bench log
//   window_bench startup NANOSECONDS_SINCE_EPOCH_AT_LAUNCH
//   window_bench soak PROBES
//   window_bench soak-history PROBES   the same with the History window open
#include "bench_table.h"
#include "process_figures.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/history_view/history_actions.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/qt_message_box.h"
#include "echowatch/probe/module1.h"
#include "echowatch/window/failure_log_model.h"
#include "echowatch/window/form1.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The program as main() assembles it, with the probe helper of this build
// where ping sockets are refused.
struct Program
{
    net::LinuxSocketsLibrary sockets;
    helper::AutomaticEchoLibrary icmp{ECHOWATCH_BENCH_HELPER};
    platform::QtMessageBox messageBox;
    Module1 probe{sockets, icmp, messageBox};
    platform::SystemClock clock;
    Form1 window{probe, messageBox, clock};
    history_view::ProbeHistory *history = new history_view::ProbeHistory(window);
    history_view::HistoryActions *historyActions =
        new history_view::HistoryActions(window, *history);
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

void benchSoak(int probes, HistoryWindowState historyWindow)
{
    Program program;
    if (historyWindow == HistoryWindowState::Open)
        program.historyActions->showHistory();
    program.window.Text1->setText(QStringLiteral("127.0.0.1"));
    program.window.Text2->setText(QStringLiteral("1"));
    int ticks = 0;
    std::size_t residentAfterWarmUp = 0;
    // Measured once the first probes have started what lives for the whole
    // run: the helper and its socket, where ping sockets are refused.
    int descriptorsAfterWarmUp = 0;
    QObject::connect(program.window.Timer1, &QTimer::timeout, [&] {
        if (++ticks == 1000) {
            residentAfterWarmUp = residentBytes();
            descriptorsAfterWarmUp = openDescriptors();
        }
        if (ticks >= probes)
            QApplication::quit();
    });
    const auto start = Clock::now();
    program.window.ToggleMonitoring();
    QApplication::exec();
    const double seconds = millisecondsSince(start) / 1000;
    printRow(
        "soak, " + std::to_string(ticks) + " probes of 127.0.0.1 through the tick at 1 ms" +
            (historyWindow == HistoryWindowState::Open ? ", History window open" : ""),
        "resident " + formatNumber(static_cast<double>(residentAfterWarmUp) / 1024, 0) +
            " KiB after 1,000 -> " + formatNumber(static_cast<double>(residentBytes()) / 1024, 0) +
            " KiB at the end; descriptors after 1,000 " + std::to_string(descriptorsAfterWarmUp) +
            " -> " + std::to_string(openDescriptors()) + "; " + formatNumber(ticks / seconds, 0) +
            " ticks/s; status " + program.window.Label1->text().toStdString() +
            "; the record holds " +
            formatNumber(static_cast<double>(program.history->record().memoryBytes()) / 1024, 0) +
            " KiB",
        "-", "memory and descriptors flat");
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
    else
        std::fprintf(stderr,
                     "usage: window_bench log | startup NS | soak PROBES | soak-history PROBES\n");
    return 0;
}
