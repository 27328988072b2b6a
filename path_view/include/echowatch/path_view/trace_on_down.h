#pragma once

#include "echowatch/host/host_events.h"
#include "echowatch/path/hop_stats.h"
#include "echowatch/path_view/path_worker.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <vector>

class Form1;
class QAction;
class QThread;

namespace host {
class HostEventSignals;
} // namespace host

namespace path_view {

// What an outage's class is judged from beside the trace; each may be
// left out (a test's program, a bench), and then says nothing.
struct SideSources
{
    // The kernel's way to the host, asked on the trace's thread.
    RouteLookup routes;
    // Whether the desktop says this computer is offline, read on the
    // window's thread when the trace is in.
    std::function<bool()> desktopOffline;
};

// "Trace the path when the host goes down" (or --trace-on-down): when the
// host monitor calls a host down, one trace runs on a thread of its own,
// asked for and answered by the outage's id, so that whatever comes back
// (a verdict, or a trace that could not run) goes with that outage and no
// other. The kernel's way to the host, a direct echo to its gateway and
// the desktop's word go with the trace into the outage's class
// (side_judgement.h). What it came to is handed to the monitor to file;
// once filed, the verdict is read on the status line's tooltip while the
// outage lasts. Off until the user asks for it. Without a window (the headless prober) it
// traces the outages of every host watched, keeps no trace to show again,
// and answers an outage "not traced" at once while MostTracesWaiting
// others wait their turn, rather than falling ever further behind.
class TraceOnDown : public QObject
{
    Q_OBJECT

public:
    // A trace kept with the outage it was made at, to be shown again.
    struct Verdict
    {
        std::uint32_t destination;
        std::int64_t outageStart; // ms since the epoch, as the outage's
        QString text;
        path::PathTable trace;
    };

    static constexpr std::size_t MostTracesWaiting = 16;

    // events must outlive the window.
    TraceOnDown(Form1 &window, const host::HostEventSignals &events, EchoLibraryFactory factory,
                SideSources sides = {});
    // Without a window, tracing every down; events must outlive owner.
    TraceOnDown(QObject &owner, const host::HostEventSignals &events, EchoLibraryFactory factory,
                SideSources sides = {});
    ~TraceOnDown() override;

    // The menu's item; none without a window.
    QAction *action() const noexcept { return m_action; }
    // Whether a down is traced: as the item says, always without a window.
    bool tracing() const;
    const std::vector<Verdict> &verdicts() const noexcept { return m_verdicts; }
    const Verdict *verdictFor(std::uint32_t destination, std::int64_t outageStart) const;

signals:
    // What the trace of that outage came to, for the host monitor to file.
    void verdictReached(host::OutageId outage, const host::Verdict &verdict);

private:
    TraceOnDown(QObject &owner, Form1 *window, const host::HostEventSignals &events,
                EchoLibraryFactory factory, SideSources sides);

    struct Asked
    {
        host::OutageId outage = 0;
        std::uint32_t destination = 0;
        std::int64_t outageStart = 0;
    };
    struct Traced
    {
        std::uint32_t destination = 0;
        std::int64_t outageStart = 0;
    };

    void learnHop(const host::ProbeTaken &taken);
    void traceOutage(const host::HostDown &down);
    void startTrace(const Asked &asked);
    bool startThread();
    void retryLater(const Asked &asked);
    void keep(quint64 outage, const TraceFindings &findings);
    void fail(quint64 outage, int status, const TraceFindings &findings);
    bool desktopOffline() const;
    void showWhere(const host::VerdictFiled &filed);
    void outageOver(host::OutageId outage);
    void showNoOutage();

    Form1 *const m_window;
    QAction *const m_action;
    EchoLibraryFactory m_factory;
    SideSources m_sides;
    // The hop each host was last heard at, learnt from every answer, so
    // that a trace made once it has gone silent can tell its silence from a
    // break before it.
    std::map<std::uint32_t, int> m_hostHops;
    std::vector<Verdict> m_verdicts;
    // Outages whose trace runs.
    std::map<host::OutageId, Traced> m_running;
    // Outages not over yet, whose trace may still be tried again.
    std::set<host::OutageId> m_open;
    // The outage under way, whose verdict the status line tells.
    std::optional<host::OutageId> m_down;
    std::stop_source m_stop;
    QThread *m_thread = nullptr;
    PathWorker *m_worker = nullptr;
    bool m_shortageSaid = false;
};

} // namespace path_view
